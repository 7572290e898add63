#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "classifier/lvq_cluster.hpp"
#include "classifier/messages.hpp"
#include "training_bytes.hpp"

using namespace karvona::classifier;
using namespace karvona::classifier::testing;

namespace {

Header HeaderOf(const CLvqCluster& c) {
    return {c.featureLength,  c.normWidth,       c.normHeight,    c.gridWidth,
            c.gridHeight,     c.useGrid,         c.useRowInk,     c.useColumnInk,
            c.useLeftProfile, c.useRightProfile, c.useTopProfile, c.useBottomProfile,
            c.useCentreCross, c.useAspect,       c.classCount,    c.prototypesPerClass};
}

void SetHeader(CLvqCluster& c, const Header& h) {
    std::int32_t* fields[] = {
        &c.featureLength,  &c.normWidth,       &c.normHeight,    &c.gridWidth,
        &c.gridHeight,     &c.useGrid,         &c.useRowInk,     &c.useColumnInk,
        &c.useLeftProfile, &c.useRightProfile, &c.useTopProfile, &c.useBottomProfile,
        &c.useCentreCross, &c.useAspect,       &c.classCount,    &c.prototypesPerClass};
    for (int i = 0; i < 16; ++i) {
        *fields[i] = h[i];
    }
}

void ExpectSameTable(const std::vector<LvqPrototype>& a, const std::vector<LvqPrototype>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
        EXPECT_EQ(a[k].label, b[k].label) << k;
        ASSERT_EQ(a[k].vector.size(), b[k].vector.size()) << k;
        EXPECT_EQ(0, std::memcmp(a[k].vector.data(), b[k].vector.data(),
                                 a[k].vector.size() * sizeof(double)))
            << k;
    }
}

void ExpectUntouched(const CLvqCluster& c) {
    EXPECT_EQ(HeaderOf(c), HeaderOf(CLvqCluster()));
    EXPECT_TRUE(c.prototypes.empty());
}

}  // namespace

TEST(TrainingFile, ReadsEveryRecordInFileOrderAndIgnoresAnAppendedByte) {
    ScratchDir dir;
    const auto records = NumberedPrototypes(75, 345, 3);
    const std::string bytes = TrainingBytes(StandardHeader(), records);
    ASSERT_EQ(bytes.size(), 64u + 75u * (8u * 345u + 4u));
    WriteFile(dir.File("exact.trn"), bytes);
    WriteFile(dir.File("longer.trn"), bytes + '\x7f');

    CLvqCluster exact, longer;
    EXPECT_EQ(exact.LoadTrainingFile(dir.File("exact.trn")), TrainingFileStatus::Ok);
    EXPECT_EQ(longer.LoadTrainingFile(dir.File("longer.trn")), TrainingFileStatus::Ok);
    EXPECT_EQ(HeaderOf(exact), StandardHeader());
    EXPECT_EQ(exact.prototypeCount(), 75);
    ExpectSameTable(exact.prototypes, records);
    ExpectSameTable(longer.prototypes, records);
    EXPECT_EQ(HeaderOf(longer), StandardHeader());
}

TEST(TrainingFile, TruncatedFilesLoadNothing) {
    ScratchDir dir;
    const std::string bytes = TrainingBytes(StandardHeader(), NumberedPrototypes(75, 345, 3));
    for (std::size_t length : {std::size_t{0}, std::size_t{10}, std::size_t{63}, std::size_t{64},
                               std::size_t{64 + 2764}, bytes.size() - 1}) {
        WriteFile(dir.File("cut.trn"), bytes.substr(0, length));
        CLvqCluster c;
        EXPECT_EQ(c.LoadTrainingFile(dir.File("cut.trn")), TrainingFileStatus::Invalid) << length;
        ExpectUntouched(c);
    }
}

TEST(TrainingFile, FailuresAndTheMessagesTheyBring) {
    ScratchDir dir;
    CLvqCluster missing;
    EXPECT_EQ(missing.LoadTrainingFile(dir.File("absent.trn")), TrainingFileStatus::Missing);
    ExpectUntouched(missing);
    for (auto [classes, perClass] : {std::pair{0, 3}, std::pair{25, 0}, std::pair{-25, 3}}) {
        Header h = StandardHeader();
        h[14] = classes;
        h[15] = perClass;
        WriteFile(dir.File("none.trn"), TrainingBytes(h, NumberedPrototypes(3, 345, 3)));
        CLvqCluster c;
        EXPECT_EQ(c.LoadTrainingFile(dir.File("none.trn")), TrainingFileStatus::NoPrototypes);
        ExpectUntouched(c);
    }
    EXPECT_EQ(
        TrainingLoadMessages(TrainingFileStatus::NoPrototypes, kLetterTrainingFileMissingText),
        (std::vector<std::string>{"훈련파일 정보를 제대로 읽지 못했습니다.",
                                  "prefixes.trn 훈련 파일을 찾을 수 없습니다.  "}));
    EXPECT_EQ(TrainingLoadMessages(TrainingFileStatus::Missing, kDigitTrainingFileMissingText),
              std::vector<std::string>{"numbers.trn 훈련 파일을 찾을 수 없습니다.  "});
    EXPECT_TRUE(
        TrainingLoadMessages(TrainingFileStatus::Ok, kDigitTrainingFileMissingText).empty());
    EXPECT_STREQ(kPrefixFileMissingText, "prefix.txt 파일을 찾을 수 없습니다.  ");
}

