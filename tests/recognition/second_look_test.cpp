// The parts of the reading plan one by one: the geometry of the looks, the check-digit-guided
// choice, the confidence of a reading and the choice between candidates.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <opencv2/imgproc.hpp>

#include "classifier/iso6346.hpp"
#include "recognition/check_digit_choice.hpp"
#include "recognition/confidence.hpp"
#include "recognition/confidence_model.hpp"
#include "recognition/line_choice.hpp"
#include "recognition/look.hpp"
#include "recognition/net_choice.hpp"
#include "recognition/reading_doubts.hpp"

using namespace karvona;
using namespace karvona::recognition;
namespace fs = std::filesystem;

namespace {

// A box read as `chosen` at distance 10, with the given runners-up behind it.
BoxReading Box(char chosen, bool letter, std::vector<std::pair<char, double>> others = {}) {
    BoxReading box;
    box.character = chosen;
    box.letterPosition = letter;
    box.ranks.ranks[0] = {0, chosen, 10.0};
    for (int k = 1; k < classifier::kShownRanks; ++k)
        box.ranks.ranks[k] = {1, chosen, 100.0 + k};
    for (size_t k = 0; k < others.size(); ++k)
        box.ranks.ranks[k + 1] = {2, others[k].first, others[k].second};
    return box;
}

// A reading of code whose every box ranks its character first, clearly.
Reading ReadingOf(const std::string& code) {
    Reading reading;
    reading.code = code;
    for (size_t i = 0; i < code.size(); ++i)
        reading.characters.push_back(Box(code[i], i < 4));
    return reading;
}

classifier::COwnerPrefixList Prefixes(const std::string& lines) {
    const fs::path file = fs::temp_directory_path() / "karvona-second-look-prefixes.txt";
    std::ofstream(file) << lines;
    classifier::COwnerPrefixList list;
    list.LoadPrefixFile(file.string());
    return list;
}

}  // namespace

TEST(LookGeometry, WorkingScaleFitsTheFrameEitherWayRound) {
    EXPECT_DOUBLE_EQ(WorkingScale({640, 480}), 1.0);
    EXPECT_DOUBLE_EQ(WorkingScale({1024, 768}), 1.0);
    EXPECT_NEAR(WorkingScale({1920, 1080}) * 1920, 1024, 1e-9);
    EXPECT_NEAR(WorkingScale({3024, 4032}) * 4032, 1024, 1e-9);  // portrait
    EXPECT_NEAR(WorkingScale({1024, 1000}) * 1000, 768, 1e-9);   // nearly square
    EXPECT_DOUBLE_EQ(WorkingScale({0, 0}), 1.0);
}

