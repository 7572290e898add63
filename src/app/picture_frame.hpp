#pragma once
// A black-framed, sunken picture control that paints its image scaled into the whole frame.

#include <QFrame>
#include <QImage>
#include <opencv2/core.hpp>

namespace karvona::app {

/// An 8-bit image of one or three channels (blue, green, red) as a Qt image of its own.
QImage ToQImage(const cv::Mat& image);

class CPictureFrame : public QFrame {
    Q_OBJECT
public:
    explicit CPictureFrame(QWidget* parent = nullptr);
    /// Keeps a copy of the image (none: only the frame is painted).
    void SetImage(const cv::Mat& image);
    const QImage& Image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

}  // namespace karvona::app
