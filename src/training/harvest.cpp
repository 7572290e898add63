#include "training/harvest.hpp"

#include <csv.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <system_error>

#include "recognition/locator.hpp"
#include "recognition/readers.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"
#include "training/sample_folder.hpp"

namespace karvona::training {

namespace fs = std::filesystem;
using recognition::Reading;

namespace {

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

bool IsCode(const std::string& code) {
    if (code.size() != 11)
        return false;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (i < 4 ? !(c >= 'A' && c <= 'Z') : !(c >= '0' && c <= '9'))
            return false;
    }
    return true;
}

bool SameImage(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::countNonZero(a != b) == 0;
}

}  // namespace

bool ReadLabels(const fs::path& csv, std::vector<LabelledPhoto>& rows,
                std::vector<std::string>& problems) {
    rows.clear();
    std::ifstream in(csv, std::ios::binary);
    if (!in)
        return false;
    // CSV as spreadsheets write it: quoted fields may hold commas, doubled quotes and line
    // breaks; lines end in LF or CRLF; blanks around an unquoted field do not count.
    struct Records {
        std::vector<std::vector<std::string>> rows{1};
        static void Field(void* text, size_t size, void* self) {
            static_cast<Records*>(self)->rows.back().emplace_back(static_cast<char*>(text), size);
        }
        static void End(int, void* self) { static_cast<Records*>(self)->rows.emplace_back(); }
    } records;
    csv_parser parser;
    if (csv_init(&parser, CSV_APPEND_NULL) != 0)
        return false;
    char buffer[1 << 16];
    bool parsed = true;
    while (parsed && in) {
        in.read(buffer, sizeof buffer);
        const auto got = static_cast<size_t>(in.gcount());
        parsed = csv_parse(&parser, buffer, got, Records::Field, Records::End, &records) == got;
    }
    parsed = parsed && csv_fini(&parser, Records::Field, Records::End, &records) == 0;
    csv_free(&parser);
    if (!parsed)
        return false;

    for (size_t number = 1; number <= records.rows.size(); ++number) {
        std::vector<std::string>& fields = records.rows[number - 1];
        if (fields.empty() || (fields.size() == 1 && Trim(fields[0]).empty()))
            continue;
        if (number == 1 && fields[0] == "file")
            continue;
        LabelledPhoto row;
        row.file = fields[0];
        row.code = fields.size() > 1 ? fields[1] : "";
        row.layout = fields.size() > 2 ? fields[2] : "";
        if (row.file.empty() || !IsCode(row.code)) {
            std::string record;
            for (const std::string& field : fields)
                record += (record.empty() ? "" : ",") + field;
            problems.push_back("record " + std::to_string(number) +
                               ": not a file and code: " + record);
            continue;
        }
        rows.push_back(row);
    }
    return true;
}

bool LinesUp(const Reading& reading) {
    if (reading.characters.size() != 11 || reading.code.size() != 11)
        return false;
    for (size_t i = 0; i < 11; ++i) {
        if (reading.characters[i].letterPosition != (i < 4) || reading.characters[i].crop.empty())
            return false;
    }
    return true;
}

namespace {

// Positions, other than the category letter, whose reading equals the label.
int Agreement(const Reading& reading, const std::string& code) {
    int agree = 0;
    for (size_t i = 0; i < reading.characters.size() && i < code.size(); ++i) {
        if (i != 3 && reading.characters[i].character == code[i])
            ++agree;
    }
    return agree;
}

bool LabelAmongRanks(const recognition::BoxReading& box, char label, int maxRank) {
    for (int r = 0; r < maxRank && r < classifier::kShownRanks; ++r) {
        if (box.ranks.ranks[r].character == label)
            return true;
    }
    return false;
}

}  // namespace

bool IsEmptyFrame(const cv::Mat& crop) {
    if (crop.empty() || crop.type() != CV_8UC1 || crop.cols < 6 || crop.rows < 6)
        return false;
    const auto whiteShare = [&](const cv::Rect& r) {
        return static_cast<double>(cv::countNonZero(crop(r))) / r.area();
    };
    const int w = crop.cols, h = crop.rows;
    const bool framed = whiteShare({0, 0, w, 1}) > 0.8 && whiteShare({0, h - 1, w, 1}) > 0.8 &&
                        whiteShare({0, 0, 1, h}) > 0.8 && whiteShare({w - 1, 0, 1, h}) > 0.8;
    if (!framed)
        return false;
    // The frame's own width is unknown; a quarter of each side leaves only the middle.
    const cv::Rect inside(w / 4, h / 4, w - 2 * (w / 4), h - 2 * (h / 4));
    return whiteShare(inside) < 0.03;
}

