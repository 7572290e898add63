#pragma once
// Synthetic photographs of container doors and sides with known identification codes.
//
// Every photograph is a pure function of its seed: the random source is std::mt19937_64 with
// the distributions written out here, so the same seed gives the same pixels with any standard
// library. The geometry of the painted code (character height, pitch, line gaps, blank
// positions) is drawn from the ranges the code-region locator searches, so that the locator can
// find every code it is given; a few photographs draw the hard cases beyond them (distant codes
// of 13 to 17 pixels, outlined characters, a door rod in a gap of the code, the size and type
// code beside the check digit).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace karvona::synth {

constexpr int kLayoutCount = 7;
constexpr int kMinFrameWidth = 640;
constexpr int kMinFrameHeight = 480;
constexpr int kMaxFrameWidth = 1024;
constexpr int kMaxFrameHeight = 768;

/// What to render. The caller checks it once (CheckSynthSpec); rendering trusts it.
struct SynthSpec {
    /// Owner prefixes (four capitals ending in U, J or Z) to draw from; entries holding a Q or
    /// malformed ones are never drawn.
    std::vector<std::string> prefixes;
    /// Layout codes 0 to 6 to draw from; empty means all seven.
    std::vector<int> layouts;
    /// Frame size; empty (0 x 0) means a size drawn per photograph between 640x480 and 1024x768.
    cv::Size frameSize;
    /// Bold sans font files; empty means the ones of AvailableFontPaths().
    std::vector<std::string> fonts;
    /// Share of photographs a folder writes as BMP rather than JPEG.
    double bmpShare = 0.15;
    /// Doors and walls with every other marking but no identification code (the size and type
    /// code, weight tables, carrier names, stickers, bars, empty check-digit frames): a reader
    /// must read nothing sure on them. Their label's code is empty.
    bool withoutCode = false;
    /// Height of the characters of the horizontal layouts, in pixels (kMinCharacterHeight to
    /// kMaxCharacterHeight), for measuring how small a code can be read; 0 draws one per
    /// photograph. Vertical codes keep their drawn size; every other draw of a seed stays as it is.
    int characterHeight = 0;
};

constexpr int kMinCharacterHeight = 8;
constexpr int kMaxCharacterHeight = 50;

/// The hard cases of a reading the renderer may draw on a photograph.
struct HardCases {
    bool rodAcross = false;       ///< a door rod standing in the widest gap of the code
    bool outline = false;         ///< characters painted as outlines
    bool distant = false;         ///< a horizontal code of 13 to 17 pixels
    bool sizeTypeBeside = false;  ///< the size and type code on the check digit's line
};

/// One rendered photograph and what is painted on it.
struct SynthPhoto {
    cv::Mat image;                         ///< 8-bit BGR
    std::string code;                      ///< the eleven characters, e.g. "ABCU1234560"; empty
                                           ///< when the photograph shows no code
    int layout = -1;                       ///< 0 to 6
    cv::Rect codeRegion;                   ///< bounding box of the eleven characters in the frame
    std::vector<cv::Rect> characterBoxes;  ///< one per character, in code order (frame coords)
    int characterHeight = 0;               ///< painted height of the characters, in pixels
    double tiltDegrees = 0.0;              ///< rotation of the whole scene, counter-clockwise
    double slopeDegrees = 0.0;             ///< perspective slope of the code's lines
    /// The hard cases the renderer set out to draw on it (a rod is left out where the gap is too
    /// narrow, the size and type code goes elsewhere where there is no room beside the digit).
    HardCases cases;
};

/// Empty when spec can be rendered, else what is wrong with it.
std::string CheckSynthSpec(const SynthSpec& spec);

/// Renders one photograph. A spec that fails CheckSynthSpec gives an empty image.
SynthPhoto RenderContainerPhoto(const SynthSpec& spec, std::uint64_t seed);

/// Writes count photographs (JPEG of quality 60 to 95, some BMP) into folder (created when
/// missing), folder/labels.csv with the header "file,code,layout" (code and layout empty for
/// photographs without a code) and folder/boxes.csv with every character's box
/// (file,index,char,x0,y0,x1,y1, frame pixels) and folder/cases.csv with the hard cases set
/// out on each (file,rod_across,outline,distant,size_type_beside, 0 or 1). Photograph i is rendered
/// from a seed derived from seed and i. A count of 0 writes a labels.csv holding the header only.
/// Returns false with *error set when the spec is unusable, count is negative or a file cannot
/// be written; the files are then not written. `progress` (may be empty) is called with the
/// number of photographs written after each one.
bool WriteSynthFolder(const SynthSpec& spec, std::uint64_t seed, int count,
                      const std::filesystem::path& folder, std::string* error,
                      const std::function<void(int written)>& progress = {});

/// ISO 6346 check value of the first ten characters of code: the weighted sum modulo 11, so 10
/// stands for a check digit of 0. -1 when a character has no equivalent value.
int IsoCheckRemainder(const std::string& code);

/// True for four capitals (the fourth U, J or Z), six digits and the right check digit.
bool IsValidIsoCode(const std::string& code);

/// Reads an owner-prefix list (one prefix a line; blanks and CR ignored) and keeps the lines
/// that are four capitals without Q. False when the file cannot be read.
bool LoadOwnerPrefixes(const std::filesystem::path& file, std::vector<std::string>* prefixes);

/// The bold sans fonts of the Debian font packages that are present on this machine, condensed
/// faces first (fonts-roboto-unhinted, fonts-bebas-neue, fonts-opendin, fonts-urw-base35,
/// fonts-dejavu-extra), then DejaVu Sans and Liberation Sans.
std::vector<std::string> AvailableFontPaths();

/// "0,1,5" or "2-4" or "all" into layout codes; false on anything else or a code outside 0-6.
bool ParseLayoutList(const std::string& text, std::vector<int>* layouts);

/// "800x600" into a size inside 640x480 to 1024x768; false otherwise.
bool ParseFrameSize(const std::string& text, cv::Size* size);

}  // namespace karvona::synth
