// The container's surface: base paint colours, smooth noise, rust, the shading of the
// corrugation, door hardware, cast shadows and the light across the panel.

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "synth/render_parts.hpp"

namespace karvona::synth::parts {

// Smooth noise in [0, 1]: a coarse grid of uniform values enlarged with cubic interpolation.
cv::Mat SmoothNoise(Random& rng, cv::Size size, double cellPixels) {
    const int gw = std::max(2, static_cast<int>(size.width / cellPixels) + 2);
    const int gh = std::max(2, static_cast<int>(size.height / cellPixels) + 2);
    cv::Mat grid(gh, gw, CV_32F);
    for (int y = 0; y < gh; ++y) {
        for (int x = 0; x < gw; ++x) {
            grid.at<float>(y, x) = static_cast<float>(rng.Unit());
        }
    }
    cv::Mat out;
    cv::resize(grid, out, size, 0, 0, cv::INTER_CUBIC);
    cv::min(cv::max(out, 0.0), 1.0, out);
    return out;
}

cv::Vec3f Jitter(Random& rng, cv::Vec3f c, double amount) {
    for (int i = 0; i < 3; ++i) {
        c[i] = static_cast<float>(std::clamp(c[i] + rng.Uniform(-amount, amount), 0.0, 255.0));
    }
    return c;
}

Palette PickPalette(Random& rng) {
    // Container colours (BGR): dark ones carry white paint, light ones black paint.
    static const std::vector<cv::Vec3f> kDark = {
        {110, 62, 32}, {160, 115, 50}, {42, 52, 140},  {38, 38, 115}, {58, 98, 42},   {88, 90, 86},
        {40, 62, 100}, {25, 95, 215},  {118, 108, 22}, {70, 50, 40},  {150, 100, 30}, {30, 45, 160},
    };
    static const std::vector<cv::Vec3f> kLight = {
        {225, 226, 222}, {196, 196, 190}, {170, 200, 212},
        {40, 195, 228},  {205, 212, 200}, {180, 185, 178},
    };
    Palette p;
    p.lightPaint = rng.Chance(0.68);
    if (p.lightPaint) {
        p.panel = Jitter(rng, rng.Pick(kDark), 14);
        const double v = rng.Uniform(218, 250);
        p.paint = Jitter(rng, cv::Vec3f(v, v, v), 6);
        if (rng.Chance(0.1)) {
            p.paint = Jitter(rng, cv::Vec3f(60, 200, 235), 10);  // yellow lettering
        }
    } else {
        p.panel = Jitter(rng, rng.Pick(kLight), 10);
        const double v = rng.Uniform(18, 48);
        p.paint = Jitter(rng, cv::Vec3f(v, v, v), 5);
    }
    return p;
}

void AddRust(Random& rng, cv::Mat& canvas, const cv::Mat& paint, double amount) {
    const cv::Size size = canvas.size();
    const cv::Mat patches = SmoothNoise(rng, size, rng.Uniform(25, 70));
    const cv::Mat grain = SmoothNoise(rng, size, rng.Uniform(1.5, 3.0));
    const cv::Mat tone = SmoothNoise(rng, size, 12.0);
    const float threshold = static_cast<float>(0.95 - 0.12 * amount);
    // Rust gathers towards the bottom rail and around the top of the panel.
    const double lowBias = rng.Uniform(0.0, 0.12);
    const cv::Vec3f rustA = Jitter(rng, cv::Vec3f(32, 66, 125), 12);
    const cv::Vec3f rustB = Jitter(rng, cv::Vec3f(24, 38, 70), 10);
    for (int y = 0; y < size.height; ++y) {
        cv::Vec3f* px = canvas.ptr<cv::Vec3f>(y);
        const float* p = patches.ptr<float>(y);
        const float* g = grain.ptr<float>(y);
        const float* t = tone.ptr<float>(y);
        const uchar* ink = paint.ptr<uchar>(y);
        for (int x = 0; x < size.width; ++x) {
            const float v = p[x] + 0.12f * (g[x] - 0.5f) +
                            static_cast<float>(lowBias * (2.0 * y / size.height - 1.0));
            if (v <= threshold) {
                continue;
            }
            // Paint holds out longer than the bare panel.
            float a = std::min(1.0f, (v - threshold) / 0.1f) * (0.45f + 0.4f * g[x]);
            a *= 1.0f - 0.7f * ink[x] / 255.0f;
            const cv::Vec3f rust = rustA * t[x] + rustB * (1.0f - t[x]);
            px[x] = px[x] * (1.0f - a) + rust * a;
        }
    }
    // Run-off streaks below seams and fixings.
    const int streaks = static_cast<int>(amount * rng.Int(2, 14));
    for (int s = 0; s < streaks; ++s) {
        const int x0 = rng.Int(0, size.width - 1);
        const int y0 = rng.Int(0, size.height * 3 / 4);
        const int length = rng.Int(30, std::max(31, size.height / 3));
        const int width = rng.Int(2, 6);
        const float strength = static_cast<float>(rng.Uniform(0.25, 0.6));
        const cv::Vec3f colour = Jitter(rng, cv::Vec3f(35, 62, 120), 10);
        double x = x0;
        for (int y = y0; y < std::min(size.height, y0 + length); ++y) {
            x += rng.Uniform(-0.3, 0.3);
            const float fade = strength * (1.0f - static_cast<float>(y - y0) / length);
            for (int dx = 0; dx < width; ++dx) {
                const int xx = static_cast<int>(x) + dx;
                if (xx < 0 || xx >= size.width) {
                    continue;
                }
                const float edge = (dx == 0 || dx == width - 1) ? 0.5f : 1.0f;
                cv::Vec3f& px = canvas.at<cv::Vec3f>(y, xx);
                px = px * (1.0f - fade * edge) + colour * (fade * edge);
            }
        }
    }
}

// Brightness across one period of a trapezoidal rib: outer face, slope, inner face, slope.
std::vector<float> RibProfile(Random& rng, int width, int period, int phase) {
    const double slope = rng.Uniform(0.12, 0.2);
    const double outer = rng.Uniform(0.3, 0.4);
    const double inner = 1.0 - outer - 2 * slope;
    const float lit = static_cast<float>(rng.Uniform(1.06, 1.22));
    const float dark = static_cast<float>(rng.Uniform(0.68, 0.88));
    const float innerLevel = static_cast<float>(rng.Uniform(0.88, 0.98));
    const bool leftLit = rng.Chance(0.5);
    std::vector<float> profile(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const double t = std::fmod(static_cast<double>(x + phase), period) / period;
        float v;
        if (t < outer) {
            v = 1.0f;
        } else if (t < outer + slope) {
            v = leftLit ? dark : lit;
        } else if (t < outer + slope + inner) {
            v = innerLevel;
        } else {
            v = leftLit ? lit : dark;
        }
        profile[static_cast<std::size_t>(x)] = v;
    }
    // Soften the folds: pressed steel has rounded edges, and the light falls off across a slope
    // rather than stopping at a line.
    cv::Mat row(1, width, CV_32F, profile.data());
    cv::GaussianBlur(row, row, cv::Size(0, 0), std::max(1.0, period * 0.05), 0, cv::BORDER_REFLECT);
    return profile;
}

void ApplyColumnShading(cv::Mat& canvas, const std::vector<float>& profile, int yFrom) {
    for (int y = std::max(0, yFrom); y < canvas.rows; ++y) {
        cv::Vec3f* px = canvas.ptr<cv::Vec3f>(y);
        for (int x = 0; x < canvas.cols; ++x) {
            px[x] *= profile[static_cast<std::size_t>(x)];
        }
    }
}

// A locking bar: a painted round rod with its guide brackets, and the shadow it casts.
void DrawRod(Random& rng, cv::Mat& canvas, int x, int width, const cv::Vec3f& colour, int yFrom,
             bool brackets) {
    const int shadowWidth = width / 2 + 2;
    for (int y = std::max(0, yFrom); y < canvas.rows; ++y) {
        cv::Vec3f* px = canvas.ptr<cv::Vec3f>(y);
        for (int dx = 0; dx < width + shadowWidth; ++dx) {
            const int xx = x + dx;
            if (xx < 0 || xx >= canvas.cols) {
                continue;
            }
            if (dx < width) {
                const double t = (dx + 0.5) / width * 2.0 - 1.0;  // -1 .. 1 across the rod
                const float shade =
                    static_cast<float>(0.55 + 0.6 * std::sqrt(1.0 - t * t) - 0.15 * t);
                px[xx] = colour * shade;
            } else {
                const float s = 0.6f + 0.4f * static_cast<float>(dx - width) / shadowWidth;
                px[xx] *= s;
            }
        }
    }
    const int count = brackets ? rng.Int(1, 3) : 0;
    for (int i = 0; i < count; ++i) {
        const int by = rng.Int(std::max(0, yFrom), canvas.rows - 1);
        const cv::Rect r(x - width / 2 - 3, by, 2 * width + 6, std::max(8, width));
        cv::rectangle(canvas, r, cv::Scalar(colour[0] * 0.8, colour[1] * 0.8, colour[2] * 0.8),
                      cv::FILLED);
        cv::rectangle(canvas, r, cv::Scalar(colour[0] * 0.5, colour[1] * 0.5, colour[2] * 0.5), 1);
    }
}

// A shadow with a soft straight edge falling across the panel.
void AddShadow(Random& rng, cv::Mat& canvas) {
    const double angle = rng.Uniform(0, 2 * kPi);
    const double nx = std::cos(angle);
    const double ny = std::sin(angle);
    const double cx = rng.Uniform(0.2, 0.8) * canvas.cols;
    const double cy = rng.Uniform(0.2, 0.8) * canvas.rows;
    const double soft = rng.Uniform(4, 40);
    const float depth = static_cast<float>(rng.Uniform(0.45, 0.8));
    for (int y = 0; y < canvas.rows; ++y) {
        cv::Vec3f* px = canvas.ptr<cv::Vec3f>(y);
        for (int x = 0; x < canvas.cols; ++x) {
            const double d = (x - cx) * nx + (y - cy) * ny;
            const double t = std::clamp(0.5 + d / soft, 0.0, 1.0);
            px[x] *= static_cast<float>(1.0 - (1.0 - depth) * t);
        }
    }
}

void ApplyLighting(Random& rng, cv::Mat& canvas) {
    const double gx = rng.Uniform(-0.3, 0.3);
    const double gy = rng.Uniform(-0.3, 0.3);
    const double vignette = rng.Uniform(0.0, 0.35);
    const double exposure = rng.Uniform(0.78, 1.12);
    const cv::Vec3f cast(static_cast<float>(rng.Uniform(0.93, 1.07)), 1.0f,
                         static_cast<float>(rng.Uniform(0.93, 1.07)));
    const double w = canvas.cols;
    const double h = canvas.rows;
    for (int y = 0; y < canvas.rows; ++y) {
        cv::Vec3f* px = canvas.ptr<cv::Vec3f>(y);
        const double v = y / h - 0.5;
        for (int x = 0; x < canvas.cols; ++x) {
            const double u = x / w - 0.5;
            const double f =
                exposure * (1.0 + gx * u + gy * v) * (1.0 - vignette * (u * u + v * v));
            const float ff = static_cast<float>(f);
            px[x] = cv::Vec3f(px[x][0] * cast[0] * ff, px[x][1] * ff, px[x][2] * cast[2] * ff);
        }
    }
}

void DrawRoofEdge(Random& rng, cv::Mat& canvas, const std::vector<GridBox>& grid, bool vertical,
                  int characterHeight, const Palette& palette) {
    cv::Rect used;
    for (const GridBox& g : grid) {
        if (g.kind != 0)
            used = used.empty() ? g.rect : (used | g.rect);
    }
    const int thickness = rng.Int(2, 5);
    const int gap = rng.Int(3, std::max(4, characterHeight / 2)) + thickness;
    const bool before = rng.Chance(0.5);
    const bool dark = rng.Chance(0.6);
    const cv::Vec3f c = dark ? palette.panel * 0.3f : palette.panel * 1.4f + cv::Vec3f(40, 40, 40);
    const cv::Scalar colour(std::min(255.f, c[0]), std::min(255.f, c[1]), std::min(255.f, c[2]));
    if (vertical) {
        const int x = before ? used.x - gap : used.x + used.width + gap;
        cv::line(canvas, {x, 0}, {x, canvas.rows}, colour, thickness, cv::LINE_AA);
    } else {
        const int y = before ? used.y - gap : used.y + used.height + gap;
        cv::line(canvas, {0, y}, {canvas.cols, y}, colour, thickness, cv::LINE_AA);
    }
}

void DrawBarInGap(Random& rng, cv::Mat& canvas, const std::vector<GridBox>& grid,
                  const Palette& palette, int yFrom) {
    for (const GridBox& g : grid) {
        if (g.row != 1 || g.col != 4 || g.kind != -1)
            continue;
        // Rod and shadow (half the rod and two pixels) inside the gap, 3 pixels clear each side.
        const int room = g.rect.width - 6;
        const int width = std::min(rng.Int(6, 16), (room - 2) * 2 / 3);
        if (width < 6)
            return;
        const int x = g.rect.x + 3 + (room - (width + width / 2 + 2)) / 2;
        DrawRod(rng, canvas, x, width, Jitter(rng, palette.panel * 0.9f, 8), yFrom, false);
        return;
    }
}

}  // namespace karvona::synth::parts
