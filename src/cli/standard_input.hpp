#pragma once
// A photograph given to `karvona read` on standard input ("-").

#include <filesystem>
#include <string>
#include <vector>

namespace karvona::cli {

// A photograph given on standard input ("-"), kept in a temporary file for the run so that it is
// read, archived and named like any other; the file goes when the run ends.
class StandardInputPhotograph {
public:
    StandardInputPhotograph() = default;
    ~StandardInputPhotograph();
    StandardInputPhotograph(const StandardInputPhotograph&) = delete;
    StandardInputPhotograph& operator=(const StandardInputPhotograph&) = delete;

    /// Reads standard input to its end (at most one byte past the loader's file limit, so that an
    /// endless stream is refused as too large). False with a message when that fails.
    bool Read();
    const std::filesystem::path& file() const { return file_; }
    /// "stdin" with the extension of the format its bytes start with.
    const std::string& name() const { return name_; }

private:
    static const char* ExtensionFor(const std::vector<char>& bytes);
    std::filesystem::path file_;
    std::string name_;
};

}  // namespace karvona::cli
