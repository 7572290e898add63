#include "classifier/model_files.hpp"

#include <fstream>
#include <iterator>
#include <sstream>

namespace karvona::classifier {

namespace fs = std::filesystem;

bool ReadModelBytes(const fs::path& path, std::vector<uchar>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool ReadModelDescription(const fs::path& path, const std::string& what,
                          std::map<std::string, std::string>& keys, std::string& error) {
    keys.clear();
    std::ifstream in(path);
    if (!in) {
        std::error_code ec;
        error = what + " " + path.string() +
                (fs::exists(path, ec) ? " cannot be read" : " does not exist");
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string key, value;
        fields >> key >> value;
        keys[key] = value;
    }
    return true;
}

}  // namespace karvona::classifier
