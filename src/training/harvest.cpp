#include "training/harvest.hpp"

#include <csv.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <system_error>

#include "classifier/iso6346.hpp"
#include "recognition/locator.hpp"
#include "recognition/readers.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"
#include "training/montage.hpp"
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
    // A label whose check digit is wrong names some other container: none of its crops is sure.
    return classifier::CheckDigitPasses(classifier::CheckSumOf(code),
                                        classifier::CharToIsoValue(code[10]));
}

bool SameImage(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::countNonZero(a != b) == 0;
}

// The median height of the crops paired with a code position.
int MedianHeight(const Reading& reading, const std::vector<int>& position) {
    std::vector<int> heights;
    for (size_t k = 0; k < position.size(); ++k) {
        if (position[k] >= 0 && !reading.characters[k].crop.empty())
            heights.push_back(reading.characters[k].crop.rows);
    }
    if (heights.empty())
        return 0;
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    return heights[heights.size() / 2];
}

// Painted characters of one code are about equally tall, and only 1 and I are narrow: a crop
// much shorter than its neighbours or a sliver is a piece of something else, whatever it ranks.
bool PlausibleShape(const cv::Mat& crop, char label, int typicalHeight) {
    if (crop.empty())
        return false;
    if (typicalHeight > 0 &&
        (crop.rows * 10 < typicalHeight * 7 || crop.rows * 10 > typicalHeight * 14))
        return false;
    return label == '1' || label == 'I' || crop.cols * 4 >= crop.rows;
}

// Whether the morphology reader already paired the same crop with the same code position.
bool IsDuplicate(const cv::Mat& crop, int index,
                 const std::vector<std::pair<int, cv::Mat>>& morphology) {
    for (const auto& [i, other] : morphology) {
        if (i == index && SameImage(other, crop))
            return true;
    }
    return false;
}

}  // namespace

bool ReadCsvRecords(const fs::path& csv, std::vector<std::vector<std::string>>& records) {
    records.clear();
    std::ifstream in(csv, std::ios::binary);
    if (!in)
        return false;
    // CSV as spreadsheets write it: quoted fields may hold commas, doubled quotes and line
    // breaks; lines end in LF or CRLF; blanks around an unquoted field do not count.
    struct Records {
        std::vector<std::vector<std::string>>& rows;
        static void Field(void* text, size_t size, void* self) {
            static_cast<Records*>(self)->rows.back().emplace_back(static_cast<char*>(text), size);
        }
        static void End(int, void* self) { static_cast<Records*>(self)->rows.emplace_back(); }
    } sink{records};
    records.emplace_back();
    csv_parser parser;
    if (csv_init(&parser, CSV_APPEND_NULL) != 0)
        return false;
    char buffer[1 << 16];
    bool parsed = true;
    while (parsed && in) {
        in.read(buffer, sizeof buffer);
        const auto got = static_cast<size_t>(in.gcount());
        parsed = csv_parse(&parser, buffer, got, Records::Field, Records::End, &sink) == got;
    }
    parsed = parsed && csv_fini(&parser, Records::Field, Records::End, &sink) == 0;
    csv_free(&parser);
    return parsed;
}

bool ReadLabels(const fs::path& csv, std::vector<LabelledPhoto>& rows,
                std::vector<std::string>& problems) {
    rows.clear();
    std::vector<std::vector<std::string>> records;
    if (!ReadCsvRecords(csv, records))
        return false;
    for (size_t number = 1; number <= records.size(); ++number) {
        std::vector<std::string>& fields = records[number - 1];
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
                               ": not a file and a valid code: " + record);
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

bool RankedAmong(const classifier::CharacterReading& reading, char label, int maxRank) {
    for (int r = 0; r < maxRank && r < classifier::kShownRanks; ++r) {
        if (reading.ranks[r].character == label)
            return true;
    }
    return false;
}

}  // namespace

