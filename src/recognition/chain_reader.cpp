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

/// The chain's geometry, in heights of the piece before: a gap of up to narrowGap is the
/// spacing of a word, up to wideGap the break after the owner code or before the check digit
/// (at most kWideGaps of them); the next piece is kHeightRatio times as high at most (or as low),
/// and its centre at most centreShift heights off the line. Characters stacked down a post stand
/// closer than letters of a word (a fifth of their height on the training photographs, a third
/// at most) and their centres wander more: a narrow character beside a wide one, a slope.
struct ChainGeometry {
    double narrowGap;
    double wideGap;
    double centreShift;
};
constexpr ChainGeometry kAcrossGeometry{0.9, 2.7, 0.3};
constexpr ChainGeometry kDownGeometry{0.6, 1.5, 0.35};
constexpr double kOverlap = 0.15;
constexpr int kWideGaps = 2;
constexpr double kHeightRatio = 1.33;

const ChainGeometry& GeometryOf(ChainDirection direction) {
    return direction == ChainDirection::kDown ? kDownGeometry : kAcrossGeometry;
}

/// Where a piece starts and ends along the chain's direction.
double Start(const cv::Rect2d& box, ChainDirection direction) {
    return direction == ChainDirection::kDown ? box.y : box.x;
}
double Length(const cv::Rect2d& box, ChainDirection direction) {
    return direction == ChainDirection::kDown ? box.height : box.width;
}
/// A piece's centre across the chain's direction.
double Across(const cv::Rect2d& box, ChainDirection direction) {
    return direction == ChainDirection::kDown ? box.x + box.width / 2 : box.y + box.height / 2;
}

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
bool Follows(const ChainPiece& a, const ChainPiece& b, ChainDirection direction, bool& wide) {
    const ChainGeometry& g = GeometryOf(direction);
    const double h = a.box.height;
    const double start = Start(b.box, direction);
    const double gap = start - (Start(a.box, direction) + Length(a.box, direction));
    if (gap < -kOverlap * h || gap > g.wideGap * h ||
        start <= Start(a.box, direction) + 0.5 * Length(a.box, direction))
        return false;
    const double ratio = b.box.height / h;
    if (ratio < 1.0 / kHeightRatio || ratio > kHeightRatio)
        return false;
    const double shift = Across(b.box, direction) - Across(a.box, direction);
    wide = gap > g.narrowGap * h;
    return std::abs(shift) <= g.centreShift * h;
}

/// The pieces' indices in the order of the chain's direction.
std::vector<int> OrderAlong(const std::vector<ChainPiece>& pieces, ChainDirection direction) {
    std::vector<int> order(pieces.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return Start(pieces[static_cast<size_t>(a)].box, direction) <
               Start(pieces[static_cast<size_t>(b)].box, direction);
    });
    return order;
}

/// Per place in an order along the direction: the later places whose pieces may follow
/// (Follows), with whether the gap is a wide one.
using Successors = std::vector<std::vector<std::pair<int, bool>>>;
Successors SuccessorsOf(const std::vector<ChainPiece>& pieces, const std::vector<int>& order,
                        ChainDirection direction) {
    const double wideGap = GeometryOf(direction).wideGap;
    const size_t n = order.size();
    Successors next(n);
    for (size_t i = 0; i < n; ++i) {
        const ChainPiece& a = pieces[static_cast<size_t>(order[i])];
        const double end = Start(a.box, direction) + Length(a.box, direction);
        for (size_t j = i + 1; j < n; ++j) {
            const ChainPiece& b = pieces[static_cast<size_t>(order[j])];
            if (Start(b.box, direction) > end + wideGap * a.box.height)
                break;
            bool wide = false;
            if (Follows(a, b, direction, wide))
                next[i].emplace_back(static_cast<int>(j), wide);
        }
    }
    return next;
}

/// Per piece, the longest line along the direction that Follows allows and the piece stands in
/// (the wide gaps not counted): the longest such line before it and after it.
std::vector<int> LongestLines(const std::vector<ChainPiece>& pieces, ChainDirection direction) {
    const size_t n = pieces.size();
    const std::vector<int> order = OrderAlong(pieces, direction);
    std::vector<int> before(n, 1), after(n, 1);
    const Successors next = SuccessorsOf(pieces, order, direction);
    for (size_t i = 0; i < n; ++i) {
        for (const auto& [j, wide] : next[i])
            before[static_cast<size_t>(j)] =
                std::max(before[static_cast<size_t>(j)], before[i] + 1);
    }
    for (size_t i = n; i-- > 0;) {
        for (const auto& [j, wide] : next[i])
            after[i] = std::max(after[i], after[static_cast<size_t>(j)] + 1);
    }
    std::vector<int> longest(n);
    for (size_t i = 0; i < n; ++i)
        longest[static_cast<size_t>(order[i])] = before[i] + after[i] - 1;
    return longest;
}

