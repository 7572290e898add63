#include "recognition/line_crops.hpp"

#include <algorithm>

#include "recognition/look.hpp"

namespace karvona::recognition {

std::vector<cv::Rect> LineCrops(const std::vector<FoundRegion>& found, cv::Size photo) {
    std::vector<cv::Rect> crops;
    const cv::Rect frame(0, 0, photo.width, photo.height);
    for (const FoundRegion& f : found) {
        if (static_cast<int>(crops.size()) >= kMaxLineCrops)
            break;
        if (f.characters < kLineCropCharacters || f.region.empty())
            continue;
        const cv::Point centre(f.region.x + f.region.width / 2, f.region.y + f.region.height / 2);
        bool inside = false;
        for (const cv::Rect& c : crops)
            inside = inside || c.contains(centre);
        if (inside)
            continue;
        const cv::Rect grown(f.region.x - f.region.width / 2, f.region.y - f.region.height / 8,
                             2 * f.region.width, f.region.height + f.region.height / 4);
        const cv::Rect crop = grown & frame;
        if (!crop.empty())
            crops.push_back(crop);
    }
    return crops;
}

double LineCropScale(cv::Size crop, double photoScale) {
    const double w = std::max(1.0, crop.width * photoScale);
    const double h = std::max(1.0, crop.height * photoScale);
    const double longSide = std::max(w, h), shortSide = std::min(w, h);
    return std::clamp(std::min(kWorkingLongSide / longSide, kWorkingShortSide / shortSide), 1.0,
                      2.0);
}

bool IsNearVariant(const std::string& earlier, const std::string& code) {
    if (earlier.size() != code.size() || earlier == code)
        return false;
    int apart = 0;
    for (size_t i = 0; i < code.size(); ++i)
        apart += earlier[i] != code[i] ? 1 : 0;
    return apart <= kNearVariantApart;
}

}  // namespace karvona::recognition
