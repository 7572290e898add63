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

// The index of the last letter box. Noise boxes ahead of the prefix are dropped; the spaced
// prefix (layout 6) always has four letters.
int PrefixBreak(CBlobList& boxes, int vertical, int layoutCode) {
    int p = boxes.FindPrefixBreak(vertical);
    if (p < 2) {
        boxes.KeepLastBlobs(boxes.Size() - p - 1);
        p = std::min(boxes.FindPrefixBreak(vertical), 3);
    } else if (p == 4) {
        boxes.KeepLastBlobs(boxes.Size() - 1);
        p = std::min(boxes.FindPrefixBreak(vertical), 3);
    }
    if (layoutCode == 6)
        p = 3;
    return p;
}

// The guide lines: the quarters of the width in light grey, the centre lines in the style's grey.
void DrawGuideLines(cv::Mat& region, const PassStyle& style) {
    const int W = region.cols;
    const int H = region.rows;
    const cv::Scalar quarterGrey = cv::Scalar::all(150);
    const cv::Scalar middleGrey = cv::Scalar::all(style.middleGrey);
    cv::line(region, {W / 4, 0}, {W / 4, H}, quarterGrey, 1, cv::LINE_8);
    cv::line(region, {3 * W / 4, 0}, {3 * W / 4, H}, quarterGrey, 1, cv::LINE_8);
    cv::line(region, {W / 2, 0}, {W / 2, H}, middleGrey, 1, cv::LINE_8);
    cv::line(region, {0, H / 2}, {W, H / 2}, middleGrey, 1, cv::LINE_8);
}

// The spacing of the first n boxes (centre to centre) and the gaps above which a character is
// missing: 1.25 times the mean spacing among the letters and among the digits.
struct BoxSpacing {
    std::vector<int> spacing;  ///< from box i to box i + 1
    double letterGap = 0.0;
    double digitGap = 0.0;
};

BoxSpacing MeasureSpacing(const CBlobList& boxes, int n, int p, int vertical) {
    BoxSpacing s;
    s.spacing.resize(static_cast<size_t>(std::max(n - 1, 0)));
    double letterSum = 0, digitSum = 0;
    for (int i = 0; i + 1 < n; ++i) {
        s.spacing[i] = Centre(boxes.rects[i + 1], vertical) - Centre(boxes.rects[i], vertical);
        if (i < p)
            letterSum += s.spacing[i];
        if (i > p)
            digitSum += s.spacing[i];
    }
    s.letterGap = p > 0 ? 1.25 * letterSum / p : 0.0;
    s.digitGap = n - p - 2 > 0 ? 1.25 * digitSum / (n - p - 2) : 0.0;
    return s;
}

// The code as the pass writes it: box i goes to place i + M + N, behind the gap marks inserted
// so far among the letters (M) and among the digits (N).
struct CodeDraft {
    std::string code = std::string(11, '\0');
    int M = 0, N = 0;
    void Put(int i, char ch) {
        const int position = i + M + N;
        if (position >= 0 && position < static_cast<int>(code.size()))
            code[position] = ch;
    }
};

// A crop whose strokes cover less than a quarter of it.
bool IsThin(const cv::Mat& crop) {
    const double white = imaging::SumFirstChannel(crop) / 255.0;
    return white / (static_cast<double>(crop.cols) * crop.rows) < 0.25;
}

// The five ranks of a crop by the letter or the digit codebook (a missing one reads no class).
BoxReading ClassifyBox(const cv::Rect& r, const cv::Mat& crop, bool letter,
                       const ReferenceData& data) {
    const classifier::CLvqCluster* codebook = letter ? data.letters : data.digits;
    BoxReading reading;
    reading.box = r;
    reading.letterPosition = letter;
    reading.crop = crop;
    static const classifier::CLvqCluster kNoCodebook;
    reading.ranks =
        classifier::ClassifyCharacter(codebook != nullptr ? *codebook : kNoCodebook, crop, !letter);
    return reading;
}

// The box outlined on the region with its first rank beside it.
void DrawBox(cv::Mat& region, const BoxReading& reading, const PassStyle& style) {
    const cv::Rect& r = reading.box;
    const auto& ranks = reading.ranks.ranks;
    cv::rectangle(region, {r.x, r.y}, {r.x + r.width, r.y + r.height}, kBlack, 2, cv::LINE_8);
    cv::rectangle(region, {r.x, r.y}, {r.x + r.width, r.y + r.height},
                  reading.letterPosition ? kMagenta : style.digitBox, 1, cv::LINE_8);
    if (ranks[0].character != 0) {
        cv::putText(region, std::string(1, ranks[0].character), {r.x - 10, r.y + 10},
                    cv::FONT_HERSHEY_SIMPLEX, 0.6, kGreen, 2, cv::LINE_8);
    }
}