std::vector<int> AlignCrops(const std::vector<cv::Mat>& crops, const std::string& code,
                            const recognition::ReferenceData& data, int maxRank, int& firstRank) {
    firstRank = 0;
    const int n = static_cast<int>(crops.size());
    const int m = static_cast<int>(code.size());
    std::vector<int> position(static_cast<size_t>(n), -1);
    if (n == 0 || m == 0 || data.letters == nullptr || data.digits == nullptr)
        return position;
    // What pairing crop j with position i is worth: 3 when it reads the label at the first rank,
    // 1 when the label is among the first maxRank ranks, else the pair is not allowed (0).
    std::vector<std::vector<int>> worth(static_cast<size_t>(n), std::vector<int>(m, 0));
    for (int j = 0; j < n; ++j) {
        if (crops[j].empty())
            continue;
        const classifier::CharacterReading asLetter =
            classifier::ClassifyCharacter(*data.letters, crops[j], false);
        const classifier::CharacterReading asDigit =
            classifier::ClassifyCharacter(*data.digits, crops[j], true);
        for (int i = 0; i < m; ++i) {
            const classifier::CharacterReading& r = i < 4 ? asLetter : asDigit;
            if (r.character() == code[i])
                worth[j][i] = 3;
            else if (RankedAmong(r, code[i], maxRank))
                worth[j][i] = 1;
        }
    }
    // best[j][i]: the most that crops j.. and positions i.. can still add.
    std::vector<std::vector<int>> best(static_cast<size_t>(n + 1), std::vector<int>(m + 1, 0));
    for (int j = n - 1; j >= 0; --j) {
        for (int i = m - 1; i >= 0; --i) {
            int b = std::max(best[j + 1][i], best[j][i + 1]);
            if (worth[j][i] > 0)
                b = std::max(b, worth[j][i] + best[j + 1][i + 1]);
            best[j][i] = b;
        }
    }
    // Walk the best pairing from the start, preferring a pair over a skip.
    for (int j = 0, i = 0; j < n && i < m;) {
        if (worth[j][i] > 0 && best[j][i] == worth[j][i] + best[j + 1][i + 1]) {
            position[j] = i;
            if (worth[j][i] == 3 && i != 3)
                ++firstRank;
            ++j;
            ++i;
        } else if (best[j][i] == best[j + 1][i]) {
            ++j;
        } else {
            ++i;
        }
    }
    return position;
}

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

namespace {

// What one reader's reading gives of a photograph, as HarvestPhoto keeps it.
struct ReaderHarvest {
    const std::string& code;
    const recognition::ReferenceData& data;
    int minAgreement;
    int maxRank;
    bool align;
    bool codebooks;
};

// Per crop of reader r's reading, the code position it stands for (-1: not kept); empty when the
// reading neither lines up nor can be aligned box by box. Records which it did in harvest.
std::vector<int> PositionsOf(const Reading& reading, int r, const ReaderHarvest& h,
                             PhotoHarvest& harvest) {
    harvest.linedUp[r] =
        LinesUp(reading) && (h.minAgreement <= 0 || Agreement(reading, h.code) >= h.minAgreement);
    std::vector<int> position(reading.characters.size(), -1);
    if (harvest.linedUp[r]) {
        for (size_t i = 0; i < position.size(); ++i)
            position[i] = static_cast<int>(i);
        return position;
    }
    if (!(h.align && h.codebooks))
        return {};
    std::vector<cv::Mat> crops;
    for (const recognition::BoxReading& box : reading.characters)
        crops.push_back(box.crop);
    int firstRank = 0;
    position = AlignCrops(crops, h.code, h.data, std::max(h.maxRank, 3), firstRank);
    harvest.aligned[r] = firstRank >= std::max(h.minAgreement, 1);
    return harvest.aligned[r] ? position : std::vector<int>{};
}

// Keeps the crops of reader r's reading at their positions, leaving out the misshapen ones,
// repeats of the morphology reader's crops, empty frames and crops that do not rank their label.
void KeepCrops(const Reading& reading, int r, const std::vector<int>& position,
               const ReaderHarvest& h, std::vector<std::pair<int, cv::Mat>>& morphologyPairs,
               PhotoHarvest& harvest) {
    const int typicalHeight = MedianHeight(reading, position);
    for (size_t k = 0; k < position.size(); ++k) {
        const int i = position[k];
        if (i < 0)
            continue;
        const recognition::BoxReading& box = reading.characters[k];
        if (!PlausibleShape(box.crop, h.code[static_cast<size_t>(i)], typicalHeight)) {
            ++harvest.misshapen;
            continue;
        }
        const cv::Mat& crop = box.crop;
        if (r == 0) {
            morphologyPairs.emplace_back(i, crop);
        } else if (IsDuplicate(crop, i, morphologyPairs)) {
            ++harvest.duplicates;
            continue;
        }
        // The painted category letter, whatever the reading pass writes for it.
        const char character = h.code[static_cast<size_t>(i)];
        if (IsEmptyFrame(crop)) {
            ++harvest.emptyFrames;
            continue;
        }
        if (h.maxRank > 0 && h.codebooks) {
            // A crop the pass read with the other codebook is ranked with the right one.
            const bool letter = i < 4;
            const classifier::CharacterReading ranks =
                box.letterPosition == letter
                    ? box.ranks
                    : classifier::ClassifyCharacter(letter ? *h.data.letters : *h.data.digits, crop,
                                                    !letter);
            if (!RankedAmong(ranks, character, h.maxRank)) {
                ++harvest.unlike;
                continue;
            }
        }
        harvest.characters.push_back({static_cast<Reader>(r), i, character, crop});
    }
}

}  // namespace

