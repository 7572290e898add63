#include "recognition/read_code.hpp"

#include <exception>

#include "classifier/iso6346.hpp"
#include "recognition/data_lookup.hpp"

namespace karvona {

const char* ToText(ReadError error) {
    switch (error) {
        case ReadError::kNone:
            return "none";
        case ReadError::kBadInput:
            return "bad-input";
        case ReadError::kTooLarge:
            return "too-large";
        case ReadError::kNoRegion:
            return "no-region";
        case ReadError::kTooFewCharacters:
            return "too-few-characters";
        case ReadError::kUnknownOwner:
            return "unknown-owner";
        case ReadError::kCheckDigit:
            return "check-digit";
        case ReadError::kInternal:
            return "internal";
    }
    return "";
}

const char* ToText(Outcome outcome) {
    switch (outcome) {
        case Outcome::kPerfect:
            return "perpect";
        case Outcome::kReview:
            return "review";
        case Outcome::kMistake:
            return "mistake";
        case Outcome::kTryMore:
            return "trymore";
        case Outcome::kUnread:
            return "un";
    }
    return "";
}

const char* ToText(Layout layout) {
    switch (layout) {
        case Layout::kNone:
            return "";
        case Layout::kHorizontalOneLine:
        case Layout::kHorizontalOneLineSpaced:
            return "HORIZONTAL 1 LINE";
        case Layout::kVerticalOneLine:
            return "VERTICAL   1 LINE";
        case Layout::kHorizontalTwoLines:
            return "HORIZONTAL 2 LINES";
        case Layout::kVerticalTwoLines:
            return "VERTICAL   2 LINES";
        case Layout::kHorizontalThreeLines:
            return "HORIZONTAL 3 LINES";
        case Layout::kHorizontalWhlu:
            return "HORIZONTAL - WHLU";
    }
    return "";
}

const char* ToText(Reader reader) {
    switch (reader) {
        case Reader::kMorphology:
            return "morphology";
        case Reader::kCluster:
            return "cluster";
        case Reader::kNone:
            return "none";
    }
    return "";
}

const char* Version() {
    return KARVONA_VERSION;
}

ReferenceData::ReferenceData(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

const std::filesystem::path& ReferenceData::folder() const {
    return impl_->folder;
}

bool ReferenceData::forReadingPlan() const {
    return impl_->forReadingPlan;
}

std::unique_ptr<recognition::Recognizer> ReferenceData::Impl::Take() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!idle_.empty()) {
            auto recognizer = std::move(idle_.back());
            idle_.pop_back();
            return recognizer;
        }
    }
    return std::make_unique<recognition::Recognizer>(view);
}

void ReferenceData::Impl::Give(std::unique_ptr<recognition::Recognizer> recognizer) {
    // An idle recognizer keeps nothing of the photograph; a reader makes its strip again when
    // it draws into it.
    for (cv::Mat* image :
         {&recognizer->sourceImage, &recognizer->displayImage, &recognizer->region,
          &recognizer->pastedRegion, &recognizer->swatchImage, &recognizer->panelImage,
          &recognizer->morphologyStrip, &recognizer->clusterStrip})
        image->release();
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(recognizer));
}

ReferenceDataLoad LoadReferenceData(const std::filesystem::path& folder,
                                    const ReferenceDataOptions& options) {
    ReferenceDataLoad load;
    try {
        auto impl = std::make_shared<ReferenceData::Impl>();
        impl->owned = std::make_unique<recognition::ReferenceDataSet>();
        impl->folder = folder;
        impl->forReadingPlan = !options.strictOnly;
        load.problems =
            recognition::LoadRequiredReferenceData(folder, *impl->owned, !options.strictOnly);
        if (!options.strictOnly) {
            std::string problem = recognition::LoadCharacterNetOf(folder, *impl->owned);
            if (!problem.empty())
                load.problems.push_back(std::move(problem));
        }
        if (load.problems.empty()) {
            impl->view = impl->owned->View();
            load.data = detail::ReferenceDataAccess::Make(std::move(impl));
        }
    } catch (const std::exception& e) {
        load.data.reset();
        load.problems.push_back(std::string("cannot load the reference data: ") + e.what());
    }
    return load;
}

