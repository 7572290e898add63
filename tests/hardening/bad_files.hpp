#pragma once
// Broken, odd and hostile photograph files, made byte by byte where the encoders would refuse to
// make them, and a scratch folder per test.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

namespace karvona::hardening {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

/// A fresh folder named after the running test, removed afterwards.
class Scratch {
public:
    Scratch() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = fs::temp_directory_path() / ("karvona-hardening-" + std::to_string(getpid()) + "-" +
                                             info->test_suite_name() + "-" + info->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / fs::u8path(name); }

private:
    fs::path path_;
};

inline void WriteBytes(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

inline Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline Bytes Encode(const cv::Mat& image, const std::string& extension) {
    Bytes bytes;
    EXPECT_TRUE(cv::imencode(extension, image, bytes)) << extension;
    return bytes;
}

inline void PutBig16(Bytes& b, std::size_t at, unsigned v) {
    b[at] = static_cast<unsigned char>(v >> 8);
    b[at + 1] = static_cast<unsigned char>(v);
}

inline void PutBig32(Bytes& b, std::size_t at, std::uint32_t v) {
    PutBig16(b, at, v >> 16);
    PutBig16(b, at + 2, v & 0xFFFF);
}

inline void PutLittle32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

/// Offset of the first baseline frame header (FF C0) of an encoded JPEG.
inline std::size_t FrameHeaderAt(const Bytes& jpeg) {
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0)
            return i;
    ADD_FAILURE() << "no frame header";
    return 0;
}

/// A small real JPEG whose frame header declares width x height: the decoder would take the
/// whole declared image and fill what the data does not cover.
inline Bytes JpegDeclaring(int width, int height) {
    Bytes jpeg = Encode(cv::Mat(16, 16, CV_8UC3, cv::Scalar(40, 90, 160)), ".jpg");
    const std::size_t sof = FrameHeaderAt(jpeg);
    PutBig16(jpeg, sof + 5, static_cast<unsigned>(height));
    PutBig16(jpeg, sof + 7, static_cast<unsigned>(width));
    return jpeg;
}

/// A PNG chunk with its length and check sum.
inline void AppendChunk(Bytes& png, const char type[4], const Bytes& data) {
    Bytes chunk(4 + 4 + data.size() + 4);
    PutBig32(chunk, 0, static_cast<std::uint32_t>(data.size()));
    std::memcpy(chunk.data() + 4, type, 4);
    std::copy(data.begin(), data.end(), chunk.begin() + 8);
    const uLong crc = crc32(0L, chunk.data() + 4, static_cast<uInt>(4 + data.size()));
    PutBig32(chunk, 8 + data.size(), static_cast<std::uint32_t>(crc));
    png.insert(png.end(), chunk.begin(), chunk.end());
}

/// A valid 8-bit grey PNG of width x height pixels, all black, compressed as it is written (a
/// 20000 x 20000 image takes a few hundred kilobytes). With idatRows below height the image data
/// ends early: a bomb whose header alone would make a decoder take the whole image.
inline Bytes GreyPng(std::uint32_t width, std::uint32_t height, std::uint32_t idatRows) {
    static const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes png(signature, signature + 8);
    Bytes header(13, 0);
    PutBig32(header, 0, width);
    PutBig32(header, 4, height);
    header[8] = 8;  // bit depth; colour type 0 (grey), compression, filter, interlace 0
    AppendChunk(png, "IHDR", header);

    z_stream z{};
    deflateInit(&z, Z_BEST_SPEED);
    const Bytes row(static_cast<std::size_t>(width) + 1, 0);  // filter byte 0, then the pixels
    Bytes out(1 << 16), data;
    for (std::uint32_t y = 0; y <= idatRows; ++y) {
        const bool last = y == idatRows;
        z.next_in = const_cast<Bytef*>(row.data());
        z.avail_in = last ? 0 : static_cast<uInt>(row.size());
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            data.insert(data.end(), out.data(), out.data() + (out.size() - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    AppendChunk(png, "IDAT", data);
    AppendChunk(png, "IEND", {});
    return png;
}

/// What a recognition is expected to report for a file.
enum class Expect { Ok, Unreadable, TooLarge };

}  // namespace karvona::hardening

namespace karvona::hardening {

struct BadPhotograph {
    std::string name;  ///< relative to the scratch folder (UTF-8)
    Expect expect;
};

/// Writes every kind of broken, odd or hostile photograph into the folder (the missing one is
/// left out) and lists them with the status each must bring. `photo` is a good photograph.
inline std::vector<BadPhotograph> WriteBadPhotographs(const Scratch& dir, const cv::Mat& photo) {
    std::vector<BadPhotograph> list;
    auto add = [&](const std::string& name, const Bytes& bytes, Expect expect) {
        WriteBytes(dir / name, bytes);
        list.push_back({name, expect});
    };
    const Bytes jpeg = Encode(photo, ".jpg");
    const Bytes bmp = Encode(photo, ".bmp");

    list.push_back({"missing.jpg", Expect::Unreadable});
    add("empty.jpg", {}, Expect::Unreadable);
    add("text.jpg", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'h', 'o', 't', 'o', '\n'},
        Expect::Unreadable);
    add("truncated.jpg", Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2), Expect::Ok);
    add("cut after frame header.jpg", Bytes(jpeg.begin(), jpeg.begin() + FrameHeaderAt(jpeg) + 19),
        Expect::Unreadable);
    add("cut in frame header.jpg", Bytes(jpeg.begin(), jpeg.begin() + FrameHeaderAt(jpeg) + 6),
        Expect::Unreadable);
    add("cut in header.bmp", Bytes(bmp.begin(), bmp.begin() + 20), Expect::Unreadable);

    Bytes b = bmp;
    PutLittle32(b, 14, 5);  // an information header of 5 bytes
    add("header size 5.bmp", b, Expect::Unreadable);
    b = bmp;
    b[28] = 0;  // 0 bits per pixel
    add("zero bits.bmp", b, Expect::Unreadable);
    b = bmp;
    PutLittle32(b, 18, 0);  // width 0
    add("zero width.bmp", b, Expect::Unreadable);
    b = bmp;
    PutLittle32(b, 22, 0x80000000u);  // the most negative height
    add("height int min.bmp", b, Expect::TooLarge);
    b = bmp;
    PutLittle32(b, 18, 10000);
    PutLittle32(b, 22, 10000);  // 100 megapixels declared, a few hundred kilobytes given
    add("short of pixels.bmp", b, Expect::TooLarge);
    b = bmp;
    PutLittle32(b, 18, 2000);  // 2000 x 480 declared, 640 x 480 given: rows run short
    add("short rows.bmp", b, Expect::Unreadable);

    cv::Mat grey, grey16, bgra;
    cv::cvtColor(photo, grey, cv::COLOR_BGR2GRAY);
    photo.convertTo(grey16, CV_16U, 257.0);
    cv::cvtColor(photo, bgra, cv::COLOR_BGR2BGRA);
    add("grey.jpg", Encode(grey, ".jpg"), Expect::Ok);
    add("16-bit.png", Encode(grey16, ".png"), Expect::Ok);
    add("four channels.png", Encode(bgra, ".png"), Expect::Ok);
    add("1x1.bmp", Encode(cv::Mat(1, 1, CV_8UC3, cv::Scalar::all(200)), ".bmp"), Expect::Ok);
    add("3x3.jpg", Encode(cv::Mat(3, 3, CV_8UC3, cv::Scalar::all(200)), ".jpg"), Expect::Ok);
    add("50x460.jpg", Encode(photo(cv::Rect(300, 10, 50, 460)), ".jpg"), Expect::Ok);
    add("640x20.bmp", Encode(photo(cv::Rect(0, 230, 640, 20)), ".bmp"), Expect::Ok);
    add("20000x20000.png", GreyPng(20000, 20000, 20000), Expect::TooLarge);
    add("bomb.jpg", JpegDeclaring(30000, 30000), Expect::TooLarge);
    add("bomb.png", GreyPng(30000, 30000, 2), Expect::TooLarge);
    add("just below the limit.png", GreyPng(10000, 4999, 2), Expect::Unreadable);
    add("tiff.jpg", Encode(photo(cv::Rect(0, 0, 64, 64)), ".tiff"), Expect::Unreadable);

    fs::create_directories(dir / "folder.jpg");
    list.push_back({"folder.jpg", Expect::Unreadable});
    if (mkfifo((dir / "pipe.jpg").c_str(), 0600) == 0)
        list.push_back({"pipe.jpg", Expect::Unreadable});
    fs::create_symlink(dir / "gone.jpg", dir / "dangling.jpg");
    list.push_back({"dangling.jpg", Expect::Unreadable});
    add("사진 폴더/container photo é.jpg", jpeg, Expect::Ok);
    return list;
}

}  // namespace karvona::hardening
