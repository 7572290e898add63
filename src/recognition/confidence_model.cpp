#include "recognition/confidence_model.hpp"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace karvona::recognition {

double ConfidenceModel::Probability(const Evidence& evidence) const {
    double z = bias;
    for (const ConfidenceTerm& term : terms)
        z += term.weight * (evidence[static_cast<size_t>(term.index)] - term.mean) / term.scale;
    return 1.0 / (1.0 + std::exp(-z));
}

bool ConfidenceModel::Load(const std::filesystem::path& file, std::string& error) {
    const std::string name = file.string();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        error = "the confidence model " + name + " does not exist";
        return false;
    }
    std::ifstream in(file);
    if (!in || std::filesystem::is_directory(file, ec)) {
        error = "the confidence model " + name + " cannot be opened";
        return false;
    }
    ConfidenceModel model;
    bool header = false, haveThreshold = false, haveBias = false;
    std::string line;
    int number = 0;
    auto bad = [&](const std::string& why) {
        error = "the confidence model " + name + " is not usable (line " + std::to_string(number) +
                ": " + why + ")";
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream fields(line);
        std::string key;
        if (!(fields >> key))
            continue;
        if (!header) {
            int version = 0;
            if (key != "karvona-confidence" || !(fields >> version) || version != 1)
                return bad("it does not start with karvona-confidence 1");
            header = true;
            continue;
        }
        std::string rest;
        if (key == "threshold") {
            if (!(fields >> model.threshold) || !std::isfinite(model.threshold) ||
                model.threshold <= 0.0 || model.threshold > 1.0)
                return bad("the threshold must lie in (0, 1]");
            haveThreshold = true;
        } else if (key == "bias") {
            if (!(fields >> model.bias) || !std::isfinite(model.bias))
                return bad("the bias is not a number");
            haveBias = true;
        } else if (key == "chain_floor") {
            if (!(fields >> model.chainFloor) || !std::isfinite(model.chainFloor) ||
                model.chainFloor <= 0.0 || model.chainFloor > 1.0)
                return bad("the chain floor must lie in (0, 1]");
        } else if (key == "feature") {
            std::string feature;
            ConfidenceTerm term;
            if (!(fields >> feature >> term.mean >> term.scale >> term.weight))
                return bad("a feature line holds a name, a mean, a scale and a weight");
            term.index = EvidenceIndex(feature);
            if (term.index < 0)
                return bad("unknown evidence " + feature);
            if (!std::isfinite(term.mean) || !std::isfinite(term.weight) ||
                !std::isfinite(term.scale) || term.scale <= 0.0)
                return bad("the numbers of " + feature + " are not usable");
            model.terms.push_back(term);
        } else {
            return bad("unknown key " + key);
        }
        if (fields >> rest)
            return bad("more fields than expected");
    }
    if (!header)
        return bad("it is empty");
    if (!haveThreshold || !haveBias || model.terms.empty())
        return bad("it needs a threshold, a bias and at least one feature");
    *this = model;
    return true;
}

bool ConfidenceModel::Save(const std::filesystem::path& file, const std::string& comment) const {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    std::istringstream lines(comment);
    std::string line;
    while (std::getline(lines, line))
        out << "# " << line << '\n';
    char text[160];
    out << "karvona-confidence 1\n";
    std::snprintf(text, sizeof text, "threshold %.6g\nbias %.6g\n", threshold, bias);
    out << text;
    for (const ConfidenceTerm& term : terms) {
        std::snprintf(text, sizeof text, "feature %s %.6g %.6g %.6g\n",
                      kEvidenceNames[static_cast<size_t>(term.index)], term.mean, term.scale,
                      term.weight);
        out << text;
    }
    if (chainFloor <= 1.0) {
        std::snprintf(text, sizeof text, "chain_floor %.6g\n", chainFloor);
        out << text;
    }
    return static_cast<bool>(out.flush());
}

}  // namespace karvona::recognition
