#include "classifier/model_files.hpp"

#include <fstream>
#include <iterator>
#include <sstream>

namespace karvona::classifier {

namespace fs = std::filesystem;

bool ReadModelBytes(const fs::path& path, const std::string& what, std::vector<uchar>& bytes,
                    std::string& error) {
    std::error_code ec;
    std::ifstream in;
    bool read = fs::is_regular_file(path, ec);
    if (read) {
        in.open(path, std::ios::binary);
        read = static_cast<bool>(in);
    }
    if (read) {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        read = !in.bad();
    }
    if (!read) {
        error = what + " " + path.string() +
                (fs::exists(path, ec) ? " cannot be read" : " does not exist");
        return false;
    }
    return true;
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
