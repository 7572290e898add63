// Black-box accuracy runner: reads every labelled photograph of a set (a folder with
// labels.csv: file,code[,layout or notes]) with the shipped reference data and prints, per set and
// per layout, how many were read perfectly, went to review, were read partially, misread (a
// reading reported perfect that differs from the label) or not read at all, and the median and
// 95th-percentile milliseconds per photograph. Review counts as not perfect; wrong codes that went
// to review are counted too. With --floors it compares the counts with a table of minimum perfect
// counts and maximum misreads and fails when a count falls below its floor. After each set come
// its character confusions (confusion.hpp); with --montage DIR the crops of every confusion pair
// are written as DIR/<set>/<label>_as_<read>.png.
//
//   blackbox --data DIR [--floors FILE] [--strict] [--verbose] [--montage DIR] SET...
//   blackbox --data DIR --look-threads N SET...  # second looks on N threads: the same readings
//   blackbox --data DIR --curve SET...        # perfect and misread readings per sure threshold
//   blackbox --data DIR --dump FILE SET...    # every look of every photograph as JSON lines
//   blackbox --data DIR --stages SET...       # where a set with boxes.csv is lost, per stage
//
// A floors file holds lines "set perfect-min misread-max" (set = the folder's name); '#' starts a
// comment. A set that is not there (e.g. photographs outside this machine) is skipped.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "confusion.hpp"
#include "imaging/heap.hpp"
#include "recognition/confidence.hpp"
#include "recognition/confidence_model.hpp"
#include "recognition/net_choice.hpp"
#include "recognition/read_code.hpp"
#include "recognition/reading_plan.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"
#include "stages.hpp"
#include "training/calibrate.hpp"
#include "training/harvest.hpp"
#include "training/sample_folder.hpp"

namespace fs = std::filesystem;
using namespace karvona::recognition;

