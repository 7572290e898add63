// Golden readings: every photograph of the committed synthetic set, the demo photographs and a few
// drawn photographs (the benchmarks' among them) is read with the shipped reference data, and its
// reading and the fingerprints of the images on the way are compared with a stored file, so that
// a change made for speed cannot change a reading, or an image before it, unnoticed.
//
//   golden --data DIR --check FILE SET...    compare; exit 1 and name every field that differs
//   golden --data DIR --write FILE SET...    write the file anew (after a deliberate change)
//
// One line per photograph: its name within its set, then key=value fields. The reading: status,
// code, complete, layout, winning reader, each reader's score and code. The images, as 64-bit
// FNV-1a fingerprints of size, type and pixels: the evidence image (ev), the line masks (hm, vm,
// masked), the evidence after the tilt correction (ev2), the winning hypothesis (hyp), the region,
// both readers' strips and drawn regions, the display image and the characters' ranks.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <opencv2/core/utils/logger.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "drawn_photos.hpp"
#include "recognition/evidence.hpp"
#include "recognition/line_masks.hpp"
#include "recognition/locator.hpp"
#include "recognition/read_code.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"

namespace fs = std::filesystem;
using namespace karvona::recognition;

namespace {

class Fingerprint {
public:
    void Bytes(const void* data, size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < n; ++i) {
            hash_ ^= p[i];
            hash_ *= 1099511628211ull;
        }
    }
    template <typename T>
    void Value(const T& value) {
        Bytes(&value, sizeof value);
    }
    void Image(const cv::Mat& image) {
        Value(image.rows);
        Value(image.cols);
        Value(image.type());
        const size_t row = image.cols * image.elemSize();
        for (int y = 0; y < image.rows; ++y)
            Bytes(image.ptr(y), row);
    }
    std::string Text() const {
        char text[17];
        std::snprintf(text, sizeof text, "%016" PRIx64, hash_);
        return text;
    }

private:
    std::uint64_t hash_ = 1469598103934665603ull;
};

std::string Print(const cv::Mat& image) {
    if (image.empty())
        return "-";
    Fingerprint f;
    f.Image(image);
    return f.Text();
}

std::string RanksPrint(const Reading& reading) {
    Fingerprint f;
    for (const BoxReading& box : reading.characters) {
        f.Value(box.box.x);
        f.Value(box.box.y);
        f.Value(box.box.width);
        f.Value(box.box.height);
        f.Value(box.character);
        f.Value(box.ranks.chosenRank);
        for (const auto& rank : box.ranks.ranks) {
            f.Value(rank.classIndex);
            f.Value(rank.distance);  // every bit of the squared distance
        }
        f.Image(box.crop);
    }
    return f.Text();
}

// The locator's stages one by one, on the photograph as the recognizer loaded it.
std::string StageFields(const cv::Mat& photo) {
    std::ostringstream out;
    cv::Mat evidence = BuildCharacterEvidence(photo);
    out << " ev=" << Print(evidence);
    if (evidence.empty())
        return out.str();
    cv::Mat display = photo.clone();
    const LineMasks masks = BuildLineMasks(evidence, &display);
    char tilt[32];
    std::snprintf(tilt, sizeof tilt, "%.17g", masks.tilt);
    out << " lines=" << masks.horizontal << masks.vertical << ',' << masks.strokeHeight << ','
        << tilt << " hm=" << Print(masks.horizontalMask) << " vm=" << Print(masks.verticalMask)
        << " masked=" << Print(masks.masked) << " ev2=" << Print(evidence);

    const BestHypothesis best = SearchLayouts(photo, nullptr);
    char score[48];
    std::snprintf(score, sizeof score, "%.17g", best.score);
    const cv::Rect first = best.boxes.count > 0 ? best.boxes.boxes[0] : cv::Rect();
    out << " hyp=" << best.layout << ',' << score << ',' << best.boxes.count << ',' << first.x
        << ',' << first.y << ',' << first.width << ',' << first.height;
    return out.str();
}

