#include "recognition/evidence.hpp"

#include <opencv2/imgproc.hpp>

#include "imaging/blob_list.hpp"
#include "imaging/gaussian_pair.hpp"
#include "imaging/primitives.hpp"

namespace karvona::recognition {

namespace {

constexpr int kBlurAperture = 31;
constexpr int kMinBlobArea = 50;
constexpr float kMinAspect = 0.9f;
constexpr float kMaxAspect = 6.0f;
constexpr int kMaxBlobWidth = 50;
constexpr int kMaxBlobHeight = 100;

// Detail of a grey image: what stands above its local mean (its blur), binarized by Otsu's
// threshold.
cv::Mat DetailImage(const cv::Mat& grey, const cv::Mat& blurred) {
    cv::Mat detail;
    cv::subtract(grey, blurred, detail);  // saturating: negative differences become 0
    cv::threshold(detail, detail, 255, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    return detail;
}

}  // namespace

cv::Rect FirstClearedRect(const cv::Size& frame) {
    return imaging::ClipRect(cv::Rect(50, 385, 220, 40), frame);
}

cv::Rect SecondClearedRect(const cv::Size& frame) {
    return imaging::ClipRect(cv::Rect(0, 460, 240, frame.height - 460), frame);
}

void KeepCharacterShapedBlobs(cv::Mat& binary) {
    imaging::CBlobList blobs;
    KeepCharacterShapedBlobs(binary, blobs);
}

void KeepCharacterShapedBlobs(cv::Mat& binary, imaging::CBlobList& blobs) {
    imaging::FillRect(binary, FirstClearedRect(binary.size()), 0);
    imaging::FillRect(binary, SecondClearedRect(binary.size()), 0);

    blobs.SetImage(binary, kMinBlobArea);
    blobs.Label();
    blobs.KeepAspectAbove(kMinAspect);
    blobs.KeepAspectBelow(kMaxAspect);
    blobs.KeepBlobsSmallerThan(kMaxBlobWidth, kMaxBlobHeight);

    binary.setTo(0);
    for (int i = 0; i < blobs.Size(); ++i) {
        blobs.PaintBlob(binary, i, blobs.rects[i].x, blobs.rects[i].y);
    }
}

cv::Mat BuildCharacterEvidence(const cv::Mat& photo, const LocatorOptions& options) {
    imaging::CBlobList blobs;
    return BuildCharacterEvidence(photo, options, blobs);
}

cv::Mat BuildCharacterEvidence(const cv::Mat& photo, const LocatorOptions& options,
                               imaging::CBlobList& blobs) {
    if (photo.empty() || photo.type() != CV_8UC3)
        return cv::Mat();

    // The red-green-blue conversion is applied to the channels as loaded, so the first channel
    // (blue) is weighted 0.299 and the third (red) 0.114.
    cv::Mat grey;
    cv::cvtColor(photo, grey, cv::COLOR_RGB2GRAY);
    // Both blurs come from one pass: OpenCV's Gaussian blur of the grey image and of the inverted
    // grey image, bit for bit, with the replicated border the smoothing has always used (the
    // default border would change the detail near every edge of the frame).
    cv::Mat blurred, inverseBlurred;
    imaging::GaussianBlurWithInverse(grey, kBlurAperture, blurred, inverseBlurred);
    cv::Mat lightOnDark = DetailImage(grey, blurred);
    cv::bitwise_not(grey, grey);  // from here on the inverted grey image
    cv::Mat darkOnLight = DetailImage(grey, inverseBlurred);
    grey.release();
    blurred.release();
    inverseBlurred.release();

    cv::Mat edges;
    cv::Canny(lightOnDark, edges, 50, 200, 3);

    ShowStep(options, "binary image #1/2", lightOnDark);
    ShowStep(options, "binary image #2/2", darkOnLight);

    KeepCharacterShapedBlobs(lightOnDark, blobs);
    KeepCharacterShapedBlobs(darkOnLight, blobs);

    cv::Mat evidence = lightOnDark;
    cv::add(lightOnDark, darkOnLight, evidence);  // saturating
    darkOnLight.release();
    cv::subtract(evidence, edges, evidence);
    ShowStep(options, "extracted character image", evidence);
    return evidence;
}

}  // namespace karvona::recognition
