#include "classifier/line_net.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include "classifier/model_files.hpp"

namespace karvona::classifier {

namespace fs = std::filesystem;

namespace {

constexpr int kLineClasses = kNetClassCount + 1;  // the blank first
// A model must give at least a column for each character of a code and a blank between.
constexpr int kLineMinColumns = 22;

// The description names the input size, the classes and the blank's output.
bool CheckDescription(const fs::path& path, std::string& error) {
    std::map<std::string, std::string> keys;
    if (!ReadModelDescription(path, "the line network's description", keys, error))
        return false;
    const std::string input = keys["input"], classes = keys["classes"], blank = keys["blank"];
    const std::string expected =
        std::to_string(kLineNetHeight) + "x" + std::to_string(kLineNetWidth);
    const std::string name = "the line network " + path.string();
    if (input != expected) {
        error = name + " reads " + (input.empty() ? "an unnamed input size" : input) +
                ", not the " + expected + " this reader feeds it";
        return false;
    }
    if (classes != kNetClasses) {
        error = name + " names the classes " + (classes.empty() ? "(none)" : classes) + ", not " +
                kNetClasses;
        return false;
    }
    if (blank != "0") {
        error = name + " puts the blank at " + (blank.empty() ? "no named output" : blank) +
                ", not at output 0";
        return false;
    }
    return true;
}

// The network's output for one input as a classes x columns matrix.
cv::Mat Forward(cv::dnn::Net& net, const cv::Mat& input) {
    const int shape[] = {1, 1, kLineNetHeight, kLineNetWidth};
    net.setInput(cv::Mat(4, shape, CV_32F, input.data));
    const cv::Mat out = net.forward();
    if (out.dims < 2 || out.size[1] != kLineClasses)
        return {};
    return cv::Mat(kLineClasses, static_cast<int>(out.total() / kLineClasses), CV_32F,
                   const_cast<uchar*>(out.data))
        .clone();
}

}  // namespace

cv::Mat LineNetInput(const cv::Mat& line) {
    cv::Mat out(kLineNetHeight, kLineNetWidth, CV_32FC1, cv::Scalar(0));
    if (line.empty() || line.depth() != CV_8U || (line.channels() != 1 && line.channels() != 3))
        return out;
    cv::Mat grey = line;
    if (line.channels() == 3)
        cv::cvtColor(line, grey, cv::COLOR_BGR2GRAY);
    const int width =
        std::clamp(static_cast<int>(std::lround(double(grey.cols) * kLineNetHeight / grey.rows)), 1,
                   kLineNetWidth);
    cv::Mat small;
    cv::resize(grey, small, cv::Size(width, kLineNetHeight), 0, 0, cv::INTER_AREA);
    small.convertTo(small, CV_32F);
    cv::Scalar mean, deviation;
    cv::meanStdDev(small, mean, deviation);
    small = (small - mean[0]) / (deviation[0] + 1.0);
    small.copyTo(out(cv::Rect(0, 0, width, kLineNetHeight)));
    return out;
}

bool LoadLineNet(const fs::path& folder, LineNetModel& model, std::string& error) {
    model.onnx.clear();
    const fs::path file = folder / kLineNetFile;
    if (!CheckDescription(folder / kLineNetDescriptionFile, error))
        return false;
    std::vector<uchar> bytes;
    if (!ReadModelBytes(file, "the line network", bytes, error))
        return false;
    try {
        cv::dnn::Net net = cv::dnn::readNetFromONNX(bytes);
        const cv::Mat out = Forward(net, LineNetInput(cv::Mat()));
        if (out.empty() || out.cols < kLineMinColumns) {
            error = "the line network " + file.string() + " does not give " +
                    std::to_string(kLineClasses) + " outputs for each of at least " +
                    std::to_string(kLineMinColumns) + " columns";
            return false;
        }
    } catch (const cv::Exception&) {
        error = "the line network " + file.string() + " is not a usable ONNX model";
        return false;
    }
    model.onnx = std::move(bytes);
    return true;
}

std::vector<LineCharacter> DecodeLine(const cv::Mat& logits) {
    std::vector<LineCharacter> out;
    int last = 0;
    for (int t = 0; t < logits.cols; ++t) {
        float top = logits.at<float>(0, t);
        for (int c = 1; c < logits.rows; ++c)
            top = std::max(top, logits.at<float>(c, t));
        double sum = 0;
        int best = 0, second = -1;
        for (int c = 0; c < logits.rows; ++c) {
            sum += std::exp(logits.at<float>(c, t) - top);
            if (logits.at<float>(c, t) > logits.at<float>(best, t))
                best = c;
        }
        for (int c = 1; c < logits.rows; ++c) {
            if (c != best && (second < 0 || logits.at<float>(c, t) > logits.at<float>(second, t)))
                second = c;
        }
        if (best != 0 && best != last) {
            LineCharacter ch;
            ch.character = kNetClasses[best - 1];
            ch.probability = static_cast<float>(std::exp(logits.at<float>(best, t) - top) / sum);
            if (second > 0) {
                ch.second = kNetClasses[second - 1];
                ch.secondProbability =
                    static_cast<float>(std::exp(logits.at<float>(second, t) - top) / sum);
            }
            out.push_back(ch);
        } else if (best != 0 && !out.empty()) {
            // A character held over several columns keeps its surest column.
            const float p = static_cast<float>(std::exp(logits.at<float>(best, t) - top) / sum);
            out.back().probability = std::max(out.back().probability, p);
        }
        last = best;
    }
    return out;
}

struct LineNet::Impl {
    cv::dnn::Net net;
};

LineNet::LineNet(const LineNetModel& model) : impl_(std::make_unique<Impl>()) {
    if (model.loaded())
        impl_->net = cv::dnn::readNetFromONNX(model.onnx);  // checked when it was loaded
}

LineNet::~LineNet() = default;

std::vector<LineCharacter> LineNet::Read(const cv::Mat& line) {
    if (line.empty() || impl_->net.empty())
        return {};
    const cv::Mat input = LineNetInput(line);
    return DecodeLine(Forward(impl_->net, input));
}

}  // namespace karvona::classifier
