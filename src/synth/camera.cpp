// What the gate camera adds to the scene: its on-screen time stamp.

#include <cstdio>
#include <opencv2/imgproc.hpp>

#include "synth/render_parts.hpp"

namespace karvona::synth::parts {

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
