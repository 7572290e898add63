#include "recognition/look.hpp"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace karvona::recognition {

double WorkingScale(cv::Size photo) {
    const int longSide = std::max(photo.width, photo.height);
    const int shortSide = std::min(photo.width, photo.height);
    if (longSide <= 0)
        return 1.0;
    return std::min({1.0, double(kWorkingLongSide) / longSide,
                     double(kWorkingShortSide) / std::max(shortSide, 1)});
}

Look FirstLook() {
    return Look{"first"};
}

const std::vector<Look>& SecondLooks() {
    // Ordered by how many photographs of the training sets each look read that the looks before
    // it had not (scales first, then the small turns and shears); turns of 12 degrees read none.
    // The turns and shears come after the two scales that find most regions the first look
    // missed, so that a photograph without a code costs four passes, not fourteen.
    static const std::vector<Look> looks = {
        {"scale 0.75", 0.75},
        {"scale 1.5", 1.5},
        {"rotate 4", 1.0, 4.0},
        {"shear -10", 1.0, 0, -10},
        {"rotate -4", 1.0, -4.0},
        {"shear 10", 1.0, 0, 10},
        {"shear -5", 1.0, 0, -5},
        {"shear 5", 1.0, 0, 5},
        {"shear -15", 1.0, 0, -15},
        {"shear 15", 1.0, 0, 15},
        {"rotate 8", 1.0, 8.0},
        {"rotate -8", 1.0, -8.0},
        {"scale 2", 2.0},
        // Faint paint and unevenly lit panels: the contrast normalised tile by tile, at the
        // working scale and larger for small characters.
        {"equalised", 1.0, 0, 0, Repair::kEqualise},
        {"equalised 1.5", 1.5, 0, 0, Repair::kEqualise},
        {"unframed", 1.0, 0, 0, Repair::kUnframe},
        {"unbarred", 1.0, 0, 0, Repair::kUnbar},
        // Photographs squeezed into a square from an upright picture: characters too wide and
        // too small for the seeds, narrowed back at the larger scales (1.5 high, as wide as
        // given; 1.75 high, 1.225 wide).
        {"narrowed 1.5", 1.5, 0, 0, Repair::kNone, 2.0 / 3.0},
        {"narrowed 1.75", 1.75, 0, 0, Repair::kNone, 0.7},
    };
    return looks;
}

cv::Matx23d Compose(const cv::Matx23d& second, const cv::Matx23d& first) {
    const cv::Matx33d a(second(0, 0), second(0, 1), second(0, 2), second(1, 0), second(1, 1),
                        second(1, 2), 0, 0, 1);
    const cv::Matx33d b(first(0, 0), first(0, 1), first(0, 2), first(1, 0), first(1, 1),
                        first(1, 2), 0, 0, 1);
    const cv::Matx33d c = a * b;
    return cv::Matx23d(c(0, 0), c(0, 1), c(0, 2), c(1, 0), c(1, 1), c(1, 2));
}

namespace {

cv::Point2d Apply(const cv::Matx23d& m, cv::Point2d p) {
    return {m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2), m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2)};
}

}  // namespace

