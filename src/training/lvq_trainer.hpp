#pragma once
// Training of one LVQ codebook from labelled feature vectors.
//
// The samples of each character form a group. The letter codebook has one class per group (25
// letters, A to Z without Q); the digit codebook has two per digit, 2d and 2d+1, one for each of
// two writing styles that 2-means finds among the digit's samples. Every class starts from the
// centres of a k-means run over its own samples. Then OLVQ1 epochs move the nearest prototype
// toward samples of its own character and away from others, each prototype with its own rate,
// all rates capped by a bound that falls to zero; and LVQ2.1 epochs widen the distance between
// the nearest right and the nearest wrong prototype where it is small. Every fifth sample of each
// group is held out and only used to measure the result.
//
// Everything runs in one thread on a seeded generator of the trainer's own, so one seed always
// gives the same codebook, byte for byte.

#include <cstdint>
#include <string>
#include <vector>

#include "classifier/lvq_cluster.hpp"

namespace karvona::training {

enum class CodebookKind { Letters, Digits };

/// Groups (characters) and classes of a codebook kind.
int GroupCount(CodebookKind kind);  ///< 25 letters or 10 digits
int ClassCount(CodebookKind kind);  ///< 25 or 20
/// The character of a group: A..Z without Q, or 0..9; 0 for an index outside.
char GroupChar(CodebookKind kind, int group);
/// The group of a character, -1 when the kind has no such character (Q included).
int GroupOf(CodebookKind kind, char character);

/// The feature recipe of a trained codebook; all nine blocks are always on.
struct FeatureRecipe {
    int normWidth = 40;
    int normHeight = 40;
    int gridWidth = 10;
    int gridHeight = 10;
};

/// An empty codebook with the recipe, every block on and featureLength the blocks' total.
classifier::CLvqCluster MakeCodebook(const FeatureRecipe& recipe);

struct LvqOptions {
    int prototypesPerClass = 3;  ///< lowered to what keeps the codebook within kMaxPrototypes
    std::uint64_t seed = 1;
    int epochs = 30;
    double initialRate = 0.3;  ///< OLVQ1, the first half of the epochs
    double marginRate = 0.02;  ///< LVQ2.1, the second half
    double margin = 25.0;      ///< squared-distance window of LVQ2.1
    int validationEvery = 5;   ///< every n-th sample of a group is held out (n >= 2)
    /// Real samples (harvested from photographs) are few beside the synthetic ones: each real
    /// training sample counts this many times, in the starting k-means and in every epoch.
    int realRepeat = 1;
    /// Classes with fewer training samples than the median class are counted more often (at
    /// most 8 times) so that every class weighs about as much as the median one.
    bool balance = false;
    /// OLVQ1 epochs on the real training samples alone after the others, with rates capped by
    /// realRate falling to zero.
    int realEpochs = 0;
    double realRate = 0.05;
};

/// The readers rank at most this many prototypes.
inline constexpr int kMaxPrototypes = 100;

/// Prototypes per class actually used for a kind: min(requested, kMaxPrototypes / classes).
int PrototypesPerClass(CodebookKind kind, int requested);

struct GroupResult {
    int training = 0;
    int validation = 0;
    int correct = 0;  ///< validation samples read as their own character
    // The real samples among them.
    int realTraining = 0;
    int realValidation = 0;
    int realCorrect = 0;
};

struct Confusion {
    char truth = 0;
    char read = 0;  ///< 0 when no class was read
    int count = 0;
};

struct TrainingResult {
    std::vector<GroupResult> groups;    ///< by group
    std::vector<Confusion> confusions;  ///< most frequent first, then by characters
    int validationTotal = 0;
    int validationCorrect = 0;
    int realValidationTotal = 0;
    int realValidationCorrect = 0;
    double ValidationAccuracy() const {
        return validationTotal > 0 ? static_cast<double>(validationCorrect) / validationTotal : 0.0;
    }
};

/// Trains codebook (whose recipe gives the vector length) on features[i] of group groups[i].
/// Every vector must have featureLength values and every group of the kind at least one sample;
/// otherwise error says why, the codebook's table is left empty and false is returned. On
/// success the table holds classCount x prototypesPerClass prototypes in class order.
/// real (empty, or one flag per sample) marks the samples cut from real photographs: every n-th
/// of them per group is held out on its own count, and options say how much they weigh.
bool TrainCodebook(const std::vector<std::vector<double>>& features, const std::vector<int>& groups,
                   CodebookKind kind, const LvqOptions& options, classifier::CLvqCluster& codebook,
                   TrainingResult& result, std::string& error, const std::vector<bool>& real = {});

/// The character a codebook reads for a feature vector: the prototypes ranked exactly as
/// classification ranks them, then the runner-up rule.
char ReadVector(const classifier::CLvqCluster& codebook, const std::vector<double>& features,
                bool digitPosition);

/// Small deterministic generator (splitmix64): the same sequence on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    /// Uniform in [0, bound); 0 for bound <= 0.
    int Below(int bound);
    /// Uniform in [0, 1).
    double Unit();

private:
    std::uint64_t state_;
};

/// k-means with k-means++ seeding on the given vectors; returns k centres (k >= 1). With fewer
/// distinct vectors than k, some centres repeat. assignment (when given) receives each vector's
/// centre.
std::vector<std::vector<double>> KMeans(const std::vector<const std::vector<double>*>& vectors,
                                        int k, Random& random, std::vector<int>* assignment);

}  // namespace karvona::training