// Column i of the strip: the crop and its five ranks, the chosen one in yellow.
void DrawStripColumn(cv::Mat& strip, int i, const BoxReading& reading) {
    const cv::Mat& crop = reading.crop;
    if (crop.rows < 150) {
        cv::Mat colourCrop;
        cv::cvtColor(crop, colourCrop, cv::COLOR_GRAY2BGR);
        imaging::CopyInto(colourCrop, strip, {100 * i + 20, 10, crop.cols, crop.rows});
    }
    const auto& ranks = reading.ranks.ranks;
    for (int k = 0; k < classifier::kShownRanks; ++k) {
        char text[48];
        const char rc = ranks[k].character != 0 ? ranks[k].character : '-';
        std::snprintf(text, sizeof text, "%c %4.0f", rc, ranks[k].distance);
        cv::putText(strip, text, {100 * i + 12, 60 + 20 * k}, cv::FONT_HERSHEY_SIMPLEX, 0.5,
                    k == reading.ranks.chosenRank ? kYellow : kGreen, 1, cv::LINE_8);
    }
}

// Hands a classified crop to the samples and, when asked, saves it as a bitmap; sampleIndex
// counts the crops kept this way.
void KeepSample(const ReaderOptions& options, char ch, const cv::Mat& crop, int& sampleIndex) {
    if (!(options.saveSamples || options.samples != nullptr) || ch == 0)
        return;
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

// A spacing well above the mean after box i means a character is missing there: a circle on
// the region (red among the letters, green among the digits) and a "-" in the code.
void MarkGap(cv::Mat& region, const cv::Rect& r, int i, int n, int p, int vertical,
             const BoxSpacing& s, CodeDraft& draft) {
    if (!(i < n - 1 && n + draft.M + draft.N < 11))
        return;
    const int g = s.spacing[i];
    const cv::Point mid = vertical ? cv::Point(r.x + r.width / 2, r.y + r.height / 2 + g / 2)
                                   : cv::Point(r.x + r.width / 2 + g / 2, r.y + r.height / 2);
    if (i < p && g > s.letterGap && p + 1 + draft.M < 4) {
        cv::circle(region, mid, 3, kBlack, 3, cv::LINE_8);
        cv::circle(region, mid, 2, kRed, 3, cv::LINE_8);
        ++draft.M;
        draft.Put(i, '-');
    } else if (i > p && g > s.digitGap && (n - p - 1) + draft.N < 7) {
        cv::circle(region, mid, 3, kBlack, 3, cv::LINE_8);
        cv::circle(region, mid, 2, kGreen, 3, cv::LINE_8);
        ++draft.N;
        draft.Put(i, '-');
    }
}

}  // namespace

int ReadCharacterBoxes(cv::Mat& region, CBlobList& boxes, int vertical, int layoutCode,
                       const PassStyle& style, cv::Mat& strip, const ReferenceData& data,
                       const ReaderOptions& options, Reading& out) {
    out = Reading{};

    // 1. Prefix break: which boxes are letters, and which leading boxes are noise.
    const int p = PrefixBreak(boxes, vertical, layoutCode);

    // 2. Guide lines.
    DrawGuideLines(region, style);

    // 3, 4.
    strip.create(kStripHeight, kStripWidth, CV_8UC3);  // a caller may have let it go
    strip.setTo(0);
    const int n = std::min(boxes.Size(), 11);

    // 5. Gap thresholds from the mean spacing among the letters and among the digits.
    const BoxSpacing spacing = MeasureSpacing(boxes, n, p, vertical);

    CodeDraft draft;
    int thin = 0, sampleIndex = 0;
    double checkSum = 0.0;
    int checkValue = -1;
    for (int i = 0; i < n; ++i) {
        const cv::Mat crop = CutCharacter(boxes, i);
        if (crop.empty()) {
            draft.Put(i, '-');
            continue;
        }
        if (IsThin(crop))
            ++thin;
        BoxReading reading = ClassifyBox(boxes.rects[i], crop, i <= p, data);
        DrawBox(region, reading, style);

        const char ch = classifier::CategoryRule(i, p, reading.ranks.character());
        // A character without a class is written as "-" (a zero byte would end the code).
        reading.character = ch != 0 ? ch : '-';
        checkSum += classifier::CheckSumTerm(i, ch);
        if (i == 10)
            checkValue = classifier::CharToIsoValue(ch);

        DrawStripColumn(strip, i, reading);
        KeepSample(options, ch, crop, sampleIndex);
        draft.Put(i, reading.character);
        out.characters.push_back(reading);
        MarkGap(region, reading.box, i, n, p, vertical, spacing, draft);
    }

    // 7. Terminate, then validate.
    std::string& code = draft.code;
    const int marks = draft.M + draft.N;
    code.resize(static_cast<size_t>(std::clamp(n + marks, 0, 11)));
    static const classifier::COwnerPrefixList kNoPrefixes;
    const classifier::CodeVerdict verdict = classifier::ValidateCode(
        code, n, checkSum, checkValue, data.prefixes != nullptr ? *data.prefixes : kNoPrefixes);
    out.complete = verdict.success;
    if (classifier::CompletionApplies(n, marks, verdict.prefixPasses))
        classifier::CompleteCode(code);

    out.code = code;
    out.score = n - thin + marks;
    return out.score;
}

}  // namespace karvona::recognition
