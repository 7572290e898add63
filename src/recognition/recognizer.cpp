#include "recognition/recognizer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "imaging/primitives.hpp"
#include "recognition/colour.hpp"
#include "recognition/extraction.hpp"
#include "recognition/folders.hpp"
#include "recognition/locator.hpp"
#include "recognition/look.hpp"
#include "recognition/readers.hpp"
#include "recognition/reading_plan.hpp"

namespace karvona::recognition {

std::string LayoutText(int layoutCode, const std::string& previous) {
    switch (layoutCode) {
        case 2:
            return "VERTICAL   1 LINE";
        case 3:
            return "HORIZONTAL 2 LINES";
        case 4:
            return "VERTICAL   2 LINES";
        case 5:
            return "HORIZONTAL 3 LINES";
        case 6:
            return "HORIZONTAL - WHLU";
        default:
            return layoutCode <= 1 ? "HORIZONTAL 1 LINE" : previous;
    }
}

Winner ChooseWinner(bool completeA, int scoreA, bool completeB, int scoreB) {
    if (completeA)
        return Winner::Morphology;
    if (completeB)
        return Winner::Cluster;
    if (scoreA >= scoreB)
        return Winner::Morphology;
    if (scoreB >= 4)
        return Winner::Cluster;
    return Winner::None;
}

bool PasteRegion(cv::Mat& display, const cv::Mat& region) {
    const int W = display.cols, H = display.rows;
    const int w = region.cols, h = region.rows;
    if (region.empty() || region.type() != display.type() || w > W || h > H)
        return false;
    const cv::Rect edge = imaging::ClipRect({W - w - 2, H - h - 2, w, h}, display.size());
    if (!edge.empty())
        display(edge).setTo(cv::Scalar::all(0));
    region.copyTo(display(cv::Rect(W - w, H - h, w, h)));
    return true;
}

TextColour ResultColour(bool complete, size_t characters) {
    if (complete)
        return {200, 50, 50};
    if (characters >= 10)
        return {0, 0, 50};
    if (characters >= 7)
        return {50, 50, 100};
    if (characters >= 5)
        return {100, 100, 150};
    return {150, 150, 200};
}

namespace {

std::uint32_t Big16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 8 | p[1];
}
std::uint32_t Big32(const unsigned char* p) {
    return Big16(p) << 16 | Big16(p + 2);
}
std::uint32_t Little16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}
std::int32_t Little32(const unsigned char* p) {
    return static_cast<std::int32_t>(Little16(p + 2) << 16 | Little16(p));
}

// The first frame header of a JPEG stream. Between segments, bytes that are not a marker are
// skipped and fill bytes before a marker are passed over, as the decoder does, so that both
// meet the same frame header.
bool JpegSize(const unsigned char* b, std::size_t n, DeclaredSize& declared) {
    std::size_t at = 2;
    for (;;) {
        while (at < n && b[at] != 0xFF)
            ++at;
        while (at < n && b[at] == 0xFF)
            ++at;
        if (at >= n)
            return false;
        const unsigned marker = b[at++];
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue;  // no segment follows
        if (marker == 0xD9 || marker == 0xDA)
            return false;  // the image ends or its data begins before any frame header
        if (at + 2 > n)
            return false;
        const std::size_t length = Big16(b + at);
        if (length < 2)
            return false;
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (at + 7 > n)
                return false;
            declared.height = Big16(b + at + 3);
            declared.width = Big16(b + at + 5);
            return true;
        }
        at += length;
    }
}

// Reads a whole regular file. The open does not block, so a named pipe under a photograph's
// name is refused instead of waited on; folders and devices are refused too.
LoadStatus ReadPhotographFile(const std::filesystem::path& path,
                              std::vector<unsigned char>& bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return LoadStatus::Missing;
        if (errno == EISDIR)
            return LoadStatus::NotRegularFile;
        return LoadStatus::CannotRead;
    }
    struct stat info;
    LoadStatus status = LoadStatus::Ok;
    if (fstat(fd, &info) != 0)
        status = LoadStatus::CannotRead;
    else if (!S_ISREG(info.st_mode))
        status = LoadStatus::NotRegularFile;
    else if (info.st_size > kMaxPhotographBytes)
        status = LoadStatus::TooLarge;
    if (status == LoadStatus::Ok) {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                status = LoadStatus::CannotRead;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);  // a file that shrank meanwhile is taken as it now stands
    }
    close(fd);
    return status;
}

// Whether the bytes start like one of the formats the loader decodes.
bool KnownFormat(const unsigned char* b, std::size_t n) {
    return (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) ||
           (n >= 8 && std::memcmp(b, "\x89PNG\r\n\x1a\n", 8) == 0) ||
           (n >= 2 && b[0] == 'B' && b[1] == 'M');
}

}  // namespace