PhotoHarvest HarvestPhoto(const cv::Mat& photo, const std::string& code,
                          const recognition::ReferenceData& data, int minAgreement, int maxRank) {
    PhotoHarvest harvest;
    int layoutCode = -1;
    const cv::Mat region = recognition::FindIsoCharacters(photo, nullptr, nullptr, &layoutCode);
    if (region.empty() || code.size() != 11)
        return harvest;
    harvest.located = true;

    // The codebooks change neither the boxes nor the crops, only what the boxes read as.
    const recognition::ReaderOptions options;
    cv::Mat strip(150, 1100, CV_8UC3, cv::Scalar::all(0));
    std::array<Reading, 2> readings;
    cv::Mat copyA = region.clone();
    recognition::ReadByMorphology(copyA, layoutCode, strip, data, options, readings[0]);
    cv::Mat copyB = region.clone();
    recognition::ReadByClusterSegmentation(copyB, layoutCode, strip, data, options, readings[1]);

    for (int r = 0; r < 2; ++r) {
        harvest.linedUp[r] = LinesUp(readings[r]) &&
                             (minAgreement <= 0 || Agreement(readings[r], code) >= minAgreement);
        if (!harvest.linedUp[r])
            continue;
        for (int i = 0; i < 11; ++i) {
            const cv::Mat& crop = readings[r].characters[i].crop;
            if (r == 1 && harvest.linedUp[0] && SameImage(crop, readings[0].characters[i].crop)) {
                ++harvest.duplicates;
                continue;
            }
            // The painted category letter, whatever the reading pass writes for it.
            const char character = code[i];
            if (IsEmptyFrame(crop)) {
                ++harvest.emptyFrames;
                continue;
            }
            if (maxRank > 0 && data.letters != nullptr &&
                !LabelAmongRanks(readings[r].characters[i], character, maxRank)) {
                ++harvest.unlike;
                continue;
            }
            harvest.characters.push_back({static_cast<Reader>(r), i, character, crop});
        }
    }
    return harvest;
}

int RunHarvest(const HarvestOptions& options, std::ostream& out, std::ostream& err) {
    const auto start = std::chrono::steady_clock::now();
    const fs::path csv = options.photos / "labels.csv";
    std::vector<LabelledPhoto> rows;
    std::vector<std::string> problems;
    if (!ReadLabels(csv, rows, problems)) {
        err << "cannot read " << csv.string() << '\n';
        return 1;
    }
    for (const std::string& problem : problems)
        err << csv.string() << ": " << problem << '\n';
    std::error_code ec;
    fs::create_directories(options.samples, ec);
    if (!fs::is_directory(options.samples, ec)) {
        err << "cannot make the sample folder " << options.samples.string() << '\n';
        return 1;
    }

    recognition::ReferenceDataSet reference;
    if (!options.data.empty()) {
        std::vector<std::string> messages;
        recognition::LoadReferenceData(options.data, reference, messages);
        if (!reference.lettersLoaded || !reference.digitsLoaded) {
            err << "cannot load the codebooks of " << options.data.string() << '\n';
            return 1;
        }
    }

    int unreadable = 0, located = 0, photosLinedUp = 0, saved = 0, failed = 0, duplicates = 0,
        emptyFrames = 0, unlike = 0;
    std::array<int, 2> readerLinedUp{};
    std::map<char, int> perClass;
    std::map<std::string, std::array<int, 2>> perLayout;  // photographs, photographs lined up
    for (size_t n = 0; n < rows.size(); ++n) {
        if (options.progress)
            options.progress(static_cast<int>(n), static_cast<int>(rows.size()));
        const LabelledPhoto& row = rows[n];
        const fs::path file =
            fs::path(row.file).is_absolute() ? fs::path(row.file) : options.photos / row.file;
        cv::Mat photo;
        const recognition::LoadStatus status = recognition::LoadPhotograph(file, photo);
        ++perLayout[row.layout][0];
        if (status != recognition::LoadStatus::Ok) {
            ++unreadable;
            err << "cannot read " << file.string() << " (" << recognition::LoadStatusName(status)
                << ")\n";
            continue;
        }
        const PhotoHarvest harvest = HarvestPhoto(photo, row.code, reference.View(),
                                                  options.data.empty() ? 0 : options.minAgreement,
                                                  options.data.empty() ? 0 : options.maxRank);
        located += harvest.located ? 1 : 0;
        readerLinedUp[0] += harvest.linedUp[0] ? 1 : 0;
        readerLinedUp[1] += harvest.linedUp[1] ? 1 : 0;
        if (harvest.linedUp[0] || harvest.linedUp[1]) {
            ++photosLinedUp;
            ++perLayout[row.layout][1];
        }
        duplicates += harvest.duplicates;
        emptyFrames += harvest.emptyFrames;
        unlike += harvest.unlike;
        for (const HarvestedCharacter& c : harvest.characters) {
            const fs::path path =
                SaveSample(options.samples, c.character, static_cast<int>(n), c.index,
                           c.reader == Reader::Cluster ? "c" : "", c.crop);
            if (path.empty()) {
                ++failed;
                continue;
            }
            ++saved;
            ++perClass[c.character];
        }
    }
    if (options.progress)
        options.progress(static_cast<int>(rows.size()), static_cast<int>(rows.size()));

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out << "photographs: " << rows.size() << " (unreadable " << unreadable << ", region found "
        << located << ", lined up " << photosLinedUp << ")\n";
    out << "aligned readings: " << readerLinedUp[0] + readerLinedUp[1] << " (morphology "
        << readerLinedUp[0] << ", cluster " << readerLinedUp[1] << ")\n";
    for (const auto& [layout, counts] : perLayout) {
        out << "  layout " << (layout.empty() ? "?" : layout) << ": " << counts[1] << " of "
            << counts[0] << " lined up\n";
    }
    out << "samples: " << saved << " saved in " << options.samples.string();
    if (duplicates > 0)
        out << ", " << duplicates << " identical cluster crops not repeated";
    if (emptyFrames > 0)
        out << ", " << emptyFrames << " empty frames left out";
    if (unlike > 0)
        out << ", " << unlike << " crops whose label was not ranked left out";
    if (failed > 0)
        out << ", " << failed << " could not be written";
    out << '\n';
    for (const auto& [character, count] : perClass)
        out << "  " << character << ' ' << count << '\n';
    char time[64];
    std::snprintf(time, sizeof time, "%.1f s\n", seconds);
    out << time;
    return failed > 0 || unreadable > 0 ? 1 : 0;
}

}  // namespace karvona::training
