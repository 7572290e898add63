// One answer per truck pass: grouping photographs into passes, fusing their readings, and the
// collector that answers each pass of a batch run when its last photograph is read.
#include "shell/passes.hpp"

#include <gtest/gtest.h>

#include "shell_fixture.hpp"

namespace karvona::shell::testing {
namespace {

using recognition::LoadStatus;
using recognition::RecognitionResult;

// Valid codes: the check digit matches and the prefix is in the list below. CAIU8979685 differs
// from CAIU8979622 in the last two places only.
constexpr char kFirst[] = "CAIU8979622";
constexpr char kNear[] = "CAIU8979685";
constexpr char kSecond[] = "TGHU7654320";
constexpr char kThird[] = "ABCU1234560";

class Passes : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        WriteFile(dir() / "prefix.txt", "ABCU\nCAIU\nTGHU\n");
        ASSERT_TRUE(prefixes_.LoadPrefixFile((dir() / "prefix.txt").string()));
    }
    const classifier::COwnerPrefixList& prefixes() const { return prefixes_; }

    static PassPhoto Validated(const std::string& file, const std::string& code) {
        return {file, file, RecognitionResult(true, code)};
    }
    static PassPhoto Partial(const std::string& file, const std::string& code) {
        return {file, file, RecognitionResult(false, code)};
    }
    static PassPhoto Unreadable(const std::string& file) {
        PassPhoto photo{file, file, RecognitionResult{}};
        photo.reading.status = LoadStatus::CannotDecode;
        return photo;
    }
    PassResult Fuse(const std::vector<PassPhoto>& photos) const {
        return FusePass("p", photos, prefixes_);
    }

private:
    classifier::COwnerPrefixList prefixes_;
};

using Photos = std::vector<std::string>;

TEST_F(Passes, CodesAreValidOnlyWithTheirCheckDigitAndAListedOwner) {
    EXPECT_TRUE(IsValidCode(kFirst, prefixes()));
    EXPECT_TRUE(IsValidCode(kNear, prefixes()));
    EXPECT_FALSE(IsValidCode("CAIU8979623", prefixes()));  // check digit
    EXPECT_FALSE(IsValidCode("MSKU0539301", prefixes()));  // a real code, owner not listed
    EXPECT_FALSE(IsValidCode("CAIU897962", prefixes()));
    EXPECT_FALSE(IsValidCode("CAIU89796-2", prefixes()));
    EXPECT_FALSE(IsValidCode("CAIUB979622", prefixes()));
    EXPECT_TRUE(IsSureReading(RecognitionResult(true, kFirst)));
    EXPECT_FALSE(IsSureReading(RecognitionResult(false, kFirst)));
    EXPECT_FALSE(IsSureReading(RecognitionResult(true, "CAIU897962")));
}

TEST_F(Passes, GroupingByPatternTakesTheFirstGroupAndTheRestOfTheNameAsCamera) {
    std::string error;
    const auto grouping = PassGrouping::FromOption("1-(\\d+)-OCR", error);
    ASSERT_TRUE(grouping) << error;
    const PassKey key = grouping->KeyOf("/gate/1-153655001-OCR-RF-D01.jpg");
    EXPECT_EQ(key.pass, "153655001");
    EXPECT_EQ(key.camera, "1--OCR-RF-D01.jpg");
    EXPECT_NE(grouping->KeyOf("x/1-153655001-OCR-AS-B01.jpg").camera, key.camera);
    // A name the pattern does not match is a pass of its own.
    EXPECT_EQ(grouping->KeyOf("/gate/overview.jpg").pass, "overview.jpg");

    EXPECT_FALSE(PassGrouping::FromOption("1-\\d+-OCR", error));
    EXPECT_NE(error.find("no capture group"), std::string::npos);
    EXPECT_FALSE(PassGrouping::FromOption("1-(\\d+", error));
    EXPECT_NE(error.find("not a regular expression"), std::string::npos);

    const auto byFolder = PassGrouping::FromOption("folder", error);
    ASSERT_TRUE(byFolder);
    EXPECT_EQ(byFolder->KeyOf("/gate/truck 7/side.jpg").pass, "/gate/truck 7");
    EXPECT_EQ(byFolder->KeyOf("/gate/truck 7/side.jpg").camera, "side.jpg");
}

