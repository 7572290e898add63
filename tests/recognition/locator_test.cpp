// The whole locator on drawn photographs, the hypothesis test's scoring and acceptance rules, and
// inputs outside its range.
#include "recognition/locator.hpp"

#include <gtest/gtest.h>

#include "drawn_photos.hpp"

using namespace karvona::recognition;
using karvona::testing::CharactersHeld;
using karvona::testing::CodeDrawing;
using karvona::testing::DrawCodePhoto;

namespace {

struct Located {
    cv::Mat region;
    int layout = -1;
    TemplateBoxes boxes{};
};

Located Locate(const cv::Mat& photo, const LocatorOptions& options = {}) {
    Located out;
    out.region = FindIsoCharacters(photo, nullptr, &out.boxes, &out.layout, options);
    return out;
}

}  // namespace

class DrawnLayouts : public ::testing::TestWithParam<int> {};

TEST_P(DrawnLayouts, PlainBackgroundLightOnDark) {
    CodeDrawing d;
    d.layout = GetParam();
    const auto photo = DrawCodePhoto(d);
    const Located found = Locate(photo.image);
    ASSERT_FALSE(found.region.empty());
    EXPECT_EQ(found.layout, d.layout);
    EXPECT_EQ(CharactersHeld(found.region, photo), 11);
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, DrawnLayouts, ::testing::Range(0, 7));
