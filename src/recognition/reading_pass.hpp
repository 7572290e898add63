#pragma once
// The reading pass that both readers end with: prefix break, cutting, classification, code
// assembly with gap marks, validation, drawing, samples and the reader's score.

#include <array>
#include <filesystem>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "classifier/character_net.hpp"
#include "classifier/classification.hpp"
#include "classifier/line_net.hpp"
#include "classifier/owner_prefix_list.hpp"
#include "imaging/blob_list.hpp"
#include "imaging/step_view.hpp"

namespace karvona::recognition {

struct ConfidenceModel;

/// The read-only reference data a reading uses: the two codebooks, the owner-prefix list and the
/// learned confidence of the reading plan. Any of them may be missing (a failed load): a missing
/// codebook reads every character as "no class", a missing list validates no prefix, and without
/// a confidence model the plan judges with the hand-set confidence (confidence.hpp).
struct ReferenceData {
    const classifier::CLvqCluster* letters = nullptr;
    const classifier::CLvqCluster* digits = nullptr;
    const classifier::COwnerPrefixList* prefixes = nullptr;
    /// The character network the plan asks for a second opinion (none: the plan reads without).
    const classifier::CharacterNetModel* characterNet = nullptr;
    /// The line network the plan reads a region with where no reader's boxes gave a code.
    const classifier::LineNetModel* lineNet = nullptr;
    const ConfidenceModel* confidence = nullptr;
};

/// Options of one reading, given by the front end.
struct ReaderOptions {
    bool stepViews = false;                        ///< show the readers' intermediate images
    imaging::StepViewer* viewer = nullptr;         ///< where step views go (none when null)
    bool saveSamples = false;                      ///< save every cut character as a bitmap
    karvona::CharacterSamples* samples = nullptr;  ///< receives every classified character
    int processedCount = 0;                        ///< the file number in sample names
    std::filesystem::path samplesFolder;           ///< the folder of the per-class sample folders
};

/// One character as the pass read it: its box in the region, where it stood, the five best
/// ranks with the runner-up choice, and the character written into the code.
struct BoxReading {
    cv::Rect box;
    bool letterPosition = false;
    classifier::CharacterReading ranks;
    char character = '-';
    cv::Mat crop;  ///< the tight crop that was classified (strokes 255 on 0)
    /// The character network's probabilities of the crop, in the order of
    /// classifier::kNetClasses, when the plan asked the network (netRead); never under --strict.
    classifier::NetProbabilities net{};
    bool netRead = false;
};

/// What a reader produced.
struct Reading {
    std::string code;       ///< at most eleven characters
    bool complete = false;  ///< check digit and owner prefix validated
    int score = 0;          ///< boxes read minus thin characters plus inserted gap marks
    std::vector<BoxReading> characters;
};

/// How a reader's drawings differ from the other's.
struct PassStyle {
    int middleGrey;       ///< the centre guide lines
    cv::Scalar digitBox;  ///< outline colour of digit boxes (blue, green, red)
};

/// The size of a reader's character strip: eleven crops with their ranks.
inline constexpr int kStripWidth = 1100;
inline constexpr int kStripHeight = 150;

/// Runs the pass on a reader's final box list. Draws on region (the reader's copy) and redraws
/// strip (kStripWidth x kStripHeight, three channels; made when empty). Returns the score and
/// fills out.
int ReadCharacterBoxes(cv::Mat& region, imaging::CBlobList& boxes, int vertical, int layoutCode,
                       const PassStyle& style, cv::Mat& strip, const ReferenceData& data,
                       const ReaderOptions& options, Reading& out);

/// The tight crop of the strokes (non-zero pixels) of a painted box, as the pass cuts every
/// character it classifies; empty when the strokes span a single row or column.
cv::Mat TightCrop(const cv::Mat& box);

/// The sample file of a character: <folder>/<c>/<c>_<count:05>_<index:02>_.bmp
std::filesystem::path SampleFilePath(const std::filesystem::path& folder, char character,
                                     int processedCount, int sampleIndex);

}  // namespace karvona::recognition
