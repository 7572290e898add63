#include "stages.hpp"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <opencv2/imgproc.hpp>

#include "classifier/character_net.hpp"
#include "recognition/extraction.hpp"
#include "recognition/layout_template.hpp"
#include "recognition/locator.hpp"
#include "recognition/look.hpp"
#include "recognition/net_choice.hpp"
#include "recognition/readers.hpp"
#include "recognition/recognizer.hpp"
#include "training/box_harvest.hpp"
#include "training/harvest.hpp"

namespace fs = std::filesystem;
using namespace karvona::recognition;

namespace {

struct Counts {
    int photos = 0, located = 0, holds = 0;  // holds: at least 9 labelled centres in the region
    int characters = 0, inRegion = 0;
    std::array<int, 3> matched{};  // morphology, cluster, either
    std::array<int, 3> right{};    // of those, read as the label
    int split = 0;                 // not boxed: two or more boxes of one reader stand in its box
    int piece = 0;                 // not boxed: one box, less than 0.45 of the labelled height
    int nothing = 0;  // not boxed: no reader box stands in it (missed, or merged with another)
};

// The bounding box of a rectangle mapped by an affine map.
cv::Rect MapRect(const cv::Rect& r, const cv::Matx23d& m) {
    std::vector<cv::Point2f> points;
    for (const cv::Point2f& p : CornersOf(r))
        points.emplace_back(static_cast<float>(m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2)),
                            static_cast<float>(m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2)));
    return cv::boundingRect(points);
}

// The pieces of a located region and where each sits in the extracted region.
struct Placed {
    cv::Rect piece;  // look image coordinates
    cv::Point at;    // top-left in the region
};

std::vector<Placed> PlacePieces(cv::Size image, int layout, const TemplateBoxes& boxes) {
    LayoutTemplate shape;
    MakeLayoutTemplate(layout, 0, 0, 10, 4, 3, shape);
    std::vector<Placed> placed;
    cv::Point at(0, 0);
    for (const cv::Rect& piece : CharacterSetPieces(image, layout, shape.count, boxes)) {
        if (piece.width <= 0 || piece.height <= 0)
            continue;
        placed.push_back({piece, at});
        (layout == 4 ? at.y : at.x) += layout == 4 ? piece.height : piece.width;
    }
    return placed;
}

// A reader's box (region coordinates) in the look image.
cv::Rect InImage(const cv::Rect& box, const std::vector<Placed>& placed, bool stacked) {
    const cv::Point c(box.x + box.width / 2, box.y + box.height / 2);
    for (const Placed& p : placed) {
        const int from = stacked ? p.at.y : p.at.x;
        const int length = stacked ? p.piece.height : p.piece.width;
        const int v = stacked ? c.y : c.x;
        if (v >= from && v < from + length)
            return box + (p.piece.tl() - p.at);
    }
    return {};
}

// The labelled box each of a reading's boxes stands in: of the labelled boxes (their source's boxes
// are loose and overlap) that hold its centre, the one whose centre is nearest; -1 for none.
std::vector<int> AssignBoxes(const Reading& reading, const std::vector<Placed>& placed,
                             bool stacked, const std::vector<cv::Rect>& truth) {
    std::vector<int> assigned;
    for (const BoxReading& box : reading.characters) {
        const cv::Rect b = InImage(box.box, placed, stacked);
        const cv::Point c(b.x + b.width / 2, b.y + b.height / 2);
        int best = -1;
        double nearest = 1e18;
        for (size_t i = 0; i < truth.size(); ++i) {
            const cv::Rect& t = truth[i];
            const double dx = t.x + t.width / 2.0 - c.x, dy = t.y + t.height / 2.0 - c.y;
            if (!b.empty() && t.contains(c) && dx * dx + dy * dy < nearest) {
                nearest = dx * dx + dy * dy;
                best = static_cast<int>(i);
            }
        }
        assigned.push_back(best);
    }
    return assigned;
}

