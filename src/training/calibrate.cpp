#include "training/calibrate.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <opencv2/core.hpp>
#include <ostream>
#include <sstream>
#include <thread>

#include "recognition/data_lookup.hpp"
#include "recognition/read_code.hpp"
#include "recognition/reading_plan.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"
#include "training/harvest.hpp"

namespace karvona::training {
namespace {

namespace fs = std::filesystem;
using recognition::Candidate;
using recognition::ConfidenceModel;
using recognition::Evidence;
using recognition::kEvidenceCount;

// The ridge on the standardised weights: small beside thousands of rows, enough to keep the fit
// finite where some evidence separates right from wrong codes completely.
constexpr double kRidge = 1.0;
// The safety margin of the sure threshold above the last training misread, in log-odds.
constexpr double kThresholdMargin = 0.5;

struct Row {
    Evidence x;
    bool right;
};

std::vector<Row> RowsOf(const std::vector<CalibrationPhoto>& photos,
                        const std::vector<bool>* keep) {
    static const size_t chains = static_cast<size_t>(recognition::EvidenceIndex("chains"));
    std::vector<Row> rows;
    for (size_t i = 0; i < photos.size(); ++i) {
        if (keep != nullptr && !(*keep)[i])
            continue;
        for (size_t k = 0; k < photos[i].candidates.size(); ++k) {
            // The chain reader's codes are sure alone only by the chain floor (SureChainAlone):
            // the model is fitted on the others, and the threshold is still chosen over them all.
            if (photos[i].candidates[k].evidence.values[chains] > 0)
                continue;
            rows.push_back(
                {recognition::AgreedEvidence(photos[i].candidates, k), photos[i].right[k]});
        }
    }
    return rows;
}

ConfidenceModel Fit(const std::vector<Row>& rows) {
    ConfidenceModel model;
    if (rows.empty())
        return model;
    std::vector<int> used;
    std::vector<double> mean(kEvidenceCount, 0.0), scale(kEvidenceCount, 1.0);
    for (size_t f = 0; f < kEvidenceCount; ++f) {
        double sum = 0.0, squares = 0.0;
        for (const Row& row : rows)
            sum += row.x[f];
        mean[f] = sum / static_cast<double>(rows.size());
        for (const Row& row : rows)
            squares += (row.x[f] - mean[f]) * (row.x[f] - mean[f]);
        const double sd = std::sqrt(squares / static_cast<double>(rows.size()));
        if (sd > 1e-9) {
            scale[f] = sd;
            used.push_back(static_cast<int>(f));
        }
    }
    int rightCount = 0;
    for (const Row& row : rows)
        rightCount += row.right ? 1 : 0;
    if (used.empty() || rightCount == 0 || rightCount == static_cast<int>(rows.size())) {
        // Nothing to tell apart: the share of right codes for every code.
        const double share = (rightCount + 0.5) / (rows.size() + 1.0);
        model.bias = std::log(share / (1.0 - share));
        return model;
    }
    // Newton's method on the log-likelihood with a small ridge (iteratively reweighted least
    // squares), solved with OpenCV's linear algebra. OpenCV's own LogisticRegression was tried
    // first: its batch gradient descent still had weights of about 0.2 and no probability above
    // 0.95 after 20,000 iterations on rows that are all right above 0.7, which is no probability.
    const int n = static_cast<int>(used.size()) + 1;  // the bias first
    cv::Mat x(static_cast<int>(rows.size()), n, CV_64F);
    cv::Mat y(static_cast<int>(rows.size()), 1, CV_64F);
    for (size_t r = 0; r < rows.size(); ++r) {
        const int i = static_cast<int>(r);
        x.at<double>(i, 0) = 1.0;
        for (size_t u = 0; u < used.size(); ++u) {
            const auto f = static_cast<size_t>(used[u]);
            x.at<double>(i, static_cast<int>(u) + 1) = (rows[r].x[f] - mean[f]) / scale[f];
        }
        y.at<double>(i) = rows[r].right ? 1.0 : 0.0;
    }
    // One thread, so that every sum of a product is taken in one order every time.
    struct OneThread {
        int before = cv::getNumThreads();
        OneThread() { cv::setNumThreads(1); }
        ~OneThread() { cv::setNumThreads(before); }
    } oneThread;
    cv::Mat ridge = cv::Mat::eye(n, n, CV_64F) * kRidge;
    ridge.at<double>(0, 0) = 0.0;
    cv::Mat theta = cv::Mat::zeros(n, 1, CV_64F);
    for (int iteration = 0; iteration < 50; ++iteration) {
        cv::Mat z = x * theta;
        cv::Mat p(z.size(), CV_64F), w(z.size(), CV_64F);
        for (int i = 0; i < z.rows; ++i) {
            const double q = 1.0 / (1.0 + std::exp(-z.at<double>(i)));
            p.at<double>(i) = q;
            w.at<double>(i) = std::max(q * (1.0 - q), 1e-9);
        }
        cv::Mat weighted = x.clone();
        for (int i = 0; i < x.rows; ++i)
            weighted.row(i) *= w.at<double>(i);
        const cv::Mat hessian = x.t() * weighted + ridge;
        const cv::Mat gradient = x.t() * (y - p) - ridge * theta;
        cv::Mat step;
        if (!cv::solve(hessian, gradient, step, cv::DECOMP_CHOLESKY))
            cv::solve(hessian, gradient, step, cv::DECOMP_SVD);
        theta += step;
        if (cv::norm(step, cv::NORM_INF) < 1e-10)
            break;
    }
    model.bias = theta.at<double>(0);
    for (size_t u = 0; u < used.size(); ++u) {
        const auto f = static_cast<size_t>(used[u]);
        model.terms.push_back(
            {used[u], mean[f], scale[f], theta.at<double>(static_cast<int>(u) + 1)});
    }
    return model;
}

// Rounds the model as Save writes it, so that the tables describe the file's model.
ConfidenceModel AsSaved(ConfidenceModel model) {
    auto round = [](double v) {
        char text[40];
        std::snprintf(text, sizeof text, "%.6g", v);
        return std::strtod(text, nullptr);
    };
    model.bias = round(model.bias);
    for (auto& term : model.terms) {
        term.mean = round(term.mean);
        term.scale = round(term.scale);
        term.weight = round(term.weight);
    }
    return model;
}

}  // namespace

void SaveEvidence(const fs::path& file, const std::vector<CalibrationPhoto>& photos) {
    std::FILE* out = std::fopen(file.string().c_str(), "w");
    if (out == nullptr)
        return;
    for (const CalibrationPhoto& photo : photos) {
        for (size_t k = 0; k < photo.candidates.size(); ++k) {
            const Candidate& c = photo.candidates[k];
            std::fprintf(out, "%s\t%s\t%s\t%d\t%d\t%d\t%d\t%.17g\t%d\t%.17g", photo.set.c_str(),
                         photo.file.c_str(), c.code.c_str(), photo.right[k] ? 1 : 0, c.look,
                         static_cast<int>(c.reader), c.guided ? 1 : 0, c.own,
                         c.evidence.twinOwner ? 1 : 0, c.evidence.marginSecond);
            for (double v : c.evidence.values)
                std::fprintf(out, "\t%.17g", v);
            // The doubts that keep a code from being sure, after a marker, so that a fit from
            // the file counts perfect readings and misreads per threshold as the reading did.
            std::fprintf(out, "\t|\t%d\t%.9g\t%.9g\t%d\t%d\t%d\n", c.netTwin ? 1 : 0,
                         static_cast<double>(c.twinShare), static_cast<double>(c.guidedNet),
                         c.lineGoesOn ? 1 : 0, c.tallBox ? 1 : 0, c.cropDoubt ? 1 : 0);
        }
    }
    std::fclose(out);
}

bool LoadEvidence(const fs::path& file, std::vector<CalibrationPhoto>& photos) {
    std::ifstream in(file);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string set, name;
        Candidate c;
        int right = 0, reader = 0, guided = 0, twin = 0;
        if (!std::getline(fields, set, '\t') || !std::getline(fields, name, '\t') ||
            !(fields >> c.code >> right >> c.look >> reader >> guided >> c.own >> twin >>
              c.evidence.marginSecond))
            return false;
        // Values the program has added since the file was written stay 0 (those filled in from
        // the candidates, such as the agreement, are worked out again anyway).
        size_t count = 0;
        for (double& v : c.evidence.values) {
            if (!(fields >> v))
                break;
            ++count;
        }
        if (count == 0)
            return false;
        // The doubts, where the file has them (a file written before they were kept has none).
        fields.clear();
        std::string marker;
        if (fields >> marker && marker == "|") {
            int netTwin = 0, lineGoesOn = 0, tallBox = 0, cropDoubt = 0;
            if (!(fields >> netTwin >> c.twinShare >> c.guidedNet >> lineGoesOn >> tallBox >>
                  cropDoubt))
                return false;
            c.netTwin = netTwin != 0;
            c.lineGoesOn = lineGoesOn != 0;
            c.tallBox = tallBox != 0;
            c.cropDoubt = cropDoubt != 0;
        }
        c.reader = static_cast<recognition::Winner>(reader);
        c.guided = guided != 0;
        c.evidence.twinOwner = twin != 0;
        if (photos.empty() || photos.back().set != set || photos.back().file != name)
            photos.push_back({set, name, {}, {}});
        photos.back().candidates.push_back(c);
        photos.back().right.push_back(right != 0);
    }
    return true;
}