TEST(LookGeometry, RegionsMapBackOntoThePhotographAsGiven) {
    const cv::Mat photo(600, 1600, CV_8UC3, cv::Scalar::all(90));
    const cv::Rect inPhoto(700, 250, 200, 60);
    for (const Look& look : SecondLooks()) {
        const LookImage image = MakeLookImage(photo, WorkingScale(photo.size()), look);
        ASSERT_FALSE(image.image.empty()) << look.name;
        // Every corner of the photograph lands inside the look's canvas.
        for (const cv::Point2d corner : {cv::Point2d(0, 0), cv::Point2d(1600, 0),
                                         cv::Point2d(0, 600), cv::Point2d(1600, 600)}) {
            const cv::Matx23d& m = image.fromPhoto;
            const double x = m(0, 0) * corner.x + m(0, 1) * corner.y + m(0, 2);
            const double y = m(1, 0) * corner.x + m(1, 1) * corner.y + m(1, 2);
            EXPECT_GE(x, -1.0) << look.name;
            EXPECT_GE(y, -1.0) << look.name;
            EXPECT_LE(x, image.image.cols + 1.0) << look.name;
            EXPECT_LE(y, image.image.rows + 1.0) << look.name;
        }
        // The box around the rectangle's image in the look maps back around the rectangle.
        std::vector<cv::Point2f> corners;
        for (const cv::Point2f p : {cv::Point2f(700, 250), cv::Point2f(900, 250),
                                    cv::Point2f(700, 310), cv::Point2f(900, 310)}) {
            const cv::Matx23d& m = image.fromPhoto;
            corners.emplace_back(float(m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2)),
                                 float(m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2)));
        }
        const cv::Rect inLook = cv::boundingRect(corners);
        const cv::Rect back = RectInPhoto(inLook, image.fromPhoto, photo.size());
        EXPECT_EQ(back & inPhoto, inPhoto) << look.name << " " << back;
        // No larger than the turned box's own box: 200 x 60 turned or sheared by 15 degrees.
        const cv::Rect grown(inPhoto.x - 20, inPhoto.y - 60, inPhoto.width + 40,
                             inPhoto.height + 120);
        EXPECT_EQ(back & grown, back) << look.name << " " << back;
    }
    // The working image of a small photograph is the photograph itself, and the region as read.
    const cv::Mat small(480, 640, CV_8UC3, cv::Scalar::all(90));
    const LookImage first = MakeLookImage(small, WorkingScale(small.size()), FirstLook());
    EXPECT_EQ(first.image.data, small.data);
    EXPECT_EQ(RectInPhoto({10, 20, 30, 40}, first.fromPhoto, small.size()),
              cv::Rect(10, 20, 30, 40));
    EXPECT_EQ(RectInPhoto({600, 400, 100, 100}, first.fromPhoto, small.size()),
              cv::Rect(600, 400, 40, 80));  // clipped to the photograph
    EXPECT_TRUE(RectInPhoto({}, first.fromPhoto, small.size()).empty());
    // A narrowed look keeps its scale's height and narrows the width only.
    Look narrowed{"narrowed", 1.5};
    narrowed.narrow = 0.75;
    const LookImage n = MakeLookImage(small, 1.0, narrowed);
    EXPECT_EQ(n.image.size(), cv::Size(720, 720));
    EXPECT_EQ(RectInPhoto({72, 72, 72, 72}, n.fromPhoto, small.size()), cv::Rect(64, 48, 64, 48));
}

TEST(CheckDigitChoice, TakesTheOneCloseRankThatValidates) {
    const auto prefixes = Prefixes("CSQU\nABCU\n");
    ASSERT_TRUE(ValidatesAsCode("CSQU3054383", prefixes));
    // The 5 of the serial read as 6, with 5 close behind: the one change that validates.
    Reading reading = ReadingOf("CSQU3064383");
    reading.characters[6] = Box('6', false, {{'5', 12.0}, {'8', 12.5}});
    GuidedChoice choice;
    ASSERT_TRUE(ChooseByCheckDigit(reading, prefixes, choice));
    EXPECT_EQ(choice.code, "CSQU3054383");
    EXPECT_EQ(choice.changes, 1);

    // The same rank far behind the chosen one is not tried.
    reading.characters[6] = Box('6', false, {{'5', 10.0 * kGuidedRankCloseness + 0.5}});
    EXPECT_FALSE(ChooseByCheckDigit(reading, prefixes, choice));

    // A prefix letter and a digit both wrong: only a change of two positions validates.
    reading = ReadingOf("CSOU3064383");
    reading.characters[2] = Box('O', true, {{'Q', 11.0}});
    reading.characters[6] = Box('6', false, {{'5', 11.0}});
    ASSERT_TRUE(ChooseByCheckDigit(reading, prefixes, choice));
    EXPECT_EQ(choice.code, "CSQU3054383");
    EXPECT_EQ(choice.changes, 2);
}

TEST(CheckDigitChoice, RefusesWhenTheChangeIsNotTheOnlyOne) {
    const auto prefixes = Prefixes("CSQU\n");
    // Every position offers every digit closely: several single changes validate.
    Reading reading = ReadingOf("CSQU3054384");
    for (int i = 4; i < 11; ++i) {
        reading.characters[i] =
            Box(reading.code[i], false, {{'0', 10.5}, {'1', 10.6}, {'7', 10.7}, {'9', 10.8}});
    }
    GuidedChoice choice;
    EXPECT_FALSE(ChooseByCheckDigit(reading, prefixes, choice));

    // Readings that do not qualify: a gap mark, ten characters, one that validates already,
    // and the category letter, which is set by rule and never changed.
    Reading gap = ReadingOf("CSQU30-4383");
    EXPECT_FALSE(ChooseByCheckDigit(gap, prefixes, choice));
    EXPECT_FALSE(ChooseByCheckDigit(ReadingOf("CSQU305438"), prefixes, choice));
    EXPECT_FALSE(ChooseByCheckDigit(ReadingOf("CSQU3054383"), prefixes, choice));
    const auto other = Prefixes("CSQJ\n");  // CSQJ3054386 would validate
    Reading category = ReadingOf("CSQU3054386");
    category.characters[3] = Box('U', true, {{'J', 10.1}});
    EXPECT_FALSE(ChooseByCheckDigit(category, other, choice));
}

