#pragma once
// One photograph under construction and the steps that paint it, in the order the renderer
// (render.cpp) takes them: the code's place (paint_code.cpp), the base paint, the code and the
// markings in one paint mask (paint_code.cpp, markings.cpp), the rest of the panel and the door
// (panel.cpp), then the camera (camera.cpp).
//
// Every step takes its draws from the scene's random streams, so the order of the steps and of
// the draws inside them is part of what a seed means: moving a draw changes the pixels of every
// photograph drawn after it.

#include <cstdint>
#include <string>
#include <vector>

#include "synth/render_parts.hpp"

namespace karvona::synth::parts {

// What sets a photograph apart from the ordinary daytime view, drawn from a stream of its own
// so that the other draws of a seed stay in step: the perspective slope of the code, night or
// low contrast, a reefer's smooth light panel, a roof edge along the code, a door bar between
// prefix and serial, and small characters.
struct Look {
    double slope = 0.0;  // degrees, along the reading axis
    bool night = false;
    bool lowContrast = false;
    bool reefer = false;
    bool roofEdge = false;
    bool doorBar = false;
    bool small = false;
};

// Rows kept clear between a vertical code and the marking under it: column closing joins
// strokes up to 45 rows apart, and the locator measures the joined column.
constexpr int kColumnClearance = 50;

// The photograph being drawn: its streams, its look and what the steps have placed and painted so
// far on the canvas (which is larger than the frame by margin on every side).
struct Scene {
    Scene(const SynthSpec& spec_, Random& rng_, Random& extra_, Random& hard_, TextFace& face_)
        : spec(spec_), rng(rng_), extra(extra_), hard(hard_), face(face_) {}

    const SynthSpec& spec;
    Random& rng;    // the main stream
    Random& extra;  // the look's stream
    Random& hard;   // the hard cases' stream
    TextFace& face;
    Look look;
    HardCases cases;

    int layout = 0;
    cv::Size frame;
    int margin = 0;  // canvas pixels around the frame, turned into view by the tilt
    cv::Size canvasSize;
    Palette palette{};
    int skyBottom = 0;   // canvas rows above this belong to the sky
    int railBottom = 0;  // and down to this to the top rail

    CodeLayout geo;
    int growBy = 0;               // what the code's positions keep clear around them
    std::vector<GridBox> grid;    // the layout's grid at the code's place
    std::vector<cv::Rect> cells;  // the eleven character positions, in code order
    Occupancy occ;

    cv::Mat canvas;                  // CV_32FC3, the scene's colours
    cv::Mat paint;                   // CV_8U, the ink of the code and the markings
    double squeeze = 1.0;            // the code's glyph width against the face's own
    std::vector<cv::Rect> inkBoxes;  // the painted characters on the canvas, in code order
    cv::Mat wear;                    // CV_32F, 1 where the paint is whole
};

// The code (paint_code.cpp).

/// Draws the code's geometry and a place for its grid clear of the camera's overlay.
void PlaceCode(Scene& scene);
/// Keeps the other markings clear of the code's positions (and, for a vertical code, of the
/// stretches above and below it that the locator and the readers look at).
void ReserveCode(Scene& scene);
/// Stamps the eleven characters of code into the paint mask (nothing when the spec asks for no
/// code) and records where their ink went.
void PaintCode(Scene& scene, const std::string& code);
/// On some photographs, a painted frame round the check digit.
void PaintCheckFrame(Scene& scene);

// The markings (markings.cpp).

void PaintSizeType(Scene& scene);
void PaintWeightTable(Scene& scene);
void PaintRemarks(Scene& scene);
/// Wears, blurs and lays the paint mask onto the canvas.
void ApplyPaint(Scene& scene);
/// A carrier's name in big letters on some sides.
void PaintCarrierName(Scene& scene);

// The panel and the door (panel.cpp).

/// Base paint with mottling and grain.
void PaintBase(Scene& scene);
/// Rust, then the shading of the ribs over paint and rust alike (a reefer's seams instead).
void PaintRustAndRibs(Scene& scene);
/// Locking bars and the seam between the leaves, clear of the code.
void DrawDoorHardware(Scene& scene);
/// The sky over the top rail.
void PaintSky(Scene& scene);
/// A cast shadow, the light falloff and, at night, the dimming and the lamp cast.
void LightScene(Scene& scene);

// The camera (camera.cpp).

/// Tilts and crops the canvas into the frame and slopes it when the look asks for it (as far as
/// the code stays in the frame). rotation receives the canvas-to-frame transform, slopeDegrees
/// the slope used.
cv::Mat TakePhotograph(const Scene& scene, double tiltDegrees, cv::Mat& rotation,
                       double& slopeDegrees);
/// The lens and the sensor: softening, blur or motion blur, noise and the time stamp.
void ApplyOptics(Scene& scene, cv::Mat& image);

}  // namespace karvona::synth::parts