namespace {

struct Tally {
    int photos = 0, perfect = 0, review = 0, reviewWrong = 0, partial = 0, misread = 0, none = 0;
    int guidedRight = 0, guidedWrong = 0;  ///< chosen codes made by the check-digit choice
    std::vector<int> ms;
    void Add(const Tally& o) {
        photos += o.photos;
        perfect += o.perfect;
        review += o.review;
        reviewWrong += o.reviewWrong;
        partial += o.partial;
        misread += o.misread;
        none += o.none;
        guidedRight += o.guidedRight;
        guidedWrong += o.guidedWrong;
        ms.insert(ms.end(), o.ms.begin(), o.ms.end());
    }
};

// The value below which the given share of the times lies (nearest rank).
int Percentile(std::vector<int> times, double share) {
    if (times.empty())
        return 0;
    std::sort(times.begin(), times.end());
    const size_t rank = static_cast<size_t>(std::ceil(share * times.size()));
    return times[std::clamp<size_t>(rank, 1, times.size()) - 1];
}

// A set's labels; a third column that is not a layout code (notes) counts as no layout. A row
// whose code is empty labels a photograph without a code: any sure code read there is a misread.
std::vector<karvona::training::LabelledPhoto> ReadSet(const fs::path& csv) {
    std::vector<karvona::training::LabelledPhoto> rows;
    std::vector<std::string> problems;
    karvona::training::ReadLabels(csv, rows, problems);
    std::vector<std::vector<std::string>> records;
    std::set<std::string> noCode;  // the problems that are photographs without a code
    if (karvona::training::ReadCsvRecords(csv, records)) {
        for (size_t i = 0; i < records.size(); ++i) {
            const auto& fields = records[i];
            if (fields.size() >= 2 && !fields[0].empty() && fields[1].empty()) {
                rows.push_back({fields[0], "", "-"});
                noCode.insert("record " + std::to_string(i + 1) + ":");
            }
        }
    }
    for (const std::string& problem : problems) {
        if (noCode.count(problem.substr(0, problem.find(':') + 1)) == 0)
            std::cerr << csv.string() << ": " << problem << '\n';
    }
    for (auto& row : rows) {
        if (row.layout.empty() || row.layout.find_first_not_of("0123456789") != std::string::npos)
            row.layout = "-";
    }
    return rows;
}

void Print(const std::string& name, const Tally& t) {
    std::printf(
        "%-28s photos %4d  perfect %4d (%5.1f%%)  review %3d (%d wrong)  partial %4d  misread %3d"
        "  none %4d  median %5d ms  p95 %5d ms\n",
        name.c_str(), t.photos, t.perfect, t.photos ? 100.0 * t.perfect / t.photos : 0.0, t.review,
        t.reviewWrong, t.partial, t.misread, t.none, Percentile(t.ms, 0.5), Percentile(t.ms, 0.95));
}

nlohmann::json ReadingDump(const Reading& reading) {
    nlohmann::json boxes = nlohmann::json::array();
    for (const BoxReading& box : reading.characters) {
        nlohmann::json ranks = nlohmann::json::array();
        for (const auto& rank : box.ranks.ranks)
            ranks.push_back({std::string(1, rank.character ? rank.character : '-'),
                             std::isfinite(rank.distance) ? rank.distance : -1.0});
        boxes.push_back({{"c", std::string(1, box.character)},
                         {"chosen", box.ranks.chosenRank},
                         {"letter", box.letterPosition},
                         {"ranks", ranks}});
    }
    return {{"code", reading.code},
            {"complete", reading.complete},
            {"score", reading.score},
            {"boxes", boxes}};
}

// One photograph's candidates and label, kept for the curve.
struct CurvePhoto {
    std::string set;
    std::string label;
    std::vector<Candidate> candidates;
};

void PrintCurve(const std::vector<CurvePhoto>& photos, const ConfidenceModel* model) {
    std::vector<std::string> sets;
    for (const CurvePhoto& photo : photos) {
        if (std::find(sets.begin(), sets.end(), photo.set) == sets.end())
            sets.push_back(photo.set);
    }
    std::printf(
        "\nPer sure threshold: readings reported perfect (right / misread) and sent to review\n"
        "(right / wrong), over %zu photographs; then perfect/misread per set.\n",
        photos.size());
    std::printf("threshold  perfect  misread  review-right  review-wrong ");
    for (const std::string& set : sets)
        std::printf(" %14s", set.c_str());
    std::printf("\n");
    for (int step = 0; step <= 20; ++step) {
        const double threshold = step / 20.0;
        int perfect = 0, misread = 0, reviewRight = 0, reviewWrong = 0;
        std::map<std::string, std::pair<int, int>> perSet;
        for (const CurvePhoto& photo : photos) {
            const Decision d = Decide(photo.candidates, threshold, model);
            if (d.candidate < 0)
                continue;
            const bool right =
                photo.candidates[static_cast<size_t>(d.candidate)].code == photo.label;
            if (d.sure) {
                (right ? perfect : misread) += 1;
                (right ? perSet[photo.set].first : perSet[photo.set].second) += 1;
            } else {
                (right ? reviewRight : reviewWrong) += 1;
            }
        }
        std::printf("%9.2f  %7d  %7d  %12d  %12d ", threshold, perfect, misread, reviewRight,
                    reviewWrong);
        for (const std::string& set : sets) {
            char cell[32];
            std::snprintf(cell, sizeof cell, "%d/%d", perSet[set].first, perSet[set].second);
            std::printf(" %14s", cell);
        }
        const double sure = model != nullptr ? model->threshold : kSureThreshold;
        std::printf("%s\n",
                    std::abs(threshold - sure) < 0.025 ? "   <- near the sure threshold" : "");
    }
    int guidedRight = 0, guidedWrong = 0;
    for (const CurvePhoto& photo : photos) {
        for (const Candidate& c : photo.candidates) {
            if (c.guided)
                (c.code == photo.label ? guidedRight : guidedWrong) += 1;
        }
    }
    std::printf("codes the check-digit choice made, over every look: %d right, %d wrong\n",
                guidedRight, guidedWrong);
}

// Per class, how many character samples (SAMPLES/<c>/*.bmp) the codebooks and the character
// network read as their own character: the codebook of the sample's kind, and the network's
// most probable character of that kind.
int MeasureCharacters(const std::string& folder, const ReferenceDataSet& reference) {
    karvona::training::SampleFolderContents contents;
    std::string error;
    if (!karvona::training::LoadSampleFolder(folder, contents, error)) {
        std::cerr << error << '\n';
        return 2;
    }
    std::unique_ptr<karvona::classifier::CharacterNet> net;
    if (reference.characterNet.loaded())
        net = std::make_unique<karvona::classifier::CharacterNet>(reference.characterNet);
    std::map<char, std::array<int, 3>> counts;  // samples, codebook right, network right
    for (const auto& sample : contents.samples) {
        const bool digit = sample.character >= '0' && sample.character <= '9';
        auto& c = counts[sample.character];
        ++c[0];
        const auto read = karvona::classifier::ClassifyCharacter(
            digit ? reference.digits : reference.letters, sample.image, digit);
        c[1] += read.character() == sample.character ? 1 : 0;
        if (net) {
            BoxReading box;
            box.net = net->Read({sample.image})[0];
            box.netRead = true;
            c[2] += karvona::recognition::NetCharacter(box, digit ? 4 : 0) == sample.character;
        }
    }
    std::array<int, 3> total{};
    std::printf("class  samples  codebook  network\n");
    for (const auto& [character, c] : counts) {
        std::printf("  %c    %5d    %5.1f%%   %5.1f%%\n", character, c[0], 100.0 * c[1] / c[0],
                    100.0 * c[2] / c[0]);
        for (int k = 0; k < 3; ++k)
            total[k] += c[k];
    }
    std::printf("all    %5d    %5.1f%%   %5.1f%%\n", total[0], 100.0 * total[1] / total[0],
                100.0 * total[2] / total[0]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    karvona::imaging::KeepFreedMemoryForReuse();
    CLI::App app{"Black-box accuracy of the reader on labelled photograph sets"};
    std::string data = "data";
    std::string floorsFile;
    int lookThreads = 1;
    std::string dumpFile;
    bool verbose = false, strict = false, curve = false, noNet = false;
    bool lineNet = false;
    std::vector<std::string> sets;
    app.add_option("--data", data, "Folder of prefixes.trn, numbers.trn and prefix.txt");
    app.add_option("--floors", floorsFile, "Table of minimum counts");
    app.add_flag("--verbose", verbose, "One line per photograph");
    std::string montage;
    app.add_option("--montage", montage, "Folder for the crops of each confusion pair");
    app.add_flag("--strict", strict, "Only the single pass, as karvona read --strict");
    app.add_flag("--curve", curve,
                 "Read every look of every photograph and print, per sure threshold, the perfect "
                 "readings and the misreads reported perfect")
        ->excludes("--strict");
    app.add_option("--dump", dumpFile, "Write every look of every photograph as JSON lines")
        ->excludes("--strict");
    app.add_option("--look-threads", lookThreads,
                   "Second looks of a photograph read at once (the readings are the same)");
    app.add_flag("--no-net", noNet, "Read without the networks (the plan on codebooks)");
    app.add_flag("--line-net", lineNet,
                 "Read with the line network too, where no reader's boxes give a code")
        ->excludes("--no-net");
    std::string characters;
    app.add_option("--characters", characters,
                   "Sample folder whose characters are classified one by one, instead of sets");
    bool stages = false;
    std::string stageRows;
    app.add_flag("--stages", stages,
                 "For sets with boxes.csv: where the labelled characters are lost, stage by stage");
    app.add_option("--stage-rows", stageRows, "With --stages: one CSV row per photograph and look");
    app.add_option("sets", sets, "Folders with labels.csv");
    CLI11_PARSE(app, argc, argv);

    ReferenceDataSet reference;
    std::vector<std::string> messages;
    LoadReferenceData(data, reference, messages);
    for (const auto& m : messages)
        std::cerr << m << '\n';
    if (!strict && !noNet) {
        const std::string problem =
            lineNet ? LoadNetworksOf(data, reference) : LoadCharacterNetOf(data, reference);
        if (!problem.empty()) {
            std::cerr << problem << '\n';
            return 2;
        }
    }

    if (!characters.empty())
        return MeasureCharacters(characters, reference);
    if (stages)
        return MeasureStages(sets, reference, stageRows);
    if (sets.empty()) {
        std::cerr << "no sets given\n";
        return 2;
    }
    if (!reference.confidenceLoaded && !strict)
        std::cerr << "no usable " << kConfidenceFile << " in " << data
                  << ": the hand-set confidence judges\n";

    std::map<std::string, std::pair<int, int>> floors;  // set -> (perfect min, misread max)
    if (!floorsFile.empty()) {
        std::ifstream in(floorsFile);
        if (!in) {
            std::cerr << "cannot read " << floorsFile << '\n';
            return 2;
        }
        std::string line;
        while (std::getline(in, line)) {
            if (const auto hash = line.find('#'); hash != std::string::npos)
                line.erase(hash);
            std::istringstream fields(line);
            std::string set;
            int perfect = 0, misread = 0;
            if (fields >> set >> perfect >> misread)
                floors[set] = {perfect, misread};
        }
    }
    std::ofstream dump;
    if (!dumpFile.empty()) {
        dump.open(dumpFile);
        if (!dump) {
            std::cerr << "cannot write " << dumpFile << '\n';
            return 2;
        }
    }

    int failures = 0;
    std::vector<CurvePhoto> curvePhotos;
    for (const std::string& setPath : sets) {
        const fs::path folder(setPath);
        const fs::path named = folder.filename().empty() ? folder.parent_path() : folder;
        // A set is named by its folder, or by its parent and folder when the floors do so.
        std::string name = named.filename().string();
        if (const std::string longer = named.parent_path().filename().string() + "/" + name;
            floors.count(longer) > 0)
            name = longer;
        if (!fs::exists(folder / "labels.csv")) {
            std::printf("%-28s skipped (no labels.csv here)\n", name.c_str());
            continue;
        }
        Recognizer recognizer(reference.View());
        recognizer.options.everyLook = curve || dump.is_open();
        karvona::ReadOptions readOptions;
        readOptions.strict = strict;
        readOptions.lookThreads = lookThreads;
        std::map<std::string, Tally> perLayout;
        std::map<std::string, int> perPass;  // perfect readings by the look that made them
        Tally total;
        karvona::blackbox::ConfusionTable confusions;
        std::vector<double> predicted;  // the confidence of each validated code chosen
        std::vector<bool> predictedRight;
        for (const auto& row : ReadSet(folder / "labels.csv")) {
            // Read as `karvona read` reads: the photograph loaded, then ReadCode on it.
            cv::Mat photo;
            const LoadStatus status = LoadPhotograph(folder / row.file, photo);
            const RecognitionResult result =
                ResultOf(ReadCodeWith(photo, recognizer, readOptions), status);
            Tally t;
            t.photos = 1;
            t.ms.push_back(result.ms);
            const bool right = result.code == row.code;
            const char* verdict;
            switch (OutcomeOf(result)) {
                case Outcome::kPerfect:
                    verdict = right ? "perfect" : "MISREAD";
                    (right ? t.perfect : t.misread) = 1;
                    ++perPass[result.pass.empty() ? "strict" : result.pass];
                    break;
                case Outcome::kReview:
                    t.review = 1;
                    t.reviewWrong = right ? 0 : 1;
                    verdict = right ? "review" : "review-wrong";
                    break;
                default:
                    verdict = result.code.empty() ? "none" : "partial";
                    (result.code.empty() ? t.none : t.partial) = 1;
            }
            if (result.complete && result.pass.find("check-digit") != std::string::npos)
                (right ? t.guidedRight : t.guidedWrong) = 1;
            if (verbose) {
                std::printf("  %-36s %-11s %-11s layout %s->%d %-12s %4.2f %s\n", row.file.c_str(),
                            row.code.c_str(), result.code.c_str(), row.layout.c_str(),
                            result.layoutCode, verdict, result.confidence, result.pass.c_str());
            }
            if (result.judged() && result.complete && result.code.size() == 11) {
                predicted.push_back(result.confidence);
                predictedRight.push_back(right);
            }
            perLayout[row.layout].Add(t);
            total.Add(t);
            if (!row.code.empty())
                confusions.Add(row.code, recognizer.WinningReading().characters);
            if (const ReadingPlan* plan = recognizer.plan(); plan != nullptr && !strict) {
                if (curve)
                    curvePhotos.push_back({name, row.code, plan->candidates()});
                if (dump.is_open()) {
                    nlohmann::json looks = nlohmann::json::array();
                    for (const LookRecord& look : plan->records()) {
                        looks.push_back({{"name", look.name},
                                         {"layout", look.layoutCode},
                                         {"ms", look.ms},
                                         {"morphology", ReadingDump(look.morphology)},
                                         {"cluster", ReadingDump(look.cluster)}});
                    }
                    nlohmann::json candidates = nlohmann::json::array();
                    const std::vector<Candidate>& all = plan->candidates();
                    // The same candidates without the doubts of reading_doubts.hpp, for fitting.
                    std::vector<Candidate> plain = all;
                    for (Candidate& c : plain) {
                        c.twinShare = 0.0f;
                        c.guidedNet = 1.0f;
                        c.lineGoesOn = false;
                        c.tallBox = false;
                    }
                    for (size_t k = 0; k < all.size(); ++k) {
                        const Candidate& c = all[k];
                        candidates.push_back(
                            {{"code", c.code},
                             {"confidence",
                              CandidateConfidence(all, k, reference.View().confidence)},
                             {"may_be_sure", MayBeSure(all, k)},
                             {"may_be_sure_plain", MayBeSure(plain, k)},
                             {"look", c.look},
                             {"guided", c.guided},
                             {"own", c.own},
                             {"twin_share", c.twinShare},
                             {"guided_net", c.guidedNet},
                             {"line_goes_on", c.lineGoesOn},
                             {"tall_box", c.tallBox},
                             {"evidence", c.evidence.values}});
                    }
                    dump << nlohmann::json{{"set", name},
                                           {"file", row.file},
                                           {"label", row.code},
                                           {"looks", looks},
                                           {"candidates", candidates}}
                                .dump()
                         << '\n';
                }
            }
        }
        Print(name, total);
        if (perLayout.size() > 1) {
            for (const auto& [layout, t] : perLayout)
                Print("  layout " + layout, t);
        }
        confusions.Print(std::cout);
        if (!montage.empty()) {
            std::string error;
            const int written =
                confusions.WriteMontages((fs::path(montage) / name).string(), error);
            if (!error.empty())
                std::cerr << error << '\n';
            std::printf("  %d confusion montages in %s\n", written,
                        (fs::path(montage) / name).string().c_str());
        }
        if (!strict) {
            std::printf(
                "  reliability of the validated codes chosen (confidence against the "
                "share right):\n");
            std::ostringstream table;
            karvona::training::PrintReliability(table, predicted, predictedRight);
            std::printf("%s", table.str().c_str());
            std::printf("  perfect by look:");
            for (const auto& [pass, count] : perPass)
                std::printf(" [%s] %d", pass.c_str(), count);
            std::printf("\n  chosen codes made by the check-digit choice: %d right, %d wrong\n",
                        total.guidedRight, total.guidedWrong);
        }
        if (const auto it = floors.find(name); it != floors.end()) {
            const auto [minPerfect, maxMisread] = it->second;
            if (total.perfect < minPerfect) {
                std::printf("FLOOR %s: perfect %d is below its floor %d\n", name.c_str(),
                            total.perfect, minPerfect);
                ++failures;
            } else if (total.perfect > minPerfect) {
                std::printf("note %s: perfect %d is above its floor %d; raise the floor\n",
                            name.c_str(), total.perfect, minPerfect);
            }
            if (total.misread > maxMisread) {
                std::printf("FLOOR %s: misread %d is above its limit %d\n", name.c_str(),
                            total.misread, maxMisread);
                ++failures;
            }
        }
    }
    if (curve)
        PrintCurve(curvePhotos, reference.View().confidence);
    return failures == 0 ? 0 : 1;
}
