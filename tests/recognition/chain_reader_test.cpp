// The chain reader finds characters without a region, in either polarity, and chains eleven of
// them along one line: the network's letters first, at most two wide gaps; its codes alone are
// sure only from the chain floor.
#include "recognition/chain_reader.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "recognition/confidence.hpp"

using namespace karvona;
using namespace karvona::recognition;

namespace {

// A piece the network reads as c for sure.
ChainPiece Piece(double x, double y, double h, char c) {
    ChainPiece p;
    p.box = cv::Rect2d(x, y, 0.6 * h, h);
    p.net.fill(0.0f);
    p.net[static_cast<size_t>(classifier::NetClassOf(c))] = 1.0f;
    p.top = 1.0f;
    return p;
}

// A code line at 20 px: letters, a wide gap, six digits, a wide gap and the check digit, with
// wide gaps after the given positions.
std::vector<ChainPiece> Line(const std::string& code, std::vector<int> wideAfter,
                             double y = 100.0) {
    std::vector<ChainPiece> pieces;
    double x = 50.0;
    for (int i = 0; i < static_cast<int>(code.size()); ++i) {
        pieces.push_back(Piece(x, y, 20.0, code[static_cast<size_t>(i)]));
        const bool wide = std::find(wideAfter.begin(), wideAfter.end(), i) != wideAfter.end();
        x += 12.0 + (wide ? 30.0 : 4.0);
    }
    return pieces;
}

std::string CodeOf(const std::vector<ChainPiece>& pieces, const std::vector<int>& chain) {
    std::string code;
    for (int i : chain) {
        const auto& p = pieces[static_cast<size_t>(i)].net;
        code += classifier::kNetClasses[std::max_element(p.begin(), p.end()) - p.begin()];
    }
    return code;
}

bool HasChain(const std::vector<ChainPiece>& pieces, const std::string& code,
              ChainDirection direction = ChainDirection::kAcross) {
    for (const auto& chain : FindChains(pieces, direction)) {
        if (CodeOf(pieces, chain) == code)
            return true;
    }
    return false;
}

}  // namespace

TEST(ChainReader, ChainsElevenPiecesOfOneLineLettersFirst) {
    // The code among a marking above it and a stray piece beside its line.
    std::vector<ChainPiece> pieces = Line("MSKU1234565", {3, 9});
    for (const ChainPiece& p : Line("45G1", {}, 40.0))
        pieces.push_back(p);
    pieces.push_back(Piece(20.0, 100.0, 20.0, '7'));   // before the owner code: a digit
    pieces.push_back(Piece(110.0, 160.0, 20.0, '3'));  // below the line
    std::reverse(pieces.begin(), pieces.end());        // the order found does not matter
    EXPECT_TRUE(HasChain(pieces, "MSKU1234565"));
    for (const auto& chain : FindChains(pieces)) {
        ASSERT_EQ(chain.size(), 11u);
        for (size_t i = 1; i < chain.size(); ++i)
            EXPECT_LT(pieces[static_cast<size_t>(chain[i - 1])].box.x,
                      pieces[static_cast<size_t>(chain[i])].box.x);
    }
}

TEST(ChainReader, NeedsOneLineOfOneHeightAndAtMostTwoWideGaps) {
    EXPECT_FALSE(HasChain(Line("MSKU1234565", {3, 6, 9}), "MSKU1234565"));
    std::vector<ChainPiece> stepped = Line("MSKU1234565", {3, 9});
    for (size_t i = 4; i < stepped.size(); ++i)
        stepped[i].box.y += 9.0;  // the serial half a character lower
    EXPECT_FALSE(HasChain(stepped, "MSKU1234565"));
    std::vector<ChainPiece> grown = Line("MSKU1234565", {3, 9});
    for (size_t i = 4; i < grown.size(); ++i)
        grown[i].box.height *= 1.6;
    EXPECT_FALSE(HasChain(grown, "MSKU1234565"));
    EXPECT_TRUE(FindChains({}).empty());
}

