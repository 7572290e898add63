#pragma once
// The character network: a small convolutional network (ONNX, run by OpenCV's dnn module) that
// reads one character crop (strokes 255 on 0, as the reading pass cuts it) and gives the
// probability of each of the 36 characters. The model file ships with a description file that
// names its input size and its classes; a model that does not match what this reader feeds it
// and expects back is refused with the reason.
//
// A CharacterNetModel holds the checked bytes and is read-only after loading, so that threads
// share it; a cv::dnn::Net must not run on two threads at once, so every reader makes its own
// CharacterNet from the model.

#include <array>
#include <filesystem>
#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace karvona::classifier {

/// The classes, in the order of the network's outputs.
inline constexpr char kNetClasses[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
inline constexpr int kNetClassCount = 36;
/// The side of the square the crop is fitted into.
inline constexpr int kNetInput = 32;

inline constexpr char kCharacterNetFile[] = "charnet.onnx";
inline constexpr char kCharacterNetDescriptionFile[] = "charnet.txt";

using NetProbabilities = std::array<float, kNetClassCount>;

/// The index of a character in kNetClasses, or -1.
int NetClassOf(char character);

/// The crop fitted into kNetInput x kNetInput with its aspect kept (area interpolation), centred
/// on black, as floats 0..1: what the network was trained on.
cv::Mat NetInput(const cv::Mat& crop);

struct CharacterNetModel {
    std::vector<uchar> onnx;  ///< the model file's bytes, checked
    bool loaded() const { return !onnx.empty(); }
};

/// Loads and checks folder/charnet.onnx and folder/charnet.txt: both must exist, the description
/// must say "input 32x32" and "classes " followed by kNetClasses, and the model must load and
/// give kNetClassCount outputs for one crop. False with the reason (naming the file) otherwise.
bool LoadCharacterNet(const std::filesystem::path& folder, CharacterNetModel& model,
                      std::string& error);

/// One reader's network, made from the shared model bytes.
class CharacterNet {
public:
    explicit CharacterNet(const CharacterNetModel& model);
    ~CharacterNet();
    CharacterNet(const CharacterNet&) = delete;
    CharacterNet& operator=(const CharacterNet&) = delete;

    /// The probabilities of every crop (softmax of the network's outputs), in one forward run;
    /// an empty crop gives all zeros.
    std::vector<NetProbabilities> Read(const std::vector<cv::Mat>& crops);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace karvona::classifier
