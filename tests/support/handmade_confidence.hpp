#pragma once
// A confidence model for tests that read drawn photographs with hand-made codebooks: sure exactly
// where the hand-set confidence reaches its threshold (0.65), 1.00 for a clear reading and 0.00
// for none, so that the tests do not depend on the fitted model shipped in data/.

#include <filesystem>
#include <fstream>

#include "recognition/confidence_model.hpp"

namespace karvona::test_support {

inline constexpr char kHandSetConfidenceModel[] =
    "karvona-confidence 1\nthreshold 0.5\nbias 0\nfeature hand_agreed 0.65 0.025 1\n";

inline void WriteHandSetConfidence(const std::filesystem::path& folder) {
    std::ofstream(folder / recognition::kConfidenceFile) << kHandSetConfidenceModel;
}

}  // namespace karvona::test_support
