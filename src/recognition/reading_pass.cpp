#include "recognition/reading_pass.hpp"

#include <algorithm>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "classifier/iso6346.hpp"
#include "imaging/primitives.hpp"

namespace karvona::recognition {

using imaging::CBlobList;

std::filesystem::path SampleFilePath(const std::filesystem::path& folder, char character,
                                     int processedCount, int sampleIndex) {
    char name[64];
    std::snprintf(name, sizeof name, "%c_%05d_%02d_.bmp", character, processedCount, sampleIndex);
    return folder / std::string(1, character) / name;
}

namespace {

int Centre(const cv::Rect& r, int vertical) {
    return vertical ? r.y + r.height / 2 : r.x + r.width / 2;
}

}  // namespace

cv::Mat TightCrop(const cv::Mat& box) {
    std::vector<cv::Point> points;
    cv::findNonZero(box, points);
    int left = 0, right = 0, top = 0, bottom = 0;
    if (!points.empty()) {
        const cv::Rect tight = cv::boundingRect(points);
        left = tight.x;
        top = tight.y;
        right = tight.x + tight.width - 1;
        bottom = tight.y + tight.height - 1;
    }
    if (right - left <= 0 || bottom - top <= 0)
        return cv::Mat();
    return box(cv::Rect(left, top, right - left + 1, bottom - top + 1)).clone();
}

namespace {

// The tight crop of the strokes of entry i, or an empty image when the strokes span a single
// row or column (a degenerate box).
cv::Mat CutCharacter(const CBlobList& boxes, int i) {
    const cv::Rect& r = boxes.rects[i];
    if (r.width <= 0 || r.height <= 0)
        return cv::Mat();
    cv::Mat box(r.height, r.width, CV_8UC1, cv::Scalar(0));
    boxes.PaintBlob(box, i, 0, 0);
    return TightCrop(box);
}

const cv::Scalar kBlack(0, 0, 0);
const cv::Scalar kGreen(0, 255, 0);
const cv::Scalar kRed(0, 0, 255);
const cv::Scalar kYellow(0, 255, 255);
const cv::Scalar kMagenta(255, 0, 255);

}  // namespace

int ReadCharacterBoxes(cv::Mat& region, CBlobList& boxes, int vertical, int layoutCode,
                       const PassStyle& style, cv::Mat& strip, const ReferenceData& data,
                       const ReaderOptions& options, Reading& out) {
    out = Reading{};

    // 1. Prefix break: which boxes are letters, and which leading boxes are noise.
    int p = boxes.FindPrefixBreak(vertical);
    if (p < 2) {
        boxes.KeepLastBlobs(boxes.Size() - p - 1);
        p = std::min(boxes.FindPrefixBreak(vertical), 3);
    } else if (p == 4) {
        boxes.KeepLastBlobs(boxes.Size() - 1);
        p = std::min(boxes.FindPrefixBreak(vertical), 3);
    }
    if (layoutCode == 6)
        p = 3;  // the spaced prefix: always four letters

    // 2. Guide lines.
    const int W = region.cols;
    const int H = region.rows;
    const cv::Scalar quarterGrey = cv::Scalar::all(150);
    const cv::Scalar middleGrey = cv::Scalar::all(style.middleGrey);
    cv::line(region, {W / 4, 0}, {W / 4, H}, quarterGrey, 1, cv::LINE_8);
    cv::line(region, {3 * W / 4, 0}, {3 * W / 4, H}, quarterGrey, 1, cv::LINE_8);
    cv::line(region, {W / 2, 0}, {W / 2, H}, middleGrey, 1, cv::LINE_8);
    cv::line(region, {0, H / 2}, {W, H / 2}, middleGrey, 1, cv::LINE_8);

    // 3, 4.
    strip.create(kStripHeight, kStripWidth, CV_8UC3);  // a caller may have let it go
    strip.setTo(0);
    const int n = std::min(boxes.Size(), 11);

    // 5. Gap thresholds from the mean spacing among the letters and among the digits.
    std::vector<int> spacing(static_cast<size_t>(std::max(n - 1, 0)));
    double letterSum = 0, digitSum = 0;
    for (int i = 0; i + 1 < n; ++i) {
        spacing[i] = Centre(boxes.rects[i + 1], vertical) - Centre(boxes.rects[i], vertical);
        if (i < p)
            letterSum += spacing[i];
        if (i > p)
            digitSum += spacing[i];
    }
    const double letterGap = p > 0 ? 1.25 * letterSum / p : 0.0;
    const double digitGap = n - p - 2 > 0 ? 1.25 * digitSum / (n - p - 2) : 0.0;

    std::string code(11, '\0');
    auto put = [&code](int position, char ch) {
        if (position >= 0 && position < static_cast<int>(code.size()))
            code[position] = ch;
    };
    int M = 0, N = 0, thin = 0, sampleIndex = 0;
    double checkSum = 0.0;
    int checkValue = -1;

    for (int i = 0; i < n; ++i) {
        const cv::Rect r = boxes.rects[i];
        const cv::Mat crop = CutCharacter(boxes, i);
        if (crop.empty()) {
            put(i + M + N, '-');
            continue;
        }
        const double white = imaging::SumFirstChannel(crop) / 255.0;
        if (white / (static_cast<double>(crop.cols) * crop.rows) < 0.25)
            ++thin;

        const bool letter = i <= p;
        const classifier::CLvqCluster* codebook = letter ? data.letters : data.digits;
        BoxReading reading;
        reading.box = r;
        reading.letterPosition = letter;
        reading.crop = crop;
        static const classifier::CLvqCluster kNoCodebook;
        reading.ranks = classifier::ClassifyCharacter(codebook != nullptr ? *codebook : kNoCodebook,
                                                      crop, !letter);
        const auto& ranks = reading.ranks.ranks;

        cv::rectangle(region, {r.x, r.y}, {r.x + r.width, r.y + r.height}, kBlack, 2, cv::LINE_8);
        cv::rectangle(region, {r.x, r.y}, {r.x + r.width, r.y + r.height},
                      letter ? kMagenta : style.digitBox, 1, cv::LINE_8);
        if (ranks[0].character != 0) {
            cv::putText(region, std::string(1, ranks[0].character), {r.x - 10, r.y + 10},
                        cv::FONT_HERSHEY_SIMPLEX, 0.6, kGreen, 2, cv::LINE_8);
        }

        const char ch = classifier::CategoryRule(i, p, reading.ranks.character());
        // A character without a class is written as "-" (a zero byte would end the code).
        const char written = ch != 0 ? ch : '-';
        reading.character = written;
        checkSum += classifier::CheckSumTerm(i, ch);
        if (i == 10)
            checkValue = classifier::CharToIsoValue(ch);

        // The strip: the crop and its five ranks.
        if (crop.rows < 150) {
            cv::Mat colourCrop;
            cv::cvtColor(crop, colourCrop, cv::COLOR_GRAY2BGR);
            imaging::CopyInto(colourCrop, strip, {100 * i + 20, 10, crop.cols, crop.rows});
        }
        for (int k = 0; k < classifier::kShownRanks; ++k) {
            char text[48];
            const char rc = ranks[k].character != 0 ? ranks[k].character : '-';
            std::snprintf(text, sizeof text, "%c %4.0f", rc, ranks[k].distance);
            cv::putText(strip, text, {100 * i + 12, 60 + 20 * k}, cv::FONT_HERSHEY_SIMPLEX, 0.5,
                        k == reading.ranks.chosenRank ? kYellow : kGreen, 1, cv::LINE_8);
        }

        if ((options.saveSamples || options.samples != nullptr) && ch != 0) {
            if (options.samples != nullptr)
                options.samples->Add(ch, sampleIndex, crop);
            if (options.saveSamples) {
                const auto path =
                    SampleFilePath(options.samplesFolder, ch, options.processedCount, sampleIndex);
                try {
                    cv::imwrite(path.string(), crop);
                } catch (const cv::Exception&) {
                    // A sample that cannot be written is skipped.
                }
            }
            ++sampleIndex;
        }

        put(i + M + N, written);
        out.characters.push_back(reading);

        // A spacing well above the mean means a character is missing there.
        if (i < n - 1 && n + M + N < 11) {
            const int g = spacing[i];
            const cv::Point mid = vertical
                                      ? cv::Point(r.x + r.width / 2, r.y + r.height / 2 + g / 2)
                                      : cv::Point(r.x + r.width / 2 + g / 2, r.y + r.height / 2);
            if (i < p && g > letterGap && p + 1 + M < 4) {
                cv::circle(region, mid, 3, kBlack, 3, cv::LINE_8);
                cv::circle(region, mid, 2, kRed, 3, cv::LINE_8);
                ++M;
                put(i + M + N, '-');
            } else if (i > p && g > digitGap && (n - p - 1) + N < 7) {
                cv::circle(region, mid, 3, kBlack, 3, cv::LINE_8);
                cv::circle(region, mid, 2, kGreen, 3, cv::LINE_8);
                ++N;
                put(i + M + N, '-');
            }
        }
    }

    // 7. Terminate, then validate.
    code.resize(static_cast<size_t>(std::clamp(n + M + N, 0, 11)));
    static const classifier::COwnerPrefixList kNoPrefixes;
    const classifier::CodeVerdict verdict = classifier::ValidateCode(
        code, n, checkSum, checkValue, data.prefixes != nullptr ? *data.prefixes : kNoPrefixes);
    out.complete = verdict.success;
    if (classifier::CompletionApplies(n, M + N, verdict.prefixPasses))
        classifier::CompleteCode(code);

    out.code = code;
    out.score = n - thin + M + N;
    return out.score;
}

}  // namespace karvona::recognition
