#pragma once
// The learned confidence: a logistic model over the evidence of a code (code_evidence.hpp) that
// gives the probability that the code is right, with the sure threshold chosen beside it.
// `scripts/calibrate` fits it on labelled training photographs and writes it as a small text
// file, confidence.txt, in the data folder beside the codebooks:
//
//   karvona-confidence 1
//   threshold 0.95
//   bias -1.25
//   feature margin_min 0.31 0.22 2.5      # name, mean, scale, weight
//   ...
//   chain_floor 0.8                       # optional, see ConfidenceModel::chainFloor
//
// The probability is 1 / (1 + exp(-(bias + sum of weight * (value - mean) / scale))). '#' starts
// a comment. Evidence the file does not name has no weight; a name the program does not know,
// a number that is not finite, a scale that is not positive or a threshold outside (0, 1] make
// the file unusable.

#include <filesystem>
#include <string>
#include <vector>

#include "recognition/code_evidence.hpp"

namespace karvona::recognition {

/// The file name of the model in the data folder.
inline constexpr char kConfidenceFile[] = "confidence.txt";

/// The chain floor of no chain code (ConfidenceModel::chainFloor): a model's without one, and
/// the hand-set confidence's.
inline constexpr double kNoChainFloor = 2.0;

struct ConfidenceTerm {
    int index = 0;  ///< into kEvidenceNames
    double mean = 0.0;
    double scale = 1.0;
    double weight = 0.0;
};

struct ConfidenceModel {
    double threshold = 1.0;  ///< the sure threshold
    double bias = 0.0;
    std::vector<ConfidenceTerm> terms;
    /// The chain reader's codes are left out of the fit (every character of them is the
    /// network's). One that no other look contradicts may still be sure alone when the network
    /// reads every written character of it at least this surely (SureChainAlone); above 1 (a
    /// file without the key): never.
    double chainFloor = kNoChainFloor;

    /// The probability that the code of this evidence is right, 0..1.
    double Probability(const Evidence& evidence) const;

    /// Reads a model file; false with error set (naming the file and the line) when the file
    /// cannot be opened or is not a usable model. The model is left as it was then.
    bool Load(const std::filesystem::path& file, std::string& error);
    /// Writes the model in the format above (numbers rounded to 6 significant digits, so that
    /// the same fit gives the same bytes). False when the file cannot be written.
    bool Save(const std::filesystem::path& file, const std::string& comment) const;
};

}  // namespace karvona::recognition
