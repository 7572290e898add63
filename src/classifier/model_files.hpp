#pragma once
// What the network readers share in loading their files: the model's bytes, and the description
// file beside it, "key value" lines where '#' starts a comment line.

#include <filesystem>
#include <map>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace karvona::classifier {

/// The bytes of a model file; false with error ("<what> <path> cannot be read" or "... does not
/// exist") when it is no regular file or cannot be read.
bool ReadModelBytes(const std::filesystem::path& path, const std::string& what,
                    std::vector<uchar>& bytes, std::string& error);

/// The keys and values of a description file (the first word of a line and the second); false
/// with error ("<what> <path> cannot be read" or "... does not exist") when it cannot be read.
bool ReadModelDescription(const std::filesystem::path& path, const std::string& what,
                          std::map<std::string, std::string>& keys, std::string& error);

}  // namespace karvona::classifier
