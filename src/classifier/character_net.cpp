#include "classifier/character_net.hpp"

#include <cmath>
#include <cstring>
#include <map>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include "classifier/model_files.hpp"

namespace karvona::classifier {

namespace fs = std::filesystem;

int NetClassOf(char character) {
    const char* at = std::strchr(kNetClasses, character);
    return character != 0 && at != nullptr ? static_cast<int>(at - kNetClasses) : -1;
}

cv::Mat NetInput(const cv::Mat& crop) {
    cv::Mat out(kNetInput, kNetInput, CV_32FC1, cv::Scalar(0));
    if (crop.empty() || crop.type() != CV_8UC1)
        return out;
    const double scale = std::min(double(kNetInput) / crop.cols, double(kNetInput) / crop.rows);
    const int w = std::clamp(int(std::lround(crop.cols * scale)), 1, kNetInput);
    const int h = std::clamp(int(std::lround(crop.rows * scale)), 1, kNetInput);
    cv::Mat small;
    cv::resize(crop, small, cv::Size(w, h), 0, 0, cv::INTER_AREA);
    small.convertTo(out(cv::Rect((kNetInput - w) / 2, (kNetInput - h) / 2, w, h)), CV_32F,
                    1.0 / 255.0);
    return out;
}

namespace {

// The description names the input size and the classes.
bool CheckDescription(const fs::path& path, std::string& error) {
    std::map<std::string, std::string> keys;
    if (!ReadModelDescription(path, "the character network's description", keys, error))
        return false;
    const std::string input = keys["input"], classes = keys["classes"];
    const std::string expected = std::to_string(kNetInput) + "x" + std::to_string(kNetInput);
    if (input != expected) {
        error = "the character network " + path.string() + " reads " +
                (input.empty() ? "an unnamed input size" : input) + ", not the " + expected +
                " this reader feeds it";
        return false;
    }
    if (classes != kNetClasses) {
        error = "the character network " + path.string() + " names the classes " +
                (classes.empty() ? "(none)" : classes) + ", not " + kNetClasses;
        return false;
    }
    return true;
}

cv::Mat Forward(cv::dnn::Net& net, const std::vector<cv::Mat>& inputs) {
    cv::Mat blob = cv::dnn::blobFromImages(inputs);  // N x 1 x H x W, as given
    net.setInput(blob);
    return net.forward();
}

}  // namespace

bool LoadCharacterNet(const fs::path& folder, CharacterNetModel& model, std::string& error) {
    model.onnx.clear();
    const fs::path file = folder / kCharacterNetFile;
    if (!CheckDescription(folder / kCharacterNetDescriptionFile, error))
        return false;
    std::vector<uchar> bytes;
    if (!ReadModelBytes(file, "the character network", bytes, error))
        return false;
    try {
        cv::dnn::Net net = cv::dnn::readNetFromONNX(bytes);
        const cv::Mat out = Forward(net, {cv::Mat(kNetInput, kNetInput, CV_32FC1, 0.0f)});
        if (out.total() != static_cast<size_t>(kNetClassCount)) {
            error = "the character network " + file.string() + " gives " +
                    std::to_string(out.total()) + " outputs, not " + std::to_string(kNetClassCount);
            return false;
        }
    } catch (const cv::Exception&) {
        error = "the character network " + file.string() + " is not a usable ONNX model";
        return false;
    }
    model.onnx = std::move(bytes);
    return true;
}

struct CharacterNet::Impl {
    cv::dnn::Net net;
};

CharacterNet::CharacterNet(const CharacterNetModel& model) : impl_(std::make_unique<Impl>()) {
    if (model.loaded())
        impl_->net = cv::dnn::readNetFromONNX(model.onnx);  // checked when it was loaded
}

CharacterNet::~CharacterNet() = default;

std::vector<NetProbabilities> CharacterNet::Read(const std::vector<cv::Mat>& crops) {
    std::vector<NetProbabilities> result(crops.size());
    for (auto& p : result)
        p.fill(0.0f);
    if (crops.empty() || impl_->net.empty())
        return result;
    std::vector<cv::Mat> inputs;
    std::vector<size_t> which;
    for (size_t i = 0; i < crops.size(); ++i) {
        if (!crops[i].empty()) {
            inputs.push_back(NetInput(crops[i]));
            which.push_back(i);
        }
    }
    if (inputs.empty())
        return result;
    const cv::Mat logits = Forward(impl_->net, inputs).reshape(1, static_cast<int>(inputs.size()));
    for (size_t k = 0; k < which.size(); ++k) {
        const float* row = logits.ptr<float>(static_cast<int>(k));
        const float top = *std::max_element(row, row + kNetClassCount);
        double sum = 0;
        NetProbabilities& p = result[which[k]];
        for (int c = 0; c < kNetClassCount; ++c) {
            p[c] = std::exp(row[c] - top);
            sum += p[c];
        }
        for (float& v : p)
            v = static_cast<float>(v / sum);
    }
    return result;
}

}  // namespace karvona::classifier