void Print(const std::string& name, const Counts& c) {
    auto pc = [](int a, int b) { return b ? 100.0 * a / b : 0.0; };
    std::printf(
        "%-14s photos %4d  region %4d (%5.1f%%)  holds the code %4d (%5.1f%%)\n"
        "               characters %5d  in a region %5d (%5.1f%%)  boxed: morphology "
        "%5d  cluster %5d  either %5d (%5.1f%% of all)\n"
        "               boxed and read right: morphology %5d  cluster %5d  either %5d (%5.1f%% of "
        "all)\n"
        "               in a region, not boxed: split %5d  a piece %5d  no box (missed or merged) "
        "%5d\n",
        name.c_str(), c.photos, c.located, pc(c.located, c.photos), c.holds, pc(c.holds, c.photos),
        c.characters, c.inRegion, pc(c.inRegion, c.characters), c.matched[0], c.matched[1],
        c.matched[2], pc(c.matched[2], c.characters), c.right[0], c.right[1], c.right[2],
        pc(c.right[2], c.characters), c.split, c.piece, c.nothing);
}

// One look at one photograph: what the locator and both readers made of its labelled boxes.
void MeasureLook(const cv::Mat& photo, const Look& look,
                 const std::vector<karvona::training::LabelledBox>& labelled,
                 const ReferenceData& data, Counts& counts, std::vector<bool>& boxedAnywhere,
                 std::FILE* rows, const std::string& file) {
    ++counts.photos;
    counts.characters += static_cast<int>(labelled.size());
    const LookImage image = MakeLookImage(photo, WorkingScale(photo.size()), look);
    TemplateBoxes template_{};
    int layout = -1;
    const cv::Mat region = FindIsoCharacters(image.image, nullptr, &template_, &layout);
    std::vector<cv::Rect> truth;
    for (const auto& box : labelled)
        truth.push_back(MapRect(karvona::training::PixelBox(box, photo.size()), image.fromPhoto));
    int inside = 0, boxed = 0, right = 0;
    if (!region.empty()) {
        ++counts.located;
        const std::vector<Placed> placed = PlacePieces(image.image.size(), layout, template_);
        std::vector<bool> in(truth.size(), false);
        for (size_t i = 0; i < truth.size(); ++i) {
            const cv::Point c(truth[i].x + truth[i].width / 2, truth[i].y + truth[i].height / 2);
            for (const Placed& p : placed)
                in[i] = in[i] || p.piece.contains(c);
            inside += in[i];
        }
        counts.inRegion += inside;
        counts.holds += inside >= 9;
        Reading readings[2];
        cv::Mat strip;
        ReaderOptions options;
        cv::Mat copyA = region.clone(), copyB = region.clone();
        ReadByMorphology(copyA, layout, strip, data, options, readings[0]);
        ReadByClusterSegmentation(copyB, layout, strip, data, options, readings[1]);
        std::vector<int> assigned[2];  // per reader, the label each box is given to (-1: none)
        for (int r = 0; r < 2; ++r)
            assigned[r] = AssignBoxes(readings[r], placed, layout == 4, truth);
        for (size_t i = 0; i < truth.size(); ++i) {
            std::array<int, 2> kind{};  // per reader: 0 none, 1 boxed, 2 split, 3 a piece
            bool readRight = false;
            for (int r = 0; r < 2; ++r) {
                int n = 0;
                const BoxReading* one = nullptr;
                for (size_t k = 0; k < assigned[r].size(); ++k) {
                    if (assigned[r][k] == static_cast<int>(i)) {
                        ++n;
                        one = &readings[r].characters[k];
                    }
                }
                kind[r] = n == 0                                       ? 0
                          : n > 1                                      ? 2
                          : one->box.height * 20 < truth[i].height * 9 ? 3
                                                                       : 1;
                if (kind[r] == 1) {
                    ++counts.matched[r];
                    const bool ok = one->character == labelled[i].character;
                    counts.right[r] += ok;
                    readRight = readRight || ok;
                }
            }
            const bool any = kind[0] == 1 || kind[1] == 1;
            counts.matched[2] += any;
            counts.right[2] += readRight;
            boxed += any;
            right += readRight;
            if (any)
                boxedAnywhere[i] = true;
            else if (in[i]) {
                const int k = std::max(kind[0], kind[1]);
                (k == 2 ? counts.split : k == 3 ? counts.piece : counts.nothing) += 1;
            }
        }
    }
    if (rows)
        std::fprintf(rows, "%s,%s,%d,%d,%d,%d\n", file.c_str(), look.name.c_str(), layout, inside,
                     boxed, right);
}

}  // namespace

