// The black-box runner's confusion table: alignment of a reading with its label and the counts.
#include "confusion.hpp"

#include <gtest/gtest.h>

#include <sstream>

using karvona::blackbox::AlignWithLabel;
using karvona::blackbox::ConfusionTable;
using karvona::recognition::BoxReading;

namespace {

std::vector<BoxReading> Boxes(const std::string& read) {
    std::vector<BoxReading> boxes;
    for (char c : read) {
        BoxReading b;
        b.character = c;
        b.crop = cv::Mat(20, 10, CV_8UC1, cv::Scalar(255));
        boxes.push_back(b);
    }
    return boxes;
}

}  // namespace

TEST(Confusion, AlignmentKeepsSubstitutionsAndSkipsLostAndExtraBoxes) {
    EXPECT_EQ(AlignWithLabel("TEMU1", "TFMU7"), (std::vector<int>{0, 1, 2, 3, 4}));
    // The E was lost and a speck read as 1 stands before the 1.
    EXPECT_EQ(AlignWithLabel("TEMU7", "TMU17"), (std::vector<int>{0, -1, 1, 2, 4}));
    EXPECT_EQ(AlignWithLabel("TEMU", ""), (std::vector<int>(4, -1)));
}

TEST(Confusion, CountsLettersAndDigitsApartWithTheirCrops) {
    ConfusionTable table;
    table.Add("TEMU9221353", Boxes("TFMU9227353"));
    table.Add("TEMU9221353", {});  // no reading at all
    EXPECT_EQ(table.perClass['E'].total, 2);
    EXPECT_EQ(table.perClass['E'].right, 0);
    EXPECT_EQ(table.perClass['3'].right, 2);
    ASSERT_EQ(table.confusions.at({'1', '7'}).size(), 1u);
    EXPECT_FALSE(table.confusions.at({'1', '7'})[0].empty());
    EXPECT_EQ(table.confusions.at({'1', '-'}).size(), 1u);

    std::ostringstream out;
    table.Print(out);
    EXPECT_NE(out.str().find("letters: 3 of 8 read right"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("digits : 6 of 14 read right"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("E->F 1"), std::string::npos);
    EXPECT_NE(out.str().find("1->7 1"), std::string::npos);
}
