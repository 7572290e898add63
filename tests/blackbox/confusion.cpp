#include "confusion.hpp"

#include <algorithm>
#include <cstdio>

#include "training/montage.hpp"

namespace karvona::blackbox {

std::vector<int> AlignWithLabel(const std::string& label, const std::string& read) {
    const size_t m = label.size(), n = read.size();
    // cost[i][j]: changes to align label[i..] with read[j..].
    std::vector<std::vector<int>> cost(m + 1, std::vector<int>(n + 1, 0));
    for (size_t i = m + 1; i-- > 0;) {
        for (size_t j = n + 1; j-- > 0;) {
            if (i == m || j == n) {
                cost[i][j] = static_cast<int>((m - i) + (n - j));
                continue;
            }
            cost[i][j] = std::min({cost[i + 1][j + 1] + (label[i] == read[j] ? 0 : 1),
                                   cost[i + 1][j] + 1, cost[i][j + 1] + 1});
        }
    }
    std::vector<int> box(m, -1);
    for (size_t i = 0, j = 0; i < m && j < n;) {
        if (cost[i][j] == cost[i + 1][j + 1] + (label[i] == read[j] ? 0 : 1)) {
            box[i] = static_cast<int>(j);
            ++i;
            ++j;
        } else if (cost[i][j] == cost[i + 1][j] + 1) {
            ++i;
        } else {
            ++j;
        }
    }
    return box;
}

void ConfusionTable::Add(const std::string& label,
                         const std::vector<recognition::BoxReading>& boxes) {
    std::string read;
    for (const recognition::BoxReading& b : boxes)
        read += b.character;
    const std::vector<int> box = AlignWithLabel(label, read);
    for (size_t i = 0; i < label.size(); ++i) {
        ClassCount& count = perClass[label[i]];
        ++count.total;
        const int j = box[i];
        const char got = j >= 0 ? read[static_cast<size_t>(j)] : '-';
        if (got == label[i]) {
            ++count.right;
            continue;
        }
        std::vector<cv::Mat>& crops = confusions[{label[i], got}];
        crops.push_back(j >= 0 ? boxes[static_cast<size_t>(j)].crop : cv::Mat());
    }
}

void ConfusionTable::Print(std::ostream& out) const {
    for (const bool digits : {false, true}) {
        int total = 0, right = 0;
        std::string classes;
        for (const auto& [c, count] : perClass) {
            const bool isDigit = c >= '0' && c <= '9';
            if (isDigit != digits)
                continue;
            total += count.total;
            right += count.right;
            char cell[32];
            std::snprintf(cell, sizeof cell, " %c %d/%d", c, count.right, count.total);
            classes += cell;
        }
        std::vector<std::pair<int, std::string>> pairs;
        for (const auto& [pair, crops] : confusions) {
            const bool isDigit = pair.first >= '0' && pair.first <= '9';
            if (isDigit == digits) {
                pairs.emplace_back(static_cast<int>(crops.size()),
                                   std::string(1, pair.first) + "->" + pair.second);
            }
        }
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        char head[96];
        std::snprintf(head, sizeof head, "  %s: %d of %d read right (%.1f%%)",
                      digits ? "digits " : "letters", right, total,
                      total > 0 ? 100.0 * right / total : 0.0);
        out << head << '\n';
        if (!pairs.empty()) {
            out << "    confusions (label->read, count; '-': no box):";
            for (const auto& [n, text] : pairs)
                out << ' ' << text << ' ' << n;
            out << '\n';
        }
        out << "    per class:" << classes << '\n';
    }
}

int ConfusionTable::WriteMontages(const std::string& folder, std::string& error) const {
    std::map<std::string, std::pair<std::string, std::vector<cv::Mat>>> sets;
    for (const auto& [pair, crops] : confusions) {
        if (pair.second == '-')
            continue;  // nothing was cut
        const std::string name = training::MontageName(std::string(1, pair.first)) + "_as_" +
                                 training::MontageName(std::string(1, pair.second));
        sets[name] = {std::string("label ") + pair.first + " read " + pair.second, crops};
    }
    return training::WriteMontages(folder, sets, error);
}

}  // namespace karvona::blackbox