TEST_F(Passes, OneValidatedReadingAnswersThePassAndLinedUpPartialsSupportIt) {
    const PassResult pass =
        Fuse({Validated("a", kFirst), Partial("b", "CAIU897962-"), Partial("c", "AIU89796"),
              Unreadable("d"), Partial("e", "714-76"), Partial("f", kSecond)});
    ASSERT_EQ(pass.codes.size(), 1u);
    EXPECT_EQ(pass.codes[0].code, kFirst);
    EXPECT_TRUE(pass.codes[0].sure);
    EXPECT_EQ(pass.codes[0].photos, (Photos{"a", "b", "c"}));
    // A partial reading of another code lines up with nothing.
    EXPECT_EQ(pass.unused, (Photos{"d", "e", "f"}));
    EXPECT_FALSE(pass.review);
    EXPECT_EQ(pass.pass, "p");
}

TEST_F(Passes, PartialReadingsAloneMakeACodeThatIsNeverSure) {
    // Neither reading validates; together they spell a valid code.
    PassResult pass = Fuse({Partial("a", "CAIU89796-2"), Partial("b", "CAIU8-79622")});
    ASSERT_EQ(pass.codes.size(), 1u);
    EXPECT_EQ(pass.codes[0].code, kFirst);
    EXPECT_FALSE(pass.codes[0].sure);
    EXPECT_TRUE(pass.review);

    // One partial reading is no evidence of its own, and a majority that does not validate is
    // not a code.
    pass = Fuse({Partial("a", "CAIU8979623")});
    EXPECT_TRUE(pass.codes.empty());
    EXPECT_EQ(pass.unused, (Photos{"a"}));
    EXPECT_TRUE(pass.review);
    pass = Fuse({Partial("a", "CAIU8979623"), Partial("b", "CAIU8979623")});
    EXPECT_TRUE(pass.codes.empty());

    pass = Fuse({});
    EXPECT_TRUE(pass.codes.empty());
    EXPECT_TRUE(pass.review);
}

TEST_F(Passes, PartialVotesOverturnALoneValidatedMisreadingButNeverSurely) {
    const PassResult pass = Fuse({Validated("a", kNear), Partial("b", "CAIU897962-"),
                                  Partial("c", "-AIU8979622"), Partial("d", "CAIU89-9622")});
    ASSERT_EQ(pass.codes.size(), 1u);
    EXPECT_EQ(pass.codes[0].code, kFirst);
    EXPECT_FALSE(pass.codes[0].sure);  // the only validated reading says otherwise
    EXPECT_EQ(pass.codes[0].photos, (Photos{"a", "b", "c", "d"}));
    EXPECT_TRUE(pass.review);

    // Votes that do not make a valid code leave the validated reading as it is.
    const PassResult kept = Fuse({Validated("a", kNear), Partial("b", "CAIU897962-")});
    ASSERT_EQ(kept.codes.size(), 1u);
    EXPECT_EQ(kept.codes[0].code, kNear);
    EXPECT_TRUE(kept.codes[0].sure);
}

TEST_F(Passes, TwoCodesAreTwoContainersOnlyWhenTheCamerasSaySo) {
    // Two cameras each read one container surely.
    PassResult pass = Fuse({Validated("front", kFirst), Validated("side", kFirst),
                            Validated("rear", kSecond), Partial("top", "TGHU765432-")});
    ASSERT_EQ(pass.codes.size(), 2u);
    EXPECT_EQ(pass.codes[0].code, kFirst);
    EXPECT_EQ(pass.codes[0].photos, (Photos{"front", "side"}));
    EXPECT_EQ(pass.codes[1].code, kSecond);
    EXPECT_EQ(pass.codes[1].photos, (Photos{"rear", "top"}));
    EXPECT_TRUE(pass.codes[0].sure && pass.codes[1].sure);
    EXPECT_FALSE(pass.review);

    // The same camera read both codes: it cannot have seen two containers, one reading is wrong.
    PassPhoto again = Validated("front", kSecond);
    pass = Fuse({Validated("front", kFirst), again});
    ASSERT_EQ(pass.codes.size(), 2u);
    EXPECT_FALSE(pass.codes[0].sure || pass.codes[1].sure);
    EXPECT_TRUE(pass.review);

    // A truck carries two containers at most.
    pass = Fuse({Validated("a", kFirst), Validated("b", kSecond), Validated("c", kThird)});
    EXPECT_EQ(pass.codes.size(), 3u);
    EXPECT_FALSE(pass.codes[0].sure || pass.codes[1].sure || pass.codes[2].sure);
    EXPECT_TRUE(pass.review);
}

