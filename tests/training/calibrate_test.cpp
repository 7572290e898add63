#include "training/calibrate.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace karvona::training {
namespace {

namespace fs = std::filesystem;

// A fit from a saved evidence file must decide as the reading did: the doubts that keep a code
// from being sure travel with the evidence.
TEST(CalibrateEvidence, KeepsTheDoubtsAndReadsOlderFiles) {
    const fs::path file = fs::path(testing::TempDir()) / "calibrate-evidence.txt";
    recognition::Candidate doubted;
    doubted.code = "TEPU1234566";
    doubted.look = 3;
    doubted.evidence.values[0] = 0.25;
    doubted.evidence.values[static_cast<size_t>(recognition::EvidenceIndex("net_written_min"))] = 1;
    doubted.netTwin = true;
    doubted.twinShare = 0.125f;
    doubted.guidedNet = 0.5f;
    doubted.lineGoesOn = true;
    doubted.tallBox = true;
    doubted.cropDoubt = true;
    recognition::Candidate plain = doubted;
    plain.netTwin = plain.lineGoesOn = plain.tallBox = plain.cropDoubt = false;
    plain.twinShare = 0.0f;
    plain.guidedNet = 1.0f;
    SaveEvidence(file, {{"set", "a.jpg", {doubted, plain}, {true, false}}});

    std::vector<CalibrationPhoto> loaded;
    ASSERT_TRUE(LoadEvidence(file, loaded));
    ASSERT_EQ(loaded.size(), 1u);
    ASSERT_EQ(loaded[0].candidates.size(), 2u);
    const recognition::Candidate& c = loaded[0].candidates[0];
    EXPECT_TRUE(c.netTwin && c.lineGoesOn && c.tallBox && c.cropDoubt);
    EXPECT_FLOAT_EQ(c.twinShare, 0.125f);
    EXPECT_FLOAT_EQ(c.guidedNet, 0.5f);
    EXPECT_EQ(c.evidence.values, doubted.evidence.values);
    EXPECT_FALSE(recognition::MayBeSure(loaded[0].candidates, 0));
    EXPECT_TRUE(recognition::MayBeSure(loaded[0].candidates, 1));
    EXPECT_EQ(loaded[0].right, (std::vector<bool>{true, false}));

    // A line written before the doubts were kept: the values, no marker.
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    {
        std::ofstream older(file);
        older << line.substr(0, line.find("\t|")) << "\n";
    }
    loaded.clear();
    ASSERT_TRUE(LoadEvidence(file, loaded));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_FALSE(loaded[0].candidates[0].netTwin);
    EXPECT_TRUE(recognition::MayBeSure(loaded[0].candidates, 0));
    fs::remove(file);
}

}  // namespace
// The chain floor lies above the surest wrong chain code that no other look contradicted, and
// a photograph it makes sure counts as the plan would decide it.
TEST(CalibrateChainFloor, LiesAboveTheSurestWrongChainCodeAlone) {
    auto chain = [](const char* code, double netMin) {
        recognition::Candidate c;
        c.code = code;
        c.look = 21;
        c.evidence.values[static_cast<size_t>(recognition::EvidenceIndex("chains"))] = 1.0;
        c.evidence.values[static_cast<size_t>(recognition::EvidenceIndex("net_written_min"))] =
            netMin;
        return c;
    };
    recognition::Candidate other = chain("TEPU1234566", 0.99);
    other.evidence = {};
    other.look = 1;
    const std::vector<CalibrationPhoto> photos = {
        {"s", "a.jpg", {chain("MSKU1234565", 0.7)}, {false}},
        {"s", "b.jpg", {chain("MSKU1234565", 0.9)}, {true}},
        // contradicted by a likely code of an earlier look: not counted however sure
        {"s", "c.jpg", {other, chain("MSKU1234565", 0.95)}, {true, false}}};
    double last = 0.0;
    int right = 0;
    const Probabilities none = {{0.0}, {0.0}, {0.9, 0.0}};
    const double floor = ChooseChainFloor(photos, none, &last, &right);
    EXPECT_DOUBLE_EQ(last, 0.7);
    EXPECT_NEAR(floor, 0.794, 1e-9);  // logit(0.7) + 0.5, rounded up
    EXPECT_EQ(right, 1);
    const ThresholdCount count = CountAt(photos, none, 0.99, floor);
    EXPECT_EQ(count.perfect, 1);
    EXPECT_EQ(count.misread, 0);
    EXPECT_EQ(ChooseChainFloor({photos[1]}, {{0.0}}),
              recognition::kNoChainFloor);  // nothing wrong

    // An unevenly spaced chain code is never sure alone, so it does not hold the floor up; the
    // floor keeps its least below a weak wrong one.
    CalibrationPhoto uneven = photos[0];
    uneven.candidates[0]
        .evidence.values[static_cast<size_t>(recognition::EvidenceIndex("chain_uneven"))] = 1.0;
    CalibrationPhoto weak = photos[0];
    weak.candidates[0]
        .evidence.values[static_cast<size_t>(recognition::EvidenceIndex("net_written_min"))] = 0.1;
    EXPECT_EQ(ChooseChainFloor({uneven, photos[1]}, {{0.0}, {0.0}}), recognition::kNoChainFloor);
    EXPECT_DOUBLE_EQ(ChooseChainFloor({weak, photos[1]}, {{0.0}, {0.0}}), kLowestChainFloor);
}

}  // namespace karvona::training
