#include "app/karvona_app.hpp"

#include <QImage>
#include <QPixmap>
#include <QTimer>

#include "app/karvona_dlg.hpp"
#include "app/start_options.hpp"
#include "app/translation.hpp"
#include "imaging/heap.hpp"
#include "recognition/data_lookup.hpp"

namespace karvona::app {

CKarvonaApp::CKarvonaApp(int& argc, char** argv) : application_(argc, argv) {
    // The key name the program was always registered under; nothing is stored there.
    QApplication::setOrganizationName("로컬 응용 프로그램 마법사에서 생성된 응용 프로그램");
    QApplication::setApplicationName("Karvona");
}

void CKarvonaApp::SetStartOptions(const StartOptions& options) {
    dataFolder_ = options.dataFolder;
    language_ = options.language;
    screenshot_ = options.screenshot;
    strict_ = options.strict;
    paths_ = options.paths;
}

bool CKarvonaApp::InitInstance() {
    imaging::KeepFreedMemoryForReuse();
    shell::Language language = shell::LanguageFromEnvironment();
    shell::ParseLanguage(language_, language);  // --lang, when given, decides
    InstallTranslation(language);
    // The data folder is found as the command-line tool finds it (--data, $KARVONA_DATA, the
    // current folder, the package's share folder); when none is found the window looks in the
    // current folder and says which files are missing, as it always did.
    const recognition::DataFolder data = recognition::FindReferenceData(
        recognition::DataLookupContext::ForThisProcess(dataFolder_.toLocal8Bit().toStdString()));
    CKarvonaDlg dialog(data.folder);
    dialog.SetStrict(strict_);
    dialog.AddPaths(std::vector<std::filesystem::path>(paths_.begin(), paths_.end()));
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
