// The photograph renderer: a painted container panel seen by a gate camera.
//
// The scene is built on a float canvas a little larger than the frame (so that the final tilt
// leaves no empty corners): base paint with mottling, the code and the other markings in one
// paint mask, rust, the corrugation shading, door hardware, sky and top rail, a cast shadow and
// the light falloff. The canvas is then tilted and cropped, blurred, given sensor noise, and the
// camera's time stamp is written into the bottom-left corner.
//
// The code's geometry follows the grid the locator tests: the characters sit on the character
// positions of the layout's grid built from the same sizes, pitches and line gaps that the
// locator searches (even horizontal gaps 4 to 24, vertical gaps 3 to 18), and nothing else is
// painted on the grid's blank positions.

#include <cmath>
#include <opencv2/imgproc.hpp>

#include "synth/scene.hpp"

namespace karvona::synth {

using namespace parts;

namespace {

constexpr double kMaxTilt = 3.0;
constexpr double kMaxSlope = 15.0;  // perspective slope of the code's lines

Look PickLook(Random& extra) {
    Look look;
    if (extra.Chance(0.3)) {
        const double u = extra.Unit();
        look.slope = (extra.Chance(0.5) ? -1.0 : 1.0) * kMaxSlope * (0.15 + 0.85 * u * u);
    }
    look.night = extra.Chance(0.12);
    look.lowContrast = !look.night && extra.Chance(0.12);
    look.reefer = extra.Chance(0.12);
    look.roofEdge = extra.Chance(0.25);
    look.doorBar = extra.Chance(0.35);
    look.small = extra.Chance(0.2);
    return look;
}

// The panel's and the paint's colours, as the look changes them.
Palette PickSceneColours(Random& rng, Random& extra, const Look& look) {
    Palette palette = PickPalette(rng);
    if (look.reefer) {
        // A reefer's smooth white or light grey panel with dark lettering.
        const double v = extra.Uniform(200, 240);
        palette.panel = Jitter(extra, cv::Vec3f(v, v, v), 6);
        const double ink = extra.Uniform(15, 55);
        palette.paint = Jitter(extra, cv::Vec3f(ink, ink, ink), 5);
        palette.lightPaint = false;
    }
    if (look.lowContrast) {
        // Faded paint or a grey panel: the paint only a third to a half away from the panel.
        const float k = static_cast<float>(extra.Uniform(0.3, 0.5));
        palette.paint = palette.panel + (palette.paint - palette.panel) * k;
    }
    return palette;
}

// Sky and the top rail across the top of the frame on some photographs.
void PickSkyBand(Scene& s) {
    if (s.rng.Chance(0.22)) {
        s.skyBottom = s.margin + static_cast<int>(s.frame.height * s.rng.Uniform(0.0, 0.12));
        s.railBottom = s.skyBottom + static_cast<int>(s.frame.height * s.rng.Uniform(0.04, 0.08));
    }
}

// Where the characters ended up in the frame: their boxes and the code region.
void RecordCharacterBoxes(const std::vector<cv::Rect>& inkBoxes, const cv::Mat& rotation,
                          SynthPhoto& photo) {
    const cv::Rect whole(0, 0, photo.image.cols, photo.image.rows);
    for (const cv::Rect& ink : inkBoxes) {
        std::vector<cv::Point2f> corners = {cv::Point2f(ink.x, ink.y),
                                            cv::Point2f(ink.x + ink.width, ink.y),
                                            cv::Point2f(ink.x, ink.y + ink.height),
                                            cv::Point2f(ink.x + ink.width, ink.y + ink.height)};
        cv::transform(corners, corners, rotation);
        const cv::Rect moved = cv::boundingRect(corners) & whole;
        photo.characterBoxes.push_back(moved);
        photo.codeRegion = photo.codeRegion.empty() ? moved : (photo.codeRegion | moved);
    }
}

// The code and the markings painted into one mask and laid onto the panel, then what stands
// apart from the paint: stickers, a carrier's name, rust and ribs, a roof edge, door bars and
// rods, the sky and the light.
void PaintScene(Scene& scene, const std::string& code, std::uint64_t seed) {
    const SynthSpec& spec = scene.spec;
    PaintBase(scene);
    scene.paint = cv::Mat(scene.canvasSize, CV_8U, cv::Scalar(0));
    PaintCode(scene, code);
    PaintCheckFrame(scene);
    PaintSizeType(scene);
    PaintWeightTable(scene);
    PaintRemarks(scene);
    ApplyPaint(scene);
    if (spec.withoutCode)
        AddStickers(seed, scene.canvas, scene.occ, scene.face, scene.geo.height);
    PaintCarrierName(scene);
    PaintRustAndRibs(scene);
    const bool vertical = IsVertical(scene.layout);
    if (scene.look.roofEdge)
        DrawRoofEdge(scene.extra, scene.canvas, scene.grid, vertical, scene.geo.height,
                     scene.palette);
    if (scene.look.doorBar && scene.layout == 1)
        DrawBarInGap(scene.extra, scene.canvas, scene.grid, scene.palette, scene.railBottom);
    DrawDoorHardware(scene);
    if (scene.cases.rodAcross && !vertical && !spec.withoutCode)
        DrawRodInGap(scene.hard, scene.canvas, scene.inkBoxes, scene.geo.height, scene.palette,
                     scene.railBottom);
    PaintSky(scene);
    LightScene(scene);
}

}  // namespace

std::string CheckSynthSpec(const SynthSpec& spec) {
    if (UsablePrefixes(spec.prefixes).empty()) {
        return "no usable owner prefix (four capitals without Q)";
    }
    for (int l : spec.layouts) {
        if (l < 0 || l >= kLayoutCount) {
            return "layout " + std::to_string(l) + " is not one of 0 to 6";
        }
    }
    if (!spec.frameSize.empty() &&
        (spec.frameSize.width < kMinFrameWidth || spec.frameSize.width > kMaxFrameWidth ||
         spec.frameSize.height < kMinFrameHeight || spec.frameSize.height > kMaxFrameHeight)) {
        return "frame size must lie between 640x480 and 1024x768";
    }
    if (spec.characterHeight != 0 && (spec.characterHeight < kMinCharacterHeight ||
                                      spec.characterHeight > kMaxCharacterHeight)) {
        return "character height must lie between " + std::to_string(kMinCharacterHeight) +
               " and " + std::to_string(kMaxCharacterHeight) + " pixels";
    }
    const std::vector<std::string> fonts = spec.fonts.empty() ? AvailableFontPaths() : spec.fonts;
    if (fonts.empty()) {
        return "no bold sans font found (scripts/setup installs them)";
    }
    for (const std::string& f : fonts) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(f, ec)) {
            return "font file " + f + " not found";
        }
    }
    return "";
}

