#pragma once
// The train command: reads a sample folder, trains the letter and the digit codebook and writes
// both training files, or, when anything is wrong with the input, says what and writes neither.

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace karvona::training {

struct TrainOptions {
    std::filesystem::path samples;                   ///< synthetic samples
    std::vector<std::filesystem::path> moreSamples;  ///< further synthetic folders, in order
    std::filesystem::path real;     ///< optional: samples cut from real photographs
    std::filesystem::path letters;  ///< training file of the letter codebook
    std::filesystem::path digits;   ///< training file of the digit codebook
    std::string norm = "40x40";     ///< normalised character size, WxH
    std::string grid = "10x10";     ///< binary grid size, WxH
    int protos = 3;                 ///< prototypes per class (at most 100 per codebook)
    std::uint64_t seed = 1;
    int epochs = 30;
    int realRepeat = 1;    ///< times each real sample counts
    bool balance = false;  ///< count small classes up towards the median class
    int realEpochs = 0;    ///< epochs on the real samples alone at the end
};

/// Parses "WxH" into positive width and height; false for anything else.
bool ParseSize(const std::string& text, int& width, int& height);

/// Trains both codebooks on the synthetic samples and, when given, the real ones, and prints
/// per class how many of each it trained on and held out. Returns 0 when both files were
/// written, 1 otherwise (nothing written).
int RunTrain(const TrainOptions& options, std::ostream& out, std::ostream& err);

}  // namespace karvona::training
