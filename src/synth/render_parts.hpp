#pragma once
// The parts of the photograph renderer, shared by its files: the code's grid and geometry
// (code_geometry.cpp), glyphs and paint masks (glyphs.cpp), the container's surface
// (surface.cpp), the other markings (markings.cpp) and the camera (camera.cpp). render.cpp puts
// them together.

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "synth/random.hpp"
#include "synth/synth.hpp"
#include "synth/text_face.hpp"

namespace karvona::synth::parts {

constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------------------------
// The code and its grid (code_geometry.cpp)

struct Pitch {
    int size;  // character height (horizontal layouts) or width (vertical ones)
    int b;     // horizontal gap, even, 4 to 24
    int c;     // vertical gap, multiple of 3, 3 to 18
};

struct GridBox {
    cv::Rect rect;
    int kind;  // 1 character, -1 blank, 0 ignored
    int row;
    int col;
};

struct CodeLayout {
    Pitch pitch;
    int height = 0;     // painted character height
    int cellWidth = 0;  // painted width of a typical character
    int checkColumn = 7;
    int spare = 0;  // clear pixels between neighbouring character cells
};

inline bool IsVertical(int layout) {
    return layout == 2 || layout == 4;
}

/// The prefixes that can be drawn: four capitals without Q.
std::vector<std::string> UsablePrefixes(const std::vector<std::string>& prefixes);
/// A code with one of the prefixes, six random digits and its check digit (never 0 by 10).
std::string MakeCode(Random& rng, const std::vector<std::string>& prefixes);
/// The grid of positions the locator tests for one layout hypothesis, anchored at the top-left
/// corner of the seed character.
std::vector<GridBox> MakeGrid(int layout, int x0, int y0, const Pitch& p);
/// The grid boxes that receive the eleven characters, in code order.
std::vector<cv::Rect> CharacterCells(int layout, const std::vector<GridBox>& grid, int checkColumn);
cv::Rect Bounds(const std::vector<GridBox>& grid);
cv::Size PickFrameSize(Random& rng);
/// Sizes and gaps of the code; horizontal codes are at least minHeight pixels tall, and at most
/// maxHeight when it is not 0.
CodeLayout PickGeometry(Random& rng, int layout, cv::Size frame, int minHeight = 22,
                        int maxHeight = 0);

// ---------------------------------------------------------------------------------------------
// Glyphs and paint masks (glyphs.cpp)

cv::Mat Resized(const cv::Mat& mask, cv::Size size);
/// Lays a mask into the paint mask, keeping the stronger ink where they overlap.
void Stamp(cv::Mat& paint, const cv::Mat& mask, cv::Point at);
/// Blends colour into the canvas with alpha = mask / 255 * opacity * wear.
void Blend(cv::Mat& canvas, const cv::Mat& mask, const cv::Vec3f& colour, float opacity,
           const cv::Mat* wear);
/// Text lines in a block, left aligned, every line's cap height `height`.
cv::Mat TextBlock(TextFace& face, const std::vector<std::string>& lines, int height,
                  double squeeze);

// ---------------------------------------------------------------------------------------------
// The container's surface (surface.cpp)

struct Palette {
    cv::Vec3f panel;
    cv::Vec3f paint;
    bool lightPaint;
};

/// Smooth noise in [0, 1]: a coarse grid of uniform values enlarged with cubic interpolation.
cv::Mat SmoothNoise(Random& rng, cv::Size size, double cellPixels);
cv::Vec3f Jitter(Random& rng, cv::Vec3f c, double amount);
Palette PickPalette(Random& rng);
void AddRust(Random& rng, cv::Mat& canvas, const cv::Mat& paint, double amount);
/// Brightness across one period of a trapezoidal rib: outer face, slope, inner face, slope.
std::vector<float> RibProfile(Random& rng, int width, int period, int phase);
void ApplyColumnShading(cv::Mat& canvas, const std::vector<float>& profile, int yFrom);
/// A locking bar: a painted round rod with its guide brackets, and the shadow it casts.
void DrawRod(Random& rng, cv::Mat& canvas, int x, int width, const cv::Vec3f& colour, int yFrom,
             bool brackets = true);
/// A roof edge: a straight line across the canvas along the code, just clear of the code's
/// grid (its blank positions included), dark or bright.
void DrawRoofEdge(Random& rng, cv::Mat& canvas, const std::vector<GridBox>& grid, bool vertical,
                  int characterHeight, const Palette& palette);
/// A door bar through the gap between prefix and serial of a one-line code with gaps (layout
/// 1), when the gap is wide enough for a bar of at least 6 pixels and its shadow.
void DrawBarInGap(Random& rng, cv::Mat& canvas, const std::vector<GridBox>& grid,
                  const Palette& palette, int yFrom);
/// A shadow with a soft straight edge falling across the panel.
void AddShadow(Random& rng, cv::Mat& canvas);
void ApplyLighting(Random& rng, cv::Mat& canvas);

// ---------------------------------------------------------------------------------------------
// Other markings (markings.cpp)

// Everything that the scene must keep clear of markings: the grid's character and blank
// positions (grown a little), the sky band and what is already placed.
struct Occupancy {
    std::vector<cv::Rect> taken;
    cv::Rect free;  // the part of the canvas where markings may go

    bool Fits(const cv::Rect& r) const {
        if ((r & free) != r) {
            return false;
        }
        for (const cv::Rect& t : taken) {
            if ((r & t).area() > 0) {
                return false;
            }
        }
        return true;
    }
};

const std::vector<std::string>& SizeTypeCodes();
std::vector<std::string> WeightLines(Random& rng);
const std::vector<std::string>& CarrierNames();
/// Chebyshev distance between two rectangles (0 when they touch or overlap).
int Separation(const cv::Rect& a, const cv::Rect& b);
cv::Rect Grow(const cv::Rect& r, int by);
bool PlaceRandomly(Random& rng, Occupancy& occ, cv::Size size, int gap, cv::Point* at);
/// One to three stickers (a light label with a dark line of letters and digits that is no
/// code: a seal, a zone, a lot or a telephone number) where the panel is free, drawn from a
/// stream of their own made from seed.
void AddStickers(std::uint64_t seed, cv::Mat& canvas, Occupancy& occ, TextFace& face,
                 int characterHeight);

// ---------------------------------------------------------------------------------------------
// Hard cases (hard_cases.cpp), drawn from a stream of their own so that the photographs of a
// seed that draws none of them stay as they were.

HardCases PickHardCases(Random& hard);
/// The paint of a glyph's outline only: its edge, `thickness` pixels deep.
cv::Mat Outline(const cv::Mat& glyph, int thickness);
/// A rod (without brackets) in the widest gap between two characters of one line, when the gap
/// holds a rod of at least 6 pixels and its shadow.
void DrawRodInGap(Random& hard, cv::Mat& canvas, const std::vector<cv::Rect>& inkBoxes,
                  int characterHeight, const Palette& palette, int yFrom);

// ---------------------------------------------------------------------------------------------
// The camera (camera.cpp)

/// The camera's on-screen display: date and time, sometimes the lane above it.
void AddTimeStamp(Random& rng, cv::Mat& image);

}  // namespace karvona::synth::parts
