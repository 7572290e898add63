#include "recognition/chain_lines.hpp"

#include <algorithm>
#include <cmath>

#include "classifier/iso6346.hpp"
#include "recognition/net_choice.hpp"

namespace karvona::recognition {

namespace {

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

/// Whether b is of a height with a and stands on the line across under a's, starting within
/// `shift` heights of it.
bool OnNextLineAcross(const ChainPiece& a, const ChainPiece& b, double shift) {
    const double h = a.box.height;
    const double ratio = b.box.height / h;
    const double down = (b.box.y + b.box.height / 2) - (a.box.y + h / 2);
    return ratio >= 1.0 / kHeightRatio && ratio <= kHeightRatio && down >= kNextLineNearest * h &&
           down <= kNextLineFarthest * h && std::abs(b.box.x - a.box.x) <= shift * h;
}

/// Whether a line starting at b may be the line after one starting at a.
bool NextLine(const ChainPiece& a, const ChainPiece& b, ChainDirection direction) {
    if (direction == ChainDirection::kAcross)
        return OnNextLineAcross(a, b, kLineStartShift);
    const double h = a.box.height;
    const double ratio = b.box.height / h;
    if (ratio < 1.0 / kHeightRatio || ratio > kHeightRatio)
        return false;
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

namespace {

/// Whether two runs share a piece.
bool Share(const Run& a, const Run& b) {
    return std::any_of(a.pieces.begin(), a.pieces.end(), [&](int piece) {
        return std::find(b.pieces.begin(), b.pieces.end(), piece) != b.pieces.end();
    });
}

/// The chains of a code on lines of the given lengths, in code order: per run of the first line,
/// the lines after it that follow each other (NextLine) and the network reads most probably.
/// Every line stands alone and all but the last have no wide gap: the owner code is written as
/// one word, and a line that goes on is a line of some other marking.
std::vector<std::vector<int>> FindLineChains(const std::vector<ChainPiece>& pieces,
                                             ChainDirection direction,
                                             const std::vector<int>& lengths) {
    const Along along = AlongOf(pieces, direction);
    const size_t k = lengths.size();
    std::vector<std::vector<Run>> lines(k);
    int first = 0;
    for (size_t l = 0; l < k; ++l) {
        for (Run& run : FindRuns(pieces, along, first, lengths[l])) {
            if ((l + 1 == k || run.wideGaps == 0) && StandsAlone(pieces, run, direction))
                lines[l].push_back(std::move(run));
        }
        first += lengths[l];
    }
    // From the last line up, per run: the score of it and the lines after it, and the run of the
    // next line that gives it.
    constexpr double kNone = -1e300;
    std::vector<std::vector<double>> total(k);
    std::vector<std::vector<int>> next(k);
    for (size_t l = k; l-- > 0;) {
        total[l].assign(lines[l].size(), l + 1 == k ? 0.0 : kNone);
        next[l].assign(lines[l].size(), -1);
        for (size_t r = 0; r < lines[l].size() && l + 1 < k; ++r) {
            const Run& run = lines[l][r];
            const ChainPiece& start = pieces[static_cast<size_t>(run.pieces.front())];
            for (size_t s = 0; s < lines[l + 1].size(); ++s) {
                const Run& after = lines[l + 1][s];
                const double score = total[l + 1][s] + after.score;
                if (total[l + 1][s] > kNone && score > total[l][r] &&
                    NextLine(start, pieces[static_cast<size_t>(after.pieces.front())], direction) &&
                    !Share(run, after)) {
                    total[l][r] = score;
                    next[l][r] = static_cast<int>(s);
                }
            }
        }
    }
    std::vector<std::vector<int>> chains;
    for (size_t r = 0; r < lines[0].size(); ++r) {
        if (total[0][r] <= kNone)
            continue;
        std::vector<int> chain;
        for (size_t l = 0, at = r; l < k; at = static_cast<size_t>(next[l][at]), ++l) {
            const std::vector<int>& line = lines[l][at].pieces;
            chain.insert(chain.end(), line.begin(), line.end());
        }
        std::vector<int> sorted = chain;
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end())
            chains.push_back(std::move(chain));
    }
    return chains;
}

}  // namespace

std::vector<std::vector<int>> FindTwoLineChains(const std::vector<ChainPiece>& pieces,
                                                ChainDirection direction) {
    return FindLineChains(pieces, direction,
                          {kOwnerLineLength, classifier::kCodeLength - kOwnerLineLength});
}

std::vector<std::vector<int>> FindThreeLineChains(const std::vector<ChainPiece>& pieces) {
    return FindLineChains(pieces, ChainDirection::kAcross,
                          {kOwnerLineLength, kMiddleLineLength,
                           classifier::kCodeLength - kOwnerLineLength - kMiddleLineLength});
}

// The longest line before each piece and after it, in the order along the direction.
std::vector<int> LongestLines(const std::vector<ChainPiece>& pieces, ChainDirection direction) {
    const size_t n = pieces.size();
    const auto [order, next] = AlongOf(pieces, direction);
    std::vector<int> before(n, 1), after(n, 1);
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

bool OnLineUnder(const ChainPiece& above, const ChainPiece& below) {
    constexpr double kWithinALineOfFour = 3.0;
    return OnNextLineAcross(above, below, kWithinALineOfFour);
}

}  // namespace karvona::recognition