namespace {

// Why a reading that did not validate gave no code.
ReadError ErrorOf(const recognition::RecognitionResult& result,
                  const recognition::ReferenceData& data) {
    if (result.complete)
        return ReadError::kNone;
    if (!result.located())
        return ReadError::kNoRegion;
    const std::string& code = result.code;
    if (code.size() < static_cast<size_t>(classifier::kCodeLength) ||
        code.find('-') != std::string::npos)
        return ReadError::kTooFewCharacters;
    if (data.prefixes == nullptr ||
        !classifier::OwnerPrefixPasses(code, classifier::kCodeLength, *data.prefixes))
        return ReadError::kUnknownOwner;
    return ReadError::kCheckDigit;
}

Outcome OutcomeFrom(recognition::Outcome outcome) {
    switch (outcome) {
        case recognition::Outcome::kPerfect:
            return Outcome::kPerfect;
        case recognition::Outcome::kReview:
            return Outcome::kReview;
        case recognition::Outcome::kMistake:
            return Outcome::kMistake;
        case recognition::Outcome::kTryMore:
            return Outcome::kTryMore;
        case recognition::Outcome::kUn:
            break;
    }
    return Outcome::kUnread;
}

Reader ReaderFrom(recognition::Winner winner) {
    switch (winner) {
        case recognition::Winner::Morphology:
            return Reader::kMorphology;
        case recognition::Winner::Cluster:
            return Reader::kCluster;
        case recognition::Winner::None:
            break;
    }
    return Reader::kNone;
}

CodeCharacter CharacterFrom(const recognition::BoxReading& box) {
    CodeCharacter character;
    character.character = box.character;
    character.box = box.box;
    for (size_t k = 0; k < character.ranks.size(); ++k) {
        character.ranks[k].character = box.ranks.ranks[k].character;
        character.ranks[k].distance = box.ranks.ranks[k].distance;
    }
    character.chosenRank = box.ranks.chosenRank;
    return character;
}

CodeReading ReadingFrom(const recognition::Recognizer& recognizer) {
    const recognition::RecognitionResult& result = recognizer.result;
    CodeReading reading;
    reading.code = result.code;
    reading.outcome = OutcomeFrom(recognition::OutcomeOf(result));
    reading.error = ErrorOf(result, recognizer.data());
    reading.confidence = result.confidence;
    reading.validated = result.complete;
    reading.layout = result.located() ? static_cast<Layout>(result.layoutCode) : Layout::kNone;
    reading.corners = result.corners;
    reading.bounds = result.region;
    for (const recognition::BoxReading& box : recognizer.WinningReading().characters)
        reading.characters.push_back(CharacterFrom(box));
    reading.reader = ReaderFrom(result.reader);
    reading.score = result.score;
    reading.look = result.pass;
    reading.milliseconds = result.ms;
    reading.stages = {result.times.colour, result.times.locate, result.times.read};
    reading.hue = result.hue;
    return reading;
}

// Whether ReadCode takes the image as it is; anything else is bad input.
bool Readable(const cv::Mat& photo) {
    return !photo.empty() && photo.dims == 2 && photo.type() == CV_8UC3;
}

}  // namespace

CodeReading ReadCode(const cv::Mat& photo, const ReferenceData& data, const ReadOptions& options) {
    ReferenceData::Impl& impl = detail::ReferenceDataAccess::Of(data);
    try {
        std::unique_ptr<recognition::Recognizer> recognizer = impl.Take();
        CodeReading reading = recognition::ReadCodeWith(photo, *recognizer, options);
        impl.Give(std::move(recognizer));
        return reading;
    } catch (const std::exception&) {
        CodeReading failed;  // out of memory, or a library that gave up: nothing was read
        failed.error = ReadError::kInternal;
        return failed;
    }
}

}  // namespace karvona

