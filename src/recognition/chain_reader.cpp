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

/// One way of binarising: the image enlarged by a factor, the local mean's window and how far
/// below the mean a stroke lies. Small windows keep close-set characters apart; the enlarged
/// image keeps the strokes of small characters whole.
struct Binarisation {
    int factor;
    int window;
    double offset;
};
constexpr Binarisation kBinarisations[] = {{1, 11, 10}, {1, 15, 14}, {1, 25, 14}, {2, 21, 10}};
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

/// The chain's geometry, in heights of the piece before: a gap of up to kNarrowGap is the
/// spacing of a word, up to kWideGap the break after the owner code or before the check digit
/// (at most kWideGaps of them); the next piece is kHeightRatio times as high at most (or as low),
/// and its centre at most kCentreShift heights above or below.
constexpr double kOverlap = 0.15;
constexpr double kNarrowGap = 0.9;
constexpr double kWideGap = 2.7;
constexpr int kWideGaps = 2;
constexpr double kHeightRatio = 1.33;
constexpr double kCentreShift = 0.3;

double Overlap(const cv::Rect2d& a, const cv::Rect2d& b) {
    const double inter = (a & b).area();
    return inter <= 0.0 ? 0.0 : inter / (a.area() + b.area() - inter);
}

void AddComponents(const cv::Mat& binary, int factor, bool light, std::vector<ChainPiece>& out) {
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
        const cv::Rect r(x, y, w, h);
        cv::compare(labels(r), cv::Scalar(i), piece.crop, cv::CMP_EQ);
        out.push_back(std::move(piece));
    }
}

/// The network's log-probability of the most probable character allowed at a code position.
double PositionScore(const ChainPiece& piece, int position) {
    float best = 0.0f;
    for (int c = 0; c < classifier::kNetClassCount; ++c) {
        if (AllowedAt(classifier::kNetClasses[c], position))
            best = std::max(best, piece.net[static_cast<size_t>(c)]);
    }
    return std::log(best + 1e-6);
}

/// Whether b may follow a in a chain, and whether the gap between them is a wide one.
bool Follows(const ChainPiece& a, const ChainPiece& b, bool& wide) {
    const double h = a.box.height;
    const double gap = b.box.x - (a.box.x + a.box.width);
    if (gap < -kOverlap * h || gap > kWideGap * h || b.box.x <= a.box.x + 0.5 * a.box.width)
        return false;
    const double ratio = b.box.height / h;
    if (ratio < 1.0 / kHeightRatio || ratio > kHeightRatio)
        return false;
    const double shift = (b.box.y + b.box.height / 2) - (a.box.y + h / 2);
    wide = gap > kNarrowGap * h;
    return std::abs(shift) <= kCentreShift * h;
}

/// The pieces' indices in the order of x.
std::vector<int> OrderByX(const std::vector<ChainPiece>& pieces) {
    std::vector<int> order(pieces.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return pieces[static_cast<size_t>(a)].box.x < pieces[static_cast<size_t>(b)].box.x;
    });
    return order;
}

/// Per place in an order by x: the later places whose pieces may follow (Follows), with whether
/// the gap is a wide one.
using Successors = std::vector<std::vector<std::pair<int, bool>>>;
Successors SuccessorsOf(const std::vector<ChainPiece>& pieces, const std::vector<int>& order) {
    const size_t n = order.size();
    Successors next(n);
    for (size_t i = 0; i < n; ++i) {
        const ChainPiece& a = pieces[static_cast<size_t>(order[i])];
        for (size_t j = i + 1; j < n; ++j) {
            const ChainPiece& b = pieces[static_cast<size_t>(order[j])];
            if (b.box.x > a.box.x + a.box.width + kWideGap * a.box.height)
                break;
            bool wide = false;
            if (Follows(a, b, wide))
                next[i].emplace_back(static_cast<int>(j), wide);
        }
    }
    return next;
}

/// The pieces that stand in some line of eleven that Follows allows (the wide gaps not counted):
/// the longest such line before a piece and after it, found in the order of x. The others cannot
/// be read as part of a code, and the network need not read them.
std::vector<ChainPiece> KeepChainable(std::vector<ChainPiece> pieces) {
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const ChainPiece& a, const ChainPiece& b) { return a.box.x < b.box.x; });
    const size_t n = pieces.size();
    std::vector<int> before(n, 1), after(n, 1);
    const Successors next = SuccessorsOf(pieces, OrderByX(pieces));
    for (size_t i = 0; i < n; ++i) {
        for (const auto& [j, wide] : next[i])
            before[static_cast<size_t>(j)] =
                std::max(before[static_cast<size_t>(j)], before[i] + 1);
    }
    for (size_t i = n; i-- > 0;) {
        for (const auto& [j, wide] : next[i])
            after[i] = std::max(after[i], after[static_cast<size_t>(j)] + 1);
    }
    std::vector<ChainPiece> kept;
    for (size_t i = 0; i < n; ++i) {
        if (before[i] + after[i] - 1 >= classifier::kCodeLength)
            kept.push_back(std::move(pieces[i]));
    }
    return kept;
}

}  // namespace