namespace {

// The probability kThresholdMargin of log-odds above p, rounded up to 0.001: where the sure
// threshold and the chain floor are put above the last training misread.
double MarginAbove(double p) {
    const double clipped = std::clamp(p, 1e-6, 1.0 - 1e-6);
    const double logit = std::log(clipped / (1.0 - clipped)) + kThresholdMargin;
    return std::ceil(1000.0 / (1.0 + std::exp(-logit))) / 1000.0;
}

// The candidate a photograph's decision takes (as recognition::Decide) and whether it is sure;
// -1 for none.
int Taken(const CalibrationPhoto& photo, const std::vector<double>& p, double threshold,
          double chainFloor, bool& sure) {
    int taken = -1;
    sure = false;
    for (size_t k = 0; k < photo.candidates.size(); ++k) {
        if (recognition::IsSure(photo.candidates, k, p, threshold, chainFloor)) {
            sure = true;
            return static_cast<int>(k);
        }
        if (taken < 0 || p[k] > p[static_cast<size_t>(taken)])
            taken = static_cast<int>(k);
    }
    return taken;
}

}  // namespace

ThresholdCount CountAt(const std::vector<CalibrationPhoto>& photos, const Probabilities& p,
                       double threshold, double chainFloor) {
    ThresholdCount count;
    for (size_t i = 0; i < photos.size(); ++i) {
        bool sure = false;
        const int taken = Taken(photos[i], p[i], threshold, chainFloor, sure);
        if (taken < 0)
            continue;
        const bool right = photos[i].right[static_cast<size_t>(taken)];
        if (sure)
            (right ? count.perfect : count.misread) += 1;
        else
            (right ? count.reviewRight : count.reviewWrong) += 1;
    }
    return count;
}

