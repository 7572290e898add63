#include "recognition/reading_doubts.hpp"

#include <algorithm>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "classifier/iso6346.hpp"
#include "recognition/chain_reader.hpp"
#include "recognition/code_evidence.hpp"
#include "recognition/look_repairs.hpp"

namespace karvona::recognition {

float TwinOwnerNetShare(classifier::CharacterNet& net, const Reading& reading,
                        const std::string& code, const classifier::COwnerPrefixList& prefixes) {
    constexpr int kOwnerLetters = 3;
    const int boxes = std::min<int>(kOwnerLetters, static_cast<int>(reading.characters.size()));
    if (static_cast<int>(code.size()) <= kOwnerLetters)
        return 0.0f;
    struct Twin {
        int position;
        int twin;  // the twin's network class
    };
    std::vector<Twin> twins;  // owner letters with a twin that spells a listed owner
    for (int i = 0; i < boxes; ++i) {
        const char written = code[static_cast<size_t>(i)];
        for (int c = 10; c < classifier::kNetClassCount; ++c) {
            const char twin = classifier::kNetClasses[c];
            if (twin == written || !CheckDigitTwins(written, twin))
                continue;
            std::string owner = code.substr(0, kOwnerLetters + 1);
            owner[static_cast<size_t>(i)] = twin;
            if (prefixes.Contains(owner))
                twins.push_back({i, c});
        }
    }
    if (twins.empty())
        return 0.0f;
    std::vector<cv::Mat> crops;
    for (const Twin& t : twins) {
        const BoxReading& box = reading.characters[static_cast<size_t>(t.position)];
        crops.push_back(box.netRead ? cv::Mat() : box.crop);
    }
    const std::vector<classifier::NetProbabilities> read = net.Read(crops);
    float largest = 0.0f;
    for (size_t k = 0; k < twins.size(); ++k) {
        const BoxReading& box = reading.characters[static_cast<size_t>(twins[k].position)];
        const int written = classifier::NetClassOf(code[static_cast<size_t>(twins[k].position)]);
        if ((!box.netRead && box.crop.empty()) || written < 0)
            continue;
        const classifier::NetProbabilities& p = box.netRead ? box.net : read[k];
        const float a = p[static_cast<size_t>(twins[k].twin)];
        const float b = p[static_cast<size_t>(written)];
        if (a + b > 0.0f)
            largest = std::max(largest, a / (a + b));
    }
    return largest;
}

float GuidedNetProbability(const Reading& reading, const std::string& code) {
    float lowest = 1.0f;
    const size_t n = std::min({code.size(), reading.code.size(), reading.characters.size()});
    for (size_t i = 0; i < n; ++i) {
        const BoxReading& box = reading.characters[i];
        const int written = classifier::NetClassOf(code[i]);
        if (code[i] == reading.code[i] || !box.netRead || written < 0)
            continue;
        lowest = std::min(lowest, box.net[static_cast<size_t>(written)]);
    }
    return lowest;
}

bool HasTallBox(const Reading& reading) {
    if (reading.characters.size() != classifier::kCodeLength)
        return false;
    std::vector<int> heights;
    for (const BoxReading& box : reading.characters)
        heights.push_back(box.box.height);
    std::vector<int> sorted = heights;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const int median = sorted[sorted.size() / 2];
    return std::any_of(heights.begin(), heights.end(),
                       [median](int h) { return 4 * h > 5 * median; });
}

bool IsEmptyFrame(const cv::Mat& crop) {
    if (crop.empty() || crop.type() != CV_8UC1 || !IsFrameMask(crop))
        return false;
    // Within the ring and a little margin inside it: a digit leaves strokes there, an empty
    // frame at most a few specks of noise.
    const int h = crop.rows, w = crop.cols;
    const int inset = std::max(2, h / 7) + std::max(1, h / 12);
    if (w <= 2 * inset || h <= 2 * inset)
        return false;
    const cv::Rect inner(inset, inset, w - 2 * inset, h - 2 * inset);
    return cv::countNonZero(crop(inner)) <= inner.area() / 30;
}

bool CheckDigitIsEmptyFrame(const Reading& reading) {
    if (reading.characters.size() != classifier::kCodeLength)
        return false;
    return IsEmptyFrame(reading.characters[classifier::kCheckDigitPosition].crop);
}

bool CodeLineGoesOn(const cv::Mat& region, const Reading& reading, int layoutCode) {
    if (reading.characters.size() != classifier::kCodeLength || region.empty() ||
        region.depth() != CV_8U || layoutCode == 2 || layoutCode == 4 || layoutCode < 0)
        return false;
    cv::Mat gray = region;
    if (region.channels() == 3)
        cv::cvtColor(region, gray, cv::COLOR_BGR2GRAY);
    else if (region.channels() != 1)
        return false;
    const std::vector<BoxReading>& boxes = reading.characters;
    std::vector<int> heights;
    for (const BoxReading& box : boxes)
        heights.push_back(box.box.height);
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    const int h = heights[heights.size() / 2];
    // The pitch of the serial digits, which stand on the last line.
    std::vector<int> pitches;
    for (size_t i = 5; i < boxes.size(); ++i) {
        const int d = boxes[i].box.x - boxes[i - 1].box.x;
        if (d > 0)
            pitches.push_back(d);
    }
    if (h < 8 || pitches.size() < 3)
        return false;
    std::nth_element(pitches.begin(), pitches.begin() + pitches.size() / 2, pitches.end());
    const int pitch = pitches[pitches.size() / 2];
    const cv::Rect last = boxes.back().box;
    const cv::Rect zone = cv::Rect(last.br().x + 1, last.y - h / 2, pitch * 5 / 2 + h, 2 * h) &
                          cv::Rect(0, 0, gray.cols, gray.rows);
    if (zone.width < h / 2 || zone.height < h)
        return false;
    // The paint's side: what the last box holds against the panel around it (the box grown
    // by a third of a character), and the level between the two.
    const cv::Rect frameOf = cv::Rect(last.x - h / 3, last.y - h / 3, last.width + 2 * (h / 3),
                                      last.height + 2 * (h / 3)) &
                             cv::Rect(0, 0, gray.cols, gray.rows);
    const cv::Rect inLast = last & frameOf;
    if (inLast.area() == 0 || frameOf.area() <= inLast.area())
        return false;
    const double inside = cv::sum(gray(inLast))[0];
    const double ring = (cv::sum(gray(frameOf))[0] - inside) / (frameOf.area() - inLast.area());
    cv::Mat ink;
    const double level =
        cv::threshold(gray(frameOf), ink, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    const bool bright = inside / inLast.area() > ring;
    cv::Mat paint;
    cv::threshold(gray(zone), paint, level, 255,
                  bright ? cv::THRESH_BINARY : cv::THRESH_BINARY_INV);
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(paint, labels, stats, centroids, 8, CV_32S);
    const int lineTop = last.y - zone.y, lineBottom = last.br().y - zone.y;
    for (int i = 1; i < n; ++i) {
        const int x = stats.at<int>(i, cv::CC_STAT_LEFT), y = stats.at<int>(i, cv::CC_STAT_TOP);
        const int w = stats.at<int>(i, cv::CC_STAT_WIDTH),
                  ht = stats.at<int>(i, cv::CC_STAT_HEIGHT);
        if (10 * ht < 9 * h || 2 * ht > 3 * h || w > h || 5 * w < h)
            continue;
        // Touching the zone's edge (where the region goes on): part of something larger.
        const bool top = y == 0 && zone.y > 0;
        const bool bottom = y + ht >= zone.height && zone.br().y < gray.rows;
        const bool right = x + w >= zone.width && zone.br().x < gray.cols;
        if (x == 0 || x > pitch * 5 / 2 || top || bottom || right)
            continue;
        const int overlap = std::min(y + ht, lineBottom) - std::max(y, lineTop);
        if (5 * overlap >= 4 * std::min(ht, last.height))
            return true;
    }
    return false;
}

bool UnevenlySpaced(const Reading& reading, int layoutCode) {
    if (reading.characters.size() != classifier::kCodeLength || layoutCode < 0 || layoutCode > 5)
        return false;
    ChainShape shape;
    shape.direction =
        layoutCode == 2 || layoutCode == 4 ? ChainDirection::kDown : ChainDirection::kAcross;
    shape.lines = layoutCode == 5 ? 3 : layoutCode >= 3 ? 2 : 1;
    if (EvenlySpaced(reading, shape))
        return false;
    if (shape.lines != 1)
        return true;
    shape.serialInGroups = true;
    return !EvenlySpaced(reading, shape);
}

}  // namespace karvona::recognition
