#include "shell/messages.hpp"

namespace karvona::shell {

std::string DeleteQuestion(const std::string& fileName) {
    return fileName + kDeleteQuestion;
}

std::string BackupMessage(const std::filesystem::path& recognizedFolder) {
    return kBackupMessageBefore + recognizedFolder.string() + kBackupMessageAfter;
}

std::string SamplesMessage(const std::filesystem::path& charactersFolder) {
    return kSamplesMessageBefore + charactersFolder.string() + kSamplesMessageAfter;
}

}  // namespace karvona::shell