double ChooseChainFloor(const std::vector<CalibrationPhoto>& photos, const Probabilities& p,
                        double* lastWrong, int* rightAbove) {
    static const size_t netMin = static_cast<size_t>(recognition::EvidenceIndex("net_written_min"));
    double last = -1.0;
    std::vector<double> right;
    for (size_t i = 0; i < photos.size(); ++i) {
        const CalibrationPhoto& photo = photos[i];
        for (size_t k = 0; k < photo.candidates.size(); ++k) {
            if (!recognition::SureChainAlone(photo.candidates, k, 0.0, p[i]))
                continue;
            const double v = photo.candidates[k].evidence.values[netMin];
            if (photo.right[k])
                right.push_back(v);
            else
                last = std::max(last, v);
        }
    }
    if (lastWrong != nullptr)
        *lastWrong = last;
    double floor = recognition::kNoChainFloor;
    // Without a wrong chain code there is nothing to put the floor above: none is sure alone.
    if (last >= 0.0) {
        floor = std::max(kLowestChainFloor, MarginAbove(last));
        if (floor > 0.995)
            floor = recognition::kNoChainFloor;
    }
    if (rightAbove != nullptr)
        *rightAbove = static_cast<int>(
            std::count_if(right.begin(), right.end(), [&](double v) { return v >= floor; }));
    return floor;
}

ConfidenceModel FitModel(const std::vector<CalibrationPhoto>& photos) {
    return Fit(RowsOf(photos, nullptr));
}

Probabilities Predict(const ConfidenceModel& model, const std::vector<CalibrationPhoto>& photos) {
    Probabilities p(photos.size());
    for (size_t i = 0; i < photos.size(); ++i) {
        for (size_t k = 0; k < photos[i].candidates.size(); ++k)
            p[i].push_back(model.Probability(recognition::AgreedEvidence(photos[i].candidates, k)));
    }
    return p;
}