PhotoHarvest HarvestPhoto(const cv::Mat& photo, const std::string& code,
                          const recognition::ReferenceData& data, int minAgreement, int maxRank,
                          bool align) {
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

    const ReaderHarvest h{code,    data,  minAgreement,
                          maxRank, align, data.letters != nullptr && data.digits != nullptr};
    std::vector<std::pair<int, cv::Mat>> morphologyPairs;
    for (int r = 0; r < 2; ++r) {
        const std::vector<int> position = PositionsOf(readings[r], r, h, harvest);
        if (!position.empty())
            KeepCrops(readings[r], r, position, h, morphologyPairs, harvest);
    }
    return harvest;
}

namespace {

// What a harvest run counts, for its report.
struct HarvestTally {
    int unreadable = 0, located = 0, photosLinedUp = 0, saved = 0, failed = 0, duplicates = 0,
        emptyFrames = 0, unlike = 0, misshapen = 0;
    std::array<int, 2> readerLinedUp{}, readerAligned{};
    int photosAligned = 0;
    std::map<char, int> perClass;
    std::map<char, std::vector<cv::Mat>> montage;
    std::map<std::string, std::array<int, 2>> perLayout;  // photographs, photographs lined up
};

// Reads the labels, makes the sample folder and loads the codebooks when --data asks for them;
// false (with the reason on err) when one of them fails.
bool PrepareHarvest(const HarvestOptions& options, std::vector<LabelledPhoto>& rows,
                    recognition::ReferenceDataSet& reference, std::ostream& err) {
    const fs::path csv = options.photos / "labels.csv";
    std::vector<std::string> problems;
    if (!ReadLabels(csv, rows, problems)) {
        err << "cannot read " << csv.string() << '\n';
        return false;
    }
    for (const std::string& problem : problems)
        err << csv.string() << ": " << problem << '\n';
    std::error_code ec;
    fs::create_directories(options.samples, ec);
    if (!fs::is_directory(options.samples, ec)) {
        err << "cannot make the sample folder " << options.samples.string() << '\n';
        return false;
    }
    if (!options.data.empty()) {
        std::vector<std::string> messages;
        recognition::LoadReferenceData(options.data, reference, messages);
        if (!reference.lettersLoaded || !reference.digitsLoaded) {
            err << "cannot load the codebooks of " << options.data.string() << '\n';
            return false;
        }
    }
    return true;
}

void CountHarvest(const PhotoHarvest& harvest, const std::string& layout, HarvestTally& tally) {
    tally.located += harvest.located ? 1 : 0;
    for (int r = 0; r < 2; ++r) {
        tally.readerLinedUp[r] += harvest.linedUp[r] ? 1 : 0;
        tally.readerAligned[r] += harvest.aligned[r] ? 1 : 0;
    }
    if (harvest.linedUp[0] || harvest.linedUp[1]) {
        ++tally.photosLinedUp;
        ++tally.perLayout[layout][1];
    } else if (harvest.aligned[0] || harvest.aligned[1]) {
        ++tally.photosAligned;
        ++tally.perLayout[layout][1];
    }
    tally.duplicates += harvest.duplicates;
    tally.emptyFrames += harvest.emptyFrames;
    tally.unlike += harvest.unlike;
    tally.misshapen += harvest.misshapen;
}

// Saves the characters of photograph n and keeps the first ones of each class for the montage.
void SaveHarvest(const HarvestOptions& options, const PhotoHarvest& harvest, int n,
                 HarvestTally& tally) {
    for (const HarvestedCharacter& c : harvest.characters) {
        const fs::path path = SaveSample(options.samples, c.character, n, c.index,
                                         c.reader == Reader::Cluster ? "c" : "", c.crop);
        if (path.empty()) {
            ++tally.failed;
            continue;
        }
        ++tally.saved;
        ++tally.perClass[c.character];
        if (!options.montage.empty() &&
            tally.montage[c.character].size() < static_cast<size_t>(kMontageLimit))
            tally.montage[c.character].push_back(c.crop);
    }
}

void ReportHarvest(const HarvestOptions& options, size_t photographs, const HarvestTally& t,
                   std::ostream& out) {
    out << "photographs: " << photographs << " (unreadable " << t.unreadable << ", region found "
        << t.located << ", lined up " << t.photosLinedUp;
    if (options.align)
        out << ", aligned box by box " << t.photosAligned;
    out << ")\n";
    out << "aligned readings: " << t.readerLinedUp[0] + t.readerLinedUp[1] << " (morphology "
        << t.readerLinedUp[0] << ", cluster " << t.readerLinedUp[1] << ")";
    if (options.align) {
        out << ", box by box " << t.readerAligned[0] + t.readerAligned[1] << " (morphology "
            << t.readerAligned[0] << ", cluster " << t.readerAligned[1] << ")";
    }
    out << '\n';
    for (const auto& [layout, counts] : t.perLayout) {
        out << "  layout " << (layout.empty() ? "?" : layout) << ": " << counts[1] << " of "
            << counts[0] << " harvested\n";
    }
    out << "samples: " << t.saved << " saved in " << options.samples.string();
    if (t.duplicates > 0)
        out << ", " << t.duplicates << " identical cluster crops not repeated";
    if (t.emptyFrames > 0)
        out << ", " << t.emptyFrames << " empty frames left out";
    if (t.unlike > 0)
        out << ", " << t.unlike << " crops whose label was not ranked left out";
    if (t.misshapen > 0)
        out << ", " << t.misshapen << " crops of the wrong height or too narrow left out";
    if (t.failed > 0)
        out << ", " << t.failed << " could not be written";
    out << '\n';
    for (const auto& [character, count] : t.perClass)
        out << "  " << character << ' ' << count << '\n';
}

}  // namespace

