// The panel around the code, as the renderer paints it in turn: the base paint, the worn paint
// laid onto it, rust and the corrugation (or a reefer's seams), the door hardware, the sky over
// the top rail and the light.

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "synth/scene.hpp"

namespace karvona::synth::parts {
namespace {

constexpr double kWornShare = 0.35;  // photographs whose paint has flaked off in places

// The panel's horizontal seams on a reefer, where they miss every marking.
void DrawReeferSeams(Scene& s) {
    for (int y = s.extra.Int(20, 120); y < s.canvasSize.height; y += s.extra.Int(150, 260)) {
        bool clear = true;
        for (const cv::Rect& t : s.occ.taken)
            clear = clear && (y < t.y - 4 || y > t.y + t.height + 4);
        if (clear)
            cv::line(s.canvas, {0, y}, {s.canvasSize.width, y},
                     cv::Scalar::all(s.palette.panel[0] * 0.7), 2);
    }
}

}  // namespace

void PaintBase(Scene& s) {
    Random& rng = s.rng;
    const cv::Size canvasSize = s.canvasSize;
    s.canvas.create(canvasSize, CV_32FC3);
    const cv::Mat mottle = SmoothNoise(rng, canvasSize, rng.Uniform(60, 200));
    const cv::Mat grain = SmoothNoise(rng, canvasSize, 2.5);
    const double mottleAmount = rng.Uniform(0.02, 0.08);
    for (int y = 0; y < canvasSize.height; ++y) {
        cv::Vec3f* px = s.canvas.ptr<cv::Vec3f>(y);
        const float* m = mottle.ptr<float>(y);
        const float* g = grain.ptr<float>(y);
        for (int x = 0; x < canvasSize.width; ++x) {
            const float f =
                static_cast<float>(1.0 + mottleAmount * (m[x] - 0.5) * 2.0 + 0.04 * (g[x] - 0.5));
            px[x] = s.palette.panel * f;
        }
    }
}

void ApplyPaint(Scene& s) {
    Random& rng = s.rng;
    const cv::Size canvasSize = s.canvasSize;
    // Paint wear: small patches where the paint has flaked off, on older boxes only. Gate
    // photographs mostly show codes whose strokes are whole, so wear is the exception here.
    const cv::Mat wearNoise = SmoothNoise(rng, canvasSize, rng.Uniform(5, 14));
    s.wear.create(canvasSize, CV_32F);
    const bool worn = rng.Chance(kWornShare);
    const float threshold = worn ? static_cast<float>(rng.Uniform(0.86, 0.97)) : 2.0f;
    for (int y = 0; y < canvasSize.height; ++y) {
        const float* n = wearNoise.ptr<float>(y);
        float* w = s.wear.ptr<float>(y);
        for (int x = 0; x < canvasSize.width; ++x) {
            w[x] = 1.0f - std::clamp((n[x] - threshold) / 0.08f, 0.0f, 0.85f);
        }
    }
    cv::GaussianBlur(s.paint, s.paint, cv::Size(0, 0), rng.Uniform(0.3, 0.8));
    Blend(s.canvas, s.paint, s.palette.paint, static_cast<float>(rng.Uniform(0.82, 1.0)), &s.wear);
}

void PaintRustAndRibs(Scene& s) {
    Random& rng = s.rng;
    const double rust = rng.Chance(0.45) ? 0.0 : rng.Uniform(0.1, 1.0) * rng.Unit();
    if (rust > 0.0) {
        AddRust(rng, s.canvas, s.paint, rust);
    }
    if (rng.Chance(0.85)) {
        const int period =
            std::clamp(static_cast<int>(s.geo.height * rng.Uniform(2.2, 3.6)), 50, 260);
        const std::vector<float> ribs =
            RibProfile(rng, s.canvasSize.width, period, rng.Int(0, period));
        if (!s.look.reefer)
            ApplyColumnShading(s.canvas, ribs, s.railBottom);
    }
    if (s.look.reefer)
        DrawReeferSeams(s);
}

void DrawDoorHardware(Scene& s) {
    Random& rng = s.rng;
    const cv::Size canvasSize = s.canvasSize;
    const int railBottom = s.railBottom;
    if (!rng.Chance(s.spec.withoutCode ? 0.8 : 0.5))
        return;
    cv::Rect codeSpan = s.occ.taken.front();
    for (std::size_t i = 0; i < s.grid.size(); ++i) {
        if (s.grid[i].kind != 0) {
            codeSpan |= Grow(s.grid[i].rect, s.growBy);
        }
    }
    const int rodWidth =
        std::clamp(static_cast<int>(s.geo.height * rng.Uniform(0.25, 0.45)), 7, 30);
    const cv::Vec3f rodColour = Jitter(rng, s.palette.panel * 0.95f, 8);
    const int rods = rng.Int(1, 3);
    for (int r = 0; r < rods; ++r) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            const int x = rng.Int(0, canvasSize.width - rodWidth);
            if (x + 2 * rodWidth < codeSpan.x - 6 || x > codeSpan.x + codeSpan.width + 6) {
                DrawRod(rng, s.canvas, x, rodWidth, rodColour, railBottom);
                break;
            }
        }
    }
    if (!rng.Chance(0.6))
        return;
    // The seam between the leaves.
    const cv::Vec3f& panel = s.palette.panel;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int x = rng.Int(s.margin, canvasSize.width - s.margin);
        if (x + 6 < codeSpan.x || x > codeSpan.x + codeSpan.width + 6) {
            cv::line(s.canvas, cv::Point(x, railBottom), cv::Point(x, canvasSize.height),
                     cv::Scalar(20, 20, 20), 3);
            cv::line(s.canvas, cv::Point(x + 2, railBottom), cv::Point(x + 2, canvasSize.height),
                     cv::Scalar(panel[0] * 1.2, panel[1] * 1.2, panel[2] * 1.2), 1);
            break;
        }
    }
}

