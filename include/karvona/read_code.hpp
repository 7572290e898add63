#pragma once
// Reading the container code of one photograph: one call, one value.
//
//   auto load = karvona::LoadReferenceData("/usr/share/karvona");
//   if (!load) { /* load.problems says which file */ }
//   karvona::CodeReading reading = karvona::ReadCode(photo, *load.data);
//   if (reading.sure()) std::puts(reading.code.c_str());
//
// ReadCode is safe to call from many threads at once on one shared ReferenceData. It never
// throws: a photograph it cannot take gives a reading with a typed error.

#include <array>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "karvona/observers.hpp"
#include "karvona/reference_data.hpp"

namespace karvona {

/// The pictures an operator's display shows of a reading.
struct ReadingPictures {
    cv::Mat annotated;  ///< the photograph with the code region pasted into its corner
    cv::Mat panel;      ///< the winning reader's characters and their ranks (1100 x 150)
    cv::Mat swatch;     ///< the dominant colour (5 x 5) when ReadOptions::colour, else empty
    cv::Mat region;     ///< the code region as cut out, empty when none was found
};

struct ReadOptions {
    /// Only the single pass on the photograph as given: no working scale, no second look and no
    /// judgement of sureness (every validated code is sure, confidence stays -1).
    bool strict = false;
    /// Also find the dominant hue of the photograph (CodeReading::hue).
    bool colour = false;
    /// Second looks of the photograph read at once, on as many threads, for a caller that leaves
    /// cores idle (one photograph at a time). The reading is the same as with 1; the time is
    /// shorter where cores are idle, the CPU time a little longer.
    int lookThreads = 1;
    // Observers; none is needed and each is called on the reading thread during the call. Step
    // views and samples come from the first look only.
    StepViewer* steps = nullptr;  ///< receives the stages' intermediate images
    bool locatorSteps = true;     ///< with steps: the locator's images
    bool readerSteps = true;      ///< with steps: the readers' images
    CharacterSamples* samples = nullptr;
    ReadingPictures* pictures = nullptr;  ///< filled when set
};

/// Why a reading gave no sure code.
enum class ReadError {
    kNone,              ///< a validated code (sure, or for review when outcome says so)
    kBadInput,          ///< an empty image, or a depth or channel count that cannot be read
    kTooLarge,          ///< more pixels than kMaxPixels
    kNoRegion,          ///< no code region was found
    kTooFewCharacters,  ///< a region, but fewer than eleven characters read
    kUnknownOwner,      ///< eleven characters whose owner prefix is not in the registry
    kCheckDigit,        ///< eleven characters, a known owner, and a check digit that fails
    /// The reading failed inside (out of memory, a library or an observer that threw): nothing
    /// was read, and the photograph may well be readable.
    kInternal,
};
/// "none", "bad-input", "too-large", "no-region", "too-few-characters", "unknown-owner",
/// "check-digit", "internal".
const char* ToText(ReadError error);

/// The classes of a reading.
enum class Outcome {
    kPerfect,  ///< validated, eleven characters and sure
    kReview,   ///< validated and eleven characters, but not sure
    kMistake,  ///< eleven characters that did not validate
    kTryMore,  ///< seven to ten characters
    kUnread,   ///< fewer, no region, or not read
};
/// "perpect", "review", "mistake", "trymore", "un" (the names the archive and JSON output use).
const char* ToText(Outcome outcome);

/// How the code is painted.
enum class Layout {
    kNone = -1,                ///< no region found
    kHorizontalOneLine,        ///< eleven characters on one line
    kHorizontalOneLineSpaced,  ///< one line, with a space after the owner code and the serial
    kVerticalOneLine,
    kHorizontalTwoLines,
    kVerticalTwoLines,
    kHorizontalThreeLines,
    kHorizontalWhlu,  ///< one line in spaced groups, as WHLU containers carry it
};
/// "HORIZONTAL 1 LINE", "VERTICAL   1 LINE", ..., "" for kNone (the texts the tools print).
const char* ToText(Layout layout);

/// Which of the two readers made the code.
enum class Reader { kNone, kMorphology, kCluster };
/// "none", "morphology", "cluster".
const char* ToText(Reader reader);

/// One character as read: its box in the code region image, and the nearest classes.
struct CodeCharacter {
    char character = '-';  ///< '-' when no class
    cv::Rect box;          ///< in ReadingPictures::region coordinates of the winning look
    struct Rank {
        char character = 0;  ///< 0 for no class
        double distance = 0.0;
    };
    std::array<Rank, 5> ranks{};
    int chosenRank = 0;
};

/// Photographs with more pixels than this are refused (kTooLarge).
constexpr long long kMaxPixels = 50'000'000;

struct CodeReading {
    std::string code;  ///< at most eleven characters; '-' where a character was not read
    Outcome outcome = Outcome::kUnread;
    ReadError error = ReadError::kNoRegion;
    /// 0..1: how likely the code is right; -1 in a strict reading (which judges nothing).
    float confidence = -1.0f;
    bool validated = false;  ///< check digit and owner prefix passed
    Layout layout = Layout::kNone;
    /// The code region in the photograph's own coordinates: top-left, top-right, bottom-right,
    /// bottom-left of the region as the winning look saw it (a turned look gives a turned box).
    std::array<cv::Point2f, 4> corners{};
    cv::Rect bounds;  ///< the bounding box of the region in the photograph, clipped to it
    std::vector<CodeCharacter> characters;  ///< the winning reader's, in reading order
    Reader reader = Reader::kNone;
    int score = 0;  ///< the winning reader's score
    /// The look that won: "first", "scale 1.5", "rotate -8", "shear 10", ..., with
    /// " check-digit" or " net" when that choice made the code; "none" when no look read
    /// anything; empty in a strict reading.
    std::string look;
    int milliseconds = 0;
    struct Stages {
        int colour = 0, locate = 0, read = 0;
    } stages;
    float hue = -1.0f;  ///< the dominant hue when asked for and found, else -1

    bool sure() const { return outcome == Outcome::kPerfect; }
    bool located() const { return layout != Layout::kNone; }
};

/// Reads the container code of photo (8 or 16 bits or float; one, three or four channels; grey,
/// BGR or BGRA as OpenCV stores them). Thread-safe on a shared data; never throws.
CodeReading ReadCode(const cv::Mat& photo, const ReferenceData& data,
                     const ReadOptions& options = {});

}  // namespace karvona
