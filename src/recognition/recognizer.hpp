#pragma once
// The recognition of one photograph and everything the operator sees of it: the code text and
// its colour, the layout, the time, the photograph with the code region pasted into its corner,
// the winning reader's character panel and the colour swatch. One Recognizer holds the state of
// one window (or one worker); the reference data it reads is shared and read-only.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <opencv2/core.hpp>
#include <string>

#include "imaging/step_view.hpp"
#include "recognition/reading_pass.hpp"
#include "recognition/result.hpp"

namespace karvona::recognition {

class ReadingPlan;

/// The options a front end sets (all off by default, as at every start of the program).
struct RecognitionOptions {
    /// Only the single pass on the photograph as given: no working scale, no second look, no
    /// check-digit choice and no judgement of sureness (every validated code is perfect).
    bool strict = false;
    /// For measuring: the plan reads every look instead of stopping at the first sure code (the
    /// reading chosen is the same) or giving up on a photograph whose looks read too little (the
    /// reading chosen may then differ: a later look may give a code for review).
    bool everyLook = false;
    /// Second looks of one photograph read at once, on as many threads (1: one after another).
    /// The reading is the same; the time on a machine with idle cores is shorter, the CPU time
    /// is not (looks after the one that stops the plan are read for nothing).
    int lookThreads = 1;
    bool colourPass = false;       ///< extract the dominant hue and make the swatch
    bool locatorStepView = false;  ///< show the locator's intermediate images
    bool readerStepView = false;   ///< show the readers' intermediate images
    bool saveSamples = false;      ///< save every cut character under the samples folder
    karvona::CharacterSamples* samples = nullptr;  ///< receives every classified character
    imaging::StepViewer* viewer = nullptr;         ///< where step views go
    std::filesystem::path samplesFolder;           ///< empty: the fixed characters folder
};

/// A colour as red, green, blue.
struct TextColour {
    int red, green, blue;
    bool operator==(const TextColour& o) const {
        return red == o.red && green == o.green && blue == o.blue;
    }
};

/// Photographs with more pixels than this are refused before they are decoded.
constexpr std::int64_t kMaxPixels = 50'000'000;
/// Photograph files longer than this are refused unread (a 32-bit bitmap of kMaxPixels fits).
constexpr std::int64_t kMaxPhotographBytes = 4 * kMaxPixels + (1 << 20);

/// The width and height a photograph file declares in its header.
struct DeclaredSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};
/// Reads the size that a JPEG (first frame header), PNG (IHDR) or BMP (information header) file
/// declares, without decoding anything. False for other formats and for headers that end early
/// or declare no pixels; such files are not decoded at all.
bool ReadDeclaredSize(const unsigned char* bytes, std::size_t size, DeclaredSize& declared);
/// Turns a decoded image of 8 or 16 bits (or float) with one, three or four channels into the
/// 8-bit three-channel image the pipeline reads: grey is repeated into the three channels, the
/// fourth channel is dropped, 16-bit values are scaled by 1/256 and float values by 255. False
/// (and colour empty) for an empty image or any other layout.
bool ToEightBitColour(const cv::Mat& image, cv::Mat& colour);

/// Loads a photograph file as the pipeline reads it: a regular JPEG, PNG or BMP file whose header
/// declares at most kMaxPixels pixels, decoded and turned into 8-bit three-channel colour. The
/// pixels are taken as stored: an EXIF orientation tag is ignored. image is empty unless the
/// result is Ok; otherwise the status says why.
LoadStatus LoadPhotograph(const std::filesystem::path& path, cv::Mat& image);
/// The same on the bytes of a photograph file already in memory (as a service receives them):
/// more than kMaxPhotographBytes bytes or a header beyond kMaxPixels give TooLarge.
LoadStatus DecodePhotograph(const unsigned char* bytes, std::size_t size, cv::Mat& image);

/// The layout name shown for a layout code; codes above 6 leave the previous text.
std::string LayoutText(int layoutCode, const std::string& previous);
/// Which reader's text is kept: a validated reading first (the morphology reader's before the
/// cluster reader's), then the better score with a tie to the morphology reader, then the cluster
/// reader only with a score of 4 or more.
Winner ChooseWinner(bool completeA, int scoreA, bool completeB, int scoreB);
/// Pastes region into the bottom-right corner of display with a black edge two pixels wide along
/// its top and left side (clipped to the image). A region wider or taller than display is not
/// pasted; returns whether it was.
bool PasteRegion(cv::Mat& display, const cv::Mat& region);
/// The colour of the result text by completeness and length.
TextColour ResultColour(bool complete, size_t characters);
/// The colour of a validated code that is not sure: between the validated red and the partial
/// blues, so that the operator sees at once that it asks for a look.
constexpr TextColour kReviewColour{200, 130, 0};

class Recognizer {
public:
    explicit Recognizer(const ReferenceData& data);
    ~Recognizer();
    Recognizer(const Recognizer&) = delete;
    Recognizer& operator=(const Recognizer&) = delete;

    /// Reads the photograph at path. Returns true when a reader validated its code. Unless
    /// options.strict is set, the reading plan runs (see reading_plan.hpp). Only regular
    /// files in JPEG, PNG or BMP format are decoded; a header that declares more than kMaxPixels
    /// pixels (or a file longer than kMaxPhotographBytes) gives status TooLarge before any memory
    /// is taken for the pixels; the other statuses say why a file was not read. A photograph that
    /// was not read is treated as one without a code region.
    bool RecognizeImage(const std::filesystem::path& path);
    /// The same on an image already decoded; other depths and channel counts are converted as by
    /// ToEightBitColour, and more than kMaxPixels pixels give TooLarge.
    bool RecognizeLoaded(const cv::Mat& photograph);

    RecognitionOptions options;
    int processedCount = 0;  ///< the batch's counter, the file number in sample names

    // What the last call produced: the reading as one value, and the pictures the window shows.
    RecognitionResult result;
    cv::Mat sourceImage;
    cv::Mat displayImage;
    cv::Mat swatchImage;  ///< 5 x 5, or empty
    cv::Mat panelImage;   ///< 1100 x 150
    cv::Mat morphologyStrip;
    cv::Mat clusterStrip;
    std::string resultText;
    std::string layoutText;
    std::string timeText = "0ms ";
    TextColour resultColour{150, 150, 200};
    Reading morphologyReading;
    Reading clusterReading;
    cv::Mat region;        ///< the located region as cut out (before any reader drew on it)
    cv::Mat pastedRegion;  ///< the winner's copy of the region with its marks, or empty

    /// The winner's reading (empty when there is none).
    const Reading& WinningReading() const;
    /// The reference data it reads.
    const ReferenceData& data() const { return data_; }
    /// The plan of the last run that was not strict (null before the first).
    const ReadingPlan* plan() const { return plan_.get(); }

private:
    bool Run(LoadStatus status);
    bool RunPlan(LoadStatus status);
    ReferenceData data_;
    std::unique_ptr<ReadingPlan> plan_;
};

}  // namespace karvona::recognition
