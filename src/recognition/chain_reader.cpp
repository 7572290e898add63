#include "recognition/chain_reader.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <opencv2/imgproc.hpp>

#include "classifier/iso6346.hpp"
#include "recognition/check_digit_choice.hpp"
#include "recognition/net_choice.hpp"

namespace karvona::recognition {

namespace {

/// One way of binarising: the image enlarged by a factor or equalised, the local mean's window
/// and how far below the mean a stroke lies. Small windows keep close-set characters apart; the
/// enlarged image keeps the strokes of small characters whole; the equalised one (contrast
/// limited, tile by tile) lifts paint that differs from the door by less than the offset, as in
/// a shadow or on faded paint.
struct Binarisation {
    int factor;
    int window;
    double offset;
    bool equalised = false;
};
constexpr Binarisation kBinarisations[] = {
    {1, 11, 10}, {1, 15, 14}, {1, 25, 14}, {2, 21, 10}, {1, 15, 10, true}};
constexpr double kEqualiseClip = 2.0;
constexpr int kEqualiseTiles = 8;
/// The enlarged binarisation is for small images only (longer side at most this), whose
/// characters are few pixels high: on a 1024 x 768 image it costs one and a half times the rest.
constexpr int kEnlargeUpTo = 800;

/// A piece's box in whole pixels.
cv::Rect PixelBox(const cv::Rect2d& box) {
    return cv::Rect(cv::Point(int(std::lround(box.x)), int(std::lround(box.y))),
                    cv::Point(int(std::lround(box.br().x)), int(std::lround(box.br().y))));
}

/// Pieces whose boxes overlap more than this share of their union are one piece found twice.
constexpr double kSamePiece = 0.5;

double Overlap(const cv::Rect2d& a, const cv::Rect2d& b) {
    const double inter = (a & b).area();
    return inter <= 0.0 ? 0.0 : inter / (a.area() + b.area() - inter);
}

void AddComponents(const cv::Mat& binary, const Binarisation& b, bool light,
                   std::vector<ChainPiece>& out) {
    const int factor = b.factor;
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(binary, labels, stats, centroids, 8, CV_32S);
    for (int i = 1; i < n; ++i) {
        const int x = stats.at<int>(i, cv::CC_STAT_LEFT), y = stats.at<int>(i, cv::CC_STAT_TOP);
        const int w = stats.at<int>(i, cv::CC_STAT_WIDTH), h = stats.at<int>(i, cv::CC_STAT_HEIGHT);
        const int area = stats.at<int>(i, cv::CC_STAT_AREA);
        const double height = double(h) / factor;
        if (height < kChainLowest || height > kChainHighest || w < 0.08 * h || w > 1.2 * h ||
            area < 0.15 * w * h)
            continue;
        ChainPiece piece;
        piece.box = cv::Rect2d(double(x) / factor, double(y) / factor, double(w) / factor, height);
        piece.light = light;
        piece.equalised = b.equalised;
        const cv::Rect r(x, y, w, h);
        cv::compare(labels(r), cv::Scalar(i), piece.crop, cv::CMP_EQ);
        out.push_back(std::move(piece));
    }
}

/// The pieces that stand in some line across or down as long as an owner code (a code on two
/// lines starts with one), or in a line of three across under such a line (the middle line of a
/// code on three), in the order of x. The others cannot be read as part of a code, and the
/// network need not read them.
std::vector<ChainPiece> KeepChainable(std::vector<ChainPiece> pieces) {
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const ChainPiece& a, const ChainPiece& b) { return a.box.x < b.box.x; });
    const std::vector<int> across = LongestLines(pieces, ChainDirection::kAcross);
    const std::vector<int> down = LongestLines(pieces, ChainDirection::kDown);
    std::vector<bool> keep(pieces.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
        const int longest = std::max(across[i], down[i]);
        pieces[i].inLongLine = longest >= classifier::kCodeLength;
        keep[i] = longest >= kOwnerLineLength;
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (keep[i] || across[i] != kMiddleLineLength)
            continue;
        for (size_t j = 0; j < pieces.size() && !keep[i]; ++j)
            keep[i] = across[j] >= kOwnerLineLength && OnLineUnder(pieces[j], pieces[i]);
    }
    std::vector<ChainPiece> kept;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (keep[i])
            kept.push_back(std::move(pieces[i]));
    }
    return kept;
}

}  // namespace