LoadStatus LoadPhotograph(const std::filesystem::path& path, cv::Mat& image) {
    image.release();
    std::vector<unsigned char> bytes;
    const LoadStatus read = ReadPhotographFile(path, bytes);
    if (read != LoadStatus::Ok)
        return read;
    return DecodePhotograph(bytes.data(), bytes.size(), image);
}

LoadStatus DecodePhotograph(const unsigned char* bytes, std::size_t size, cv::Mat& image) {
    image.release();
    if (static_cast<std::uint64_t>(size) > static_cast<std::uint64_t>(kMaxPhotographBytes))
        return LoadStatus::TooLarge;
    if (!KnownFormat(bytes, size))
        return LoadStatus::UnsupportedFormat;
    DeclaredSize declared;
    if (!ReadDeclaredSize(bytes, size, declared))
        return LoadStatus::CannotDecode;
    if (declared.width > kMaxPixels || declared.height > kMaxPixels ||
        declared.width * declared.height > kMaxPixels)
        return LoadStatus::TooLarge;

    // The pixels are read as stored: an EXIF orientation tag does not turn the photograph, so
    // the same pixels read the same whatever the camera wrote beside them.
    cv::Mat decoded;
    try {
        decoded = cv::imdecode(
            cv::Mat(1, static_cast<int>(size), CV_8U, const_cast<unsigned char*>(bytes)),
            cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    } catch (const cv::Exception&) {
        decoded.release();
    }
    if (static_cast<std::int64_t>(decoded.total()) > kMaxPixels)
        return LoadStatus::TooLarge;
    return ToEightBitColour(decoded, image) ? LoadStatus::Ok : LoadStatus::CannotDecode;
}

bool ReadDeclaredSize(const unsigned char* b, std::size_t n, DeclaredSize& declared) {
    declared = DeclaredSize{};
    bool known = false;
    if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) {
        known = JpegSize(b, n, declared);
    } else if (n >= 24 && std::memcmp(b, "\x89PNG\r\n\x1a\n", 8) == 0 &&
               std::memcmp(b + 12, "IHDR", 4) == 0) {
        declared.width = Big32(b + 16);
        declared.height = Big32(b + 20);
        known = true;
    } else if (n >= 18 && b[0] == 'B' && b[1] == 'M') {
        const std::int32_t headerSize = Little32(b + 14);
        if (headerSize == 12 && n >= 22) {
            declared.width = Little16(b + 18);
            declared.height = Little16(b + 20);
            known = true;
        } else if (headerSize >= 16 && n >= 26) {
            declared.width = Little32(b + 18);
            // A negative height stands for rows stored top to bottom.
            declared.height = std::abs(static_cast<std::int64_t>(Little32(b + 22)));
            known = true;
        }
    }
    if (!known || declared.width <= 0 || declared.height <= 0) {
        declared = DeclaredSize{};
        return false;
    }
    return true;
}

bool ToEightBitColour(const cv::Mat& image, cv::Mat& colour) {
    const int channels = image.channels();
    if (image.empty() || image.dims != 2 || (channels != 1 && channels != 3 && channels != 4)) {
        colour.release();
        return false;
    }
    cv::Mat eight;
    switch (image.depth()) {
        case CV_8U:
            eight = image;
            break;
        case CV_16U:
            image.convertTo(eight, CV_8U, 1.0 / 256);
            break;
        case CV_32F:
        case CV_64F:
            image.convertTo(eight, CV_8U, 255.0);
            break;
        default:
            colour.release();
            return false;
    }
    cv::Mat out;
    if (channels == 1)
        cv::cvtColor(eight, out, cv::COLOR_GRAY2BGR);
    else if (channels == 4)
        cv::cvtColor(eight, out, cv::COLOR_BGRA2BGR);
    else
        out = eight;
    colour = out;
    return true;
}

Recognizer::Recognizer(const ReferenceData& data)
    : panelImage(kStripHeight, kStripWidth, CV_8UC3, cv::Scalar::all(0)),
      morphologyStrip(kStripHeight, kStripWidth, CV_8UC3, cv::Scalar::all(0)),
      clusterStrip(kStripHeight, kStripWidth, CV_8UC3, cv::Scalar::all(0)),
      data_(data) {}

Recognizer::~Recognizer() = default;

const Reading& Recognizer::WinningReading() const {
    static const Reading none;
    switch (result.reader) {
        case Winner::Morphology:
            return morphologyReading;
        case Winner::Cluster:
            return clusterReading;
        default:
            return none;
    }
}

bool Recognizer::RecognizeImage(const std::filesystem::path& path) {
    resultText.clear();
    sourceImage.release();
    displayImage.release();
    const LoadStatus status = LoadPhotograph(path, sourceImage);
    if (status == LoadStatus::Ok)
        displayImage = sourceImage.clone();
    return options.strict ? Run(status) : RunPlan(status);
}

