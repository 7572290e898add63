#pragma once
// A font face for the painted markings: FreeType rasterizes the glyphs that HarfBuzz picks.
// Drawn straight with the two libraries (not through OpenCV's freetype module, whose package
// brings the Qt and GDAL stacks into every program that links it).

#include <memory>
#include <opencv2/core.hpp>
#include <string>

namespace karvona::synth::parts {

class TextFace {
public:
    /// Loads the first face of a font file; Valid() says whether that worked.
    explicit TextFace(const std::string& fontPath);
    ~TextFace();
    TextFace(const TextFace&) = delete;
    TextFace& operator=(const TextFace&) = delete;

    bool Valid() const;
    /// The anti-aliased ink of one line of text at a pixel size of fontHeight, cropped to its
    /// bounding box (8-bit, 0 to 255; glyphs that overlap blend over each other). Empty when
    /// nothing is inked or the face did not load.
    cv::Mat Mask(const std::string& text, int fontHeight);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace karvona::synth::parts