/// The pieces that stand in some line across or down as long as an owner code (a code on two
/// lines starts with one), in the order of x. The others cannot be read as part of a code, and
/// the network need not read them.
std::vector<ChainPiece> KeepChainable(std::vector<ChainPiece> pieces) {
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const ChainPiece& a, const ChainPiece& b) { return a.box.x < b.box.x; });
    constexpr int kShortest = classifier::kCategoryPosition + 1;
    const std::vector<int> across = LongestLines(pieces, ChainDirection::kAcross);
    const std::vector<int> down = LongestLines(pieces, ChainDirection::kDown);
    std::vector<ChainPiece> kept;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const int longest = std::max(across[i], down[i]);
        pieces[i].inLongLine = longest >= classifier::kCodeLength;
        if (longest >= kShortest)
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
    std::stable_sort(pieces.begin(), pieces.end(), [](const ChainPiece& a, const ChainPiece& b) {
        if (a.inLongLine != b.inLongLine)
            return a.inLongLine;
        return a.top > b.top;
    });
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

namespace {

/// A run of pieces along one line: their indices in order and the network's log-probability of
/// the characters allowed at their code positions.
struct Run {
    std::vector<int> pieces;
    double score = 0.0;
    int wideGaps = 0;
};

/// The pieces in the order of a direction, and who may follow whom.
struct Along {
    std::vector<int> order;
    Successors next;
};

Along AlongOf(const std::vector<ChainPiece>& pieces, ChainDirection direction) {
    Along along;
    along.order = OrderAlong(pieces, direction);
    along.next = SuccessorsOf(pieces, along.order, direction);
    return along;
}

/// For every piece that can end one, the runs of `length` (two or more) pieces along the
/// direction that stand at code positions first.., one per count of wide gaps (at most
/// kWideGaps): the run whose characters the network reads most probably as the characters
/// allowed there.
std::vector<Run> FindRuns(const std::vector<ChainPiece>& pieces, const Along& along, int first,
                          int length) {
    const int n = static_cast<int>(pieces.size());
    const std::vector<int>& order = along.order;
    const Successors& next = along.next;
    // The best run to each (piece, position, wide gaps so far): its score and the state before.
    struct State {
        double score = -1e300;
        int from = -1;
    };
    const auto L = static_cast<size_t>(length);
    auto at = [&](int piece, int position, int wide) {
        return (static_cast<size_t>(piece) * L + static_cast<size_t>(position)) * (kWideGaps + 1) +
               static_cast<size_t>(wide);
    };
    std::vector<State> best(static_cast<size_t>(n) * L * (kWideGaps + 1));
    std::vector<double> scores(static_cast<size_t>(n) * L);
    for (int i = 0; i < n; ++i) {
        for (int p = 0; p < length; ++p)
            scores[static_cast<size_t>(i) * L + static_cast<size_t>(p)] = PositionScore(
                pieces[static_cast<size_t>(order[static_cast<size_t>(i)])], first + p);
        best[at(i, 0, 0)].score = scores[static_cast<size_t>(i) * L];
    }
    for (int p = 0; p + 1 < length; ++p) {
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
                        s.score + scores[static_cast<size_t>(j) * L + static_cast<size_t>(p + 1)];
                    State& t = best[at(j, p + 1, w2)];
                    if (score > t.score) {
                        t.score = score;
                        t.from = static_cast<int>(at(i, p, w));
                    }
                }
            }
        }
    }
    std::vector<Run> runs;
    for (int i = 0; i < n; ++i) {
        for (int w = 0; w <= kWideGaps; ++w) {
            size_t state = at(i, length - 1, w);
            if (best[state].from < 0)
                continue;
            Run run;
            run.score = best[state].score;
            run.wideGaps = w;
            run.pieces.resize(L);
            for (int p = length - 1; p >= 0; --p) {
                const int piece = static_cast<int>(state / ((kWideGaps + 1) * L));
                run.pieces[static_cast<size_t>(p)] = order[static_cast<size_t>(piece)];
                if (p > 0)
                    state = static_cast<size_t>(best[state].from);
            }
            runs.push_back(std::move(run));
        }
    }
    return runs;
}

/// Where the second line of a code on two lines starts, in heights of the first line's first
/// character: lines across stand one under the other, their first characters one above the
/// other; columns down stand side by side, their first characters level.
constexpr double kNextLineNearest = 1.05;
constexpr double kNextLineFarthest = 2.6;
constexpr double kNextColumnNearest = 0.9;
constexpr double kNextColumnFarthest = 3.5;
constexpr double kLineStartShift = 0.8;
constexpr double kColumnStartShift = 0.5;

/// Whether some piece that the network reads as a character (kWrittenBelief or more) stands
/// beside `at` at the spacing of a word, after it along the direction (or before it): a run that
/// goes on so is part of a longer line, such as the camera's caption and time stamp, not a line
/// of a code. Stray bits of paint and corrugation do not count.
constexpr float kWrittenBelief = 0.5f;

