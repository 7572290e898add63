#include "classifier/messages.hpp"

namespace karvona::classifier {

std::vector<std::string> TrainingLoadMessages(LoadStatus status,
                                              const std::string& fileMissingText) {
    switch (status) {
        case LoadStatus::Ok:
            return {};
        case LoadStatus::NoPrototypes:
            return {kTrainingHeaderUnreadableText, fileMissingText};
        case LoadStatus::Missing:
        case LoadStatus::Invalid:
            break;
    }
    return {fileMissingText};
}

}  // namespace karvona::classifier