namespace karvona::recognition {

static_assert(karvona::kMaxPixels == kMaxPixels, "one pixel limit inside and out");

karvona::ReferenceData ShareReferenceData(const ReferenceData& view,
                                          const std::filesystem::path& folder,
                                          bool forReadingPlan) {
    auto impl = std::make_shared<karvona::ReferenceData::Impl>();
    impl->view = view;
    impl->folder = folder;
    impl->forReadingPlan = forReadingPlan;
    return detail::ReferenceDataAccess::Make(std::move(impl));
}

const ReferenceData& ViewOf(const karvona::ReferenceData& data) {
    return detail::ReferenceDataAccess::Of(data).view;
}

CodeReading ReadCodeWith(const cv::Mat& photo, Recognizer& recognizer, const ReadOptions& options) {
    RecognitionOptions& set = recognizer.options;
    const bool everyLook = set.everyLook;  // a measuring caller's, kept
    set = RecognitionOptions{};
    set.everyLook = everyLook;
    set.strict = options.strict;
    set.colourPass = options.colour;
    set.lookThreads = options.lookThreads;
    set.viewer = options.steps;
    set.locatorStepView = options.steps != nullptr && options.locatorSteps;
    set.readerStepView = options.steps != nullptr && options.readerSteps;
    set.samples = options.samples;
    recognizer.processedCount = 0;

    // An image it cannot take is read as no photograph, so that the reading is the one of a
    // photograph that could not be loaded.
    const bool tooLarge = !photo.empty() && static_cast<long long>(photo.total()) > kMaxPixels;
    const bool readable = Readable(photo) && !tooLarge;
    recognizer.RecognizeLoaded(readable ? photo : cv::Mat());
    CodeReading reading = ReadingFrom(recognizer);
    if (!readable)
        reading.error = tooLarge ? ReadError::kTooLarge : ReadError::kBadInput;
    if (options.pictures != nullptr) {
        ReadingPictures& pictures = *options.pictures;
        pictures = ReadingPictures{};
        if (readable) {
            pictures.annotated = recognizer.displayImage;
            pictures.region = recognizer.region;
            if (recognizer.result.reader != Winner::None)
                pictures.panel = recognizer.panelImage.clone();
            if (recognizer.result.hue >= 0)
                pictures.swatch = recognizer.swatchImage.clone();
        }
    }
    return reading;
}

RecognitionResult ResultOf(const CodeReading& reading, LoadStatus status) {
    RecognitionResult result;
    result.complete = reading.validated;
    result.code = reading.code;
    result.status = status;
    if (status == LoadStatus::Ok && reading.error == ReadError::kTooLarge)
        result.status = LoadStatus::TooLarge;
    else if (status == LoadStatus::Ok && reading.error == ReadError::kBadInput)
        result.status = LoadStatus::UnsupportedFormat;
    result.layoutCode = static_cast<int>(reading.layout);
    result.reader = reading.reader == Reader::kMorphology ? Winner::Morphology
                    : reading.reader == Reader::kCluster  ? Winner::Cluster
                                                          : Winner::None;
    result.score = reading.score;
    result.region = reading.bounds;
    result.corners = reading.corners;
    result.ms = reading.milliseconds;
    result.times = {reading.stages.colour, reading.stages.locate, reading.stages.read};
    result.hue = reading.hue;
    result.confidence = reading.confidence;
    result.pass = reading.look;
    result.review = reading.outcome == karvona::Outcome::kReview;
    return result;
}

TextColour ColourOf(const CodeReading& reading) {
    return reading.outcome == karvona::Outcome::kReview
               ? kReviewColour
               : ResultColour(reading.validated, reading.code.size());
}

}  // namespace karvona::recognition
