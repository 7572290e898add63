#include "app/karvona_app.hpp"

#include <QImage>
#include <QPixmap>
#include <QTimer>

#include "app/karvona_dlg.hpp"
#include "imaging/heap.hpp"

namespace karvona::app {

CKarvonaApp::CKarvonaApp(int& argc, char** argv) : application_(argc, argv) {
    // The key name the program was always registered under; nothing is stored there.
    QApplication::setOrganizationName("로컬 응용 프로그램 마법사에서 생성된 응용 프로그램");
    QApplication::setApplicationName("Karvona");
}

bool CKarvonaApp::InitInstance() {
    imaging::KeepFreedMemoryForReuse();
    CKarvonaDlg dialog;
    dialog.SetStrict(strict_);
    if (!screenshot_.output.isEmpty()) {
        QTimer::singleShot(0, &dialog, [this, &dialog] {
            if (!screenshot_.photoFolder.isEmpty()) {
                dialog.AddFolder(screenshot_.photoFolder.toStdString());
            }
            dialog.SelectAndRecognize(screenshot_.readRow);
            QTimer::singleShot(300, &dialog, [this, &dialog] {
                // 256 colours, ordered dither, full compression: small enough for the README.
                const QImage picture = dialog.grab().toImage().convertToFormat(
                    QImage::Format_Indexed8, Qt::OrderedDither);
                exitCode_ = picture.save(screenshot_.output, "PNG", 0) ? 0 : 1;
                dialog.reject();
            });
        });
    }
    dialog.DoModal();
    return false;
}

}  // namespace karvona::app
