#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <opencv2/imgproc.hpp>
#include <random>

#include "classifier/classification.hpp"
#include "classifier/lvq_cluster.hpp"

using namespace karvona::classifier;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// A codebook whose vector is the crop's aspect followed by zeros, so that distances are set
// directly by the prototypes: a crop 4 wide and 2 tall has the vector (2, 0, 0, ...).
CLvqCluster AspectCodebook(int featureLength = 1) {
    CLvqCluster c;
    c.featureLength = featureLength;
    c.useGrid = c.useRowInk = c.useColumnInk = c.useLeftProfile = c.useRightProfile = 0;
    c.useTopProfile = c.useBottomProfile = c.useCentreCross = 0;
    c.useAspect = 1;
    return c;
}

const cv::Mat kCrop(2, 4, CV_8UC1, cv::Scalar(255));  // aspect 2

void Add(CLvqCluster& c, std::vector<double> vector, int label) {
    c.prototypes.push_back({std::move(vector), label});
}

}  // namespace

TEST(Classify, RanksSquaredDistancesAscending) {
    CLvqCluster c = AspectCodebook(2);
    Add(c, {5.0, 0.0}, 10);  // 9
    Add(c, {2.5, 0.0}, 11);  // 0.25
    Add(c, {2.0, 3.0}, 12);  // 0 + 9: equal to the first
    Add(c, {0.0, 1.0}, 13);  // 4 + 1
    std::vector<int> classes;
    std::vector<double> distances;
    EXPECT_EQ(c.Classify(kCrop, classes, distances), 11);
    // The exchange sort moves the first 9 behind the second: 11, 13, 12, 10.
    EXPECT_EQ(classes, (std::vector<int>{11, 13, 12, 10, kNoClass}));
    EXPECT_EQ(distances, (std::vector<double>{0.25, 5.0, 9.0, 9.0, kInf}));
}

TEST(Classify, EqualLeastDistanceGoesToThePrototypeStoredFirst) {
    for (auto [first, second] : {std::pair{4, 9}, std::pair{9, 4}}) {
        CLvqCluster c = AspectCodebook();
        Add(c, {7.0}, 1);
        Add(c, {3.0}, first);
        Add(c, {3.0}, second);
        std::vector<int> classes;
        std::vector<double> distances;
        EXPECT_EQ(c.Classify(kCrop, classes, distances), first);
    }
}

TEST(Classify, RanksEveryPrototypeOfALargeCodebook) {
    CLvqCluster c = AspectCodebook();
    for (int k = 0; k < 150; ++k) {
        Add(c, {2.0 + (149 - k)}, k);
    }
    std::vector<int> classes;
    std::vector<double> distances;
    EXPECT_EQ(c.Classify(kCrop, classes, distances), 149);
    ASSERT_EQ(classes.size(), 150u);
    EXPECT_EQ(classes[149], 0);
    EXPECT_EQ(distances[149], 149.0 * 149.0);
}

// Distances are summed in feature order, prototype by prototype, to the last bit, however many
// prototypes are summed side by side and whatever their lengths.
TEST(Classify, DistancesAreTheFeatureOrderSumsToTheLastBit) {
    CLvqCluster c;
    c.gridWidth = c.gridHeight = 10;
    c.featureLength = static_cast<int>(c.EnabledFeatureLength());
    cv::Mat crop(50, 30, CV_8UC1, cv::Scalar(0));
    cv::ellipse(crop, {15, 25}, {12, 22}, 0, 0, 360, cv::Scalar(255), 5);
    const std::vector<double> v = c.ComputeFeatures(crop);
    std::mt19937 rng(8);
    std::uniform_real_distribution<double> value(0.0, 1.0);
    for (const int count : {1, 3, 4, 7, 9, 100}) {
        c.prototypes.clear();
        for (int k = 0; k < count; ++k) {
            // One prototype in five is shorter than the vector: only its own length counts.
            std::vector<double> p(k % 5 == 2 ? v.size() / 2 : v.size());
            for (double& x : p)
                x = value(rng) * 1.7;
            Add(c, p, k);
        }
        std::vector<int> classes;
        std::vector<double> distances;
        c.Classify(crop, classes, distances);
        for (int r = 0; r < count; ++r) {
            const std::vector<double>& p = c.prototypes[static_cast<size_t>(classes[r])].vector;
            double sum = 0.0;
            for (size_t i = 0; i < p.size(); ++i)
                sum += (p[i] - v[i]) * (p[i] - v[i]);
            ASSERT_EQ(std::memcmp(&sum, &distances[r], sizeof sum), 0) << count << ", rank " << r;
        }
    }
}