TEST_F(Passes, ASureCodeOfSeveralCamerasStandsAgainstAnUnsureCodeUnlessItIsAtTheFloor) {
    auto judged = [](const std::string& file, const std::string& code, float confidence,
                     bool sure) {
        PassPhoto photo = Validated(file, code);
        photo.reading.confidence = confidence;
        photo.reading.review = !sure;
        return photo;
    };
    const PassPhoto front = judged("front", kFirst, 0.99f, true);
    const PassPhoto side = judged("side", kFirst, 0.97f, true);

    // Below the floor another camera's code is no evidence: the pass keeps its sure answer.
    PassResult pass = Fuse({front, side, judged("rear", kNear, kPassFloor / 2, false)});
    ASSERT_EQ(pass.codes.size(), 1u);
    EXPECT_TRUE(pass.codes[0].sure);
    EXPECT_EQ(pass.unused, (Photos{"rear"}));
    EXPECT_FALSE(pass.review);

    // At the floor, from a camera of its own: a second container, unsure, the first stays sure.
    pass = Fuse({front, side, judged("rear", kSecond, kPassFloor, false)});
    ASSERT_EQ(pass.codes.size(), 2u);
    EXPECT_TRUE(pass.codes[0].sure);
    EXPECT_FALSE(pass.codes[1].sure);
    EXPECT_FALSE(pass.review);

    // At the floor from a camera that read the sure code too, or a third code: a conflict.
    pass = Fuse({front, side, judged("side", kSecond, kPassFloor, false)});
    EXPECT_TRUE(pass.review);
    EXPECT_FALSE(pass.codes[0].sure);
    pass = Fuse(
        {front, side, judged("rear", kSecond, 0.9f, false), judged("top", kThird, 0.9f, false)});
    EXPECT_TRUE(pass.review);
    EXPECT_FALSE(pass.codes[0].sure);
}

TEST_F(Passes, APartialReadingBetweenTwoCodesSupportsNeither) {
    // Both codes agree with it in the same places.
    const PassResult pass =
        Fuse({Validated("a", kFirst), Validated("b", kNear), Partial("c", "CAIU89796--")});
    ASSERT_EQ(pass.codes.size(), 2u);
    EXPECT_EQ(pass.unused, (Photos{"c"}));
}

TEST_F(Passes, CollectorAnswersEachPassWhenItsLastRowIsRecorded) {
    std::vector<FileRow> rows;
    for (const char* name : {"1-100-OCR-A.jpg", "1-200-OCR-A.jpg", "1-100-OCR-B.jpg",
                             "1-300-OCR-A.jpg", "1-300-OCR-B.jpg"})
        rows.push_back({name, dir() / name});
    std::string error;
    const auto grouping = PassGrouping::FromOption("1-(\\d+)-OCR", error);
    ASSERT_TRUE(grouping);

    PassCollector collector(rows, 0, *grouping, prefixes());
    EXPECT_TRUE(collector.Record(0, RecognitionResult(true, kFirst)).empty());
    auto done = collector.Record(1, RecognitionResult(false, ""));
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].pass, "200");
    done = collector.Record(2, RecognitionResult(false, "CAIU897962-"));
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].pass, "100");
    ASSERT_EQ(done[0].codes.size(), 1u);
    EXPECT_EQ(done[0].codes[0].photos,
              (Photos{(dir() / "1-100-OCR-A.jpg").string(), (dir() / "1-100-OCR-B.jpg").string()}));
    // A run stopped before the last row: the open pass is answered from what was read.
    EXPECT_TRUE(collector.Record(3, RecognitionResult(true, kSecond)).empty());
    done = collector.Finish();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].pass, "300");
    EXPECT_EQ(done[0].codes.size(), 1u);
    EXPECT_TRUE(collector.Finish().empty());

    // Rows before the start row belong to no pass.
    PassCollector fromRow2(rows, 2, *grouping, prefixes());
    EXPECT_TRUE(fromRow2.Record(0, RecognitionResult(true, kFirst)).empty());
    done = fromRow2.Record(2, RecognitionResult(true, kFirst));
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].codes[0].photos, (Photos{(dir() / "1-100-OCR-B.jpg").string()}));
}

TEST_F(Passes, StandardInputIsAPassOfItsOwnWhateverFolderItsCopyIsKeptIn) {
    const std::vector<FileRow> rows{
        {"a.jpg", dir() / "a.jpg"}, {"stdin.jpg", dir() / "stdin.jpg"}, {"b.jpg", dir() / "b.jpg"}};
    PassCollector collector(rows, 0, PassGrouping::ByFolder(), prefixes(), 1);
    EXPECT_TRUE(collector.Record(0, RecognitionResult(true, kFirst)).empty());
    auto done = collector.Record(1, RecognitionResult(true, kSecond));
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].pass, "-");
    ASSERT_EQ(done[0].codes.size(), 1u);
    EXPECT_EQ(done[0].codes[0].photos, (Photos{"-"}));
    done = collector.Record(2, RecognitionResult(true, kFirst));
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].pass, dir().string());
    EXPECT_EQ(done[0].codes[0].photos.size(), 2u);
}

}  // namespace
}  // namespace karvona::shell::testing
