#include "recognition/result.hpp"

namespace karvona::recognition {

const char* LoadStatusName(LoadStatus status) {
    switch (status) {
        case LoadStatus::Ok:
            return "ok";
        case LoadStatus::Missing:
            return "missing";
        case LoadStatus::NotRegularFile:
            return "not-a-file";
        case LoadStatus::CannotRead:
            return "cannot-read";
        case LoadStatus::UnsupportedFormat:
            return "unsupported-format";
        case LoadStatus::TooLarge:
            return "too-large";
        case LoadStatus::CannotDecode:
            break;
    }
    return "cannot-decode";
}

const char* ReaderName(Winner winner) {
    switch (winner) {
        case Winner::Morphology:
            return "morphology";
        case Winner::Cluster:
            return "cluster";
        case Winner::None:
            break;
    }
    return "none";
}

const char* OutcomeFolderName(Outcome outcome) {
    switch (outcome) {
        case Outcome::kPerfect:
            return "perpect";
        case Outcome::kMistake:
            return "mistake";
        case Outcome::kTryMore:
            return "trymore";
        case Outcome::kReview:
            return "review";
        case Outcome::kUn:
            break;
    }
    return "un";
}

Outcome OutcomeOf(const RecognitionResult& result) {
    const std::size_t length = result.code.size();
    if (result.complete && length == 11)
        return result.review ? Outcome::kReview : Outcome::kPerfect;
    if (length == 11)
        return Outcome::kMistake;
    if (length >= 7)
        return Outcome::kTryMore;
    return Outcome::kUn;
}

}  // namespace karvona::recognition
