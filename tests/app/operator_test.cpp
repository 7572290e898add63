// The operator's experience of the window, offscreen: Enter on a focused button, keys in the list
// that must not read, Delete into the trash, a panel cleared for a photograph without a region,
// a failed move that is reported, English beside Korean, and the command line.
#include <sys/wait.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/folder_dialog.hpp"
#include "app/karvona_dlg.hpp"
#include "app/my_label.hpp"
#include "app/picture_frame.hpp"
#include "app/start_options.hpp"
#include "app/translation.hpp"
#include "app_support.hpp"
#include "classifier/messages.hpp"
#include "shell/batch.hpp"
#include "shell/messages.hpp"

using namespace karvona;
using namespace karvona::app_testing;
using karvona::app::CKarvonaDlg;

namespace {

bool AllBlack(const QImage& image) {
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            if ((image.pixel(x, y) & 0xffffff) != 0)
                return false;
    return true;
}

struct ProgramRun {
    int exitCode = -1;
    QString out;
};

// Runs karvona-gui with the given arguments through the shell, without a display unless the
// arguments name Qt's offscreen platform; a window that waits for an answer is ended.
ProgramRun RunProgram(const QString& arguments) {
    ProgramRun run;
    const QByteArray command =
        ("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 120 " +
         QString(KARVONA_GUI_BIN) + " " + arguments + " 2>&1")
            .toLocal8Bit();
    FILE* pipe = popen(command.constData(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr)
        run.out += QString::fromUtf8(buffer);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace

class OperatorTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void EnterOnAFocusedButtonPressesItAndElsewhereEndsTheDialog();
    void TabEnterAndEscapeInTheListDoNotRead();
    void DeleteMovesTheFileToTheTrash();
    void PanelIsClearedWhenAPhotographGivesNoRegion();
    void FailedMoveIsReported();
    void KoreanTextsUnderKo();
    void EnglishTextsUnderEn();
    void EnglishStatisticsAreTheCommandLinesEnglish();
    void CommandLineHelpDataAndLanguage();

private:
    std::unique_ptr<QTemporaryDir> root_;
    QByteArray home_, dataHome_;
    fs::path Root() const { return P(root_->path()); }
    // A dialog on a data folder that reads the drawn photographs, with `photos` drawn ones and
    // a flat photograph after them when `flat`.
    fs::path Photos(int photos, bool flat = false);
};

void OperatorTest::init() {
    root_ = std::make_unique<QTemporaryDir>();
    QVERIFY(root_->isValid());
    // Whatever a test deletes goes into a trash of its own, never the user's.
    home_ = qgetenv("HOME");
    dataHome_ = qgetenv("XDG_DATA_HOME");
    fs::create_directories(Root() / "home" / ".local" / "share");
    qputenv("HOME", QByteArray::fromStdString((Root() / "home").string()));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString((Root() / "home/.local/share").string()));
    qputenv("KARVONA_ROOT", root_->path().toLocal8Bit() + "/root");
    fs::create_directories(Root() / "root");
    WriteReferenceData(Root() / "data");
    app::InstallTranslation(shell::Language::kKorean);
}

void OperatorTest::cleanup() {
    app::InstallTranslation(shell::Language::kKorean);
    qputenv("HOME", home_);
    if (dataHome_.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", dataHome_);
    root_.reset();
}

fs::path OperatorTest::Photos(int photos, bool flat) {
    const fs::path folder = Root() / "photos";
    WritePhotos(folder, photos);
    if (flat) {
        cv::imwrite((folder / "z-flat.bmp").string(),
                    cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(90)));
    }
    return folder;
}

// After a click on "폴더 추가" the focus stays on that button; Enter used to end the program
// and the list was gone.
void OperatorTest::EnterOnAFocusedButtonPressesItAndElsewhereEndsTheDialog() {
    CKarvonaDlg dialog(Root() / "data");
    int pickers = 0;
    ModalAnswerer answerer(QMessageBox::Ok, [&](QWidget* modal) {
        if (auto* picker = qobject_cast<app::CMyFolderDialog*>(modal)) {
            ++pickers;
            picker->reject();
        }
    });
    dialog.OnInitDialog();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.AddFolder(Photos(2));
    auto* addFolder = Child<QPushButton>(dialog, "addFolderButton");
    addFolder->setFocus();
    QTest::keyClick(addFolder, Qt::Key_Return);
    QCOMPARE(pickers, 1);  // the button was pressed
    QVERIFY(dialog.isVisible());
    QCOMPARE(Child<QTableWidget>(dialog, "fileList")->rowCount(), 2);
    auto* colour = Child<QPushButton>(dialog, "colourButton");
    colour->setFocus();
    QTest::keyClick(colour, Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(colour->isChecked());  // a push-like option toggles
    QVERIFY(dialog.isVisible());

    // Elsewhere Enter is the dialog's OK.
    auto* backup = Child<QCheckBox>(dialog, "backupCheck");
    backup->setFocus();
    QTest::keyClick(backup, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

// Tab, Enter and Escape in the list used to read the selected photograph before anything else.
void OperatorTest::TabEnterAndEscapeInTheListDoNotRead() {
    const fs::path photos = Photos(2);
    for (const int key : {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Escape}) {
        CKarvonaDlg dialog(Root() / "data");
        ModalAnswerer answerer;
        dialog.OnInitDialog();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.AddFolder(photos);
        auto* list = Child<QTableWidget>(dialog, "fileList");
        list->selectRow(0);
        list->setFocus();
        auto* result = Child<app::CMyLabel>(dialog, "resultLabel");
        QTest::keyClick(list, static_cast<Qt::Key>(key));
        QCOMPARE(result->text(), QString());
        QCOMPARE(Child<QLabel>(dialog, "timeField")->text(), QString("0ms "));
        if (key == Qt::Key_Tab) {
            QVERIFY(dialog.isVisible());
            QVERIFY(dialog.focusWidget() != list);  // the focus went on
            // Any other key reads the selected row, as it always has.
            list->setFocus();
            QTest::keyClick(list, Qt::Key_A);
            QCOMPARE(result->text(), QString("ABCU1234560"));
        } else {
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(),
                     int(key == Qt::Key_Return ? QDialog::Accepted : QDialog::Rejected));
        }
    }
}

// Delete removed the photograph file for good; now it goes to the trash, which this test points
// into its own folder.
void OperatorTest::DeleteMovesTheFileToTheTrash() {
    const fs::path trashHome = Root() / "home";  // HOME and XDG_DATA_HOME point here (init)
    const fs::path photos = Root() / "home" / "photos";
    WritePhotos(photos, 2);
    const std::string content = [&] {
        std::ifstream in(photos / "photo0.bmp", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    CKarvonaDlg dialog(Root() / "data");
    ModalAnswerer ok(QMessageBox::Ok);
    dialog.OnInitDialog();
    dialog.show();
    dialog.AddFolder(photos);
    auto* list = Child<QTableWidget>(dialog, "fileList");
    list->selectRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(ok.texts.back(), QString("photo0.bmp\n이 파일을 삭제하시겠습니까?"));
    QCOMPARE(ok.texts.size(), 1);  // the question alone: the move succeeded
    QCOMPARE(list->rowCount(), 1);
    QVERIFY(!fs::exists(photos / "photo0.bmp"));
    const fs::path trash = trashHome / ".local/share/Trash";
    QVERIFY(fs::exists(trash / "files" / "photo0.bmp"));
    QVERIFY(fs::exists(trash / "info" / "photo0.bmp.trashinfo"));
    std::ifstream in(trash / "files" / "photo0.bmp", std::ios::binary);
    QCOMPARE(std::string(std::istreambuf_iterator<char>(in), {}), content);

    // A user whose data folder does not exist yet gets one, with the trash in it.
    const fs::path bare = Root() / "bare home";
    fs::create_directories(bare);
    qputenv("HOME", QByteArray::fromStdString(bare.string()));
    qunsetenv("XDG_DATA_HOME");
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(Root().string()));
    list->selectRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    QDir::setCurrent(previous);
    QVERIFY(fs::exists(bare / ".local/share/Trash/files/photo1.bmp"));
    QVERIFY(!fs::exists(Root() / "files"));  // nothing beside the current folder
}

// The panel kept the characters of the previous photograph when the next one gave no region.
void OperatorTest::PanelIsClearedWhenAPhotographGivesNoRegion() {
    CKarvonaDlg dialog(Root() / "data");
    ModalAnswerer answerer;
    dialog.OnInitDialog();
    dialog.show();
    dialog.AddFolder(Photos(1, true));
    auto* panel = Child<app::CPictureFrame>(dialog, "panelPicture");
    auto* swatch = Child<app::CPictureFrame>(dialog, "swatchPicture");
    Child<QPushButton>(dialog, "colourButton")->click();
    dialog.SelectAndRecognize(0);
    QCOMPARE(Child<app::CMyLabel>(dialog, "resultLabel")->text(), QString("ABCU1234560"));
    QVERIFY(!AllBlack(panel->Image()));
    QCOMPARE(swatch->Image().size(), QSize(5, 5));
    Child<QPushButton>(dialog, "colourButton")->click();  // off: no colour of an earlier one
    dialog.SelectAndRecognize(1);                         // the flat photograph
    QCOMPARE(Child<app::CMyLabel>(dialog, "resultLabel")->text(), QString());
    QCOMPARE(panel->Image().size(), QSize(1100, 150));
    QVERIFY(AllBlack(panel->Image()));
    QVERIFY(swatch->Image().isNull());
    // The layout label keeps its text, as specified.
    QCOMPARE(Child<app::CMyLabel>(dialog, "layoutLabel")->text(), QString("HORIZONTAL 1 LINE"));
}

// Moves that failed were silent; the file stays, its row stays, and the operator is told.
void OperatorTest::FailedMoveIsReported() {
    const fs::path photos = Photos(2);
    const fs::path target = Root() / "target";
    fs::create_directories(target);
    Touch(target / "photo1.bmp");  // the name is taken there
    CKarvonaDlg dialog(Root() / "data");
    int pickers = 0;
    ModalAnswerer answerer(QMessageBox::Ok, [&](QWidget* modal) {
        if (auto* picker = qobject_cast<app::CMyFolderDialog*>(modal)) {
            ++pickers;
            picker->SetSelection(QString::fromStdString(target.string()));
            picker->accept();
        }
    });
    dialog.OnInitDialog();
    dialog.show();
    dialog.AddFolder(photos);
    QTest::mouseClick(Child<QPushButton>(dialog, "chooseTargetButton"), Qt::LeftButton);
    QCOMPARE(dialog.TargetFolder(), target);
    auto* list = Child<QTableWidget>(dialog, "fileList");
    list->item(0, 0)->setCheckState(Qt::Checked);
    list->item(1, 0)->setCheckState(Qt::Checked);
    QTest::mouseClick(Child<QPushButton>(dialog, "moveButton"), Qt::LeftButton);
    QVERIFY(fs::exists(target / "photo0.bmp"));
    QVERIFY(fs::exists(photos / "photo1.bmp"));
    QCOMPARE(list->rowCount(), 1);
    QCOMPARE(answerer.texts.back(), QString("이동하지 못한 파일 1개:\n") +
                                        QString::fromStdString((photos / "photo1.bmp").string()));
}

void OperatorTest::KoreanTextsUnderKo() {
    QVERIFY(app::InstallTranslation(shell::Language::kKorean));
    CKarvonaDlg dialog(Root() / "empty");
    ModalAnswerer answerer;
    dialog.OnInitDialog();
    QCOMPARE(answerer.texts, QStringList({classifier::kLetterTrainingFileMissingText,
                                          classifier::kDigitTrainingFileMissingText,
                                          classifier::kPrefixFileMissingText}));
    QCOMPARE(Child<QPushButton>(dialog, "addFileButton")->text(), QString("파일 추가"));
    QCOMPARE(Child<QPushButton>(dialog, "runButton")->text(), QString("모든 파일 인식 실행"));
    QCOMPARE(Child<QCheckBox>(dialog, "backupCheck")->text(), QString("인식 영상 백업"));
    QCOMPARE(Child<QTableWidget>(dialog, "fileList")->horizontalHeaderItem(1)->text(),
             QString("파일경로"));
    dialog.show();
    QTest::mouseClick(Child<QCheckBox>(dialog, "backupCheck"), Qt::LeftButton);
    QCOMPARE(answerer.texts.back(),
             QString::fromStdString(shell::BackupMessage(Root() / "root" / "recognized")));
    app::CMyFolderDialog picker("*.*", QString::fromStdString(Root().string()));
    QCOMPARE(picker.windowTitle(), QString("폴더 찾아보기"));
}

void OperatorTest::EnglishTextsUnderEn() {
    QVERIFY(app::InstallTranslation(shell::Language::kEnglish));
    QCOMPARE(app::WindowLanguage(), shell::Language::kEnglish);
    CKarvonaDlg dialog(Root() / "empty");
    ModalAnswerer answerer(QMessageBox::Cancel);  // OK where it is the only button
    dialog.OnInitDialog();
    QCOMPARE(answerer.texts, QStringList({"Training file prefixes.trn not found.  ",
                                          "Training file numbers.trn not found.  ",
                                          "File prefix.txt not found.  "}));
    QCOMPARE(Child<QPushButton>(dialog, "addFileButton")->text(), QString("Add file"));
    QCOMPARE(Child<QPushButton>(dialog, "addFolderButton")->text(), QString("Add folder"));
    QCOMPARE(Child<QPushButton>(dialog, "runButton")->text(), QString("Recognize all files"));
    QCOMPARE(Child<QTableWidget>(dialog, "fileList")->horizontalHeaderItem(0)->text(),
             QString("File name"));
    // Every text of the window has its English translation.
    for (QWidget* widget : dialog.findChildren<QWidget*>()) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        else if (auto* group = qobject_cast<QGroupBox*>(widget))
            text = group->title();
        QVERIFY2(!text.contains(QRegularExpression("[\\x{AC00}-\\x{D7A3}]")), qPrintable(text));
    }
    dialog.show();
    QTest::mouseClick(Child<QCheckBox>(dialog, "backupCheck"), Qt::LeftButton);
    QCOMPARE(answerer.texts.back(),
             QString::fromStdString(
                 shell::BackupMessage(Root() / "root" / "recognized", shell::Language::kEnglish)));
    Touch(Root() / "a.jpg");
    dialog.AddFolder(Root());
    auto* list = Child<QTableWidget>(dialog, "fileList");
    list->selectRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(answerer.texts.back(), QString("a.jpg\nDo you want to delete this file?"));
    QVERIFY(fs::exists(Root() / "a.jpg"));
    app::CMyFolderDialog picker("*.*", QString::fromStdString(Root().string()));
    QCOMPARE(picker.windowTitle(), QString("Browse for Folder"));
}

// The window's statistics come from the translation, the command line's from the shell's table:
// both must say the same in English.
void OperatorTest::EnglishStatisticsAreTheCommandLinesEnglish() {
    QVERIFY(app::InstallTranslation(shell::Language::kEnglish));
    const shell::StatisticsTexts window = app::TranslatedStatisticsTexts();
    const shell::StatisticsTexts tool = shell::StatisticsTextsFor(shell::Language::kEnglish);
    QCOMPARE(window.caption, tool.caption);
    QCOMPARE(window.format, tool.format);
    QCOMPARE(window.notRead, tool.notRead);
    QCOMPARE(window.notArchived, tool.notArchived);
    QCOMPARE(window.more, tool.more);
    for (size_t i = 1; i < tool.reasons.size(); ++i)
        QCOMPARE(window.reasons[i], tool.reasons[i]);

    // A batch run in English ends with the English summary.
    CKarvonaDlg dialog(Root() / "data");
    ModalAnswerer answerer;
    dialog.OnInitDialog();
    dialog.show();
    dialog.AddFolder(Photos(2));
    QSignalSpy finished(&dialog, &CKarvonaDlg::BatchFinished);
    QTest::mouseClick(Child<QPushButton>(dialog, "runButton"), Qt::LeftButton);
    QVERIFY(finished.wait(120000));
    QCOMPARE(answerer.captions.back(), QString(" [ Results of recognizing all files ]"));
    QVERIFY2(answerer.texts.back().startsWith(
                 "    2 files in all,     2 (100.0%) recognized\n\n:     2 (100.0%) recognized "
                 "perfectly,"),
             qPrintable(answerer.texts.back()));

    QVERIFY(app::InstallTranslation(shell::Language::kKorean));
    const shell::StatisticsTexts korean = app::TranslatedStatisticsTexts();
    QCOMPARE(korean.format, std::string(shell::kStatisticsFormat));
    QCOMPARE(korean.caption, std::string(shell::kStatisticsCaption));
}

// `karvona-gui --help` opened the window; there was no way to name the data folder.
void OperatorTest::CommandLineHelpDataAndLanguage() {
    // Help and version need no display.
    const ProgramRun help = RunProgram("--help");
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(help.out.contains("--data") && help.out.contains("--lang"), qPrintable(help.out));
    QVERIFY(!help.out.contains("--screenshot"));
    const ProgramRun version = RunProgram("--version");
    QCOMPARE(version.out, QString("karvona %1\n").arg(KARVONA_VERSION));
    QCOMPARE(RunProgram("--lang fr").exitCode, 2);
    QCOMPARE(RunProgram("-platform offscreen --no-such-option").exitCode, 2);
    QCOMPARE(RunProgram("-platform offscreen stray").exitCode, 2);

    app::StartOptions options;
    const char* argv[] = {"karvona-gui", "--data",    "/some/data", "--lang",
                          "en",          "-platform", "offscreen"};
    QCOMPARE(app::ParseStartOptions(7, argv, options), -1);
    QCOMPARE(options.dataFolder, QString("/some/data"));
    QCOMPARE(options.language, std::string("en"));
    QCOMPARE(app::CheckLeftOverArguments(options, {"karvona-gui"}), -1);  // Qt took its own
    // What the desktop entry's %F passes: photographs and folders, which go to the list.
    const std::string folder = Photos(1).string();
    const char* withFolder[] = {"karvona-gui", "--lang", "en", folder.c_str()};
    QCOMPARE(app::ParseStartOptions(4, withFolder, options), -1);
    QCOMPARE(app::CheckLeftOverArguments(options, {"karvona-gui", folder}), -1);
    QCOMPARE(options.paths, std::vector<std::string>{folder});

    // --data names the data folder: started elsewhere, the window loads it without a message
    // box (one would wait for an answer that never comes) and takes its picture.
    const fs::path picture = Root() / "window.png";
    const ProgramRun run = RunProgram(
        QString("-platform offscreen --lang en --data '%1' --photos '%2' --screenshot '%3'")
            .arg(QString::fromStdString((Root() / "data").string()),
                 QString::fromStdString(Photos(1).string()),
                 QString::fromStdString(picture.string())));
    QCOMPARE(run.exitCode, 0);
    QVERIFY(fs::exists(picture));
}

QTEST_MAIN(OperatorTest)
#include "operator_test.moc"