TEST(ChainReader, ChainsCharactersStackedDownAPostTopFirst) {
    // A code down a post: characters of one height, centres wandering with their widths, closer
    // together than letters of a word; the same pieces give no chain across.
    std::vector<ChainPiece> pieces;
    const std::string code = "MSKU1234565";
    for (size_t i = 0; i < code.size(); ++i)
        pieces.push_back(Piece(300.0 + (i % 2 == 0 ? 3.0 : -2.0), 40.0 + 24.0 * i, 20.0, code[i]));
    std::reverse(pieces.begin(), pieces.end());
    EXPECT_TRUE(HasChain(pieces, code, ChainDirection::kDown));
    EXPECT_FALSE(HasChain(pieces, code, ChainDirection::kAcross));
    EXPECT_FALSE(HasChain(Line(code, {3, 9}), code, ChainDirection::kDown));
    std::vector<ChainPiece> apart = pieces;  // a line every two heights: rows of a table
    for (size_t i = 0; i < apart.size(); ++i)
        apart[i].box.y = 40.0 + 44.0 * double(apart.size() - 1 - i);
    EXPECT_FALSE(HasChain(apart, code, ChainDirection::kDown));
}

TEST(ChainReader, ChainsTheOwnerLineWithTheSerialLineUnderOrBesideIt) {
    // The owner code above its serial, left-aligned; and in a column beside the serial's.
    const auto hasTwoLineChain = [](const std::vector<ChainPiece>& pieces, ChainDirection d) {
        for (const auto& chain : FindTwoLineChains(pieces, d)) {
            if (CodeOf(pieces, chain) == "MSKU1234565")
                return true;
        }
        return false;
    };
    std::vector<ChainPiece> lines = Line("MSKU", {});
    for (const ChainPiece& p : Line("1234565", {5}, 128.0))
        lines.push_back(p);
    EXPECT_TRUE(hasTwoLineChain(lines, ChainDirection::kAcross));
    std::vector<ChainPiece> far = lines;  // the serial three lines lower: another marking
    for (size_t i = 4; i < far.size(); ++i)
        far[i].box.y += 40.0;
    EXPECT_FALSE(hasTwoLineChain(far, ChainDirection::kAcross));

    std::vector<ChainPiece> columns;
    const std::string code = "MSKU1234565";
    for (size_t i = 0; i < code.size(); ++i) {
        const double row = double(i < 4 ? i : i - 4);
        columns.push_back(Piece(i < 4 ? 300.0 : 340.0, 40.0 + 24.0 * row, 20.0, code[i]));
    }
    EXPECT_TRUE(hasTwoLineChain(columns, ChainDirection::kDown));
    EXPECT_FALSE(hasTwoLineChain(columns, ChainDirection::kAcross));
}

TEST(ChainReader, ChainsACodeOnThreeLinesAndKeepsTheShortMiddleLine) {
    // The owner code over three digits over four, the size-type code under them.
    std::vector<ChainPiece> lines = Line("MSKU", {});
    for (const auto& [text, y] : {std::pair{"123", 128.0}, {"4565", 156.0}, {"45G1", 184.0}}) {
        for (const ChainPiece& p : Line(text, {}, y))
            lines.push_back(p);
    }
    const std::vector<std::vector<int>> chains = FindThreeLineChains(lines);
    ASSERT_FALSE(chains.empty());
    EXPECT_EQ(CodeOf(lines, chains.front()), "MSKU1234565");
    std::vector<ChainPiece> shifted = lines;  // the middle line starts two characters later
    for (size_t i = 4; i < 7; ++i)
        shifted[i].box.x += 32.0;
    EXPECT_TRUE(FindThreeLineChains(shifted).empty());

    // Drawn, the middle line stands in no line of four, and is still kept.
    cv::Mat gray(200, 200, CV_8UC1, cv::Scalar(210));
    for (const auto& [text, y] : {std::pair{"MSKU", 50}, {"123", 80}, {"4565", 110}})
        cv::putText(gray, text, {20, y}, cv::FONT_HERSHEY_SIMPLEX, 0.8, cv::Scalar(30), 2,
                    cv::LINE_AA);
    int middle = 0;
    for (const ChainPiece& p : FindChainPieces(gray))
        middle += p.box.y > 58 && p.box.br().y < 84 && p.box.height >= 14 ? 1 : 0;
    EXPECT_GE(middle, 3);
}

