#include "training/box_harvest.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>

#include "recognition/readers.hpp"
#include "recognition/recognizer.hpp"
#include "training/montage.hpp"
#include "training/sample_folder.hpp"

namespace karvona::training {

namespace fs = std::filesystem;

namespace {

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

std::string Joined(const std::vector<std::string>& fields) {
    std::string record;
    for (const std::string& field : fields)
        record += (record.empty() ? "" : ",") + field;
    return record;
}

}  // namespace

bool ReadBoxes(const fs::path& csv, std::vector<LabelledBox>& boxes,
               std::vector<std::string>& problems) {
    boxes.clear();
    std::vector<std::vector<std::string>> records;
    if (!ReadCsvRecords(csv, records))
        return false;
    for (size_t number = 1; number <= records.size(); ++number) {
        const std::vector<std::string>& fields = records[number - 1];
        if (fields.empty() || (fields.size() == 1 && fields[0].empty()))
            continue;
        if (number == 1 && fields[0] == "file")
            continue;
        LabelledBox box;
        box.record = number;
        double index = -1;
        const bool good = fields.size() == 7 && !fields[0].empty() &&
                          ParseNumber(fields[1], index) && index >= 0 && index <= 10 &&
                          index == std::floor(index) && fields[2].size() == 1 &&
                          ParseNumber(fields[3], box.x0) && ParseNumber(fields[4], box.y0) &&
                          ParseNumber(fields[5], box.x1) && ParseNumber(fields[6], box.y1);
        if (!good) {
            problems.push_back("record " + std::to_string(number) +
                               ": not file,index,char,x0,y0,x1,y1: " + Joined(fields));
            continue;
        }
        box.file = fields[0];
        box.index = static_cast<int>(index);
        box.character = fields[2][0];
        boxes.push_back(box);
    }
    return true;
}

cv::Rect PixelBox(const LabelledBox& box, const cv::Size& photo) {
    const double x0 = std::floor(box.x0), y0 = std::floor(box.y0);
    const double x1 = std::ceil(box.x1), y1 = std::ceil(box.y1);
    if (x0 < 0 || y0 < 0 || x1 > photo.width || y1 > photo.height || x1 - x0 < 2 || y1 - y0 < 2)
        return {};
    return {static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
            static_cast<int>(y1 - y0)};
}

namespace {

// What a box harvest counts, for its report.
struct BoxTally {
    int unreadable = 0, saved = 0, failed = 0, outside = 0, misspelt = 0, empty = 0, partial = 0;
    int unlabelled = 0;
    std::map<char, int> perClass;
    std::map<char, std::vector<cv::Mat>> montage;
};

// Reads labels.csv and boxes.csv and makes the sample folder; false (with the reason on err)
// when one of them fails.
bool PrepareBoxHarvest(const HarvestOptions& options, std::vector<LabelledPhoto>& labels,
                       std::vector<LabelledBox>& boxes, std::ostream& err) {
    const fs::path labelsCsv = options.photos / "labels.csv";
    const fs::path boxesCsv = options.photos / "boxes.csv";
    std::vector<std::string> problems;
    if (!ReadLabels(labelsCsv, labels, problems)) {
        err << "cannot read " << labelsCsv.string() << '\n';
        return false;
    }
    for (const std::string& problem : problems)
        err << labelsCsv.string() << ": " << problem << '\n';
    problems.clear();
    if (!ReadBoxes(boxesCsv, boxes, problems)) {
        err << "cannot read " << boxesCsv.string() << '\n';
        return false;
    }
    for (const std::string& problem : problems)
        err << boxesCsv.string() << ": " << problem << '\n';
    std::error_code ec;
    fs::create_directories(options.samples, ec);
    if (!fs::is_directory(options.samples, ec)) {
        err << "cannot make the sample folder " << options.samples.string() << '\n';
        return false;
    }
    return true;
}

// Cuts and saves the labelled boxes of photograph n.
void HarvestBoxes(const HarvestOptions& options, const fs::path& boxesCsv,
                  const LabelledPhoto& label, const cv::Mat& photo,
                  const std::vector<const LabelledBox*>& boxes, int n, BoxTally& tally,
                  std::ostream& err) {
    for (const LabelledBox* box : boxes) {
        const std::string where = boxesCsv.string() + ": record " + std::to_string(box->record) +
                                  " (" + box->file + " position " + std::to_string(box->index) +
                                  "): ";
        const char character = label.code[static_cast<size_t>(box->index)];
        if (box->character != character) {
            ++tally.misspelt;
            err << where << "'" << box->character << "' does not spell the label " << label.code
                << "; skipped\n";
            continue;
        }
        const cv::Rect pixels = PixelBox(*box, photo.size());
        if (pixels.area() == 0) {
            ++tally.outside;
            err << where << "box outside the " << photo.cols << " x " << photo.rows
                << " photograph; skipped\n";
            continue;
        }
        const cv::Mat crop = recognition::CutLabelledBox(photo, pixels);
        // A crop much shorter than its box is a piece of the character, or the wrong paint.
        if (crop.empty() || IsEmptyFrame(crop)) {
            ++tally.empty;
            continue;
        }
        if (crop.rows * 10 < pixels.height * 6) {
            ++tally.partial;
            continue;
        }
        const fs::path path = SaveSample(options.samples, character, n, box->index, "b", crop);
        if (path.empty()) {
            ++tally.failed;
            continue;
        }
        ++tally.saved;
        ++tally.perClass[character];
        if (!options.montage.empty() &&
            tally.montage[character].size() < static_cast<size_t>(kMontageLimit))
            tally.montage[character].push_back(crop);
    }
}

void ReportBoxHarvest(const HarvestOptions& options, size_t boxCount, size_t photographs,
                      BoxTally& t, std::ostream& out, std::ostream& err) {
    out << "boxes: " << boxCount << " of " << photographs << " photographs (unreadable "
        << t.unreadable << ", outside the photograph " << t.outside << ", not spelling the label "
        << t.misspelt << ", without a label " << t.unlabelled << ", no strokes " << t.empty
        << ", strokes much shorter than the box " << t.partial << ")\n";
    out << "samples: " << t.saved << " saved in " << options.samples.string();
    if (t.failed > 0)
        out << ", " << t.failed << " could not be written";
    out << '\n';
    for (const auto& [character, count] : t.perClass)
        out << "  " << character << ' ' << count << '\n';
    if (!options.montage.empty())
        WriteClassMontages(options.montage, t.montage, t.perClass,
                           "boxes of " + options.photos.filename().string(), out, err);
}

}  // namespace

int RunBoxHarvest(const HarvestOptions& options, std::ostream& out, std::ostream& err) {
    const auto start = std::chrono::steady_clock::now();
    const fs::path boxesCsv = options.photos / "boxes.csv";
    std::vector<LabelledPhoto> labels;
    std::vector<LabelledBox> boxes;
    if (!PrepareBoxHarvest(options, labels, boxes, err))
        return 1;

    // The boxes of each photograph, in the order of labels.csv.
    std::map<std::string, std::vector<const LabelledBox*>> byFile;
    for (const LabelledBox& box : boxes)
        byFile[box.file].push_back(&box);
    std::map<std::string, size_t> labelled;
    for (size_t n = 0; n < labels.size(); ++n)
        labelled.emplace(labels[n].file, n);
    BoxTally tally;
    for (const auto& [file, list] : byFile) {
        if (labelled.count(file) == 0) {
            err << boxesCsv.string() << ": records " << list.front()->record << "...: " << file
                << " has no valid label; skipped\n";
            tally.unlabelled += static_cast<int>(list.size());
        }
    }

    for (size_t n = 0; n < labels.size(); ++n) {
        if (options.progress)
            options.progress(static_cast<int>(n), static_cast<int>(labels.size()));
        const LabelledPhoto& label = labels[n];
        const auto found = byFile.find(label.file);
        if (found == byFile.end())
            continue;
        const fs::path file =
            fs::path(label.file).is_absolute() ? fs::path(label.file) : options.photos / label.file;
        cv::Mat photo;
        const recognition::LoadStatus status = recognition::LoadPhotograph(file, photo);
        if (status != recognition::LoadStatus::Ok) {
            ++tally.unreadable;
            err << "cannot read " << file.string() << " (" << recognition::LoadStatusName(status)
                << ")\n";
            continue;
        }
        HarvestBoxes(options, boxesCsv, label, photo, found->second, static_cast<int>(n), tally,
                     err);
    }
    if (options.progress)
        options.progress(static_cast<int>(labels.size()), static_cast<int>(labels.size()));

    ReportBoxHarvest(options, boxes.size(), byFile.size(), tally, out, err);
    char time[64];
    std::snprintf(time, sizeof time, "%.1f s\n",
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    out << time;
    return tally.failed > 0 || tally.unreadable > 0 ? 1 : 0;
}

}  // namespace karvona::training