TEST(Confidence, MarginsComeFromTheNearestOtherCharacter) {
    EXPECT_DOUBLE_EQ(CharacterMargin(Box('5', false, {{'6', 20.0}}), '5'), 0.5);
    EXPECT_DOUBLE_EQ(CharacterMargin(Box('5', false, {{'6', 10.0}}), '5'), 0.0);  // a tie
    // No other character among the ranks: the farthest rank bounds it.
    EXPECT_NEAR(CharacterMargin(Box('5', false), '5'), 1.0 - 10.0 / 104.0, 1e-12);
    // A character the ranks do not hold at all, and a changed one that lies behind another.
    EXPECT_DOUBLE_EQ(CharacterMargin(Box('5', false, {{'6', 20.0}}), '8'), 0.0);
    EXPECT_DOUBLE_EQ(CharacterMargin(Box('6', false, {{'5', 12.0}}), '5'), 0.0);

    // The category letter is left out; the rest come sorted.
    Reading reading = ReadingOf("CSQU3054383");
    reading.characters[3] = Box('U', true, {{'J', 10.0}});
    reading.characters[7] = Box('4', false, {{'1', 20.0}});
    const std::vector<double> margins = CodeMargins(reading, reading.code);
    ASSERT_EQ(margins.size(), 10u);
    EXPECT_DOUBLE_EQ(margins[0], 0.5);
    EXPECT_GT(margins[1], 0.5);
    // A position the check-digit choice changed is left out too.
    EXPECT_EQ(CodeMargins(reading, "CSQU3051383").size(), 9u);
}

TEST(Confidence, TwoWeakCharactersTheClusterReaderAndAChosenCodeCountLess) {
    Reading clear = ReadingOf("CSQU3054383");
    const double sure = OwnConfidence(clear, clear.code, Winner::Morphology);
    EXPECT_DOUBLE_EQ(sure, 1.0);
    // One weak character: a wrong code that validates needs two wrong ones.
    Reading one = clear;
    one.characters[5] = Box('0', false, {{'8', 10.5}});
    EXPECT_DOUBLE_EQ(OwnConfidence(one, one.code, Winner::Morphology), 1.0);
    Reading two = one;
    two.characters[8] = Box('3', false, {{'8', 10.5}});
    const double weak = OwnConfidence(two, two.code, Winner::Morphology);
    EXPECT_LT(weak, 0.2);
    EXPECT_DOUBLE_EQ(OwnConfidence(clear, clear.code, Winner::Cluster), kClusterWeight);
    // A code the check-digit choice made: one change, two changes.
    Reading chosen = ReadingOf("CSQU3064383");
    const double oneChange = OwnConfidence(chosen, "CSQU3054383", Winner::Morphology);
    EXPECT_DOUBLE_EQ(oneChange, kGuidedWeight);
    EXPECT_DOUBLE_EQ(OwnConfidence(chosen, "CSQU3154383", Winner::Morphology), kGuidedWeight / 2);
    EXPECT_DOUBLE_EQ(OwnConfidence(chosen, "CSQU3155383", Winner::Morphology), 0.0);
}

