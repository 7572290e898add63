#include "recognition/folders.hpp"

#include <cstdlib>

namespace karvona::recognition {

std::filesystem::path RootFolder() {
    if (const char* root = std::getenv("KARVONA_ROOT"); root != nullptr && *root != '\0') {
        return std::filesystem::path(root);
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::filesystem::path(home) / "karvona";
    }
    return std::filesystem::current_path() / "karvona";
}

std::filesystem::path RecognizedFolder() {
    return RootFolder() / "recognized";
}
std::filesystem::path CharactersFolder() {
    return RootFolder() / "characters";
}
std::filesystem::path UnrecognizedFolder() {
    return RootFolder() / "unrecognized";
}

}  // namespace karvona::recognition