bool Recognizer::RecognizeLoaded(const cv::Mat& photograph) {
    resultText.clear();
    LoadStatus status = LoadStatus::Ok;
    cv::Mat colour;
    if (!photograph.empty() && static_cast<std::int64_t>(photograph.total()) > kMaxPixels)
        status = LoadStatus::TooLarge;
    else if (!ToEightBitColour(photograph, colour))
        status = LoadStatus::UnsupportedFormat;

    if (status != LoadStatus::Ok) {
        sourceImage.release();
        displayImage.release();
    } else {
        // The caller keeps its image; a conversion already made a new one.
        sourceImage = colour.data == photograph.data ? colour.clone() : colour;
        displayImage = sourceImage.clone();
    }
    return options.strict ? Run(status) : RunPlan(status);
}

bool Recognizer::RunPlan(LoadStatus status) {
    if (!plan_)
        plan_ = std::make_unique<ReadingPlan>(data_);
    return plan_->Run(*this, status);
}

namespace {

int MillisecondsSince(std::chrono::steady_clock::time_point since) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - since)
                                .count());
}

// The part of the photograph the region was cut from: the bounding box of its pieces.
cv::Rect RegionBounds(const TemplateBoxes& boxes, int layoutCode, cv::Size photo) {
    LayoutTemplate layout;  // the same layout's template gives the box count
    MakeLayoutTemplate(layoutCode, 0, 0, 10, 4, 3, layout);
    cv::Rect bounds;
    for (const cv::Rect& piece : CharacterSetPieces(photo, layoutCode, layout.count, boxes)) {
        if (!piece.empty())
            bounds = bounds.empty() ? piece : (bounds | piece);
    }
    return bounds;
}

}  // namespace

bool Recognizer::Run(LoadStatus status) {
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    result = RecognitionResult{};
    result.status = status;
    morphologyReading = Reading{};
    clusterReading = Reading{};
    region.release();
    pastedRegion.release();

    TemplateBoxes boxes{};
    if (!sourceImage.empty()) {
        if (options.colourPass) {
            const auto colourStart = Clock::now();
            result.hue = ExtractDominantHue(sourceImage);
            swatchImage = MakeColourSwatch(result.hue);
            result.times.colour = MillisecondsSince(colourStart);
        }

        const auto locateStart = Clock::now();
        LocatorOptions locatorOptions;
        locatorOptions.stepViews = options.locatorStepView;
        locatorOptions.viewer = options.viewer;
        int layoutCode = -1;
        region = FindIsoCharacters(sourceImage, &displayImage, &boxes, &layoutCode, locatorOptions);
        if (!region.empty()) {
            result.layoutCode = layoutCode;
            result.region = RegionBounds(boxes, layoutCode, sourceImage.size());
            result.corners = CornersOf(result.region);
        }
        result.times.locate = MillisecondsSince(locateStart);
    }

    if (!region.empty()) {
        const auto readStart = Clock::now();
        layoutText = LayoutText(result.layoutCode, layoutText);
        cv::Mat copyA = region.clone();
        cv::Mat copyB = region.clone();

        ReaderOptions readerOptions;
        readerOptions.stepViews = options.readerStepView;
        readerOptions.viewer = options.viewer;
        readerOptions.saveSamples = options.saveSamples;
        readerOptions.samples = options.samples;
        readerOptions.processedCount = processedCount;
        readerOptions.samplesFolder =
            options.samplesFolder.empty() ? CharactersFolder() : options.samplesFolder;

        const int scoreA = ReadByMorphology(copyA, result.layoutCode, morphologyStrip, data_,
                                            readerOptions, morphologyReading);
        int scoreB = 0;
        if (!morphologyReading.complete) {
            scoreB = ReadByClusterSegmentation(copyB, result.layoutCode, clusterStrip, data_,
                                               readerOptions, clusterReading);
        }

        result.reader =
            ChooseWinner(morphologyReading.complete, scoreA, clusterReading.complete, scoreB);
        result.complete = morphologyReading.complete || clusterReading.complete;
        result.code = WinningReading().code;
        result.score = result.reader == Winner::Morphology ? scoreA
                       : result.reader == Winner::Cluster  ? scoreB
                                                           : 0;
        resultText = result.code;

        if (result.reader != Winner::None) {
            const bool a = result.reader == Winner::Morphology;
            pastedRegion = a ? copyA : copyB;
            PasteRegion(displayImage, pastedRegion);
            (a ? morphologyStrip : clusterStrip).copyTo(panelImage);
        }
        result.times.read = MillisecondsSince(readStart);
    }

    result.ms = MillisecondsSince(t0);
    char text[32];
    std::snprintf(text, sizeof text, "%dms ", result.ms);
    timeText = text;
    resultColour = ResultColour(result.complete, resultText.size());
    return result.complete;
}

}  // namespace karvona::recognition