TEST(TrainingFile, RecipesThatCouldNotBeComputedAreRejected) {
    ScratchDir dir;
    struct Case {
        const char* what;
        int word;
        std::int32_t value;
    };
    const Case cases[] = {
        {"no features", 0, 0},
        {"blocks longer than the vector", 0, 344},
        {"feature length beyond the bound", 0, CLvqCluster::kMaxFeatureLength + 1},
        {"normal width 1", 1, 1},
        {"normal height 0", 2, 0},
        {"normal height beyond the bound", 2, CLvqCluster::kMaxNormSize + 1},
        {"grid width 0 with the grid on", 3, 0},
        {"grid height negative", 4, -10},
    };
    for (const Case& k : cases) {
        Header h = StandardHeader();
        h[k.word] = k.value;
        WriteFile(dir.File("bad.trn"), TrainingBytes(h, NumberedPrototypes(75, 345, 3)));
        CLvqCluster c;
        EXPECT_EQ(c.LoadTrainingFile(dir.File("bad.trn")), TrainingFileStatus::Invalid) << k.what;
        ExpectUntouched(c);
    }

    // Two negative counts make a positive product but are no codebook.
    Header h = StandardHeader();
    h[14] = -25;
    h[15] = -3;
    WriteFile(dir.File("neg.trn"), TrainingBytes(h, NumberedPrototypes(75, 345, 3)));
    CLvqCluster c;
    EXPECT_EQ(c.LoadTrainingFile(dir.File("neg.trn")), TrainingFileStatus::Invalid);
}

TEST(TrainingFile, AcceptsRecipesThatFitTheirVector) {
    ScratchDir dir;
    Header h = StandardHeader();
    h[5] = 0;  // grid off: its sizes are not used, so 0 is fine
    h[3] = h[4] = 0;
    h[0] = 245;
    WriteFile(dir.File("nogrid.trn"), TrainingBytes(h, NumberedPrototypes(75, 245, 3)));
    CLvqCluster c;
    EXPECT_EQ(c.LoadTrainingFile(dir.File("nogrid.trn")), TrainingFileStatus::Ok);

    h = StandardHeader();
    h[0] = 400;  // room to spare after the blocks
    WriteFile(dir.File("spare.trn"), TrainingBytes(h, NumberedPrototypes(75, 400, 3)));
    CLvqCluster d;
    EXPECT_EQ(d.LoadTrainingFile(dir.File("spare.trn")), TrainingFileStatus::Ok);
    EXPECT_EQ(d.EnabledFeatureLength(), 345);
}

TEST(TrainingFile, FailedLoadKeepsAnEarlierCodebook) {
    ScratchDir dir;
    WriteFile(dir.File("good.trn"),
              TrainingBytes(StandardHeader(), NumberedPrototypes(75, 345, 3)));
    Header h = StandardHeader();
    h[0] = 7;
    WriteFile(dir.File("bad.trn"), TrainingBytes(h, NumberedPrototypes(75, 7, 3)));
    CLvqCluster c;
    ASSERT_EQ(c.LoadTrainingFile(dir.File("good.trn")), TrainingFileStatus::Ok);
    EXPECT_EQ(c.LoadTrainingFile(dir.File("bad.trn")), TrainingFileStatus::Invalid);
    EXPECT_EQ(HeaderOf(c), StandardHeader());
    EXPECT_EQ(c.prototypeCount(), 75);
    c.ReleasePrototypes();
    EXPECT_EQ(c.prototypeCount(), 0);
}

TEST(TrainingFile, WriterRoundTripsBitForBit) {
    ScratchDir dir;
    CLvqCluster c;
    const Header h{345, 40, 40, 10, 10, 1, 7, 1, 1, 1, 1, 1, 1, -1, 25, 3};  // any non-zero flag
    SetHeader(c, h);
    c.prototypes = NumberedPrototypes(75, 345, 3);
    c.prototypes[0].vector[0] = -0.0;
    c.prototypes[1].vector[1] = std::numeric_limits<double>::denorm_min();
    c.prototypes[2].vector[2] = std::numeric_limits<double>::quiet_NaN();
    c.prototypes[74].label = -7;  // labels are not checked

    ASSERT_TRUE(c.SaveTrainingFile(dir.File("out.trn")));
    std::ifstream in(dir.File("out.trn"), std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(written, TrainingBytes(h, c.prototypes));

    CLvqCluster back;
    ASSERT_EQ(back.LoadTrainingFile(dir.File("out.trn")), TrainingFileStatus::Ok);
    EXPECT_EQ(HeaderOf(back), h);
    ExpectSameTable(back.prototypes, c.prototypes);
}

TEST(TrainingFile, WriterRefusesWhatCouldNotBeLoadedBack) {
    ScratchDir dir;
    CLvqCluster c;
    c.featureLength = 345;
    c.gridWidth = c.gridHeight = 10;
    c.classCount = 25;
    c.prototypes = NumberedPrototypes(74, 345, 3);  // one short of 25 x 3
    EXPECT_FALSE(c.SaveTrainingFile(dir.File("a.trn")));
    c.prototypes = NumberedPrototypes(75, 345, 3);
    c.prototypes[10].vector.pop_back();
    EXPECT_FALSE(c.SaveTrainingFile(dir.File("b.trn")));
    c.prototypes[10].vector.push_back(0.0);
    c.featureLength = 344;  // the blocks no longer fit
    EXPECT_FALSE(c.SaveTrainingFile(dir.File("c.trn")));
}