std::vector<ChainPiece> FindChainPieces(const cv::Mat& gray) {
    std::vector<ChainPiece> pieces;
    if (gray.empty() || gray.type() != CV_8UC1)
        return pieces;
    cv::Mat enlarged, binary, inverse;
    for (const Binarisation& b : kBinarisations) {
        const cv::Mat* image = &gray;
        if (b.factor != 1 && std::max(gray.cols, gray.rows) > kEnlargeUpTo)
            continue;
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
            AddComponents(binary, b.factor, light, pieces);
        }
    }
    return KeepChainable(std::move(pieces));
}

void ReadPieces(classifier::CharacterNet& net, std::vector<ChainPiece>& pieces) {
    std::vector<cv::Mat> crops;
    crops.reserve(pieces.size());
    for (const ChainPiece& piece : pieces)
        crops.push_back(piece.crop);
    const std::vector<classifier::NetProbabilities> read = net.Read(crops);
    for (size_t i = 0; i < pieces.size(); ++i) {
        pieces[i].net = read[i];
        pieces[i].top = *std::max_element(read[i].begin(), read[i].end());
    }
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const ChainPiece& a, const ChainPiece& b) { return a.top > b.top; });
    std::vector<ChainPiece> kept;
    for (ChainPiece& piece : pieces) {
        const bool twice = std::any_of(kept.begin(), kept.end(), [&](const ChainPiece& k) {
            return Overlap(k.box, piece.box) > kSamePiece;
        });
        if (!twice)
            kept.push_back(std::move(piece));
    }
    pieces = std::move(kept);
}

std::vector<std::vector<int>> FindChains(const std::vector<ChainPiece>& pieces) {
    const int n = static_cast<int>(pieces.size());
    const std::vector<int> order = OrderByX(pieces);
    const Successors next = SuccessorsOf(pieces, order);
    // The best chain to each (piece, position, wide gaps so far): its score and the state before.
    struct State {
        double score = -1e300;
        int from = -1;
    };
    constexpr int kCode = classifier::kCodeLength;
    auto at = [&](int piece, int position, int wide) {
        return (static_cast<size_t>(piece) * kCode + static_cast<size_t>(position)) *
                   (kWideGaps + 1) +
               static_cast<size_t>(wide);
    };
    std::vector<State> best(static_cast<size_t>(n) * kCode * (kWideGaps + 1));
    std::vector<std::array<double, kCode>> scores(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        for (int p = 0; p < kCode; ++p)
            scores[static_cast<size_t>(i)][static_cast<size_t>(p)] =
                PositionScore(pieces[static_cast<size_t>(order[static_cast<size_t>(i)])], p);
        best[at(i, 0, 0)].score = scores[static_cast<size_t>(i)][0];
    }
    for (int p = 0; p + 1 < kCode; ++p) {
        for (int i = 0; i < n; ++i) {
            for (int w = 0; w <= kWideGaps; ++w) {
                const State& s = best[at(i, p, w)];
                if (s.from < 0 && p > 0)
                    continue;
                if (p == 0 && w > 0)
                    continue;
                for (const auto& [j, wide] : next[static_cast<size_t>(i)]) {
                    const int w2 = w + (wide ? 1 : 0);
                    if (w2 > kWideGaps)
                        continue;
                    const double score =
                        s.score + scores[static_cast<size_t>(j)][static_cast<size_t>(p + 1)];
                    State& t = best[at(j, p + 1, w2)];
                    if (score > t.score) {
                        t.score = score;
                        t.from = static_cast<int>(at(i, p, w));
                    }
                }
            }
        }
    }
    std::vector<std::vector<int>> chains;
    for (int i = 0; i < n; ++i) {
        for (int w = 0; w <= kWideGaps; ++w) {
            size_t state = at(i, kCode - 1, w);
            if (best[state].from < 0)
                continue;
            std::vector<int> chain(kCode);
            for (int p = kCode - 1; p >= 0; --p) {
                const int piece = static_cast<int>(state / ((kWideGaps + 1) * kCode));
                chain[static_cast<size_t>(p)] = order[static_cast<size_t>(piece)];
                if (p > 0)
                    state = static_cast<size_t>(best[state].from);
            }
            chains.push_back(std::move(chain));
        }
    }
    return chains;
}

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
    pieces = FindChainPieces(gray);
    ReadPieces(net, pieces);
    std::map<std::string, size_t> seen;
    for (const std::vector<int>& chain : FindChains(pieces)) {
        ChainCode found;
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
        if (!ValidatesAsCode(found.code, *data.prefixes))
            continue;
        const auto it = seen.find(found.code);
        if (it != seen.end()) {
            if (codes[it->second].weakest < found.weakest)
                codes[it->second] = std::move(found);
            continue;
        }
        seen.emplace(found.code, codes.size());
        codes.push_back(std::move(found));
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
    cv::putText(view, codes.front().code, {all.x, std::max(12, all.y - 6)},
                cv::FONT_HERSHEY_SIMPLEX, std::max(0.5, all.height / 30.0), kChainColour, 2,
                cv::LINE_AA);
    return view;
}

}  // namespace karvona::recognition
