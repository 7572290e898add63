#pragma once
// Harvest of character samples from labelled photographs: the locator and both readers run on
// each photograph, and wherever a reader's final boxes line up with the known code, the crop of
// every box (the image the reading pass classifies) is saved under the character the label
// names, in the folder layout of the sample export.

#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <opencv2/core.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "recognition/reading_pass.hpp"

namespace karvona::training {

struct LabelledPhoto {
    std::string file;    ///< as written in labels.csv, relative to its folder
    std::string code;    ///< eleven characters
    std::string layout;  ///< as written; only reported
};

/// Reads a CSV file (quoted fields may hold commas, doubled quotes and line breaks; LF or CRLF)
/// into records of fields, in order; a record may be empty (a blank line). False when the file
/// cannot be opened or read.
bool ReadCsvRecords(const std::filesystem::path& csv,
                    std::vector<std::vector<std::string>>& records);

/// Reads labels.csv (file,code,layout; a first record starting with "file" is the header) as
/// CSV: fields may be quoted (holding commas, doubled quotes, line breaks), lines end in LF or
/// CRLF, blanks around unquoted fields and blank lines do not count. Records whose code is not
/// four letters and seven digits with the right check digit, or that lack a file name, are listed
/// in problems and skipped. False when the file cannot be opened or read.
bool ReadLabels(const std::filesystem::path& csv, std::vector<LabelledPhoto>& rows,
                std::vector<std::string>& problems);

/// Whether a reading's boxes line up with an eleven-character code: eleven boxes were cut and
/// read, no gap mark was inserted, and the first four are letter positions, the rest digit
/// positions.
bool LinesUp(const recognition::Reading& reading);

enum class Reader { Morphology = 0, Cluster = 1 };

struct HarvestedCharacter {
    Reader reader = Reader::Morphology;
    int index = 0;  ///< box position in the code, 0..10
    char character = 0;
    cv::Mat crop;
};

/// Box-by-box alignment of a reading with its label, for readings whose box list does not line
/// up (a box too many or too few, a wrong prefix break): every crop is classified with the
/// codebook of each code position, and the monotone pairing of crops with positions is chosen
/// that pairs most crops with a position whose label is among their first maxRank ranks (a
/// label ranked first counts three times as much). Returns, per crop, the code position it
/// stands for or -1; firstRank receives how many paired crops, the category letter aside, read
/// their label at the first rank.
std::vector<int> AlignCrops(const std::vector<cv::Mat>& crops, const std::string& code,
                            const recognition::ReferenceData& data, int maxRank, int& firstRank);

struct PhotoHarvest {
    bool located = false;
    std::array<bool, 2> linedUp{};  ///< by Reader
    std::array<bool, 2> aligned{};  ///< by Reader: kept by box-by-box alignment
    int duplicates = 0;             ///< cluster crops identical to the morphology crop
    int emptyFrames = 0;            ///< crops left out as empty frames
    int unlike = 0;                 ///< crops left out because their label was not ranked
    int misshapen = 0;  ///< crops left out as much shorter or taller than the others, or slivers
    std::vector<HarvestedCharacter> characters;
};

/// Runs the locator and both readers (each on its own copy of the region, without codebooks:
/// the boxes do not depend on them) on a photograph (8-bit, three channels) and keeps the crops
/// of every reading that lines up with code. A cluster crop identical to the morphology crop of
/// the same position is not kept twice.
///
/// With codebooks in data and minAgreement > 0, a reading lines up only when at least
/// minAgreement of its ten classified positions other than the category letter read the
/// label's character: crops cut one box off, or from a box list that split or merged a
/// character, then stay out of the samples.
///
/// With codebooks and maxRank > 0, a crop is kept only when the label's character is among the
/// characters of its first maxRank ranks: a crop that looks like nothing of its label (a piece
/// of a neighbour, a smear) does not teach the codebook that it does.
///
/// With codebooks and align, a reading that does not line up is aligned box by box
/// (AlignCrops, at least three ranks): when at least minAgreement of its paired crops, the
/// category letter aside, read their label first, every paired crop is kept.
///
/// Whatever the codebooks, a crop under 0.7 or over 1.4 times the median height of its
/// reading's crops, or narrower than a quarter of its height (but for 1 and I), is a piece of
/// something else and never saved; nor is an empty frame (the painted box of a check digit whose
/// digit the reader did not keep).
PhotoHarvest HarvestPhoto(const cv::Mat& photo, const std::string& code,
                          const recognition::ReferenceData& data = {}, int minAgreement = 0,
                          int maxRank = 0, bool align = false);

/// A crop whose four edges are nearly all stroke (a painted frame) and whose inside is empty.
bool IsEmptyFrame(const cv::Mat& crop);

struct HarvestOptions {
    std::filesystem::path photos;   ///< folder with labels.csv
    std::filesystem::path samples;  ///< output: one folder per character
    std::filesystem::path data;     ///< optional: codebooks that check the alignment
    int minAgreement = 8;           ///< positions that must read the label (with data)
    int maxRank = 3;                ///< ranks among which the label must be (with data; 0: any)
    bool align = false;             ///< with data: align the other readings box by box
    std::filesystem::path montage;  ///< optional: one PNG per class of the crops saved
    bool boxes = false;  ///< cut the boxes of boxes.csv instead of reading (RunBoxHarvest)
    /// Called (when set) after each photograph with the photographs done and their number.
    std::function<void(int done, int total)> progress;
};

/// The harvest command: reads the labels, harvests every photograph, saves the samples (never
/// over an existing file) and prints the counts. A photograph that cannot be read and a label
/// that is no valid code are named on err and skipped, and the others are harvested. Returns 0,
/// or 1 when the labels cannot be read, the output folder cannot be made, a photograph cannot be
/// read or a sample cannot be written.
int RunHarvest(const HarvestOptions& options, std::ostream& out, std::ostream& err);

}  // namespace karvona::training