// A reader that skipped a serial digit and took the first character of the smaller size-type
// code below as the check digit read a code that validated, every character clearly.
TEST(Confidence, ALowBoxFromTheSizeTypeLineMakesAClearReadingUnsure) {
    Reading reading = ReadingOf("BAMU0885930");
    for (size_t i = 0; i < reading.characters.size(); ++i)
        reading.characters[i].box = cv::Rect(20 * static_cast<int>(i), 0, 14, 30 + (i % 3));
    EXPECT_TRUE(EvenBoxes(reading, reading.code));
    EXPECT_DOUBLE_EQ(OwnConfidence(reading, reading.code, Winner::Morphology), 1.0);
    reading.characters[10].box.height = 21;  // the size-type code is about two thirds as high
    EXPECT_FALSE(EvenBoxes(reading, reading.code));
    EXPECT_DOUBLE_EQ(OwnConfidence(reading, reading.code, Winner::Morphology), kUnevenWeight);
    // A narrow 1 or I is as high as its neighbours, and a box the reader did not cut has no
    // height to compare.
    reading.characters[10].box = cv::Rect(200, 0, 3, 30);
    reading.characters[9].box = cv::Rect();
    EXPECT_TRUE(EvenBoxes(reading, reading.code));
}

TEST(Confidence, DecisionTakesTheFirstSureCodeAndLooksThatAgree) {
    auto candidate = [](const char* code, int look, double own) {
        Candidate c;
        c.code = code;
        c.look = look;
        c.own = own;
        c.evidence.values[static_cast<size_t>(EvidenceIndex("net_written_min"))] = 1.0;  // no net
        return c;
    };
    // The first candidate that reaches the threshold, even when a later one is surer.
    std::vector<Candidate> list = {candidate("A", 0, 0.2), candidate("B", 1, 0.8),
                                   candidate("C", 2, 0.9)};
    Decision d = Decide(list, 0.5);
    EXPECT_EQ(d.candidate, 1);
    EXPECT_TRUE(d.sure);
    // Nothing sure: the most confident goes to review.
    d = Decide(list, 0.95);
    EXPECT_EQ(d.candidate, 2);
    EXPECT_FALSE(d.sure);
    EXPECT_DOUBLE_EQ(d.confidence, 0.9);
    // Two looks agreeing make a code surer than either; one look counts once.
    list = {candidate("A", 0, 0.4), candidate("B", 1, 0.45), candidate("A", 2, 0.4)};
    EXPECT_DOUBLE_EQ(AgreedConfidence(list, 2), 1.0 - 0.6 * (1.0 - kAgreementWeight * 0.4));
    d = Decide(list, 0.5);
    EXPECT_EQ(d.candidate, 2);
    EXPECT_TRUE(d.sure);
    list = {candidate("A", 0, 0.4), candidate("A", 0, 0.4)};
    EXPECT_DOUBLE_EQ(AgreedConfidence(list, 1), 0.4);
    // Only the two surest looks count.
    list = {candidate("A", 0, 0.3), candidate("A", 1, 0.3), candidate("A", 2, 0.3)};
    EXPECT_DOUBLE_EQ(AgreedConfidence(list, 2), AgreedConfidence(list, 1));
    EXPECT_EQ(Decide({}, 0.5).candidate, -1);
    // A character the network hardly reads as written: sure only once a second look agrees.
    const size_t written = static_cast<size_t>(EvidenceIndex("net_written_min"));
    list = {candidate("A", 0, 0.9)};
    list[0].evidence.values[written] = kLoneNetFloor - 0.01;
    EXPECT_FALSE(Decide(list, 0.5).sure);
    list.push_back(list[0]);
    list[1].look = 1;
    EXPECT_TRUE(Decide(list, 0.5).sure);
    // Looks that agree only by the same check-digit choice, which the network does not back.
    for (Candidate& c : list) {
        c.evidence.values[written] = 1.0;
        c.evidence.values[static_cast<size_t>(EvidenceIndex("guided_changes"))] = 1.0;
        c.guidedNet = kGuidedNetBacking - 0.1f;
    }
    EXPECT_FALSE(Decide(list, 0.5).sure);
    list[0].guidedNet = kGuidedNetBacking;
    EXPECT_TRUE(Decide(list, 0.5).sure);
}

// A box whose network probabilities favour first, with second close behind (or not).
void SetNet(BoxReading& box, char first, char second = 0, float secondShare = 0.0f) {
    box.net.fill(0.001f);
    box.net[classifier::NetClassOf(first)] = 0.9f;
    if (second != 0)
        box.net[classifier::NetClassOf(second)] = 0.9f * secondShare;
    box.netRead = true;
}

