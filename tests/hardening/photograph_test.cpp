// Broken and odd photographs through the recognizer: every one ends in a clear status, the
// odd-but-valid ones are read like any other photograph, and oversized ones are refused from
// their header.
#include <gtest/gtest.h>

#include <climits>
#include <fstream>

#include "bad_files.hpp"
#include "classifier/owner_prefix_list.hpp"
#include "drawn_photos.hpp"
#include "handmade_codebook.hpp"
#include "recognition/recognizer.hpp"

namespace karvona::hardening {
namespace {

using recognition::DeclaredSize;
using recognition::LoadStatus;
using recognition::ReadDeclaredSize;
using recognition::Recognizer;

const char* const kCode = "ABCU1234560";

// Codebooks of the glyphs the drawn photographs are painted with, so a drawn code reads whole.
struct GlyphData {
    classifier::CLvqCluster letters = test_support::DrawnGlyphCodebook(false);
    classifier::CLvqCluster digits = test_support::DrawnGlyphCodebook(true);
    classifier::COwnerPrefixList prefixes;
    GlyphData() {
        const fs::path file = fs::temp_directory_path() / "karvona-hardening-prefixes.txt";
        std::ofstream(file) << "ABCU\n";
        prefixes.LoadPrefixFile(file.string());
    }
    recognition::ReferenceData View() const { return {&letters, &digits, &prefixes}; }
};

const GlyphData& Data() {
    static const GlyphData data;
    return data;
}

cv::Mat DrawnPhoto() {
    karvona::testing::CodeDrawing d;
    d.text = kCode;
    return karvona::testing::DrawCodePhoto(d).image;
}

// The coarse class of a load status, as the expectations name it.
Expect ClassOf(LoadStatus status) {
    return status == LoadStatus::Ok         ? Expect::Ok
           : status == LoadStatus::TooLarge ? Expect::TooLarge
                                            : Expect::Unreadable;
}

TEST(BadPhotographs, EveryFileEndsInItsStatusAndTheRecognizerGoesOn) {
    Scratch dir;
    const cv::Mat photo = DrawnPhoto();
    Recognizer recognizer(Data().View());
    for (const BadPhotograph& bad : WriteBadPhotographs(dir, photo)) {
        SCOPED_TRACE(bad.name);
        recognizer.RecognizeImage(dir / bad.name);
        EXPECT_EQ(ClassOf(recognizer.result.status), bad.expect);
        if (recognizer.result.status != LoadStatus::Ok) {
            EXPECT_TRUE(recognizer.sourceImage.empty());
            EXPECT_EQ(recognizer.result.layoutCode, -1);
            EXPECT_EQ(recognizer.resultText, "");
            EXPECT_FALSE(recognizer.result.complete);
        } else {
            EXPECT_EQ(recognizer.sourceImage.type(), CV_8UC3);
        }
    }
    // The same recognizer still reads a good photograph afterwards.
    EXPECT_TRUE(recognizer.RecognizeLoaded(photo));
    EXPECT_EQ(recognizer.resultText, kCode);
}

TEST(BadPhotographs, GreySixteenBitAndFourChannelFilesReadLikeColour) {
    Scratch dir;
    const cv::Mat photo = DrawnPhoto();
    WriteBadPhotographs(dir, photo);
    Recognizer recognizer(Data().View());
    for (const char* name : {"grey.jpg", "16-bit.png", "four channels.png",
                             "사진 폴더/container photo é.jpg", "truncated.jpg"}) {
        SCOPED_TRACE(name);
        const bool whole = std::string(name) != "truncated.jpg";
        EXPECT_EQ(recognizer.RecognizeImage(dir / name), whole);
        EXPECT_EQ(recognizer.result.status, LoadStatus::Ok);
        if (whole) {
            EXPECT_EQ(recognizer.resultText, kCode);
        }
    }
}

TEST(BadPhotographs, DecodedImagesOfOtherLayoutsAreConvertedAtTheBoundary) {
    const cv::Mat photo = DrawnPhoto();
    cv::Mat grey, bgra, wide, real;
    cv::cvtColor(photo, grey, cv::COLOR_BGR2GRAY);
    cv::cvtColor(photo, bgra, cv::COLOR_BGR2BGRA);
    photo.convertTo(wide, CV_16U, 256.0);
    photo.convertTo(real, CV_32F, 1.0 / 255);
    Recognizer recognizer(Data().View());
    for (const cv::Mat& image : {grey, bgra, wide, real}) {
        SCOPED_TRACE(image.type());
        EXPECT_TRUE(recognizer.RecognizeLoaded(image));
        EXPECT_EQ(recognizer.result.status, LoadStatus::Ok);
        EXPECT_EQ(recognizer.sourceImage.type(), CV_8UC3);
        EXPECT_EQ(recognizer.resultText, kCode);
    }
    const cv::Mat before = photo.clone();
    recognizer.RecognizeLoaded(photo);
    EXPECT_EQ(cv::norm(photo, before, cv::NORM_INF), 0);  // the caller's image is not drawn on

    for (const cv::Mat& odd : {cv::Mat(), cv::Mat(20, 20, CV_8UC2), cv::Mat(20, 20, CV_32SC3)}) {
        recognizer.RecognizeLoaded(odd);
        EXPECT_EQ(recognizer.result.status, LoadStatus::UnsupportedFormat);
        EXPECT_TRUE(recognizer.sourceImage.empty());
    }
    recognizer.RecognizeLoaded(cv::Mat(7072, 7072, CV_8UC1, cv::Scalar::all(0)));  // 50.01 MP
    EXPECT_EQ(recognizer.result.status, LoadStatus::TooLarge);
}

TEST(BadPhotographs, TinyAndThinPhotographsAreReadWithoutARegion) {
    Recognizer recognizer(Data().View());
    const cv::Mat photo = DrawnPhoto();
    for (const cv::Size size : {cv::Size(1, 1), cv::Size(3, 3), cv::Size(1, 480), cv::Size(640, 1),
                                cv::Size(50, 460), cv::Size(640, 20)}) {
        SCOPED_TRACE(size);
        const cv::Mat image = photo(cv::Rect(cv::Point(0, 0), size)).clone();
        EXPECT_FALSE(recognizer.RecognizeLoaded(image));
        EXPECT_EQ(recognizer.result.status, LoadStatus::Ok);
        EXPECT_EQ(recognizer.resultText, "");
    }
}

// An EXIF APP1 segment holding one tag, Orientation, inserted right after the start of image.
Bytes WithExifOrientation(const Bytes& jpeg, unsigned orientation) {
    Bytes exif{'E',  'x',
               'i',  'f',
               0,    0,
               'M',  'M',
               0,    0x2A,
               0,    0,
               0,    8,  // big-endian TIFF header, first IFD at 8
               0,    1,  // one entry
               0x01, 0x12,
               0,    3,
               0,    0,
               0,    1,  // Orientation, SHORT, one value
               0,    static_cast<unsigned char>(orientation),
               0,    0,
               0,    0,
               0,    0};  // no next IFD
    Bytes segment{0xFF, 0xE1, 0, 0};
    PutBig16(segment, 2, static_cast<unsigned>(exif.size() + 2));
    segment.insert(segment.end(), exif.begin(), exif.end());
    Bytes tagged(jpeg.begin(), jpeg.begin() + 2);
    tagged.insert(tagged.end(), segment.begin(), segment.end());
    tagged.insert(tagged.end(), jpeg.begin() + 2, jpeg.end());
    return tagged;
}

TEST(BadPhotographs, ExifOrientationTagDoesNotTurnThePhotograph) {
    Scratch dir;
    const Bytes plain = Encode(DrawnPhoto(), ".jpg");
    WriteBytes(dir / "plain.jpg", plain);
    WriteBytes(dir / "tagged.jpg", WithExifOrientation(plain, 6));  // "turn 90 degrees right"

    cv::Mat a, b;
    ASSERT_EQ(recognition::LoadPhotograph(dir / "plain.jpg", a), LoadStatus::Ok);
    ASSERT_EQ(recognition::LoadPhotograph(dir / "tagged.jpg", b), LoadStatus::Ok);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0);