SynthPhoto RenderContainerPhoto(const SynthSpec& spec, std::uint64_t seed) {
    SynthPhoto photo;
    if (!CheckSynthSpec(spec).empty()) {
        return photo;
    }
    Random rng(seed);
    Random extra(seed ^ 0xC0DE5107E5ull);
    const Look look = PickLook(extra);
    Random hard(seed ^ 0x4A2DCA5E5ull);
    const HardCases cases = PickHardCases(hard);
    const std::vector<std::string> prefixes = UsablePrefixes(spec.prefixes);
    const std::vector<std::string> fonts = spec.fonts.empty() ? AvailableFontPaths() : spec.fonts;

    const cv::Size frame = spec.frameSize.empty() ? PickFrameSize(rng) : spec.frameSize;
    const int layout = spec.layouts.empty() ? rng.Int(0, kLayoutCount - 1) : rng.Pick(spec.layouts);
    photo.layout = layout;
    photo.code = MakeCode(rng, prefixes);

    TextFace face(rng.Pick(fonts));
    Scene scene(spec, rng, extra, hard, face);
    scene.look = look;
    scene.cases = cases;
    // The rod, the distance and the size and type code beside are drawn on codes across only.
    const bool across = !IsVertical(layout) && !spec.withoutCode;
    photo.cases = {cases.rodAcross && across, cases.outline && !spec.withoutCode,
                   cases.distant && across && spec.characterHeight == 0,
                   cases.sizeTypeBeside && across};
    scene.layout = layout;
    scene.frame = frame;
    // The canvas is larger than the frame by a margin that the tilt turns into view.
    scene.margin = static_cast<int>(std::ceil(0.5 * std::hypot(frame.width, frame.height) *
                                              std::sin(kMaxTilt * kPi / 180.0))) +
                   4;
    scene.canvasSize = cv::Size(frame.width + 2 * scene.margin, frame.height + 2 * scene.margin);
    const double tilt = kMaxTilt * rng.Uniform(-1.0, 1.0) * rng.Unit();
    photo.tiltDegrees = tilt;
    scene.palette = PickSceneColours(rng, extra, look);
    PickSkyBand(scene);

    PlaceCode(scene);
    photo.characterHeight = scene.geo.height;
    ReserveCode(scene);
    PaintScene(scene, photo.code, seed);

    // --- Camera: tilt, crop, optics, sensor.
    cv::Mat rotation;
    photo.image = TakePhotograph(scene, tilt, rotation, photo.slopeDegrees);
    ApplyOptics(scene, photo.image);
    if (spec.withoutCode) {
        photo.code.clear();
        photo.layout = -1;
        return photo;
    }
    RecordCharacterBoxes(scene.inkBoxes, rotation, photo);
    return photo;
}

}  // namespace karvona::synth