TEST(NetChoice, TakesTheNetworkCodeOnlyWhenItValidatesAndIsNew) {
    const auto prefixes = Prefixes("CSQU\n");
    // The codebooks read 6 and 1 where the network reads 5 and 4: its code validates.
    Reading reading = ReadingOf("CSQU3061383");
    const std::string truth = "CSQU3054383";
    for (int i = 0; i < 11; ++i)
        SetNet(reading.characters[i], truth[i]);
    GuidedChoice choice;
    ASSERT_TRUE(ChooseByNet(reading, prefixes, choice));
    EXPECT_EQ(choice.code, truth);
    EXPECT_EQ(choice.changes, 0);

    // Letters stay letters and digits digits: an O at a digit position reads as its best digit.
    SetNet(reading.characters[4], 'O', '3', 0.5f);
    ASSERT_TRUE(ChooseByNet(reading, prefixes, choice));
    EXPECT_EQ(choice.code, truth);

    // The network's code fails; its close second at one position is the one change that
    // validates. A far second is not tried.
    SetNet(reading.characters[7], '1', '4', 0.5f);
    ASSERT_TRUE(ChooseByNet(reading, prefixes, choice));
    EXPECT_EQ(choice.code, truth);
    EXPECT_EQ(choice.changes, 1);
    SetNet(reading.characters[7], '1', '4', kNetSecondShare / 2);
    EXPECT_FALSE(ChooseByNet(reading, prefixes, choice));

    // Nothing new, no probabilities, or not eleven boxes: no choice.
    Reading same = ReadingOf(truth);
    same.complete = true;
    for (int i = 0; i < 11; ++i)
        SetNet(same.characters[i], truth[i]);
    EXPECT_FALSE(ChooseByNet(same, prefixes, choice));
    EXPECT_FALSE(ChooseByNet(ReadingOf("CSQU3061383"), prefixes, choice));
    reading.characters.pop_back();
    EXPECT_FALSE(ChooseByNet(reading, prefixes, choice));
}

// A decoded line: every character sure, with a far second class.
std::vector<classifier::LineCharacter> LineOf(const std::string& text) {
    std::vector<classifier::LineCharacter> line;
    for (char c : text)
        line.push_back({c, 0.9f, c == '1' ? '7' : '1', 0.01f});
    return line;
}

TEST(LineChoice, FindsTheOneRunOfElevenThatValidates) {
    const auto prefixes = Prefixes("CSQU\nABCU\n");
    GuidedChoice choice;
    // Characters of the door around the code are passed over.
    ASSERT_TRUE(ChooseByLine(LineOf("7XCSQU305438345G1"), prefixes, choice));
    EXPECT_EQ(choice.code, "CSQU3054383");
    EXPECT_EQ(choice.changes, 0);
    // A digit among the letters takes its second class when that is a letter.
    auto line = LineOf("C5QU3054383");
    line[1].second = 'S';
    ASSERT_TRUE(ChooseByLine(line, prefixes, choice));
    EXPECT_EQ(choice.code, "CSQU3054383");
    EXPECT_EQ(choice.changes, 1);
    // A wrong digit: only a close second makes the code.
    line = LineOf("CSQU3054783");
    EXPECT_FALSE(ChooseByLine(line, prefixes, choice));
    line[8].second = '3';
    line[8].secondProbability = 0.5f;
    ASSERT_TRUE(ChooseByLine(line, prefixes, choice));
    EXPECT_EQ(choice.code, "CSQU3054383");
    // Two runs giving different codes, a character missing, or a category letter that is not
    // U, J or Z: no code.
    EXPECT_FALSE(ChooseByLine(LineOf("CSQU3054383ABCU1234560"), prefixes, choice));
    EXPECT_FALSE(ChooseByLine(LineOf("CSQU305438"), prefixes, choice));
    EXPECT_FALSE(ChooseByLine(LineOf("CSQX3054383"), prefixes, choice));
    EXPECT_TRUE(choice.code.empty());
}