std::vector<ChainPiece> FindChainPieces(const cv::Mat& gray) {
    std::vector<ChainPiece> pieces;
    if (gray.empty() || gray.type() != CV_8UC1)
        return pieces;
    cv::Mat enlarged, equalised, binary, inverse;
    for (const Binarisation& b : kBinarisations) {
        const cv::Mat* image = &gray;
        if (b.factor != 1 && std::max(gray.cols, gray.rows) > kEnlargeUpTo)
            continue;
        if (b.equalised) {
            cv::createCLAHE(kEqualiseClip, cv::Size(kEqualiseTiles, kEqualiseTiles))
                ->apply(gray, equalised);
            image = &equalised;
        }
        if (b.factor != 1) {
            if (enlarged.empty())
                cv::resize(gray, enlarged, cv::Size(), b.factor, b.factor, cv::INTER_CUBIC);
            image = &enlarged;
        }
        for (const bool light : {false, true}) {
            if (light)
                cv::bitwise_not(*image, inverse);
            cv::adaptiveThreshold(light ? inverse : *image, binary, 255, cv::ADAPTIVE_THRESH_MEAN_C,
                                  cv::THRESH_BINARY_INV, b.window, b.offset);
            AddComponents(binary, b, light, pieces);
        }
    }
    return KeepChainable(std::move(pieces));
}

namespace {

/// Reads every piece with the network, in the order OnePerPlace keeps them: a piece of a line
/// of eleven before any other, then the one the network reads most surely.
void ReadEveryPiece(classifier::CharacterNet& net, std::vector<ChainPiece>& pieces) {
    std::vector<cv::Mat> crops;
    crops.reserve(pieces.size());
    for (const ChainPiece& piece : pieces)
        crops.push_back(piece.crop);
    const std::vector<classifier::NetProbabilities> read = net.Read(crops);
    for (size_t i = 0; i < pieces.size(); ++i) {
        pieces[i].net = read[i];
        pieces[i].top = *std::max_element(read[i].begin(), read[i].end());
    }
    std::stable_sort(pieces.begin(), pieces.end(), [](const ChainPiece& a, const ChainPiece& b) {
        if (a.inLongLine != b.inLongLine)
            return a.inLongLine;
        return a.top > b.top;
    });
}

/// Of read pieces (in ReadEveryPiece's order) that overlap, the first; with or without the
/// equalised image's pieces.
std::vector<ChainPiece> OnePerPlace(const std::vector<ChainPiece>& pieces, bool withEqualised) {
    std::vector<ChainPiece> kept;
    for (const ChainPiece& piece : pieces) {
        if (piece.equalised && !withEqualised)
            continue;
        const bool twice = std::any_of(kept.begin(), kept.end(), [&](const ChainPiece& k) {
            return Overlap(k.box, piece.box) > kSamePiece;
        });
        if (!twice)
            kept.push_back(piece);
    }
    return kept;
}

}  // namespace

void ReadPieces(classifier::CharacterNet& net, std::vector<ChainPiece>& pieces) {
    ReadEveryPiece(net, pieces);
    pieces = OnePerPlace(pieces, true);
}

namespace {

/// Where a code's lines start, by the number of its lines: the owner code on the first, and on
/// three lines the serial's first three digits on the second.
bool StartsLine(int i, int lines) {
    return i == 0 || (lines >= 2 && i == kOwnerLineLength) ||
           (lines >= 3 && i == kOwnerLineLength + kMiddleLineLength);
}

bool Even(const std::vector<double>& pitches) {
    if (pitches.size() < 2)
        return true;
    const auto [least, most] = std::minmax_element(pitches.begin(), pitches.end());
    return *least > 0.0 && *most <= kUnevenPitch * *least;
}

}  // namespace