void PaintSky(Scene& s) {
    const int skyBottom = s.skyBottom;
    const int railBottom = s.railBottom;
    if (railBottom <= 0)
        return;
    const cv::Vec3f& panel = s.palette.panel;
    const cv::Vec3f top = Jitter(s.rng, cv::Vec3f(225, 200, 175), 20);
    const cv::Vec3f low = Jitter(s.rng, cv::Vec3f(240, 232, 225), 10);
    for (int y = 0; y < skyBottom; ++y) {
        const float t = static_cast<float>(y) / std::max(1, skyBottom);
        s.canvas.row(y).setTo(cv::Scalar(top[0] * (1 - t) + low[0] * t,
                                         top[1] * (1 - t) + low[1] * t,
                                         top[2] * (1 - t) + low[2] * t));
    }
    for (int y = skyBottom; y < railBottom; ++y) {
        const float t = static_cast<float>(y - skyBottom) / (railBottom - skyBottom);
        const float f = 0.7f + 0.35f * static_cast<float>(std::sin(t * kPi));
        s.canvas.row(y).setTo(cv::Scalar(panel[0] * f, panel[1] * f, panel[2] * f));
    }
    cv::line(s.canvas, cv::Point(0, railBottom), cv::Point(s.canvasSize.width, railBottom),
             cv::Scalar(15, 15, 15), 2);
}

void LightScene(Scene& s) {
    if (s.rng.Chance(0.35)) {
        AddShadow(s.rng, s.canvas);
    }
    ApplyLighting(s.rng, s.canvas);
    if (s.look.night) {
        // Night: little light on the panel, a warm lamp cast, and a noisier sensor later.
        const float dim = static_cast<float>(s.extra.Uniform(0.22, 0.45));
        s.canvas *= dim;
        ApplyLighting(s.extra, s.canvas);
    }
}

}  // namespace karvona::synth::parts
