#pragma once
// What a reading may show on its way: the intermediate images of its stages and the characters
// it classified. Both are optional observers handed to a reading (ReadOptions).

#include <opencv2/core.hpp>
#include <string>

namespace karvona {

/// Receives the intermediate images of the locator and the readers under fixed titles.
class StepViewer {
public:
    virtual ~StepViewer() = default;
    /// Shows image under title and returns when the viewer is done with it (a key press, a file
    /// written). The image is only read during the call.
    virtual void Show(const std::string& title, const cv::Mat& image) = 0;
};

/// Receives every character the first look classified, as the crop that was classified
/// (strokes 255 on 0, one channel).
class CharacterSamples {
public:
    virtual ~CharacterSamples() = default;
    /// character is the class read; index counts the samples of one reader from 0.
    virtual void Add(char character, int index, const cv::Mat& crop) = 0;
};

}  // namespace karvona
