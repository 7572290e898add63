#include "classifier/messages.hpp"

namespace karvona::classifier {

std::vector<std::string> TrainingLoadMessages(TrainingFileStatus status,
                                              const std::string& fileMissingText) {
    switch (status) {
        case TrainingFileStatus::Ok:
            return {};
        case TrainingFileStatus::NoPrototypes:
            return {kTrainingHeaderUnreadableText, fileMissingText};
        case TrainingFileStatus::Missing:
        case TrainingFileStatus::Invalid:
            break;
    }
    return {fileMissingText};
}

}  // namespace karvona::classifier
