#pragma once
// Running the karvona binary as an operator would, in a fresh folder that is also the root of
// the fixed folders, with reference data whose codebooks read the drawn photographs exactly.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "drawn_photos.hpp"
#include "handmade_codebook.hpp"
#include "handmade_confidence.hpp"

namespace karvona::cli::testing {

namespace fs = std::filesystem;

struct ToolRun {
    std::string out;
    std::string err;
    int exitCode = -1;
};

inline std::string Quoted(const fs::path& path) {
    std::string quoted = "'";
    for (char c : path.string()) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

/// Every file under folder, as paths relative to it.
inline std::set<std::string> FilesUnder(const fs::path& folder) {
    std::set<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file()) {
            files.insert(fs::relative(it->path(), folder).string());
        }
    }
    return files;
}

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("karvona-cli-" + std::to_string(getpid()) + "-" +
                                            info->test_suite_name() + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    const fs::path& dir() const { return dir_; }
    fs::path Root() const { return dir_ / "root"; }

    /// The codebooks of the glyphs DrawCodePhoto paints and the prefixes ABCU and TGHU.
    fs::path Data() {
        const fs::path data = dir_ / "data";
        if (!fs::exists(data / "prefix.txt")) {
            fs::create_directories(data);
            EXPECT_TRUE(test_support::DrawnGlyphCodebook(false).SaveTrainingFile(
                (data / "prefixes.trn").string()));
            EXPECT_TRUE(test_support::DrawnGlyphCodebook(true).SaveTrainingFile(
                (data / "numbers.trn").string()));
            std::ofstream(data / "prefix.txt") << "ABCU\nTGHU\n";
            // The reading plan also asks the shipped character network.
            for (const char* file : {"charnet.onnx", "charnet.txt"})
                fs::copy_file(fs::path(KARVONA_SOURCE_DIR) / "data" / file, data / file);
            test_support::WriteHandSetConfidence(data);
        }
        return data;
    }

    /// A drawn photograph of code in the given layout; an empty code gives a flat photograph.
    fs::path Photo(const fs::path& path, const std::string& code, int layout = 0) {
        fs::create_directories(path.parent_path());
        if (code.empty()) {
            cv::imwrite(path.string(), cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(90)));
        } else {
            karvona::testing::CodeDrawing d;
            d.text = code;
            d.layout = layout;
            cv::imwrite(path.string(), karvona::testing::DrawCodePhoto(d).image);
        }
        return path;
    }

    /// Runs `karvona arguments` with KARVONA_ROOT set to root, without $KARVONA_DATA and in an
    /// environment without a language (so English), unless `environment` (shell assignments such
    /// as "KARVONA_DATA=/x" or "LANG=en_US.UTF-8") sets them, in the folder cwd (default: the
    /// test's own).
    ToolRun Run(const std::string& arguments, const fs::path& root = {},
                const std::string& environment = {}, const fs::path& cwd = {}) {
        return Shell("cd " + Quoted(cwd.empty() ? dir_ : cwd) +
                     " && env -u KARVONA_DATA LC_ALL= LC_MESSAGES= LANG= " + environment +
                     " KARVONA_ROOT=" + Quoted(root.empty() ? Root() : root) + " " +
                     std::string(KARVONA_BIN) + " " + arguments);
    }

    /// Runs a shell command line, its standard error kept apart.
    ToolRun Shell(const std::string& commandLine) {
        ToolRun run;
        const fs::path errFile = dir_ / "stderr.txt";
        const std::string command = commandLine + " 2>" + Quoted(errFile);
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return run;
        }
        std::array<char, 4096> buffer{};
        while (fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
            run.out += buffer.data();
        }
        const int status = pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.err = ReadText(errFile);
        return run;
    }

    /// Runs `karvona read --data DATA arguments`.
    ToolRun Read(const std::string& arguments, const fs::path& root = {},
                 const std::string& environment = {}) {
        return Run("read --data " + Quoted(Data()) + " " + arguments, root, environment);
    }

private:
    fs::path dir_;
};

}  // namespace karvona::cli::testing
