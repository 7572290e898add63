#include "recognition/recognizer.hpp"

#include <chrono>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/primitives.hpp"
#include "recognition/colour.hpp"
#include "recognition/folders.hpp"
#include "recognition/locator.hpp"
#include "recognition/readers.hpp"

namespace karvona::recognition {

std::string LayoutText(int layoutCode, const std::string& previous) {
    switch (layoutCode) {
        case 2:
            return "VERTICAL   1 LINE";
        case 3:
            return "HORIZONTAL 2 LINES";
        case 4:
            return "VERTICAL   2 LINES";
        case 5:
            return "HORIZONTAL 3 LINES";
        case 6:
            return "HORIZONTAL - WHLU";
        default:
            return layoutCode <= 1 ? "HORIZONTAL 1 LINE" : previous;
    }
}

Winner ChooseWinner(bool completeA, int scoreA, bool completeB, int scoreB) {
    if (completeA)
        return Winner::Morphology;
    if (completeB)
        return Winner::Cluster;
    if (scoreA >= scoreB)
        return Winner::Morphology;
    if (scoreB >= 4)
        return Winner::Cluster;
    return Winner::None;
}

bool PasteRegion(cv::Mat& display, const cv::Mat& region) {
    const int W = display.cols, H = display.rows;
    const int w = region.cols, h = region.rows;
    if (region.empty() || region.type() != display.type() || w > W || h > H)
        return false;
    const cv::Rect edge = imaging::ClipRect({W - w - 2, H - h - 2, w, h}, display.size());
    if (!edge.empty())
        display(edge).setTo(cv::Scalar::all(0));
    region.copyTo(display(cv::Rect(W - w, H - h, w, h)));
    return true;
}

TextColour ResultColour(bool complete, size_t characters) {
    if (complete)
        return {200, 50, 50};
    if (characters >= 10)
        return {0, 0, 50};
    if (characters >= 7)
        return {50, 50, 100};
    if (characters >= 5)
        return {100, 100, 150};
    return {150, 150, 200};
}

Recognizer::Recognizer(const ReferenceData& data)
    : panelImage(150, 1100, CV_8UC3, cv::Scalar::all(0)),
      morphologyStrip(150, 1100, CV_8UC3, cv::Scalar::all(0)),
      clusterStrip(150, 1100, CV_8UC3, cv::Scalar::all(0)),
      data_(data) {}

const Reading& Recognizer::WinningReading() const {
    static const Reading none;
    switch (winner) {
        case Winner::Morphology:
            return morphologyReading;
        case Winner::Cluster:
            return clusterReading;
        default:
            return none;
    }
}

bool Recognizer::RecognizeImage(const std::filesystem::path& path) {
    resultText.clear();
    sourceImage.release();
    displayImage.release();
    status = LoadStatus::Ok;
    try {
        sourceImage = cv::imread(path.string(), cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        sourceImage.release();
    }
    if (sourceImage.empty() || sourceImage.type() != CV_8UC3) {
        sourceImage.release();
        status = LoadStatus::Unreadable;
    } else {
        displayImage = sourceImage.clone();
    }
    return Run();
}

bool Recognizer::RecognizeLoaded(const cv::Mat& photograph) {
    resultText.clear();
    status = LoadStatus::Ok;
    if (photograph.empty() || photograph.type() != CV_8UC3) {
        sourceImage.release();
        displayImage.release();
        status = LoadStatus::Unreadable;
    } else {
        sourceImage = photograph.clone();
        displayImage = sourceImage.clone();
    }
    return Run();
}

bool Recognizer::Run() {
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    complete = false;
    winner = Winner::None;
    layoutCode = -1;
    morphologyReading = Reading{};
    clusterReading = Reading{};
    region.release();

    if (!sourceImage.empty()) {
        if (options.colourPass) {
            hue = ExtractDominantHue(sourceImage);
            swatchImage = MakeColourSwatch(hue);
        }

        TemplateBoxes boxes{};
        LocatorOptions locatorOptions;
        locatorOptions.stepViews = options.locatorStepView;
        locatorOptions.viewer = options.viewer;
        region = FindIsoCharacters(sourceImage, &displayImage, &boxes, &layoutCode, locatorOptions);
        if (region.empty())
            layoutCode = -1;
    }

    if (!region.empty()) {
        layoutText = LayoutText(layoutCode, layoutText);
        cv::Mat copyA = region.clone();
        cv::Mat copyB = region.clone();

        ReaderOptions readerOptions;
        readerOptions.stepViews = options.readerStepView;
        readerOptions.viewer = options.viewer;
        readerOptions.saveSamples = options.saveSamples;
        readerOptions.processedCount = processedCount;
        readerOptions.samplesFolder =
            options.samplesFolder.empty() ? CharactersFolder() : options.samplesFolder;

        const int scoreA = ReadByMorphology(copyA, layoutCode, morphologyStrip, data_,
                                            readerOptions, morphologyReading);
        int scoreB = 0;
        if (!morphologyReading.complete) {
            scoreB = ReadByClusterSegmentation(copyB, layoutCode, clusterStrip, data_,
                                               readerOptions, clusterReading);
        }

        winner = ChooseWinner(morphologyReading.complete, scoreA, clusterReading.complete, scoreB);
        complete = morphologyReading.complete || clusterReading.complete;
        resultText = WinningReading().code;

        if (winner != Winner::None) {
            PasteRegion(displayImage, winner == Winner::Morphology ? copyA : copyB);
            (winner == Winner::Morphology ? morphologyStrip : clusterStrip).copyTo(panelImage);
        }
    }

    elapsedMs = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
    char text[32];
    std::snprintf(text, sizeof text, "%dms ", elapsedMs);
    timeText = text;
    resultColour = ResultColour(complete, resultText.size());
    return complete;
}

}  // namespace karvona::recognition