TEST(ChainReader, FindsCharactersDarkOnLightAndLightOnDark) {
    for (const bool light : {false, true}) {
        cv::Mat gray(120, 400, CV_8UC1, cv::Scalar(light ? 40 : 210));
        cv::putText(gray, "MSKU 123456 5", {20, 70}, cv::FONT_HERSHEY_SIMPLEX, 0.8,
                    cv::Scalar(light ? 220 : 30), 2, cv::LINE_AA);
        const std::vector<ChainPiece> pieces = FindChainPieces(gray);
        int found = 0;
        for (const ChainPiece& p : pieces)
            found += p.light == light && p.box.height >= 14 && p.box.height <= 20 ? 1 : 0;
        EXPECT_GE(found, 11) << (light ? "light" : "dark");
        for (const ChainPiece& p : pieces) {
            EXPECT_EQ(p.crop.type(), CV_8UC1);
            EXPECT_GE(p.box.height, kChainLowest);
        }
    }
    // Paint in a shadow, darker than the door by less than any offset of the local mean.
    cv::Mat faint(120, 400, CV_8UC1, cv::Scalar(60));
    cv::putText(faint, "MSKU 123456 5", {20, 70}, cv::FONT_HERSHEY_SIMPLEX, 0.8, cv::Scalar(52), 2,
                cv::LINE_AA);
    cv::Mat grain(faint.size(), CV_8UC1);
    cv::randn(grain, 0, 2);
    faint += grain;
    int found = 0;
    for (const ChainPiece& p : FindChainPieces(faint))
        found += !p.light && p.box.height >= 14 && p.box.height <= 20 ? 1 : 0;
    EXPECT_GE(found, 9) << "faint";
    EXPECT_TRUE(FindChainPieces(cv::Mat()).empty());
    EXPECT_TRUE(FindChainPieces(cv::Mat(50, 50, CV_16UC1, cv::Scalar(0))).empty());
}

TEST(ChainReader, ItsCodeAloneIsSureOnlyFromTheFloorAndUncontradicted) {
    Candidate chain;
    chain.code = "MSKU1234565";
    chain.look = 21;
    chain.evidence.values[static_cast<size_t>(EvidenceIndex("chains"))] = 1.0;
    chain.evidence.values[static_cast<size_t>(EvidenceIndex("net_written_min"))] = 0.85;
    std::vector<Candidate> list = {chain};
    const std::vector<double> none = {0.0};
    EXPECT_FALSE(MayBeSure(list, 0));
    EXPECT_FALSE(SureChainAlone(list, 0, kNoChainFloor, none));
    EXPECT_TRUE(SureChainAlone(list, 0, 0.8, none));
    EXPECT_FALSE(SureChainAlone(list, 0, 0.9, none));
    list[0].code = "MSKU1011150";  // three 1s: a chain that may have run through door rods
    EXPECT_FALSE(SureChainAlone(list, 0, 0.8, none));
    list[0].code = chain.code;
    list[0].evidence.values[static_cast<size_t>(EvidenceIndex("chain_uneven"))] = 1.0;
    EXPECT_FALSE(SureChainAlone(list, 0, 0.8, none));
    list[0].evidence = chain.evidence;
    ConfidenceModel model;  // a model that trusts nothing, but has a floor
    model.threshold = 0.99;
    model.bias = -10.0;
    model.chainFloor = 0.8;
    const Decision decision = Decide(list, model.threshold, &model);
    EXPECT_TRUE(decision.sure);
    EXPECT_GE(decision.confidence, model.threshold);  // no sure reading shows less

    Candidate other = chain;  // an earlier look read another code
    other.code = "MSKU1234570";
    other.look = 2;
    other.evidence = LookEvidence{};
    list.insert(list.begin(), other);
    EXPECT_FALSE(SureChainAlone(list, 1, 0.8, {0.6, 0.0}));
    EXPECT_TRUE(SureChainAlone(list, 1, 0.8, {0.2, 0.0}));  // a code likely wrong itself
    list[0].code = chain.code;                              // ... or the same one
    EXPECT_TRUE(MayBeSure(list, 1));
    EXPECT_TRUE(SureChainAlone(list, 1, 0.8, {0.9, 0.0}));
}