int RunHarvest(const HarvestOptions& options, std::ostream& out, std::ostream& err) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<LabelledPhoto> rows;
    recognition::ReferenceDataSet reference;
    if (!PrepareHarvest(options, rows, reference, err))
        return 1;

    HarvestTally tally;
    for (size_t n = 0; n < rows.size(); ++n) {
        if (options.progress)
            options.progress(static_cast<int>(n), static_cast<int>(rows.size()));
        const LabelledPhoto& row = rows[n];
        const fs::path file =
            fs::path(row.file).is_absolute() ? fs::path(row.file) : options.photos / row.file;
        cv::Mat photo;
        const recognition::LoadStatus status = recognition::LoadPhotograph(file, photo);
        ++tally.perLayout[row.layout][0];
        if (status != recognition::LoadStatus::Ok) {
            ++tally.unreadable;
            err << "cannot read " << file.string() << " (" << recognition::LoadStatusName(status)
                << ")\n";
            continue;
        }
        const PhotoHarvest harvest = HarvestPhoto(
            photo, row.code, reference.View(), options.data.empty() ? 0 : options.minAgreement,
            options.data.empty() ? 0 : options.maxRank, options.align);
        CountHarvest(harvest, row.layout, tally);
        SaveHarvest(options, harvest, static_cast<int>(n), tally);
    }
    if (options.progress)
        options.progress(static_cast<int>(rows.size()), static_cast<int>(rows.size()));

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ReportHarvest(options, rows.size(), tally, out);
    if (!options.montage.empty())
        WriteClassMontages(options.montage, tally.montage, tally.perClass,
                           "from " + options.photos.filename().string(), out, err);
    char time[64];
    std::snprintf(time, sizeof time, "%.1f s\n", seconds);
    out << time;
    return tally.failed > 0 || tally.unreadable > 0 ? 1 : 0;
}

}  // namespace karvona::training
