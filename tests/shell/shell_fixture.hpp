#pragma once
// A fresh folder per test that also stands as the root of the fixed folders (KARVONA_ROOT).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace karvona::shell::testing {

namespace fs = std::filesystem;

inline void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("karvona-shell-" + std::to_string(getpid()) + "-" +
                                            info->test_suite_name() + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const char* saved = std::getenv("KARVONA_ROOT");
        hadRoot_ = saved != nullptr;
        savedRoot_ = saved ? saved : "";
        setenv("KARVONA_ROOT", (dir_ / "root").c_str(), 1);
    }
    void TearDown() override {
        if (hadRoot_) {
            setenv("KARVONA_ROOT", savedRoot_.c_str(), 1);
        } else {
            unsetenv("KARVONA_ROOT");
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    const fs::path& dir() const { return dir_; }

private:
    fs::path dir_;
    bool hadRoot_ = false;
    std::string savedRoot_;
};

}  // namespace karvona::shell::testing