// The reading of a photograph whose load gave status.
std::string ReadingFields(Recognizer& recognizer, LoadStatus status) {
    std::ostringstream out;
    const RecognitionResult& result = recognizer.result;
    out << " status=" << LoadStatusName(status)
        << " code=" << (recognizer.resultText.empty() ? "-" : recognizer.resultText)
        << " complete=" << result.complete << " layout=" << result.layoutCode
        << " reader=" << ReaderName(result.reader);
    const Reading& a = recognizer.morphologyReading;
    const Reading& b = recognizer.clusterReading;
    out << " a=" << a.score << ':' << (a.code.empty() ? "-" : a.code) << ':' << a.complete
        << " b=" << b.score << ':' << (b.code.empty() ? "-" : b.code) << ':' << b.complete;
    if (status == LoadStatus::Ok)
        out << StageFields(recognizer.sourceImage);
    out << " region=" << Print(recognizer.region);
    if (!recognizer.region.empty()) {
        out << " stripA=" << Print(recognizer.morphologyStrip)
            << " stripB=" << Print(recognizer.clusterStrip) << " ranksA=" << RanksPrint(a)
            << " ranksB=" << RanksPrint(b);
    }
    out << " display=" << Print(recognizer.displayImage);
    return out.str();
}

// The drawn photographs: the benchmarks' two, and one of every layout with a leaning vertical
// code among them so that the tilt correction is covered.
std::vector<std::pair<std::string, cv::Mat>> DrawnPhotos() {
    using karvona::testing::CodeDrawing;
    std::vector<std::pair<std::string, cv::Mat>> photos;
    for (const cv::Size size : {cv::Size(640, 480), cv::Size(1024, 768)}) {
        CodeDrawing d;  // as bench_locator draws it
        d.frame = size;
        d.charHeight = size.height / 16;
        d.charWidth = (d.charHeight - 1) / 2;
        d.noiseSigma = 6.0;
        photos.emplace_back("bench-locator-" + std::to_string(size.width),
                            karvona::testing::DrawCodePhoto(d).image);
    }
    {
        CodeDrawing d;  // as bench_recognize draws it
        d.text = "ABCU1234560";
        d.noiseSigma = 6.0;
        photos.emplace_back("bench-recognize", karvona::testing::DrawCodePhoto(d).image);
    }
    for (int layout = 0; layout < 7; ++layout) {
        CodeDrawing d;
        d.layout = layout;
        d.text = "TGHU8816410";
        d.lightOnDark = layout % 2 == 0;
        d.background = d.lightOnDark ? 60 : 200;
        d.paint = d.lightOnDark ? 230 : 30;
        d.noiseSigma = 4.0;
        d.seed = static_cast<unsigned>(layout + 1);
        if (layout == 2)
            d.leanDegrees = 3.0;
        photos.emplace_back("layout" + std::to_string(layout),
                            karvona::testing::DrawCodePhoto(d).image);
    }
    return photos;
}

std::vector<fs::path> PhotographsIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (entry.is_regular_file() && (ext == ".jpg" || ext == ".bmp"))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::map<std::string, std::string> Fields(const std::string& line) {
    std::map<std::string, std::string> fields;
    std::istringstream in(line);
    std::string word;
    in >> word;
    while (in >> word) {
        const size_t eq = word.find('=');
        fields[word.substr(0, eq)] = eq == std::string::npos ? "" : word.substr(eq + 1);
    }
    return fields;
}

std::string NameOf(const std::string& line) {
    return line.substr(0, line.find(' '));
}

}  // namespace