LookImage MakeLookImage(const cv::Mat& photo, double photoScale, const Look& look) {
    LookImage out;
    const double s = photoScale * look.scale;
    cv::Mat scaled;
    if ((s == 1.0 && look.narrow == 1.0) || photo.empty()) {
        scaled = photo;
    } else {
        const cv::Size size(std::max(1, int(std::lround(photo.cols * s * look.narrow))),
                            std::max(1, int(std::lround(photo.rows * s))));
        const bool smaller = s < 1.0 || (s == 1.0 && look.narrow < 1.0);
        cv::resize(photo, scaled, size, 0, 0, smaller ? cv::INTER_AREA : cv::INTER_LINEAR);
    }
    if (look.repair != Repair::kNone)
        scaled = Repaired(scaled, look.repair);
    const double sx = photo.cols > 0 ? double(scaled.cols) / photo.cols : 1.0;
    const double sy = photo.rows > 0 ? double(scaled.rows) / photo.rows : 1.0;
    const cv::Matx23d scaling(sx, 0, 0, 0, sy, 0);
    if ((look.rotate == 0.0 && look.shear == 0.0) || scaled.empty()) {
        out.image = scaled;
        out.fromPhoto = scaling;
        return out;
    }

    // Shear first (columns move down in proportion to x), then turn counter-clockwise.
    const double t = std::tan(look.shear * CV_PI / 180.0);
    const double a = look.rotate * CV_PI / 180.0;
    const double c = std::cos(a), n = std::sin(a);
    // Rotation as the image is shown (y down): x' = c x + n y, y' = -n x + c y.
    const cv::Matx22d turn(c, n, -n, c);
    const cv::Matx22d shear(1, 0, t, 1);
    const cv::Matx22d linear = turn * shear;
    const cv::Point2d centre(scaled.cols / 2.0, scaled.rows / 2.0);
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (const cv::Point2d corner :
         {cv::Point2d(0, 0), cv::Point2d(scaled.cols, 0), cv::Point2d(0, scaled.rows),
          cv::Point2d(scaled.cols, scaled.rows)}) {
        const cv::Vec2d p = linear * cv::Vec2d(corner.x - centre.x, corner.y - centre.y);
        minX = std::min(minX, p[0]);
        maxX = std::max(maxX, p[0]);
        minY = std::min(minY, p[1]);
        maxY = std::max(maxY, p[1]);
    }
    const cv::Size canvas(int(std::ceil(maxX - minX)), int(std::ceil(maxY - minY)));
    const cv::Matx23d warp(linear(0, 0), linear(0, 1),
                           -minX - linear(0, 0) * centre.x - linear(0, 1) * centre.y, linear(1, 0),
                           linear(1, 1), -minY - linear(1, 0) * centre.x - linear(1, 1) * centre.y);
    cv::warpAffine(scaled, out.image, cv::Mat(warp), canvas, cv::INTER_LINEAR,
                   cv::BORDER_REPLICATE);
    out.fromPhoto = Compose(warp, scaling);
    return out;
}

cv::Rect RectInPhoto(const cv::Rect& rect, const cv::Matx23d& fromPhoto, cv::Size photo) {
    if (rect.empty())
        return {};
    cv::Matx23d toPhoto;
    cv::invertAffineTransform(fromPhoto, toPhoto);
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (const cv::Point2d corner :
         {cv::Point2d(rect.x, rect.y), cv::Point2d(rect.x + rect.width, rect.y),
          cv::Point2d(rect.x, rect.y + rect.height),
          cv::Point2d(rect.x + rect.width, rect.y + rect.height)}) {
        const cv::Point2d p = Apply(toPhoto, corner);
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    const int x0 = int(std::floor(minX + 1e-6)), y0 = int(std::floor(minY + 1e-6));
    const int x1 = int(std::ceil(maxX - 1e-6)), y1 = int(std::ceil(maxY - 1e-6));
    return cv::Rect(x0, y0, x1 - x0, y1 - y0) & cv::Rect(0, 0, photo.width, photo.height);
}

std::array<cv::Point2f, 4> CornersOf(const cv::Rect& rect) {
    if (rect.empty())
        return {};
    const float x0 = float(rect.x), y0 = float(rect.y);
    const float x1 = float(rect.x + rect.width), y1 = float(rect.y + rect.height);
    return {cv::Point2f(x0, y0), cv::Point2f(x1, y0), cv::Point2f(x1, y1), cv::Point2f(x0, y1)};
}

std::array<cv::Point2f, 4> CornersInPhoto(const cv::Rect& rect, const cv::Matx23d& fromPhoto) {
    if (rect.empty())
        return {};
    cv::Matx23d toPhoto;
    cv::invertAffineTransform(fromPhoto, toPhoto);
    std::array<cv::Point2f, 4> corners = CornersOf(rect);
    for (cv::Point2f& corner : corners) {
        const cv::Point2d p = Apply(toPhoto, cv::Point2d(corner.x, corner.y));
        corner = cv::Point2f(float(p.x), float(p.y));
    }
    return corners;
}

}  // namespace karvona::recognition