    Recognizer recognizer(Data().View());
    EXPECT_TRUE(recognizer.RecognizeImage(dir / "tagged.jpg"));
    EXPECT_EQ(recognizer.resultText, kCode);
}

TEST(DeclaredSize, FromEachFormatsHeader) {
    DeclaredSize size;
    const Bytes jpeg = JpegDeclaring(1234, 567);
    ASSERT_TRUE(ReadDeclaredSize(jpeg.data(), jpeg.size(), size));
    EXPECT_EQ(size.width, 1234);
    EXPECT_EQ(size.height, 567);

    // Fill bytes, stray bytes and unknown segments before the frame header are passed over.
    Bytes padded(jpeg.begin(), jpeg.begin() + 2);
    for (unsigned char c : {0xFF, 0xFF, 0xE5, 0x00, 0x04, 0xAB, 0xCD, 0x12, 0x34})
        padded.push_back(c);
    padded.insert(padded.end(), jpeg.begin() + 2, jpeg.end());
    ASSERT_TRUE(ReadDeclaredSize(padded.data(), padded.size(), size));
    EXPECT_EQ(size.width, 1234);

    const Bytes png = GreyPng(70000, 3, 0);
    ASSERT_TRUE(ReadDeclaredSize(png.data(), png.size(), size));
    EXPECT_EQ(size.width, 70000);
    EXPECT_EQ(size.height, 3);

    Bytes bmp = Encode(cv::Mat(5, 7, CV_8UC3), ".bmp");
    PutLittle32(bmp, 22, static_cast<std::uint32_t>(-5));  // rows stored top to bottom
    ASSERT_TRUE(ReadDeclaredSize(bmp.data(), bmp.size(), size));
    EXPECT_EQ(size.width, 7);
    EXPECT_EQ(size.height, 5);
    // The old 12-byte information header has 16-bit sizes.
    Bytes core{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0, 0x10, 0x27, 3, 0};
    ASSERT_TRUE(ReadDeclaredSize(core.data(), core.size(), size));
    EXPECT_EQ(size.width, 10000);
    EXPECT_EQ(size.height, 3);

    // No frame header before the image data, a frame header cut short, a negative width.
    const Bytes noFrame{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02};
    EXPECT_FALSE(ReadDeclaredSize(noFrame.data(), noFrame.size(), size));
    EXPECT_FALSE(ReadDeclaredSize(jpeg.data(), FrameHeaderAt(jpeg) + 8, size));
    PutLittle32(bmp, 18, static_cast<std::uint32_t>(INT_MIN));
    EXPECT_FALSE(ReadDeclaredSize(bmp.data(), bmp.size(), size));
    EXPECT_FALSE(ReadDeclaredSize(nullptr, 0, size));
}

}  // namespace
}  // namespace karvona::hardening