int main(int argc, char** argv) {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    CLI::App app{"Golden readings: compare or rewrite the stored readings of the photograph sets"};
    std::string data = "data";
    std::string checkFile, writeFile;
    std::vector<std::string> sets;
    app.add_option("--data", data, "Folder of prefixes.trn, numbers.trn and prefix.txt");
    auto* check = app.add_option("--check", checkFile, "Compare with this file");
    app.add_option("--write", writeFile, "Write the readings into this file")->excludes(check);
    app.add_option("sets", sets, "Folders of photographs");
    CLI11_PARSE(app, argc, argv);

    ReferenceDataSet reference;
    std::vector<std::string> messages;
    LoadReferenceData(data, reference, messages);
    for (const std::string& message : messages)
        std::cerr << message << '\n';
    if (!messages.empty())
        return 2;

    std::vector<std::string> lines;
    // Read as the front ends read, through ReadCode, on a recognizer of our own that keeps what
    // the lines fingerprint. A recognizer per photograph: a reader that gives up early leaves its
    // strip as the previous photograph left it, and the lines must not depend on the order of
    // reading.
    karvona::ReadOptions strict;
    strict.strict = true;
    for (const std::string& set : sets) {
        const std::string name = fs::path(set).lexically_normal().filename().string();
        for (const fs::path& file : PhotographsIn(set)) {
            cv::Mat photo;
            const LoadStatus status = LoadPhotograph(file, photo);
            Recognizer recognizer(reference.View());
            ReadCodeWith(photo, recognizer, strict);
            lines.push_back(name + "/" + file.filename().string() +
                            ReadingFields(recognizer, status));
        }
    }
    for (const auto& [name, photo] : DrawnPhotos()) {
        Recognizer recognizer(reference.View());
        ReadCodeWith(photo, recognizer, strict);
        lines.push_back("drawn/" + name + ReadingFields(recognizer, LoadStatus::Ok));
    }

    if (!writeFile.empty()) {
        std::ofstream out(writeFile);
        out << "# Golden readings of the committed photographs with data/; made by\n"
               "#   build/tests/golden/golden --data data --write tests/golden/readings.txt "
               "tests/samples/synthetic samples\n";
        for (const std::string& line : lines)
            out << line << '\n';
        if (!out) {
            std::cerr << "golden: cannot write " << writeFile << '\n';
            return 2;
        }
        std::cout << lines.size() << " readings written to " << writeFile << '\n';
        return 0;
    }
    if (checkFile.empty()) {
        for (const std::string& line : lines)
            std::cout << line << '\n';
        return 0;
    }

    std::ifstream in(checkFile);
    if (!in) {
        std::cerr << "golden: cannot read " << checkFile << '\n';
        return 2;
    }
    std::map<std::string, std::string> expected;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#')
            expected[NameOf(line)] = line;
    }
    int differing = 0;
    for (const std::string& line : lines) {
        const std::string name = NameOf(line);
        const auto found = expected.find(name);
        if (found == expected.end()) {
            std::cout << name << ": not in " << checkFile << '\n';
            ++differing;
            continue;
        }
        if (found->second != line) {
            const auto want = Fields(found->second);
            const auto got = Fields(line);
            std::cout << name << ':';
            for (const auto& [key, value] : got) {
                const auto w = want.find(key);
                if (w == want.end())
                    std::cout << ' ' << key << " new (" << value << ')';
                else if (w->second != value)
                    std::cout << ' ' << key << " was " << w->second << " now " << value;
            }
            for (const auto& [key, value] : want) {
                if (got.count(key) == 0)
                    std::cout << ' ' << key << " gone (" << value << ')';
            }
            std::cout << '\n';
            ++differing;
        }
        expected.erase(name);
    }
    for (const auto& [name, line] : expected) {
        std::cout << name << ": no longer read\n";
        ++differing;
    }
    std::cout << lines.size() << " photographs, " << differing << " differ from " << checkFile
              << '\n';
    if (differing > 0)
        std::cout << "If the change is meant, write the file anew (see its first lines).\n";
    return differing > 0 ? 1 : 0;
}
