#pragma once
// What the reading pass takes from a codebook for one character: the five nearest ranks with
// their characters and squared distances, and the rank that the runner-up rule chooses.

#include <array>
#include <opencv2/core.hpp>

#include "classifier/lvq_cluster.hpp"

namespace karvona::classifier {

/// Ranks shown per character and read by the runner-up rule.
inline constexpr int kShownRanks = 5;

/// The character of a class index: in the letter codebook 0..24 are A..Z without Q, in the digit
/// codebook 0..19 are the digits, two classes per digit (2d and 2d+1 are d). Any other index,
/// kNoClass included, gives the character code 0.
char ClassIndexToChar(int classIndex, bool digitPosition);

/// The runner-up rule over ranks 0..4: rank 1 is chosen when its class differs from rank 0's,
/// lies less than 10 behind it, and recurs at rank 2, 3 or 4 (the first such rank) less than 10
/// behind rank 1; otherwise rank 0. Class indices are compared, not characters.
int RunnerUpRank(const std::array<int, kShownRanks>& classes,
                 const std::array<double, kShownRanks>& distances);

struct RankedClass {
    int classIndex = kNoClass;
    char character = 0;     ///< ClassIndexToChar of classIndex; 0 for no class
    double distance = 0.0;  ///< squared distance; +infinity for a rank no prototype fills
};

struct CharacterReading {
    std::array<RankedClass, kShownRanks> ranks;
    int chosenRank = 0;  ///< 0, or 1 when the runner-up rule prefers rank 1

    char character() const { return ranks[chosenRank].character; }
    int classIndex() const { return ranks[chosenRank].classIndex; }
};

/// Classifies one character crop with a codebook and applies the runner-up rule. An empty
/// codebook or an unusable image reads as no class (character code 0) at every rank.
CharacterReading ClassifyCharacter(const CLvqCluster& codebook, const cv::Mat& character,
                                   bool digitPosition);

}  // namespace karvona::classifier