int MeasureStages(const std::vector<std::string>& sets, const ReferenceDataSet& reference,
                  const std::string& rowsFile) {
    const ReferenceData data = reference.View();
    std::unique_ptr<karvona::classifier::CharacterNet> net;
    if (reference.characterNet.loaded())
        net = std::make_unique<karvona::classifier::CharacterNet>(reference.characterNet);
    std::vector<Look> looks = {FirstLook()};
    for (const Look& look : SecondLooks()) {
        if (look.name == "scale 1.5" || look.name == "scale 2" || look.narrow != 1.0)
            looks.push_back(look);
    }
    std::FILE* rows = rowsFile.empty() ? nullptr : std::fopen(rowsFile.c_str(), "w");
    if (rows)
        std::fprintf(rows, "file,look,layout,labelled_in_region,boxed,boxed_right\n");
    for (const std::string& set : sets) {
        std::vector<karvona::training::LabelledBox> boxes;
        std::vector<std::string> problems;
        if (!karvona::training::ReadBoxes(fs::path(set) / "boxes.csv", boxes, problems)) {
            std::fprintf(stderr, "%s: no boxes.csv\n", set.c_str());
            return 2;
        }
        std::map<std::string, std::vector<karvona::training::LabelledBox>> byFile;
        for (const auto& box : boxes)
            byFile[box.file].push_back(box);
        std::vector<Counts> perLook(looks.size());
        int characters = 0, anyBoxed = 0, cut = 0, lvqRight = 0, netRight = 0;
        for (const auto& [file, labelled] : byFile) {
            cv::Mat photo;
            if (LoadPhotograph(fs::path(set) / file, photo) != LoadStatus::Ok)
                continue;
            std::vector<bool> boxedAnywhere(labelled.size(), false);
            for (size_t k = 0; k < looks.size(); ++k)
                MeasureLook(photo, looks[k], labelled, data, perLook[k], boxedAnywhere, rows, file);
            characters += static_cast<int>(labelled.size());
            anyBoxed +=
                static_cast<int>(std::count(boxedAnywhere.begin(), boxedAnywhere.end(), true));
            // The labelled boxes themselves, cut as the readers cut a box.
            for (const auto& box : labelled) {
                const cv::Mat crop =
                    CutLabelledBox(photo, karvona::training::PixelBox(box, photo.size()));
                if (crop.empty())
                    continue;
                ++cut;
                const bool digit = box.index >= 4;
                const auto read = karvona::classifier::ClassifyCharacter(
                    *(digit ? data.digits : data.letters), crop, digit);
                lvqRight += read.character() == box.character;
                if (net) {
                    BoxReading reading;
                    reading.net = net->Read({crop})[0];
                    reading.netRead = true;
                    netRight += NetCharacter(reading, box.index) == box.character;
                }
            }
        }
        std::printf("%s\n", set.c_str());
        for (size_t k = 0; k < looks.size(); ++k)
            Print(looks[k].name, perLook[k]);
        std::printf("boxed in any of these looks: %d of %d (%.1f%%)\n", anyBoxed, characters,
                    characters ? 100.0 * anyBoxed / characters : 0.0);
        std::printf(
            "labelled boxes cut as the readers cut: %d of %d give strokes; read right by the "
            "codebooks %d (%.1f%%), by the network %d (%.1f%%)\n",
            cut, characters, lvqRight, cut ? 100.0 * lvqRight / cut : 0.0, netRight,
            cut ? 100.0 * netRight / cut : 0.0);
    }
    if (rows)
        std::fclose(rows);
    return 0;
}
