#pragma once
// The line network: a small convolutional network (ONNX, run by OpenCV's dnn module) that reads
// a whole code line as the locator cut it, without boxes: per column of the line the probability
// of a blank and of each of the 36 characters, decoded greedily (the most probable class of every
// column, repeats merged, blanks dropped). It reads characters that no segmenter boxed.
//
// Like the character network, the model ships with a description file naming its input size, its
// classes and its blank; a model that does not match is refused with the reason. A LineNetModel
// is read-only after loading and shared by threads; every reader makes its own LineNet.

#include <filesystem>
#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "classifier/character_net.hpp"

namespace karvona::classifier {

/// The size the line is fitted into: scaled to this height (aspect kept, squeezed when wider).
inline constexpr int kLineNetHeight = 32;
inline constexpr int kLineNetWidth = 256;

inline constexpr char kLineNetFile[] = "linenet.onnx";
inline constexpr char kLineNetDescriptionFile[] = "linenet.txt";

/// The line as the network reads it (8-bit grey or three channels in): grey, scaled to
/// kLineNetHeight, normalised to zero mean and unit deviation, placed at the left of a
/// kLineNetHeight x kLineNetWidth float image of zeros. All zeros for an empty line.
cv::Mat LineNetInput(const cv::Mat& line);

struct LineNetModel {
    std::vector<uchar> onnx;  ///< the model file's bytes, checked
    bool loaded() const { return !onnx.empty(); }
};

/// Loads and checks folder/linenet.onnx and folder/linenet.txt: the description must say
/// "input 32x256", "classes " followed by kNetClasses and "blank 0" (the blank is output 0, the
/// characters follow in kNetClasses order), and the model must give 1 + kNetClassCount outputs
/// per column for one line. False with the reason (naming the file) otherwise.
bool LoadLineNet(const std::filesystem::path& folder, LineNetModel& model, std::string& error);

/// One character of a decoded line: the character, its probability in the column that gave it,
/// and the most probable other character of that column with its probability.
struct LineCharacter {
    char character = 0;
    float probability = 0.0f;
    char second = 0;
    float secondProbability = 0.0f;
};

/// One reader's line network, made from the shared model bytes.
class LineNet {
public:
    explicit LineNet(const LineNetModel& model);
    ~LineNet();
    LineNet(const LineNet&) = delete;
    LineNet& operator=(const LineNet&) = delete;

    /// The characters of a line in reading order (empty for an empty line or without a model).
    std::vector<LineCharacter> Read(const cv::Mat& line);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// Greedy decoding of the network's output (classes x columns, softmax taken per column).
std::vector<LineCharacter> DecodeLine(const cv::Mat& logits);

}  // namespace karvona::classifier
