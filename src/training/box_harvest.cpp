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

int RunBoxHarvest(const HarvestOptions& options, std::ostream& out, std::ostream& err) {
    const auto start = std::chrono::steady_clock::now();
    const fs::path labelsCsv = options.photos / "labels.csv";
    const fs::path boxesCsv = options.photos / "boxes.csv";
    std::vector<LabelledPhoto> labels;
    std::vector<LabelledBox> boxes;
    std::vector<std::string> problems;
    if (!ReadLabels(labelsCsv, labels, problems)) {
        err << "cannot read " << labelsCsv.string() << '\n';
        return 1;
    }
    for (const std::string& problem : problems)
        err << labelsCsv.string() << ": " << problem << '\n';
    problems.clear();
    if (!ReadBoxes(boxesCsv, boxes, problems)) {
        err << "cannot read " << boxesCsv.string() << '\n';
        return 1;
    }
    for (const std::string& problem : problems)
        err << boxesCsv.string() << ": " << problem << '\n';
    std::error_code ec;
    fs::create_directories(options.samples, ec);
    if (!fs::is_directory(options.samples, ec)) {
        err << "cannot make the sample folder " << options.samples.string() << '\n';
        return 1;
    }

    // The boxes of each photograph, in the order of labels.csv.
    std::map<std::string, std::vector<const LabelledBox*>> byFile;
    for (const LabelledBox& box : boxes)
        byFile[box.file].push_back(&box);
    std::map<std::string, size_t> labelled;
    for (size_t n = 0; n < labels.size(); ++n)
        labelled.emplace(labels[n].file, n);
    int unlabelled = 0;
    for (const auto& [file, list] : byFile) {
        if (labelled.count(file) == 0) {
            err << boxesCsv.string() << ": records " << list.front()->record << "...: " << file
                << " has no valid label; skipped\n";
            unlabelled += static_cast<int>(list.size());
        }
    }

    int unreadable = 0, saved = 0, failed = 0, outside = 0, misspelt = 0, empty = 0, partial = 0;
    std::map<char, int> perClass;
    std::map<char, std::vector<cv::Mat>> montage;
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
            ++unreadable;
            err << "cannot read " << file.string() << " (" << recognition::LoadStatusName(status)
                << ")\n";
            continue;
        }
        for (const LabelledBox* box : found->second) {
            const std::string where = boxesCsv.string() + ": record " +
                                      std::to_string(box->record) + " (" + box->file +
                                      " position " + std::to_string(box->index) + "): ";
            const char character = label.code[static_cast<size_t>(box->index)];
            if (box->character != character) {
                ++misspelt;
                err << where << "'" << box->character << "' does not spell the label " << label.code
                    << "; skipped\n";
                continue;
            }
            const cv::Rect pixels = PixelBox(*box, photo.size());
            if (pixels.area() == 0) {
                ++outside;
                err << where << "box outside the " << photo.cols << " x " << photo.rows
                    << " photograph; skipped\n";
                continue;
            }
            const cv::Mat crop = recognition::CutLabelledBox(photo, pixels);
            // A crop much shorter than its box is a piece of the character, or the wrong paint.
            if (crop.empty() || IsEmptyFrame(crop)) {
                ++empty;
                continue;
            }
            if (crop.rows * 10 < pixels.height * 6) {
                ++partial;
                continue;
            }
            const fs::path path =
                SaveSample(options.samples, character, static_cast<int>(n), box->index, "b", crop);
            if (path.empty()) {
                ++failed;
                continue;
            }
            ++saved;
            ++perClass[character];
            if (!options.montage.empty() &&
                montage[character].size() < static_cast<size_t>(kMontageLimit))
                montage[character].push_back(crop);
        }
    }
    if (options.progress)
        options.progress(static_cast<int>(labels.size()), static_cast<int>(labels.size()));

    out << "boxes: " << boxes.size() << " of " << byFile.size() << " photographs (unreadable "
        << unreadable << ", outside the photograph " << outside << ", not spelling the label "
        << misspelt << ", without a label " << unlabelled << ", no strokes " << empty
        << ", strokes much shorter than the box " << partial << ")\n";
    out << "samples: " << saved << " saved in " << options.samples.string();
    if (failed > 0)
        out << ", " << failed << " could not be written";
    out << '\n';
    for (const auto& [character, count] : perClass)
        out << "  " << character << ' ' << count << '\n';
    if (!options.montage.empty()) {
        std::map<std::string, std::pair<std::string, std::vector<cv::Mat>>> sets;
        for (auto& [character, crops] : montage) {
            sets[MontageName(std::string(1, character))] = {
                std::string(1, character) + " boxes of " + options.photos.filename().string() +
                    ", " + std::to_string(perClass[character]) + " saved",
                std::move(crops)};
        }
        std::string error;
        const int written = WriteMontages(options.montage, sets, error);
        if (!error.empty())
            err << error << '\n';
        out << "montages: " << written << " in " << options.montage.string() << '\n';
    }
    char time[64];
    std::snprintf(time, sizeof time, "%.1f s\n",
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    out << time;
    return failed > 0 || unreadable > 0 ? 1 : 0;
}

}  // namespace karvona::training