Probabilities OutOfFold(const std::vector<CalibrationPhoto>& photos, int folds) {
    Probabilities p(photos.size());
    for (int fold = 0; fold < folds; ++fold) {
        std::vector<bool> keep(photos.size());
        for (size_t i = 0; i < photos.size(); ++i)
            keep[i] = static_cast<int>(i % static_cast<size_t>(folds)) != fold;
        const ConfidenceModel model = AsSaved(Fit(RowsOf(photos, &keep)));
        for (size_t i = 0; i < photos.size(); ++i) {
            if (keep[i])
                continue;
            for (size_t k = 0; k < photos[i].candidates.size(); ++k)
                p[i].push_back(
                    model.Probability(recognition::AgreedEvidence(photos[i].candidates, k)));
        }
    }
    return p;
}

double ChooseThreshold(const std::vector<CalibrationPhoto>& photos,
                       const std::vector<const Probabilities*>& probabilities, double chainFloor,
                       double* lastMisread) {
    double last = 0.0;
    for (int step = 0; step < 100; ++step) {
        const double t = 0.5 + 0.005 * step;
        for (const Probabilities* p : probabilities) {
            if (CountAt(photos, *p, t, chainFloor).misread > 0)
                last = std::max(last, t);
        }
    }
    if (lastMisread != nullptr)
        *lastMisread = last;
    if (last <= 0.0)
        return 0.5;
    return std::min(0.995, MarginAbove(last));
}

void PrintReliability(std::ostream& out, const std::vector<double>& predicted,
                      const std::vector<bool>& right) {
    static const double kEdges[] = {0.0, 0.1, 0.2, 0.3,  0.4,  0.5,  0.6,
                                    0.7, 0.8, 0.9, 0.95, 0.98, 0.99, 1.0001};
    constexpr int kBins = sizeof kEdges / sizeof kEdges[0] - 1;
    char line[160];
    out << "  probability     codes  mean predicted  right  observed\n";
    for (int b = 0; b < kBins; ++b) {
        int n = 0, r = 0;
        double sum = 0.0;
        for (size_t i = 0; i < predicted.size(); ++i) {
            if (predicted[i] >= kEdges[b] && predicted[i] < kEdges[b + 1]) {
                ++n;
                r += right[i] ? 1 : 0;
                sum += predicted[i];
            }
        }
        if (n == 0)
            continue;
        std::snprintf(line, sizeof line, "  %4.2f - %4.2f  %8d  %14.3f  %5d  %8.3f\n", kEdges[b],
                      std::min(1.0, kEdges[b + 1]), n, sum / n, r, double(r) / n);
        out << line;
    }
}

namespace {

// The code each photograph's decision takes (as CountAt) with its probability and rightness.
void ChosenCodes(const std::vector<CalibrationPhoto>& photos, const Probabilities& p,
                 double threshold, double chainFloor, std::vector<double>& predicted,
                 std::vector<bool>& right) {
    for (size_t i = 0; i < photos.size(); ++i) {
        bool sure = false;
        const int taken = Taken(photos[i], p[i], threshold, chainFloor, sure);
        if (taken < 0)
            continue;
        predicted.push_back(p[i][static_cast<size_t>(taken)]);
        right.push_back(photos[i].right[static_cast<size_t>(taken)]);
    }
}

void PrintThresholds(std::ostream& out, const std::vector<CalibrationPhoto>& photos,
                     const Probabilities& fitted, const Probabilities& fresh, double chosen,
                     double chainFloor) {
    char line[200];
    out << "\nPer sure threshold, over the training photographs: perfect readings, wrong codes "
           "called perfect, review right / wrong; with the final model, then with out-of-fold "
           "probabilities\n";
    out << "threshold   perfect  misread  review-right  review-wrong   |  perfect  misread  "
           "review-right  review-wrong\n";
    for (double t : {0.3, 0.5, 0.6, 0.7, 0.8, 0.85, 0.9, 0.93, 0.95, 0.97, 0.98, 0.99, chosen}) {
        const ThresholdCount a = CountAt(photos, fitted, t, chainFloor);
        const ThresholdCount b = CountAt(photos, fresh, t, chainFloor);
        std::snprintf(line, sizeof line,
                      "%9.3f   %7d  %7d  %12d  %12d   |  %7d  %7d  %12d  %12d%s\n", t, a.perfect,
                      a.misread, a.reviewRight, a.reviewWrong, b.perfect, b.misread, b.reviewRight,
                      b.reviewWrong, t == chosen ? "   <- chosen" : "");
        out << line;
    }
}

}  // namespace

