// Codebook training on drawn characters: accuracy, the shape of the codebooks, determinism, and
// the train command's refusals.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "classifier/classification.hpp"
#include "drawn_samples.hpp"
#include "training/lvq_trainer.hpp"
#include "training/train.hpp"

using namespace karvona::training;
using karvona::classifier::CLvqCluster;
using karvona::testing::DrawSampleSet;
using karvona::testing::WriteSampleFolder;
namespace fs = std::filesystem;

namespace {

class TempFolder {
public:
    TempFolder() {
        path_ = fs::temp_directory_path() /
                ("karvona_training_" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One shared folder of drawn samples for the command tests.
const std::vector<karvona::testing::DrawnSample>& Samples() {
    static const auto samples = DrawSampleSet(7, 40);
    return samples;
}

TrainOptions CommandOptions(const fs::path& root) {
    TrainOptions options;
    options.samples = root / "samples";
    options.letters = root / "prefixes.trn";
    options.digits = root / "numbers.trn";
    options.epochs = 10;
    return options;
}

}  // namespace

TEST(LvqTrainer, GroupsAndClassesFollowTheClassTables) {
    EXPECT_EQ(GroupChar(CodebookKind::Letters, 16), 'R');  // no Q
    EXPECT_EQ(GroupOf(CodebookKind::Letters, 'Q'), -1);
    EXPECT_EQ(GroupOf(CodebookKind::Letters, 'Z'), 24);
    EXPECT_EQ(GroupOf(CodebookKind::Digits, '7'), 7);
    EXPECT_EQ(PrototypesPerClass(CodebookKind::Letters, 5), 4);  // 25 x 4 = 100
    EXPECT_EQ(PrototypesPerClass(CodebookKind::Digits, 5), 5);   // 20 x 5 = 100
    EXPECT_EQ(PrototypesPerClass(CodebookKind::Digits, 9), 5);
    const CLvqCluster recipe = MakeCodebook({});
    EXPECT_EQ(recipe.featureLength, 345);
    int w = 0, h = 0;
    EXPECT_TRUE(ParseSize("32x48", w, h));
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 48);
    EXPECT_FALSE(ParseSize("32", w, h));
    EXPECT_FALSE(ParseSize("0x10", w, h));
    EXPECT_FALSE(ParseSize("10x10x", w, h));
}

TEST(LvqTrainer, KMeansFindsTwoSeparateGroups) {
    std::vector<std::vector<double>> points;
    for (int i = 0; i < 10; ++i)
        points.push_back({i % 2 == 0 ? 0.0 + 0.01 * i : 5.0 + 0.01 * i, 1.0});
    std::vector<const std::vector<double>*> view;
    for (const auto& p : points)
        view.push_back(&p);
    Random random(3);
    std::vector<int> owner;
    const auto centres = KMeans(view, 2, random, &owner);
    ASSERT_EQ(centres.size(), 2u);
    for (int i = 2; i < 10; ++i)
        EXPECT_EQ(owner[i], owner[i % 2]) << i;
    EXPECT_NE(owner[0], owner[1]);
    // More centres than distinct points: the centres repeat, none is invented.
    const auto many = KMeans({view[0], view[0]}, 3, random, nullptr);
    ASSERT_EQ(many.size(), 3u);
    EXPECT_EQ(many[2], points[0]);
}

TEST(LvqTrainer, LearnsDrawnCharactersAndReadsThemAsTheReadersWould) {
    std::vector<std::vector<double>> letterFeatures, digitFeatures;
    std::vector<int> letterGroups, digitGroups;
    CLvqCluster letters = MakeCodebook({}), digits = MakeCodebook({});
    for (const auto& s : Samples()) {
        const bool digit = s.character <= '9';
        (digit ? digitFeatures : letterFeatures).push_back(letters.ComputeFeatures(s.image));
        (digit ? digitGroups : letterGroups)
            .push_back(GroupOf(digit ? CodebookKind::Digits : CodebookKind::Letters, s.character));
    }
    LvqOptions options;
    options.prototypesPerClass = 4;
    TrainingResult result;
    std::string error;
    ASSERT_TRUE(TrainCodebook(letterFeatures, letterGroups, CodebookKind::Letters, options, letters,
                              result, error))
        << error;
    EXPECT_EQ(letters.prototypeCount(), 100);
    EXPECT_EQ(result.validationTotal, 25 * 8);  // every fifth of 40
    EXPECT_GE(result.ValidationAccuracy(), 0.93);
    EXPECT_EQ(result.groups[GroupOf(CodebookKind::Letters, 'Z')].training, 32);
    for (int k = 0; k < letters.prototypeCount(); ++k)
        EXPECT_EQ(letters.prototypes[k].label, k / 4);  // class order

    options.prototypesPerClass = 3;  // two styles per digit: six per digit
    ASSERT_TRUE(TrainCodebook(digitFeatures, digitGroups, CodebookKind::Digits, options, digits,
                              result, error))
        << error;
    EXPECT_EQ(digits.prototypeCount(), 60);
    EXPECT_EQ(digits.classCount, 20);
    EXPECT_GE(result.ValidationAccuracy(), 0.93);

    // The trained codebooks read images through the classifier itself.
    int correct = 0, total = 0;
    for (const auto& s : DrawSampleSet(99, 3)) {
        const bool digit = s.character <= '9';
        const auto reading =
            karvona::classifier::ClassifyCharacter(digit ? digits : letters, s.image, digit);
        correct += reading.character() == s.character ? 1 : 0;
        ++total;
    }
    EXPECT_GE(correct, total * 90 / 100) << correct << " of " << total;
}

TEST(LvqTrainer, RefusesGroupsWithoutSamples) {
    CLvqCluster digits = MakeCodebook({});
    std::vector<std::vector<double>> features(9, std::vector<double>(345, 0.5));
    std::vector<int> groups = {0, 1, 2, 3, 4, 5, 6, 8, 9};  // no 7
    TrainingResult result;
    std::string error;
    EXPECT_FALSE(TrainCodebook(features, groups, CodebookKind::Digits, {}, digits, result, error));
    EXPECT_NE(error.find('7'), std::string::npos);
    EXPECT_EQ(digits.prototypeCount(), 0);
    groups.push_back(7);
    features.emplace_back(344, 0.5);  // a vector of the wrong length
    EXPECT_FALSE(TrainCodebook(features, groups, CodebookKind::Digits, {}, digits, result, error));
}

TEST(LvqTrainer, RealSamplesAreHeldOutApartAndWeighAsTheOptionsSay) {
    // Synthetic digits in one face; the "real" 1s and 7s in another, heavier one, as real
    // lettering differs from the generator's.
    std::vector<std::vector<double>> features;
    std::vector<int> groups;
    std::vector<bool> real;
    CLvqCluster digits = MakeCodebook({});
    for (const auto& s : Samples()) {
        if (s.character > '9')
            continue;
        features.push_back(digits.ComputeFeatures(s.image));
        groups.push_back(s.character - '0');
        real.push_back(false);
    }
    std::mt19937 noise(5);
    std::vector<std::pair<char, cv::Mat>> realSamples;
    for (int v = 0; v < 10; ++v) {
        for (char c : std::string("17")) {
            realSamples.emplace_back(
                c, karvona::testing::DrawCharacter(c, cv::FONT_HERSHEY_COMPLEX, 1.0 + 0.05 * v, 5,
                                                   0.02 * (v - 5), noise));
        }
    }
    for (const auto& [c, image] : realSamples) {
        features.push_back(digits.ComputeFeatures(image));
        groups.push_back(c - '0');
        real.push_back(true);
    }
    LvqOptions options;
    options.epochs = 10;
    TrainingResult once, weighted;
    std::string error;
    ASSERT_TRUE(
        TrainCodebook(features, groups, CodebookKind::Digits, options, digits, once, error, real))
        << error;
    // Every fifth real sample of a digit is held out, counted apart from the synthetic ones.
    const GroupResult& one = once.groups[1];
    EXPECT_EQ(one.realTraining, 8);
    EXPECT_EQ(one.realValidation, 2);
    EXPECT_EQ(one.validation - one.realValidation, 8);  // of 40 synthetic
    EXPECT_EQ(once.realValidationTotal, 4);
    EXPECT_EQ(once.groups[3].realTraining + once.groups[3].realValidation, 0);

    options.realRepeat = 6;
    options.realEpochs = 5;
    ASSERT_TRUE(TrainCodebook(features, groups, CodebookKind::Digits, options, digits, weighted,
                              error, real));
    EXPECT_EQ(weighted.groups[1].realTraining, 8);  // repeats are no new samples
    EXPECT_GE(weighted.realValidationCorrect, once.realValidationCorrect);
    EXPECT_EQ(weighted.realValidationCorrect, 4);

    // A flag list that does not match the samples is refused.
    real.pop_back();
    EXPECT_FALSE(TrainCodebook(features, groups, CodebookKind::Digits, options, digits, weighted,
                               error, real));
}

TEST(TrainCommand, TrainsOnRealSamplesBesideSyntheticOnesAndCountsBoth) {
    TempFolder temp;
    WriteSampleFolder(temp.path() / "samples", Samples());
    WriteSampleFolder(temp.path() / "real", DrawSampleSet(21, 2));
    TrainOptions options = CommandOptions(temp.path());
    options.real = temp.path() / "real";
    options.realRepeat = 3;
    std::ostringstream out, err;
    ASSERT_EQ(RunTrain(options, out, err), 0) << err.str();
    EXPECT_NE(out.str().find(std::to_string(Samples().size()) + " synthetic from"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("70 real from"), std::string::npos) << out.str();
    // Per class: 32 synthetic to train on, 8 held out; 2 real, none held out.
    EXPECT_NE(out.str().find("  A         32     8             2     0"), std::string::npos)
        << out.str();

    options.real = temp.path() / "nowhere";
    fs::remove(options.letters);
    EXPECT_EQ(RunTrain(options, out, err), 1);
    EXPECT_FALSE(fs::exists(options.letters));
}

TEST(TrainCommand, WritesCodebooksThatLoadBackAndReadTheSamples) {
    TempFolder temp;
    WriteSampleFolder(temp.path() / "samples", Samples());
    TrainOptions options = CommandOptions(temp.path());
    options.protos = 4;
    std::ostringstream out, err;
    ASSERT_EQ(RunTrain(options, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("confusions"), std::string::npos);

    CLvqCluster letters, digits;
    ASSERT_EQ(letters.LoadTrainingFile(options.letters.string()),
              karvona::classifier::TrainingFileStatus::Ok);
    ASSERT_EQ(digits.LoadTrainingFile(options.digits.string()),
              karvona::classifier::TrainingFileStatus::Ok);
    EXPECT_EQ(letters.classCount, 25);
    EXPECT_EQ(letters.prototypesPerClass, 4);
    EXPECT_EQ(digits.classCount, 20);
    EXPECT_EQ(digits.prototypesPerClass, 4);
    EXPECT_EQ(letters.featureLength, letters.EnabledFeatureLength());
    EXPECT_EQ(fs::file_size(options.letters), 64u + 100u * (8u * 345u + 4u));
    int correct = 0;
    for (const auto& s : Samples()) {
        const bool digit = s.character <= '9';
        correct += karvona::classifier::ClassifyCharacter(digit ? digits : letters, s.image, digit)
                       .character() == s.character;
    }
    EXPECT_GE(correct, static_cast<int>(Samples().size()) * 95 / 100);
    EXPECT_FALSE(fs::exists(options.letters.string() + ".part"));
}

TEST(TrainCommand, SameSeedSameFilesOtherSeedOtherFiles) {
    TempFolder temp;
    WriteSampleFolder(temp.path() / "samples", DrawSampleSet(11, 6));
    TrainOptions options = CommandOptions(temp.path());
    options.norm = "24x32";
    options.grid = "6x8";
    std::ostringstream out, err;
    ASSERT_EQ(RunTrain(options, out, err), 0) << err.str();
    const std::string letters = Bytes(options.letters), digits = Bytes(options.digits);
    fs::remove(options.letters);
    ASSERT_EQ(RunTrain(options, out, err), 0);
    EXPECT_EQ(Bytes(options.letters), letters);
    EXPECT_EQ(Bytes(options.digits), digits);
    options.seed = 2;
    ASSERT_EQ(RunTrain(options, out, err), 0);
    EXPECT_NE(Bytes(options.letters), letters);

    CLvqCluster loaded;
    ASSERT_EQ(loaded.LoadTrainingFile(options.letters.string()),
              karvona::classifier::TrainingFileStatus::Ok);
    EXPECT_EQ(loaded.normWidth, 24);
    EXPECT_EQ(loaded.gridHeight, 8);
    EXPECT_EQ(loaded.featureLength, 48 + 32 * 3 + 24 * 3 + 4 + 1);
}

TEST(TrainCommand, BadInputSaysWhatIsWrongAndWritesNoFile) {
    TempFolder temp;
    TrainOptions options = CommandOptions(temp.path());
    auto refuses = [&](const std::string& expected) {
        std::ostringstream out, err;
        EXPECT_EQ(RunTrain(options, out, err), 1);
        EXPECT_NE(err.str().find(expected), std::string::npos) << err.str();
        EXPECT_FALSE(fs::exists(options.letters));
        EXPECT_FALSE(fs::exists(options.digits));
    };
    refuses("does not exist");  // missing folder
    fs::create_directories(options.samples / "A");
    refuses("no samples in");  // folders without images

    WriteSampleFolder(options.samples, DrawSampleSet(5, 2));
    fs::remove_all(options.samples / "K");
    fs::remove_all(options.samples / "4");
    refuses("no samples for: K 4");

    WriteSampleFolder(options.samples, DrawSampleSet(6, 2));
    std::ofstream(options.samples / "B" / "broken.bmp") << "not an image";
    refuses("broken.bmp");
    fs::remove(options.samples / "B" / "broken.bmp");

    options.norm = "1x40";
    refuses("--norm");
    options.norm = "40x40";
    options.digits = options.letters;
    refuses("two different files");
}
