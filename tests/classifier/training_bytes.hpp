#pragma once
// Helpers for the classifier tests: a scratch folder per test and training files built byte by
// byte, independently of the codebook's own writer.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "classifier/lvq_cluster.hpp"

namespace karvona::classifier::testing {

using Header = std::array<std::int32_t, 16>;

// featureLength 345: every block on, 40 x 40 normal size, 10 x 10 grid, 25 classes x 3.
inline Header StandardHeader() {
    return {345, 40, 40, 10, 10, 1, 1, 1, 1, 1, 1, 1, 1, 1, 25, 3};
}

class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("karvona-classifier-" + std::string(info->test_suite_name()) + "-" + info->name() +
                 "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void PutInt32(std::string& out, std::int32_t v) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xff));
    }
}

inline void PutDouble(std::string& out, double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xff));
    }
}

inline std::string TrainingBytes(const Header& header,
                                 const std::vector<LvqPrototype>& records = {}) {
    std::string out;
    for (std::int32_t word : header) {
        PutInt32(out, word);
    }
    for (const LvqPrototype& p : records) {
        for (double v : p.vector) {
            PutDouble(out, v);
        }
        PutInt32(out, p.label);
    }
    return out;
}

// count prototypes of length values each, with labels k / perClass and distinct values.
inline std::vector<LvqPrototype> NumberedPrototypes(int count, int length, int perClass) {
    std::vector<LvqPrototype> out(count);
    for (int k = 0; k < count; ++k) {
        out[k].label = k / perClass;
        out[k].vector.resize(length);
        for (int i = 0; i < length; ++i) {
            out[k].vector[i] = k * 0.001 + i * 0.25 - 3.0;
        }
    }
    return out;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
}

}  // namespace karvona::classifier::testing
