#pragma once
// The train command: reads a sample folder, trains the letter and the digit codebook and writes
// both training files, or, when anything is wrong with the input, says what and writes neither.

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>

namespace karvona::training {

struct TrainOptions {
    std::filesystem::path samples;
    std::filesystem::path letters;  ///< training file of the letter codebook
    std::filesystem::path digits;   ///< training file of the digit codebook
    std::string norm = "40x40";     ///< normalised character size, WxH
    std::string grid = "10x10";     ///< binary grid size, WxH
    int protos = 3;                 ///< prototypes per class (at most 100 per codebook)
    std::uint64_t seed = 1;
    int epochs = 30;
};

/// Parses "WxH" into positive width and height; false for anything else.
bool ParseSize(const std::string& text, int& width, int& height);

/// Returns 0 when both files were written, 1 otherwise (nothing written).
int RunTrain(const TrainOptions& options, std::ostream& out, std::ostream& err);

}  // namespace karvona::training
