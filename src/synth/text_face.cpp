// Text masks with FreeType and HarfBuzz: glyphs chosen by HarfBuzz, placed on the baseline by
// FreeType's bearings and whole-pixel advances, and blended into one grey canvas.

#include "synth/text_face.hpp"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>

#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace karvona::synth::parts {

struct TextFace::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    hb_font_t* font = nullptr;

    ~Impl() {
        if (font) {
            hb_font_destroy(font);
        }
        if (face) {
            FT_Done_Face(face);
        }
        if (library) {
            FT_Done_FreeType(library);
        }
    }
};

TextFace::TextFace(const std::string& fontPath) : impl_(std::make_unique<Impl>()) {
    if (FT_Init_FreeType(&impl_->library) != 0) {
        impl_->library = nullptr;
        return;
    }
    if (FT_New_Face(impl_->library, fontPath.c_str(), 0, &impl_->face) != 0) {
        impl_->face = nullptr;
        return;
    }
    impl_->font = hb_ft_font_create(impl_->face, nullptr);
}

TextFace::~TextFace() = default;

bool TextFace::Valid() const {
    return impl_->font != nullptr;
}

namespace {

// Blends one rendered glyph (coverage 0 to 255) into the canvas in white over what is there.
void BlendGlyph(cv::Mat& canvas, const FT_Bitmap& bmp, cv::Point at) {
    for (int row = 0; row < static_cast<int>(bmp.rows); ++row) {
        const int y = at.y + row;
        if (y < 0) {
            continue;
        }
        if (y >= canvas.rows) {
            break;
        }
        uchar* line = canvas.ptr<uchar>(y);
        for (int col = 0; col < bmp.pitch; ++col) {
            const int cover = bmp.buffer[row * bmp.pitch + col];
            const int x = at.x + col;
            if (cover == 0 || x < 0) {
                continue;
            }
            if (x >= canvas.cols) {
                break;
            }
            const double alpha = cover / 255.0;
            line[x] = static_cast<uchar>(255.0 * alpha + line[x] * (1.0 - alpha));
        }
    }
}

}  // namespace

cv::Mat TextFace::Mask(const std::string& text, int fontHeight) {
    if (!Valid() || text.empty() || fontHeight <= 0 ||
        FT_Set_Pixel_Sizes(impl_->face, fontHeight, fontHeight) != 0) {
        return cv::Mat();
    }
    hb_buffer_t* buffer = hb_buffer_create();
    hb_buffer_guess_segment_properties(buffer);
    hb_buffer_add_utf8(buffer, text.c_str(), -1, 0, -1);
    hb_shape(impl_->font, buffer, nullptr, 0);
    unsigned int count = 0;
    const hb_glyph_info_t* glyphs = hb_buffer_get_glyph_infos(buffer, &count);

    // Room for every advance, a margin of one font height on the left and at least one on the
    // right, the baseline two font heights down a canvas of four.
    long advance = 0;
    for (unsigned int i = 0; i < count; ++i) {
        if (FT_Load_Glyph(impl_->face, glyphs[i].codepoint, FT_LOAD_DEFAULT) == 0) {
            advance += std::max<long>(0, impl_->face->glyph->advance.x >> 6);
        }
    }
    cv::Mat canvas(4 * fontHeight, static_cast<int>(advance) + 3 * fontHeight, CV_8U,
                   cv::Scalar(0));
    cv::Point pen(fontHeight, 2 * fontHeight);
    for (unsigned int i = 0; i < count; ++i) {
        if (FT_Load_Glyph(impl_->face, glyphs[i].codepoint, FT_LOAD_DEFAULT) != 0 ||
            FT_Render_Glyph(impl_->face->glyph, FT_RENDER_MODE_NORMAL) != 0) {
            continue;
        }
        const FT_GlyphSlot slot = impl_->face->glyph;
        const cv::Point at(pen.x + static_cast<int>(slot->metrics.horiBearingX >> 6),
                           pen.y - static_cast<int>(slot->metrics.horiBearingY >> 6));
        BlendGlyph(canvas, slot->bitmap, at);
        pen.x += static_cast<int>(slot->advance.x >> 6);
        pen.y += static_cast<int>(slot->advance.y >> 6);
    }
    hb_buffer_destroy(buffer);

    const cv::Rect ink = cv::boundingRect(canvas);
    if (ink.empty()) {
        return cv::Mat();
    }
    return canvas(ink).clone();
}

}  // namespace karvona::synth::parts
