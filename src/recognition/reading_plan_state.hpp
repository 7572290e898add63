#pragma once
// What the reading plan keeps while it reads one photograph: shared by the files of the plan,
// not part of its interface.

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "recognition/line_crops.hpp"
#include "recognition/reading_plan.hpp"
#include "recognition/recognizer.hpp"

namespace karvona::recognition {

using Clock = std::chrono::steady_clock;

inline int MillisecondsSince(Clock::time_point since) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// What the recognizer shows of one look, kept while a later look may still be chosen instead.
struct LookOutput {
    int look = -1;
    std::string name;
    RecognitionResult result;  ///< the pass's own result, region in the look's image
    cv::Matx23d fromPhoto;
    Reading morphology, cluster;
    cv::Mat morphologyStrip, clusterStrip;
    cv::Mat region, pasted;
    cv::Mat display;  ///< the pass's display image when the look is the photograph itself
};

/// The look's output as the pass left it (the display image only when the look read the
/// photograph's own pixels).
LookOutput Keep(const Recognizer& pass, int look, const std::string& name,
                const cv::Matx23d& fromPhoto, bool samePixels);

/// Copies the strips a kept look still shares with the pass, before the pass redraws them.
void Detach(LookOutput& kept, const Recognizer& pass);

// What one run keeps between its looks.
struct ReadingPlan::RunState {
    RunState(Recognizer& recognizer, const cv::Mat& source) : out(recognizer), photo(source) {}
    Recognizer& out;
    const cv::Mat& photo;
    cv::Mat working;  ///< the photograph at its working scale
    cv::Matx23d workingFromPhoto;
    double scale = 1.0;
    double threshold = kSureThreshold;
    double chainFloor = kNoChainFloor;  ///< ConfidenceModel::chainFloor
    std::vector<bool> netMade;          ///< per candidate: the character network's code
    std::vector<bool> lineMade;         ///< per candidate: the line network's code
    int lineReads = 0;                  ///< regions the line network read so far
    std::vector<LookOutput> kept;       ///< each candidate's look
    LookOutput fallback;                ///< the best unvalidated look
    bool located = false;               ///< by any look so far
    /// The photograph at each look scale taken so far, not repaired.
    std::vector<std::pair<double, cv::Mat>> scaled;
    std::vector<FoundRegion> found;  ///< the region of every look that found one
    cv::Rect chainRegion;            ///< the chain look's code, in the photograph, if it read one
    bool cropping = false;           ///< the looks read a crop (TakeLineLooks)
    bool turnsGivenUp = false;  ///< the looks so far read too few characters (LaterLooksHopeless)
};

// A second pass with its own network, for the looks read at once.
struct ReadingPlan::Helper {
    explicit Helper(const ReferenceData& data) : pass(data) {
        if (data.characterNet != nullptr)
            net = std::make_unique<classifier::CharacterNet>(*data.characterNet);
    }
    Recognizer pass;
    std::unique_ptr<classifier::CharacterNet> net;
};

}  // namespace karvona::recognition
