#pragma once
// What the desktop program's tests share: answering modal windows, reference data whose
// codebooks read the drawn photographs, drawn photographs, and widgets found by name.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <opencv2/imgcodecs.hpp>

#include "drawn_photos.hpp"
#include "handmade_codebook.hpp"
#include "handmade_confidence.hpp"

namespace karvona::app_testing {

namespace fs = std::filesystem;

inline fs::path P(const QString& text) {
    return fs::path(text.toStdString());
}

// Answers the modal windows that open while it lives: message boxes with `answer` (their
// captions and texts recorded), and any other modal window with `other`.
class ModalAnswerer {
public:
    explicit ModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok,
                           std::function<void(QWidget*)> other = {})
        : answer_(answer), other_(std::move(other)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(20);
    }
    QStringList texts, captions;

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            texts << box->text();
            captions << box->windowTitle();
            QAbstractButton* button = box->button(answer_);
            (button != nullptr ? button : box->buttons().front())->click();
        } else if (other_) {
            other_(modal);
        }
    }
    QTimer timer_;
    QMessageBox::StandardButton answer_;
    std::function<void(QWidget*)> other_;
};

inline void Touch(const fs::path& file) {
    std::ofstream(file) << "x";
}

// A data folder whose codebooks read the drawn photographs completely, and drawn photographs.
inline void WriteReferenceData(const fs::path& folder) {
    fs::create_directories(folder);
    QVERIFY(test_support::DrawnGlyphCodebook(false).SaveTrainingFile(
        (folder / "prefixes.trn").string()));
    QVERIFY(
        test_support::DrawnGlyphCodebook(true).SaveTrainingFile((folder / "numbers.trn").string()));
    std::ofstream(folder / "prefix.txt") << "ABCU\nCSQU\n";
    test_support::WriteHandSetConfidence(folder);
}

inline void WritePhotos(const fs::path& folder, int count) {
    fs::create_directories(folder);
    for (int k = 0; k < count; ++k) {
        karvona::testing::CodeDrawing d;
        d.text = "ABCU1234560";
        d.layout = k % 2;
        d.seed = static_cast<unsigned>(k + 1);
        const fs::path file = folder / ("photo" + std::to_string(k) + ".bmp");
        QVERIFY(cv::imwrite(file.string(), karvona::testing::DrawCodePhoto(d).image));
    }
}

template <typename T>
T* Child(QWidget& parent, const char* name) {
    T* child = parent.findChild<T*>(name);
    if (child == nullptr)
        qFatal("no widget %s", name);
    return child;
}

}  // namespace karvona::app_testing
