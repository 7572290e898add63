#include "training/montage.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <system_error>

namespace karvona::training {

namespace fs = std::filesystem;

cv::Mat MakeMontage(const std::vector<cv::Mat>& crops, const std::string& caption, int cellHeight,
                    int perRow) {
    cellHeight = std::max(cellHeight, 8);
    perRow = std::max(perRow, 1);
    const int cellWidth = cellHeight * 3 / 4;
    const int shown = std::min<int>(static_cast<int>(crops.size()), kMontageLimit);
    const int rows = std::max(1, (shown + perRow - 1) / perRow);
    const int captionHeight = 18;
    const int pitchX = cellWidth + 1, pitchY = cellHeight + 1;
    cv::Mat montage(captionHeight + rows * pitchY + 1, std::max(perRow * pitchX + 1, 200), CV_8UC3,
                    cv::Scalar(90, 90, 90));
    std::string text = caption + " (" + std::to_string(crops.size());
    text += shown < static_cast<int>(crops.size()) ? ", first " + std::to_string(shown) + ")" : ")";
    cv::putText(montage, text, {4, 13}, cv::FONT_HERSHEY_SIMPLEX, 0.4, cv::Scalar(255, 255, 255), 1,
                cv::LINE_AA);
    for (int k = 0; k < shown; ++k) {
        const cv::Rect cell(1 + (k % perRow) * pitchX, captionHeight + 1 + (k / perRow) * pitchY,
                            cellWidth, cellHeight);
        montage(cell).setTo(cv::Scalar::all(0));
        const cv::Mat& crop = crops[static_cast<size_t>(k)];
        if (crop.empty() || crop.type() != CV_8UC1)
            continue;
        const double scale = std::min(static_cast<double>(cellHeight - 2) / crop.rows,
                                      static_cast<double>(cellWidth - 2) / crop.cols);
        const cv::Size size(std::max(1, static_cast<int>(crop.cols * scale)),
                            std::max(1, static_cast<int>(crop.rows * scale)));
        cv::Mat scaled, colour;
        cv::resize(crop, scaled, size, 0, 0, cv::INTER_AREA);
        cv::cvtColor(scaled, colour, cv::COLOR_GRAY2BGR);
        colour.copyTo(
            montage(cv::Rect(cell.x + (cellWidth - size.width) / 2,
                             cell.y + (cellHeight - size.height) / 2, size.width, size.height)));
    }
    return montage;
}

std::string MontageName(const std::string& characters) {
    std::string name;
    for (const char c : characters) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            name += c;
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "x%02x", static_cast<unsigned char>(c));
            name += code;
        }
    }
    return name;
}

int WriteMontages(const fs::path& folder,
                  const std::map<std::string, std::pair<std::string, std::vector<cv::Mat>>>& sets,
                  std::string& error) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        error = "cannot make the montage folder " + folder.string();
        return 0;
    }
    int written = 0;
    for (const auto& [name, entry] : sets) {
        const fs::path file = folder / (name + ".png");
        bool ok = false;
        try {
            ok = cv::imwrite(file.string(), MakeMontage(entry.second, entry.first));
        } catch (const cv::Exception&) {
            ok = false;
        }
        if (ok) {
            ++written;
        } else if (error.empty()) {
            error = "cannot write " + file.string();
        }
    }
    return written;
}

void WriteClassMontages(const fs::path& folder, std::map<char, std::vector<cv::Mat>>& crops,
                        const std::map<char, int>& saved, const std::string& what,
                        std::ostream& out, std::ostream& err) {
    std::map<std::string, std::pair<std::string, std::vector<cv::Mat>>> sets;
    for (auto& [character, list] : crops) {
        const auto count = saved.find(character);
        sets[MontageName(std::string(1, character))] = {
            std::string(1, character) + " " + what + ", " +
                std::to_string(count == saved.end() ? 0 : count->second) + " saved",
            std::move(list)};
    }
    std::string error;
    const int written = WriteMontages(folder, sets, error);
    if (!error.empty())
        err << error << '\n';
    out << "montages: " << written << " in " << folder.string() << '\n';
}

}  // namespace karvona::training
