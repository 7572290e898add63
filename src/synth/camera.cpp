// The gate camera: the tilt and slope of its view, its lens and sensor, and its on-screen time
// stamp.

#include <cmath>
#include <cstdio>
#include <opencv2/imgproc.hpp>

#include "synth/scene.hpp"

namespace karvona::synth::parts {
namespace {

// A shear about the frame's centre that slopes the code's lines by `degrees` while the strokes
// across them keep their direction, as a camera looking at the panel from one side sees it.
// Composed after the tilt.
cv::Mat SlopeMatrix(double degrees, bool vertical, cv::Size frame) {
    const double t = std::tan(degrees * kPi / 180.0);
    cv::Mat shear = cv::Mat::eye(3, 3, CV_64F);
    if (vertical) {
        shear.at<double>(0, 1) = t;
        shear.at<double>(0, 2) = -t * frame.height / 2.0;
    } else {
        shear.at<double>(1, 0) = t;
        shear.at<double>(1, 2) = -t * frame.width / 2.0;
    }
    return shear;
}

// Whether every ink box lies inside the frame, 6 pixels clear of its edges, under the affine
// transform.
bool InkInside(const std::vector<cv::Rect>& inkBoxes, const cv::Mat& affine, cv::Size frame) {
    for (const cv::Rect& ink : inkBoxes) {
        std::vector<cv::Point2f> corners = {{float(ink.x), float(ink.y)},
                                            {float(ink.x + ink.width), float(ink.y)},
                                            {float(ink.x), float(ink.y + ink.height)},
                                            {float(ink.x + ink.width), float(ink.y + ink.height)}};
        cv::transform(corners, corners, affine);
        for (const cv::Point2f& c : corners) {
            if (c.x < 6 || c.y < 6 || c.x > frame.width - 6 || c.y > frame.height - 6)
                return false;
        }
    }
    return true;
}

// Sensor noise: grey noise and a weaker colour noise, stronger at night.
void AddSensorNoise(Random& rng, bool night, cv::Mat& image) {
    const cv::Size frame = image.size();
    cv::Mat noisy;
    image.convertTo(noisy, CV_32FC3);
    cv::Mat luma(frame, CV_32F);
    cv::Mat chroma(frame, CV_32FC3);
    cv::RNG cvrng(rng.Bits());
    const double sigma = rng.Uniform(1.0, 6.0) * (night ? 1.8 : 1.0);
    cvrng.fill(luma, cv::RNG::NORMAL, 0.0, sigma);
    cvrng.fill(chroma, cv::RNG::NORMAL, 0.0, sigma * 0.4);
    for (int y = 0; y < frame.height; ++y) {
        cv::Vec3f* px = noisy.ptr<cv::Vec3f>(y);
        const float* l = luma.ptr<float>(y);
        const cv::Vec3f* c = chroma.ptr<cv::Vec3f>(y);
        for (int x = 0; x < frame.width; ++x) {
            px[x] += cv::Vec3f(l[x], l[x], l[x]) + c[x];
        }
    }
    noisy.convertTo(image, CV_8UC3);
}

}  // namespace

cv::Mat TakePhotograph(const Scene& s, double tiltDegrees, cv::Mat& rotation,
                       double& slopeDegrees) {
    const cv::Size canvasSize = s.canvasSize;
    cv::Mat canvas8;
    s.canvas.convertTo(canvas8, CV_8UC3);
    rotation = cv::getRotationMatrix2D(
        cv::Point2f(canvasSize.width / 2.0f, canvasSize.height / 2.0f), tiltDegrees, 1.0);
    rotation.at<double>(0, 2) -= s.margin;
    rotation.at<double>(1, 2) -= s.margin;
    if (s.look.slope != 0.0) {
        // The steepest slope up to the drawn one that keeps the code in the frame.
        for (double slope = s.look.slope; std::abs(slope) >= 1.0; slope /= 2) {
            cv::Mat rotation3 = cv::Mat::eye(3, 3, CV_64F);
            rotation.copyTo(rotation3(cv::Rect(0, 0, 3, 2)));
            const cv::Mat sloped = (SlopeMatrix(slope, IsVertical(s.layout), s.frame) *
                                    rotation3)(cv::Rect(0, 0, 3, 2));
            if (InkInside(s.inkBoxes, sloped, s.frame)) {
                rotation = sloped.clone();
                slopeDegrees = slope;
                break;
            }
        }
    }
    cv::Mat image;
    cv::warpAffine(canvas8, image, rotation, s.frame, cv::INTER_LINEAR, cv::BORDER_REFLECT);
    return image;
}

void ApplyOptics(Scene& s, cv::Mat& image) {
    Random& rng = s.rng;
    if (rng.Chance(0.15)) {
        // A softer lens: down and up again.
        cv::Mat small;
        const double f = rng.Uniform(0.6, 0.85);
        cv::resize(image, small, cv::Size(), f, f, cv::INTER_AREA);
        cv::resize(small, image, s.frame, 0, 0, cv::INTER_LINEAR);
    }
    if (rng.Chance(0.12)) {
        const int length = rng.Int(3, 6);
        cv::Mat kernel = cv::Mat::ones(1, length, CV_32F) / static_cast<float>(length);
        cv::filter2D(image, image, -1, kernel);
    } else {
        cv::GaussianBlur(image, image, cv::Size(0, 0), rng.Uniform(0.3, 1.3));
    }
    AddSensorNoise(rng, s.look.night, image);
    if (rng.Chance(0.85)) {
        AddTimeStamp(rng, image);
    }
}

// The camera's on-screen display: date and time, sometimes the lane above it.
void AddTimeStamp(Random& rng, cv::Mat& image) {
    char text[64];
    const int year = rng.Int(2009, 2026);
    const int month = rng.Int(1, 12);
    const int day = rng.Int(1, 28);
    const int hour = rng.Int(0, 23);
    const int minute = rng.Int(0, 59);
    const int second = rng.Int(0, 59);
    switch (rng.Int(0, 2)) {
        case 0:
            std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day,
                          hour, minute, second);
            break;
        case 1:
            std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", day, month, year,
                          hour, minute, second);
            break;
        default:
            std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d", year, month, day, hour,
                          minute);
            break;
    }
    const cv::Scalar colour =
        rng.Chance(0.6) ? cv::Scalar(235, 235, 235) : cv::Scalar(40, 220, 235);
    double scale = rng.Uniform(0.42, 0.55);
    int baseline = 0;
    cv::Size ts = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
    while (ts.width > 220 && scale > 0.3) {
        scale -= 0.02;
        ts = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
    }
    const int x = rng.Int(3, 10);
    const int y = image.rows - rng.Int(4, 7) - baseline;
    cv::putText(image, text, cv::Point(x + 1, y + 1), cv::FONT_HERSHEY_SIMPLEX, scale,
                cv::Scalar(0, 0, 0), 2, cv::LINE_AA);
    cv::putText(image, text, cv::Point(x, y), cv::FONT_HERSHEY_SIMPLEX, scale, colour, 1,
                cv::LINE_AA);
    if (rng.Chance(0.5)) {
        char lane[32];
        std::snprintf(lane, sizeof lane, "CAM%d GATE %s LANE %d", rng.Int(1, 8),
                      rng.Chance(0.5) ? "IN" : "OUT", rng.Int(1, 6));
        // The lane line goes where the evidence builder ignores overlays: under row 460 on tall
        // frames, or in the band at rows 385 to 425 of small ones.
        const int ly = image.rows >= 500 ? y - ts.height - 8 : rng.Int(400, 418);
        const int lx = image.rows >= 500 ? x : rng.Int(55, 70);
        cv::putText(image, lane, cv::Point(lx + 1, ly + 1), cv::FONT_HERSHEY_SIMPLEX, scale * 0.9,
                    cv::Scalar(0, 0, 0), 2, cv::LINE_AA);
        cv::putText(image, lane, cv::Point(lx, ly), cv::FONT_HERSHEY_SIMPLEX, scale * 0.9, colour,
                    1, cv::LINE_AA);
    }
}

}  // namespace karvona::synth::parts