TEST(Classify, SmallEmptyAndUnusableCasesReadAsNoClass) {
    CLvqCluster c = AspectCodebook();
    CharacterReading empty = ClassifyCharacter(c, kCrop, false);
    for (const RankedClass& r : empty.ranks) {
        EXPECT_EQ(r.classIndex, kNoClass);
        EXPECT_EQ(r.character, 0);
        EXPECT_EQ(r.distance, kInf);
    }
    EXPECT_EQ(empty.character(), 0);

    Add(c, {2.0}, 3);
    Add(c, {3.0}, 4);
    const CharacterReading two = ClassifyCharacter(c, kCrop, false);
    EXPECT_EQ(two.character(), 'D');
    EXPECT_EQ(two.ranks[1].character, 'E');
    EXPECT_EQ(two.ranks[2].classIndex, kNoClass);
    EXPECT_EQ(two.ranks[4].distance, kInf);

    EXPECT_EQ(ClassifyCharacter(c, cv::Mat(), true).character(), 0);
    EXPECT_EQ(ClassifyCharacter(c, cv::Mat(2, 4, CV_8UC3), true).classIndex(), kNoClass);
}

TEST(Classify, RunnerUpRuleEndToEnd) {
    CLvqCluster c = AspectCodebook();
    Add(c, {3.0}, 0);  // A at 1
    Add(c, {4.0}, 1);  // B at 4
    Add(c, {5.0}, 1);  // B at 9
    const CharacterReading r = ClassifyCharacter(c, kCrop, false);
    EXPECT_EQ(r.ranks[0].character, 'A');
    EXPECT_EQ(r.chosenRank, 1);
    EXPECT_EQ(r.character(), 'B');
    EXPECT_EQ(r.classIndex(), 1);
}

TEST(RunnerUp, FollowsTheSecondRankOnlyWhenItRecursCloseBehind) {
    enum { A, B, C, D, E };
    EXPECT_EQ(RunnerUpRank({A, B, B, C, D}, {100, 105, 112, 130, 140}), 1);
    EXPECT_EQ(RunnerUpRank({A, B, C, B, D}, {100, 109, 115, 120, 125}), 0);  // 11 behind
    EXPECT_EQ(RunnerUpRank({A, B, C, B, D}, {100, 109, 115, 118, 125}), 1);  // rank 3, 9 behind
    EXPECT_EQ(RunnerUpRank({A, B, B, C, D}, {100, 110, 111, 130, 140}), 0);  // exactly 10
    EXPECT_EQ(RunnerUpRank({A, A, A, C, D}, {100, 101, 102, 130, 140}), 0);  // same class
    EXPECT_EQ(RunnerUpRank({A, B, C, D, E}, {100, 101, 102, 103, 104}), 0);  // no recurrence
    // Only the first recurrence counts, even when a later one is closer.
    EXPECT_EQ(RunnerUpRank({A, B, B, B, D}, {100, 101, 112, 102, 140}), 0);
    EXPECT_EQ(
        RunnerUpRank({A, kNoClass, kNoClass, kNoClass, kNoClass}, {100, kInf, kInf, kInf, kInf}),
        0);

    // Classes 6 and 7 are both the digit 3 but count as different classes.
    const std::array<int, kShownRanks> digits{6, 7, 7, 0, 0};
    const int chosen = RunnerUpRank(digits, {50, 52, 55, 90, 95});
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(ClassIndexToChar(digits[chosen], true), '3');
}

TEST(ClassTable, LettersWithoutQAndTwoClassesPerDigit) {
    std::string letters, digits;
    for (int k = 0; k < 25; ++k) {
        letters += ClassIndexToChar(k, false);
    }
    for (int k = 0; k < 20; ++k) {
        digits += ClassIndexToChar(k, true);
    }
    EXPECT_EQ(letters, "ABCDEFGHIJKLMNOPRSTUVWXYZ");
    EXPECT_EQ(digits, "00112233445566778899");
    for (int k : {-1, 25, 26, 1000}) {
        EXPECT_EQ(ClassIndexToChar(k, false), 0) << k;
    }
    for (int k : {-1, 20, 24}) {
        EXPECT_EQ(ClassIndexToChar(k, true), 0) << k;
    }
}