TEST(Evidence, AnOwnerLetterChosenOverItsCheckDigitTwinIsNeverSureFromOneLook) {
    EXPECT_TRUE(CheckDigitTwins('H', 'R'));
    EXPECT_TRUE(CheckDigitTwins('A', 'U'));
    EXPECT_TRUE(CheckDigitTwins('K', 'A'));
    EXPECT_FALSE(CheckDigitTwins('A', 'B'));
    EXPECT_FALSE(CheckDigitTwins('H', 'H'));
    EXPECT_FALSE(CheckDigitTwins('H', '7'));

    // The runner-up rule wrote R over a rank-0 H at the first owner position.
    Reading reading = ReadingOf("RJCU1234560");
    reading.characters[0] = Box('R', true, {{'R', 11.0}});
    reading.characters[0].ranks.ranks[0] = {3, 'H', 10.0};
    reading.characters[0].ranks.chosenRank = 1;
    const ReferenceData none;
    const LookEvidence twin =
        EvidenceOfReading(reading, reading.code, Winner::Morphology, 0, 0, none);
    EXPECT_TRUE(twin.twinOwner);
    const auto value = [](const LookEvidence& e, const char* name) {
        return e.values[static_cast<size_t>(EvidenceIndex(name))];
    };
    EXPECT_EQ(value(twin, "runner_up"), 1.0);
    EXPECT_EQ(value(twin, "not_nearest"), 1.0);
    EXPECT_LT(value(twin, "margin_min"), 0.0);  // H lies nearer than the R written

    // The same letter changed from a B (not its twin) or read as its own nearest class: no twin.
    const LookEvidence clear =
        EvidenceOfReading(ReadingOf("RJCU1234560"), "RJCU1234560", Winner::Morphology, 0, 0, none);
    EXPECT_FALSE(clear.twinOwner);
    EXPECT_EQ(value(clear, "guided_changes"), 0.0);
    Reading changed = ReadingOf("BJCU1234560");
    const LookEvidence guided =
        EvidenceOfReading(changed, "RJCU1234560", Winner::Morphology, 0, 0, none);
    EXPECT_FALSE(guided.twinOwner);
    EXPECT_EQ(value(guided, "guided_changes"), 1.0);

    Candidate one;
    one.code = "RJCU1234560";
    one.evidence = twin;
    std::vector<Candidate> list = {one};
    EXPECT_FALSE(MayBeSure(list, 0));
    EXPECT_FALSE(Decide(list, 0.0).sure);
    one.look = 3;  // another look read the same code
    list.push_back(one);
    EXPECT_TRUE(MayBeSure(list, 1));
    EXPECT_EQ(AgreeingLooks(list, 1), 2);
    const Evidence agreed = AgreedEvidence(list, 1);
    EXPECT_EQ(agreed[static_cast<size_t>(EvidenceIndex("looks_agree"))], 1.0);  // log2 of 2
    // The network reads the R as its twin H, which spells another owner: never sure, however
    // many looks agree.
    list[1].netTwin = true;
    EXPECT_FALSE(MayBeSure(list, 1));
    // Nor when the network hardly tells an owner letter from its twin, hardly reads what the
    // check-digit choice put in, the code's line goes on past the last box, or a crop look's
    // code has a character the network hardly reads.
    list[1].netTwin = false;
    for (auto doubt :
         {+[](Candidate& c) { c.twinShare = kTwinOwnerShareLimit; },
          +[](Candidate& c) { c.guidedNet = kGuidedNetFloor / 2; },
          +[](Candidate& c) { c.lineGoesOn = true; }, +[](Candidate& c) { c.cropDoubt = true; }}) {
        std::vector<Candidate> doubted = list;
        doubt(doubted[1]);
        EXPECT_FALSE(MayBeSure(doubted, 1));
    }
    // Two looks that agree on a check sum that leaves 10 are sure, unless a box is tall.
    std::vector<Candidate> ten = list;
    for (Candidate& c : ten)
        c.code = "RJCU1234500";
    ASSERT_TRUE(RemainderTen(ten[1].code));
    EXPECT_TRUE(MayBeSure(ten, 1));
    ten[1].tallBox = true;
    EXPECT_FALSE(MayBeSure(ten, 1));
    // The line network's code, clear of twins, is sure only when another look read it too.
    Candidate line;
    line.code = "RJCU1234560";
    line.evidence = clear;
    MarkLineReading(line.evidence);
    std::vector<Candidate> lines = {line};
    EXPECT_FALSE(MayBeSure(lines, 0));
    line.look = 2;
    lines.push_back(line);
    EXPECT_TRUE(MayBeSure(lines, 1));

    // The network's probabilities are evidence: the lowest of a written character, and the
    // characters it reads as another class.
    Reading byNet = ReadingOf("RJCU1234560");
    for (size_t i = 0; i < byNet.characters.size(); ++i) {
        BoxReading& box = byNet.characters[i];
        box.net.fill(0.0f);
        box.net[static_cast<size_t>(classifier::NetClassOf("RJCU1234560"[i]))] = 0.9f;
        box.netRead = true;
    }
    byNet.characters[0].net[static_cast<size_t>(classifier::NetClassOf('H'))] = 0.95f;
    byNet.characters[5].net[static_cast<size_t>(classifier::NetClassOf('2'))] = 0.6f;
    const LookEvidence net =
        EvidenceOfReading(byNet, "RJCU1234560", Winner::Morphology, 0, 0, none);
    EXPECT_EQ(value(net, "net_doubt"), 1.0);  // the R; the 2 is still its first class
    EXPECT_NEAR(value(net, "net_written_min"), 0.6, 1e-6);
    EXPECT_EQ(value(clear, "net_doubt"), 0.0);  // boxes the network did not read
    EXPECT_EQ(value(clear, "net_written_min"), 1.0);
}