bool EvenlySpaced(const std::vector<cv::Rect>& boxes, ChainShape shape) {
    if (boxes.size() != size_t(classifier::kCodeLength))
        return false;
    const bool down = shape.direction == ChainDirection::kDown;
    const auto along = [&](size_t i) {
        const cv::Rect& b = boxes[i];
        return down ? b.y + b.height / 2.0 : b.x + b.width / 2.0;
    };
    std::vector<double> owner, serial;
    const int checkDigit = classifier::kCodeLength - 1;
    const int groupGap = kOwnerLineLength + kMiddleLineLength;  // the digit after the gap
    for (int i = 0; i + 1 < checkDigit; ++i) {
        // The gap after the owner code is wide on one line, and no pitch on more.
        if (i + 1 == kOwnerLineLength || StartsLine(i + 1, shape.lines) ||
            (shape.serialInGroups && i + 1 == groupGap))
            continue;
        const double pitch = along(size_t(i) + 1) - along(size_t(i));
        (i + 1 < kOwnerLineLength ? owner : serial).push_back(pitch);
    }
    if (!Even(owner) || !Even(serial) || serial.empty())
        return false;
    std::nth_element(serial.begin(), serial.begin() + serial.size() / 2, serial.end());
    const double usual = serial[serial.size() / 2];
    const auto pitchBefore = [&](int i) { return along(size_t(i)) - along(size_t(i) - 1); };
    return pitchBefore(checkDigit) >= kCloseCheckDigit * usual &&
           (!shape.serialInGroups || pitchBefore(groupGap) >= usual);
}

bool EvenlySpaced(const Reading& reading, ChainShape shape) {
    std::vector<cv::Rect> boxes;
    for (const BoxReading& box : reading.characters)
        boxes.push_back(box.box);
    return EvenlySpaced(boxes, shape);
}

namespace {

/// Adds a chain's code to codes when the check digit and the owner list accept it; a code found
/// again keeps the chain the network reads more surely.
void OfferChain(const std::vector<ChainPiece>& pieces, const std::vector<int>& chain,
                ChainShape shape, const classifier::COwnerPrefixList& prefixes,
                std::map<std::string, size_t>& seen, std::vector<ChainCode>& codes) {
    ChainCode found;
    found.shape = shape;
    found.code.assign(classifier::kCodeLength, '-');
    found.weakest = 1.0;
    for (int i = 0; i < classifier::kCodeLength; ++i) {
        const ChainPiece& piece = pieces[static_cast<size_t>(chain[static_cast<size_t>(i)])];
        BoxReading box;
        box.box = PixelBox(piece.box);
        box.letterPosition = i < 4;
        box.crop = piece.crop;
        box.net = piece.net;
        box.netRead = true;
        box.character = NetCharacter(box, i);
        found.code[static_cast<size_t>(i)] = box.character != 0 ? box.character : '-';
        const int written = classifier::NetClassOf(box.character);
        found.weakest =
            std::min(found.weakest, written < 0 ? 0.0 : double(piece.net[size_t(written)]));
        found.reading.characters.push_back(std::move(box));
    }
    if (!ValidatesAsCode(found.code, prefixes))
        return;
    found.evenlySpaced = EvenlySpaced(found.reading, shape);
    const auto it = seen.find(found.code);
    if (it != seen.end()) {
        if (codes[it->second].weakest < found.weakest)
            codes[it->second] = std::move(found);
        return;
    }
    seen.emplace(found.code, codes.size());
    codes.push_back(std::move(found));
}

/// Offers the code of every chain of pieces: on one line, two or three, across or down.
void OfferChains(const std::vector<ChainPiece>& pieces,
                 const classifier::COwnerPrefixList& prefixes, std::map<std::string, size_t>& seen,
                 std::vector<ChainCode>& codes) {
    const auto offer = [&](const std::vector<std::vector<int>>& chains, ChainShape shape) {
        for (const std::vector<int>& chain : chains)
            OfferChain(pieces, chain, shape, prefixes, seen, codes);
    };
    for (const ChainDirection direction : {ChainDirection::kAcross, ChainDirection::kDown})
        offer(FindChains(pieces, direction), {direction, 1});
    for (const ChainDirection direction : {ChainDirection::kAcross, ChainDirection::kDown})
        offer(FindTwoLineChains(pieces, direction), {direction, 2});
    offer(FindThreeLineChains(pieces), {ChainDirection::kAcross, 3});
}

}  // namespace