namespace {

// One labelled photograph to read.
struct CalibrationJob {
    std::string set;
    fs::path path;
    std::string file, code;
};

// The labelled photographs of every set; skipped is set when a set or a label is left out.
std::vector<CalibrationJob> ListJobs(const std::vector<fs::path>& sets, bool& skipped,
                                     std::ostream& err) {
    std::vector<CalibrationJob> jobs;
    for (const fs::path& folder : sets) {
        std::vector<LabelledPhoto> rows;
        std::vector<std::string> labelProblems;
        const fs::path csv = folder / "labels.csv";
        if (!ReadLabels(csv, rows, labelProblems)) {
            err << csv.string() << ": cannot be read; the set is skipped\n";
            skipped = true;
            continue;
        }
        for (const std::string& problem : labelProblems) {
            err << csv.string() << ": " << problem << " (skipped)\n";
            skipped = true;
        }
        const std::string name = folder.filename().empty()
                                     ? folder.parent_path().filename().string()
                                     : folder.filename().string();
        for (const LabelledPhoto& row : rows)
            jobs.push_back({name, folder / row.file, row.file, row.code});
    }
    return jobs;
}

// Reads every look of every photograph on `jobs` threads and keeps the codes the looks validated;
// the photographs that could not be read are named on err and left out (skipped is set).
std::vector<CalibrationPhoto> ReadEveryLook(const CalibrateOptions& options,
                                            const std::vector<CalibrationJob>& jobs,
                                            const recognition::ReferenceData& view, bool& skipped,
                                            std::ostream& err) {
    std::vector<CalibrationPhoto> photos(jobs.size());
    std::vector<bool> read(jobs.size(), false);
    std::atomic<size_t> next{0};
    std::atomic<int> done{0};
    std::mutex lock;
    auto work = [&]() {
        // Read as `karvona read` reads, through ReadCode, on a recognizer that keeps every look.
        recognition::Recognizer recognizer(view);
        recognizer.options.everyLook = true;
        for (size_t i = next++; i < jobs.size(); i = next++) {
            cv::Mat photo;
            const recognition::LoadStatus status = recognition::LoadPhotograph(jobs[i].path, photo);
            if (status == recognition::LoadStatus::Ok)
                recognition::ReadCodeWith(photo, recognizer);
            photo.release();
            if (status != recognition::LoadStatus::Ok) {
                std::lock_guard<std::mutex> guard(lock);
                err << jobs[i].path.string() << ": cannot be read ("
                    << recognition::LoadStatusName(status) << "; skipped)\n";
            } else if (const recognition::ReadingPlan* plan = recognizer.plan()) {
                CalibrationPhoto& photo = photos[i];
                photo.set = jobs[i].set;
                photo.file = jobs[i].file;
                photo.candidates = plan->candidates();
                for (const Candidate& c : photo.candidates)
                    photo.right.push_back(c.code == jobs[i].code);
                read[i] = true;
            }
            const int count = ++done;
            if (options.progress) {
                std::lock_guard<std::mutex> guard(lock);
                options.progress(count, static_cast<int>(jobs.size()));
            }
        }
    };
    const int threads = std::clamp(options.jobs, 1, 64);
    if (threads > 1)
        cv::setNumThreads(1);
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();

    std::vector<CalibrationPhoto> kept;
    for (size_t i = 0; i < photos.size(); ++i) {
        if (read[i])
            kept.push_back(std::move(photos[i]));
        else
            skipped = true;
    }
    return kept;
}

}  // namespace