TEST(ConfidenceModelFile, RoundTripsAndNamesWhatIsWrongWithAFile) {
    const fs::path file = fs::temp_directory_path() / "karvona-confidence-model.txt";
    ConfidenceModel model;
    model.threshold = 0.9;
    model.bias = -0.5;
    model.terms = {{EvidenceIndex("margin_min"), 0.25, 0.5, 2.0},
                   {EvidenceIndex("looks_agree"), 1.0, 1.0, 1.0}};
    model.chainFloor = 0.8;
    ASSERT_TRUE(model.Save(file, "two lines\nof comment"));
    ConfidenceModel loaded;
    std::string error;
    ASSERT_TRUE(loaded.Load(file, error)) << error;
    EXPECT_DOUBLE_EQ(loaded.threshold, 0.9);
    EXPECT_DOUBLE_EQ(loaded.chainFloor, 0.8);
    ASSERT_EQ(loaded.terms.size(), 2u);
    Evidence evidence{};
    evidence[static_cast<size_t>(EvidenceIndex("margin_min"))] = 0.75;
    evidence[static_cast<size_t>(EvidenceIndex("looks_agree"))] = 1.0;
    EXPECT_NEAR(loaded.Probability(evidence), 1.0 / (1.0 + std::exp(-1.5)), 1e-12);

    for (const char* text :
         {"", "threshold 0.5\n", "karvona-confidence 1\nbias 0\n",
          "karvona-confidence 1\nthreshold 1.5\nbias 0\nfeature margin_min 0 1 1\n",
          "karvona-confidence 1\nthreshold 0.5\nbias 0\nfeature nosuch 0 1 1\n",
          "karvona-confidence 1\nthreshold 0.5\nbias 0\nfeature margin_min 0 0 1\n",
          "karvona-confidence 1\nthreshold 0.5\nbias 0\nfeature margin_min 0 1 1\nchain_floor "
          "2\n"}) {
        std::ofstream(file, std::ios::trunc) << text;
        ConfidenceModel kept = loaded;
        EXPECT_FALSE(kept.Load(file, error)) << text;
        EXPECT_NE(error.find(file.string() + " is not usable"), std::string::npos) << error;
        EXPECT_DOUBLE_EQ(kept.threshold, 0.9);  // left as it was
    }
    fs::remove(file);
    EXPECT_FALSE(loaded.Load(file, error));
    EXPECT_NE(error.find("does not exist"), std::string::npos);
}