TEST(ChainReader, StepViewBoxesEveryPieceAndTheCodeOffered) {
    const cv::Mat gray(200, 400, CV_8UC1, cv::Scalar(128));
    std::vector<ChainPiece> pieces = Line("MSKU1234565", {3, 9});
    pieces.back().light = true;
    ChainCode code;
    code.code = "MSKU1234565";
    for (size_t i = 0; i + 2 < pieces.size(); ++i) {  // the last two outside the code
        BoxReading box;
        box.box = cv::Rect(pieces[i].box);
        code.reading.characters.push_back(box);
    }
    const cv::Mat view = DrawChains(gray, pieces, {code});
    ASSERT_EQ(view.type(), CV_8UC3);
    const auto at = [&](const cv::Rect2d& box) {
        const cv::Vec3b p = view.at<cv::Vec3b>(int(std::lround(box.y)), int(std::lround(box.x)));
        return cv::Scalar(p[0], p[1], p[2]);
    };
    EXPECT_EQ(at(pieces.front().box), kChainColour);
    EXPECT_EQ(at(pieces[pieces.size() - 2].box), kDarkPieceColour);
    EXPECT_EQ(at(pieces.back().box), kLightPieceColour);
    EXPECT_TRUE(DrawChains(cv::Mat(), pieces, {code}).empty());
    EXPECT_TRUE(DrawChains(cv::Mat(10, 10, CV_16UC1), pieces, {code}).empty());

    // A code down a post is lettered at its characters' height, not the column's.
    ChainCode down;
    down.code = code.code;
    for (int i = 0; i < 11; ++i) {
        BoxReading box;
        box.box = cv::Rect(180, 150 + 22 * i, 14, 20);
        down.reading.characters.push_back(box);
    }
    const cv::Mat tall = DrawChains(cv::Mat(450, 400, CV_8UC1, cv::Scalar(128)), {}, {down});
    cv::Mat green;
    cv::inRange(tall, kChainColour, kChainColour, green);
    EXPECT_EQ(cv::countNonZero(green.rowRange(0, 110)), 0);
}

TEST(ChainReader, ItsCodeIsEvenlySpacedOnlyWithoutASkippedOrSqueezedCharacter) {
    const auto boxesOf = [](const std::vector<ChainPiece>& pieces) {
        std::vector<cv::Rect> boxes;
        for (const ChainPiece& p : pieces)
            boxes.push_back(cv::Rect(p.box));
        return boxes;
    };
    const ChainShape oneLine{ChainDirection::kAcross, 1};
    std::vector<cv::Rect> boxes = boxesOf(Line("MSKU1234565", {3, 9}));
    EXPECT_TRUE(EvenlySpaced(boxes, oneLine));
    std::vector<cv::Rect> skipped = boxes;  // a digit skipped: the serial's pitch doubles once
    for (size_t i = 7; i < skipped.size(); ++i)
        skipped[i].x += 16;
    EXPECT_FALSE(EvenlySpaced(skipped, oneLine));
    std::vector<cv::Rect> squeezed = boxes;  // the check digit a stroke beside the last digit
    squeezed[10].x = squeezed[9].x + 6;
    EXPECT_FALSE(EvenlySpaced(squeezed, oneLine));

    // On three lines the breaks between lines are not pitches.
    std::vector<cv::Rect> three = boxesOf(Line("MSKU", {}));
    for (const ChainPiece& p : Line("123", {}, 130.0))
        three.push_back(cv::Rect(p.box));
    for (const ChainPiece& p : Line("4565", {}, 160.0))
        three.push_back(cv::Rect(p.box));
    EXPECT_TRUE(EvenlySpaced(three, {ChainDirection::kAcross, 3}));
    EXPECT_FALSE(EvenlySpaced(three, oneLine));
}