std::vector<ChainCode> ReadChains(const cv::Mat& image, classifier::CharacterNet& net,
                                  const ReferenceData& data, std::vector<ChainPiece>* piecesOut) {
    std::vector<ChainCode> codes;
    if (image.empty() || image.depth() != CV_8U || data.prefixes == nullptr)
        return codes;
    cv::Mat gray = image;
    if (image.channels() == 3)
        cv::cvtColor(image, gray, cv::COLOR_BGR2GRAY);
    else if (image.channels() != 1)
        return codes;
    std::vector<ChainPiece> local;
    std::vector<ChainPiece>& pieces = piecesOut != nullptr ? *piecesOut : local;
    std::vector<ChainPiece> every = FindChainPieces(gray);
    ReadEveryPiece(net, every);
    pieces = OnePerPlace(every, true);
    std::map<std::string, size_t> seen;
    OfferChains(pieces, *data.prefixes, seen, codes);
    // Where the equalised image's pieces overlap the others they can take the place of the
    // right ones (a stroke joined to its neighbour reads surely as something else): with no
    // code found, the chains are sought again among the other binarisations' pieces alone.
    if (codes.empty() && std::any_of(pieces.begin(), pieces.end(),
                                     [](const ChainPiece& p) { return p.equalised; })) {
        std::vector<ChainPiece> unequalised = OnePerPlace(every, false);
        OfferChains(unequalised, *data.prefixes, seen, codes);
        if (!codes.empty())
            pieces = std::move(unequalised);  // the step view shows the pieces the codes are of
    }
    static const classifier::CLvqCluster kNoCodebook;
    for (ChainCode& c : codes) {
        c.reading.code = c.code;
        c.reading.complete = true;
        c.reading.score = classifier::kCodeLength;
        for (BoxReading& box : c.reading.characters) {
            const classifier::CLvqCluster* codebook =
                box.letterPosition ? data.letters : data.digits;
            box.ranks = classifier::ClassifyCharacter(codebook != nullptr ? *codebook : kNoCodebook,
                                                      box.crop, !box.letterPosition);
        }
    }
    std::stable_sort(codes.begin(), codes.end(),
                     [](const ChainCode& a, const ChainCode& b) { return a.weakest > b.weakest; });
    return codes;
}

cv::Mat DrawChains(const cv::Mat& image, const std::vector<ChainPiece>& pieces,
                   const std::vector<ChainCode>& codes) {
    cv::Mat view;
    if (image.empty() || image.depth() != CV_8U)
        return view;
    if (image.channels() == 1)
        cv::cvtColor(image, view, cv::COLOR_GRAY2BGR);
    else if (image.channels() == 3)
        view = image.clone();
    else
        return view;
    for (const ChainPiece& piece : pieces)
        cv::rectangle(view, PixelBox(piece.box), piece.light ? kLightPieceColour : kDarkPieceColour,
                      1);
    if (codes.empty() || codes.front().reading.characters.empty())
        return view;
    const Reading& chosen = codes.front().reading;
    cv::Rect all = chosen.characters.front().box;
    for (const BoxReading& box : chosen.characters) {
        cv::rectangle(view, box.box, kChainColour, 2);
        all |= box.box;
    }
    // Lettered at the characters' own height: a code down a post is tall but no wider than one.
    const double height = chosen.characters.front().box.height;
    cv::putText(view, codes.front().code, {all.x, std::max(12, all.y - 6)},
                cv::FONT_HERSHEY_SIMPLEX, std::max(0.5, height / 30.0), kChainColour, 2,
                cv::LINE_AA);
    return view;
}

}  // namespace karvona::recognition
