#pragma once
// The outcome of reading one photograph as one value: what every front end prints, files and
// counts. The recognizer makes it; the command-line tool, the window, the batch run and the
// service only read it.

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

/// The four classes of a reading, as the batch counts and archives them.
enum class Outcome {
    kPerfect,  ///< validated and 11 characters: counted perfect, row ticked
    kMistake,  ///< otherwise 11 characters: counted partial
    kTryMore,  ///< otherwise 7 characters or more: counted partial
    kUn,       ///< otherwise: not counted
};
/// The archive folder of the class: "perpect", "mistake", "trymore" or "un".
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
    int ms = 0;       ///< the time shown to the operator (colour pass, locator, readers, paste)
    StageTimes times;
    float hue = -1.0f;  ///< the dominant hue when the colour pass ran and found one, else -1

    bool located() const { return layoutCode >= 0; }
};

/// The class of a reading by completeness and length.
Outcome OutcomeOf(const RecognitionResult& result);

}  // namespace karvona::recognition
