#pragma once
// The outcome of reading one photograph as one value: what every front end prints, files and
// counts. The recognizer makes it; the command-line tool, the window, the batch run and the
// service only read it.

#include <array>
#include <cstddef>
#include <opencv2/core.hpp>
#include <string>
#include <utility>

namespace karvona::recognition {

/// Why a photograph could or could not be loaded.
enum class LoadStatus {
    Ok,
    Missing,            ///< no file of that name
    NotRegularFile,     ///< a folder, device or pipe
    CannotRead,         ///< the file exists but cannot be opened or read
    UnsupportedFormat,  ///< not a JPEG, PNG or BMP file
    TooLarge,           ///< more than the pixel limit, or a file too long for it
    CannotDecode,       ///< a known format whose data cannot be decoded (cut short, corrupt)
};
/// A short machine-readable name: "ok", "missing", "not-a-file", "cannot-read",
/// "unsupported-format", "too-large", "cannot-decode".
const char* LoadStatusName(LoadStatus status);

/// Which reader's text was kept.
enum class Winner { None = -1, Morphology = 0, Cluster = 1 };
/// "morphology", "cluster" or "none".
const char* ReaderName(Winner winner);

/// The classes of a reading, as the batch counts and archives them.
enum class Outcome {
    kPerfect,  ///< validated, 11 characters and sure: counted perfect, row ticked
    kMistake,  ///< otherwise 11 characters: counted partial
    kTryMore,  ///< otherwise 7 characters or more: counted partial
    kUn,       ///< otherwise: not counted
    kReview,   ///< validated and 11 characters but not sure: counted apart, never ticked
};
/// The archive folder of the class: "perpect", "mistake", "trymore", "un" or "review".
const char* OutcomeFolderName(Outcome outcome);

/// Milliseconds spent per stage of one reading.
struct StageTimes {
    int colour = 0;  ///< the colour pass
    int locate = 0;  ///< evidence, line masks, layout search and extraction
    int read = 0;    ///< both readers
};

/// One reading.
struct RecognitionResult {
    RecognitionResult() = default;
    /// A reading of the given text, as a batch or a test hands one in.
    RecognitionResult(bool complete_, std::string code_)
        : complete(complete_), code(std::move(code_)) {}

    bool complete = false;  ///< check digit and owner prefix validated
    std::string code;       ///< the result text: at most eleven characters, possibly empty
    LoadStatus status = LoadStatus::Ok;
    int layoutCode = -1;  ///< 0..6; -1 when no code region was found
    Winner reader = Winner::None;
    int score = 0;    ///< the winning reader's score
    cv::Rect region;  ///< the part of the photograph as given that the code was cut from
    /// The region's corners in the photograph as given (top-left, top-right, bottom-right,
    /// bottom-left) as the look that read it saw it: a turned look gives a turned box.
    std::array<cv::Point2f, 4> corners{};
    int ms = 0;  ///< the time shown to the operator (colour pass, locator, readers, paste)
    StageTimes times;
    float hue = -1.0f;  ///< the dominant hue when the colour pass ran and found one, else -1

    // How sure the reading is. A strict run (the single pass alone) judges nothing: confidence
    // stays -1, pass empty and review false, and a validated reading is always perfect.
    float confidence = -1.0f;  ///< 0..1 when judged, else -1
    /// The look that produced the reading: "first", "scale 1.5", "rotate -8", "shear 10", ...,
    /// with " check-digit" when the check-digit-guided choice made the code; "none" when no
    /// look produced a reading. Empty in a strict run.
    std::string pass;
    bool review = false;  ///< validated but below the sure threshold

    bool located() const { return layoutCode >= 0; }
    /// Whether the reading was judged for sureness (a run that was not strict).
    bool judged() const { return confidence >= 0.0f; }
};

/// The class of a reading by completeness, length and sureness.
Outcome OutcomeOf(const RecognitionResult& result);
/// A validated reading of eleven characters that is sure: what may be acted on without a look by
/// the operator (the same as OutcomeOf(result) == Outcome::kPerfect).
inline bool IsSureReading(const RecognitionResult& result) {
    return OutcomeOf(result) == Outcome::kPerfect;
}

}  // namespace karvona::recognition
