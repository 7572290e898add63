#include "app/picture_frame.hpp"

#include <QPainter>

namespace karvona::app {

QImage ToQImage(const cv::Mat& image) {
    if (image.empty() || image.depth() != CV_8U)
        return {};
    if (image.channels() == 1) {
        return QImage(image.data, image.cols, image.rows, static_cast<int>(image.step),
                      QImage::Format_Grayscale8)
            .copy();
    }
    if (image.channels() == 3) {
        return QImage(image.data, image.cols, image.rows, static_cast<int>(image.step),
                      QImage::Format_RGB888)
            .rgbSwapped();  // a deep copy with blue and red in their places
    }
    return {};
}

CPictureFrame::CPictureFrame(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Sunken);
    setLineWidth(1);
    setMidLineWidth(0);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void CPictureFrame::SetImage(const cv::Mat& image) {
    image_ = ToQImage(image);
    update();
}

void CPictureFrame::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (image_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, image_.width() > 16);
    painter.drawImage(contentsRect(), image_);
}

}  // namespace karvona::app
