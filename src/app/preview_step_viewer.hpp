#pragma once
// Step views of the desktop program: each view opens a preview window under its title on the
// window thread, waits for a key and closes it. The caller is held until then, whether it is the
// window thread itself or the batch worker; Cancel() lets a held worker go when the program ends.

#include <QObject>
#include <condition_variable>
#include <mutex>

#include "app/window_queue.hpp"
#include "imaging/step_view.hpp"

class QDialog;

namespace karvona::app {

class PreviewStepViewer : public QObject, public imaging::StepViewer {
    Q_OBJECT
public:
    explicit PreviewStepViewer(QObject* parent = nullptr);
    ~PreviewStepViewer() override;

    void Show(const std::string& title, const cv::Mat& image) override;
    /// Closes any open preview and makes every later Show return at once.
    void Cancel();
    /// The preview now open (on the window thread), or none.
    QDialog* OpenPreview() const { return open_; }

private:
    void ShowModal(const QString& title, const cv::Mat& image);

    std::mutex mutex_;
    std::condition_variable done_;
    bool cancelled_ = false;
    QDialog* open_ = nullptr;
    WindowQueue queue_;
};

}  // namespace karvona::app