bool GoesOn(const std::vector<ChainPiece>& pieces, int at, ChainDirection direction, bool after) {
    const ChainPiece& a = pieces[static_cast<size_t>(at)];
    for (size_t i = 0; i < pieces.size(); ++i) {
        bool wide = false;
        if (static_cast<int>(i) != at && pieces[i].top >= kWrittenBelief &&
            (after ? Follows(a, pieces[i], direction, wide)
                   : Follows(pieces[i], a, direction, wide)) &&
            !wide)
            return true;
    }
    return false;
}

/// Whether a run stands as a line of its own: nothing goes on before or after it.
bool StandsAlone(const std::vector<ChainPiece>& pieces, const Run& run, ChainDirection direction) {
    return !GoesOn(pieces, run.pieces.front(), direction, false) &&
           !GoesOn(pieces, run.pieces.back(), direction, true);
}

/// Whether a line starting at b may be the line after one starting at a.
bool NextLine(const ChainPiece& a, const ChainPiece& b, ChainDirection direction) {
    const double h = a.box.height;
    const double ratio = b.box.height / h;
    if (ratio < 1.0 / kHeightRatio || ratio > kHeightRatio)
        return false;
    if (direction == ChainDirection::kAcross) {
        const double down = (b.box.y + b.box.height / 2) - (a.box.y + h / 2);
        return down >= kNextLineNearest * h && down <= kNextLineFarthest * h &&
               std::abs(b.box.x - a.box.x) <= kLineStartShift * h;
    }
    const double right = (b.box.x + b.box.width / 2) - (a.box.x + a.box.width / 2);
    return right >= kNextColumnNearest * h && right <= kNextColumnFarthest * h &&
           std::abs(b.box.y - a.box.y) <= kColumnStartShift * h;
}

}  // namespace

std::vector<std::vector<int>> FindChains(const std::vector<ChainPiece>& pieces,
                                         ChainDirection direction) {
    std::vector<std::vector<int>> chains;
    for (Run& run : FindRuns(pieces, AlongOf(pieces, direction), 0, classifier::kCodeLength))
        chains.push_back(std::move(run.pieces));
    return chains;
}

std::vector<std::vector<int>> FindTwoLineChains(const std::vector<ChainPiece>& pieces,
                                                ChainDirection direction) {
    constexpr int kOwner = classifier::kCategoryPosition + 1;
    const Along along = AlongOf(pieces, direction);
    const std::vector<Run> owners = FindRuns(pieces, along, 0, kOwner);
    const std::vector<Run> serials =
        FindRuns(pieces, along, kOwner, classifier::kCodeLength - kOwner);
    // Per owner line, the serial line that follows it and the network reads most probably. The
    // owner code is written as one word; either line going on makes it a line of some other
    // marking.
    std::vector<const Run*> lines;
    for (const Run& serial : serials) {
        if (StandsAlone(pieces, serial, direction))
            lines.push_back(&serial);
    }
    std::vector<std::vector<int>> chains;
    for (const Run& owner : owners) {
        if (owner.wideGaps > 0 || !StandsAlone(pieces, owner, direction))
            continue;
        const ChainPiece& start = pieces[static_cast<size_t>(owner.pieces.front())];
        const Run* chosen = nullptr;
        for (const Run* line : lines) {
            const Run& serial = *line;
            const bool shared =
                std::any_of(serial.pieces.begin(), serial.pieces.end(), [&](int piece) {
                    return std::find(owner.pieces.begin(), owner.pieces.end(), piece) !=
                           owner.pieces.end();
                });
            if (!shared &&
                NextLine(start, pieces[static_cast<size_t>(serial.pieces.front())], direction) &&
                (chosen == nullptr || serial.score > chosen->score))
                chosen = &serial;
        }
        if (chosen == nullptr)
            continue;
        std::vector<int> chain = owner.pieces;
        chain.insert(chain.end(), chosen->pieces.begin(), chosen->pieces.end());
        chains.push_back(std::move(chain));
    }
    return chains;
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
    const auto it = seen.find(found.code);
    if (it != seen.end()) {
        if (codes[it->second].weakest < found.weakest)
            codes[it->second] = std::move(found);
        return;
    }
    seen.emplace(found.code, codes.size());
    codes.push_back(std::move(found));
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
    pieces = FindChainPieces(gray);
    ReadPieces(net, pieces);
    std::map<std::string, size_t> seen;
    for (const bool twoLines : {false, true}) {
        for (const ChainDirection direction : {ChainDirection::kAcross, ChainDirection::kDown}) {
            const std::vector<std::vector<int>> chains =
                twoLines ? FindTwoLineChains(pieces, direction) : FindChains(pieces, direction);
            for (const std::vector<int>& chain : chains)
                OfferChain(pieces, chain, {direction, twoLines}, *data.prefixes, seen, codes);
        }
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
