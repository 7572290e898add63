#include "app/preview_step_viewer.hpp"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QThread>
#include <QVBoxLayout>
#include <memory>

#include "app/picture_frame.hpp"

namespace karvona::app {
namespace {

// A preview that closes at the first key press, as the image windows of the stages always did.
class PreviewWindow : public QDialog {
public:
    PreviewWindow(const QString& title, const QImage& image) {
        setObjectName("stepPreview");
        setWindowTitle(title);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* picture = new QLabel(this);
        picture->setPixmap(QPixmap::fromImage(image));
        layout->addWidget(picture);
    }

protected:
    void keyPressEvent(QKeyEvent*) override { accept(); }
};

}  // namespace

PreviewStepViewer::PreviewStepViewer(QObject* parent) : QObject(parent) {}

PreviewStepViewer::~PreviewStepViewer() {
    Cancel();
}

void PreviewStepViewer::Show(const std::string& title, const cv::Mat& image) {
    if (image.empty())
        return;
    const QString caption = QString::fromStdString(title);
    if (QThread::currentThread() == thread()) {
        ShowModal(caption, image);
        return;
    }
    // From the worker: the window thread shows the preview; the worker waits until it closed.
    // The flag is shared, so a call still queued after a cancel never writes into a frame gone.
    auto shown = std::make_shared<bool>(false);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cancelled_)
            return;
    }
    const cv::Mat copy = image.clone();
    queue_.Post([this, caption, copy, shown] {
        ShowModal(caption, copy);
        std::lock_guard<std::mutex> lock(mutex_);
        *shown = true;
        done_.notify_all();
    });
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return *shown || cancelled_; });
}

void PreviewStepViewer::ShowModal(const QString& title, const cv::Mat& image) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cancelled_)
            return;
    }
    PreviewWindow window(title, ToQImage(image));
    open_ = &window;
    window.exec();
    open_ = nullptr;
}

void PreviewStepViewer::Cancel() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
    }
    done_.notify_all();
    if (open_ != nullptr)
        open_->reject();
}

}  // namespace karvona::app