int RunCalibrate(const CalibrateOptions& options, std::ostream& out, std::ostream& err) {
    if (!options.fromEvidence.empty()) {
        std::vector<CalibrationPhoto> photos;
        if (!LoadEvidence(options.fromEvidence, photos)) {
            err << "calibrate: " << options.fromEvidence.string()
                << " is not a file of evidence that --save-evidence wrote\n";
            return 2;
        }
        return FitAndWrite(options, std::move(photos), false, out, err);
    }
    recognition::ReferenceDataSet data;
    auto problems = recognition::LoadRequiredReferenceData(options.data, data, false);
    // The looks are read as `karvona read` reads them: with the character network.
    if (problems.empty()) {
        if (std::string problem = recognition::LoadCharacterNetOf(options.data, data);
            !problem.empty())
            problems.push_back(problem);
    }
    for (const std::string& problem : problems)
        err << problem << '\n';
    if (!problems.empty())
        return 2;

    bool skipped = false;
    const std::vector<CalibrationJob> jobs = ListJobs(options.sets, skipped, err);
    std::vector<CalibrationPhoto> kept = ReadEveryLook(options, jobs, data.View(), skipped, err);
    return FitAndWrite(options, std::move(kept), skipped, out, err);
}

int FitAndWrite(const CalibrateOptions& options, std::vector<CalibrationPhoto> kept, bool skipped,
                std::ostream& out, std::ostream& err) {
    if (!options.saveEvidence.empty())
        SaveEvidence(options.saveEvidence, kept);
    size_t rows = 0, rightRows = 0;
    for (const CalibrationPhoto& photo : kept) {
        rows += photo.candidates.size();
        for (bool r : photo.right)
            rightRows += r ? 1 : 0;
    }
    out << "calibrate: " << kept.size() << " photographs, " << rows << " validated codes over "
        << "every look (" << rightRows << " right, " << rows - rightRows << " wrong)\n";
    if (rows == 0) {
        err << "calibrate: no validated code to fit on\n";
        return 2;
    }

    ConfidenceModel model = AsSaved(FitModel(kept));
    const Probabilities fitted = Predict(model, kept);
    const Probabilities fresh = OutOfFold(kept, 5);
    double lastChain = 0.0;
    int chainRight = 0;
    model.chainFloor = ChooseChainFloor(kept, fitted, &lastChain, &chainRight);
    double last = 0.0;
    model.threshold = ChooseThreshold(kept, {&fitted}, model.chainFloor, &last);

    std::vector<double> predicted;
    std::vector<bool> right;
    ChosenCodes(kept, fresh, model.threshold, model.chainFloor, predicted, right);
    out << "\nReliability of the chosen code per photograph (out-of-fold probabilities):\n";
    PrintReliability(out, predicted, right);
    PrintThresholds(out, kept, fitted, fresh, model.threshold, model.chainFloor);
    char text[200];
    if (model.chainFloor <= 1.0) {
        std::snprintf(text, sizeof text,
                      "\nchain floor %.3f: half a unit of log-odds above %.3f, the network's "
                      "lowest probability in the surest wrong chain code that no likely code "
                      "contradicted, and at least %.2f; %d right ones reach it\n",
                      model.chainFloor, lastChain, kLowestChainFloor, chainRight);
        out << text;
    } else {
        out << "\nno chain floor: no chain code alone was wrong to put it above, or it would "
               "lie above 0.995\n";
    }
    std::snprintf(
        text, sizeof text,
        "\nsure threshold %.3f: half a unit of log-odds above %.3f, the highest threshold "
        "at which a training photograph still had a wrong code called perfect\n",
        model.threshold, last);
    out << text;

    std::string comment = "The reading plan's confidence, made by scripts/calibrate from " +
                          std::to_string(kept.size()) + " labelled training photographs:";
    for (const fs::path& set : options.sets) {
        // A folder's name, with its parent's where another folder has the same name (the real
        // gate's train and the other site's).
        const auto sameName = [&](const fs::path& other) {
            return other.filename() == set.filename();
        };
        const bool shared = std::count_if(options.sets.begin(), options.sets.end(), sameName) > 1;
        comment += "\n  " + (shared ? (set.parent_path().filename() / set.filename()).string()
                                    : set.filename().string());
    }
    std::snprintf(text, sizeof text,
                  "\nthreshold: half a unit of log-odds above the last training misread (%.3f)",
                  last);
    comment += text;
    if (model.chainFloor <= 1.0) {
        std::snprintf(text, sizeof text,
                      "\nchain floor: half a unit of log-odds above the surest wrong chain code "
                      "alone (%.3f), and at least %.2f",
                      lastChain, kLowestChainFloor);
        comment += text;
    }
    if (!model.Save(options.out, comment)) {
        err << "calibrate: cannot write " << options.out.string() << '\n';
        return 2;
    }
    out << "written: " << options.out.string() << '\n';
    return skipped ? 1 : 0;
}

}  // namespace karvona::training
