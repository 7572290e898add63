#pragma once
// ReadCode inside the project: the recognizer behind it, and the way between its value and the
// reading the front ends print, count and archive.

#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "karvona/read_code.hpp"
#include "recognition/reading_pass.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"
#include "recognition/result.hpp"

namespace karvona {

/// What a ReferenceData holds: the data (owned, or a caller's that outlives it) and the idle
/// recognizers that readings on it take turns with.
struct ReferenceData::Impl {
    std::unique_ptr<recognition::ReferenceDataSet> owned;  ///< null for a caller's data
    recognition::ReferenceData view;
    std::filesystem::path folder;
    bool forReadingPlan = false;

    /// A recognizer for one reading: an idle one, else a new one.
    std::unique_ptr<recognition::Recognizer> Take();
    /// Gives a recognizer back after its reading, without the photograph's images.
    void Give(std::unique_ptr<recognition::Recognizer> recognizer);

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<recognition::Recognizer>> idle_;
};

namespace detail {
struct ReferenceDataAccess {
    static ReferenceData Make(std::shared_ptr<ReferenceData::Impl> impl) {
        return ReferenceData(std::move(impl));
    }
    static ReferenceData::Impl& Of(const ReferenceData& data) { return *data.impl_; }
};
}  // namespace detail

}  // namespace karvona

namespace karvona::recognition {

/// A ReferenceData over reference data the caller has loaded and keeps alive as long as the
/// result (or any copy of it) is used.
karvona::ReferenceData ShareReferenceData(const ReferenceData& view,
                                          const std::filesystem::path& folder = {},
                                          bool forReadingPlan = true);
/// The view the readers take of a ReferenceData.
const ReferenceData& ViewOf(const karvona::ReferenceData& data);

/// ReadCode with a recognizer of the caller's (one reading at a time on it); the recognizer keeps
/// the pictures of the reading, as the window shows them, and its plan (recognizer.plan()). The
/// recognizer's options are set from options, except everyLook, which stays as the caller set it
/// (the measuring tools read every look).
CodeReading ReadCodeWith(const cv::Mat& photo, Recognizer& recognizer,
                         const ReadOptions& options = {});

/// The reading as the front ends print it. status is the photograph's load status; Ok takes it
/// from the reading's error (too large, bad input).
RecognitionResult ResultOf(const CodeReading& reading, LoadStatus status = LoadStatus::Ok);

/// The colour an operator's display gives the code of a reading.
TextColour ColourOf(const CodeReading& reading);

}  // namespace karvona::recognition
