// The desktop program driven through its widgets, offscreen: start-up messages, the file list,
// recognition by click, the batch run, the options, the label and the folder picker.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <opencv2/imgcodecs.hpp>
#include <thread>

#include "app/folder_dialog.hpp"
#include "app/karvona_dlg.hpp"
#include "app/my_label.hpp"
#include "app/picture_frame.hpp"
#include "app_support.hpp"
#include "classifier/messages.hpp"
#include "shell/messages.hpp"

using namespace karvona;
using karvona::app::CKarvonaDlg;
namespace fs = std::filesystem;

using namespace karvona::app_testing;

class DialogTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void StartupWithoutDataShowsTheThreeMessagesInOrder();
    void AddFolderListsTheScannedPhotographs();
    void FolderPickerEnablesOkOnlyForFoldersWithEntries();
    void ClickRecognizesTheRow();
    void BatchTicksPerfectRowsAndShowsTheSummary();
    void ReleasingTheRunButtonStopsBeforeTheNextPhotograph();
    void StepViewsDuringABatchRunWaitForKeys();
    void BackupOptionEnablesTheRadioButtons();
    void DeleteKeyAsksAndCancelKeepsTheFile();
    void LabelFontSizeGivesNegativeHeight();
    void StatusLineIsShortenedAfter35Characters();
    void StepViewFromTheWorkerWaitsForAKey();

private:
    std::unique_ptr<QTemporaryDir> root_;
    fs::path Root() const { return P(root_->path()); }
};

void DialogTest::init() {
    root_ = std::make_unique<QTemporaryDir>();
    QVERIFY(root_->isValid());
    qputenv("KARVONA_ROOT", root_->path().toLocal8Bit() + "/root");
    fs::create_directories(Root() / "root");
}

void DialogTest::cleanup() {
    root_.reset();
}

void DialogTest::StartupWithoutDataShowsTheThreeMessagesInOrder() {
    const fs::path empty = Root() / "empty";
    fs::create_directories(empty);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(empty.string()));
    CKarvonaDlg dialog;
    {
        ModalAnswerer answerer;
        QVERIFY(dialog.OnInitDialog());
        QCOMPARE(answerer.texts, QStringList({classifier::kLetterTrainingFileMissingText,
                                              classifier::kDigitTrainingFileMissingText,
                                              classifier::kPrefixFileMissingText}));
    }
    QDir::setCurrent(previous);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QString("Karvona Ver 3.0.8"));
    QCOMPARE(Child<QLabel>(dialog, "timeField")->text(), QString("0ms "));
    QCOMPARE(Child<app::CMyLabel>(dialog, "layoutLabel")->text(), QString());
    auto* result = Child<app::CMyLabel>(dialog, "resultLabel");
    QCOMPARE(result->text(), QString());
    QCOMPARE(result->FontHeight(), -40);
    QCOMPARE(result->BkColor(), QColor(180, 180, 180));
    QCOMPARE(result->TextColor(), QColor(50, 50, 100));
    // The panel shows its black image; the main picture only its frame.
    QVERIFY(Child<app::CPictureFrame>(dialog, "mainPicture")->Image().isNull());
    const QImage panel = Child<app::CPictureFrame>(dialog, "panelPicture")->Image();
    QCOMPARE(panel.size(), QSize(1100, 150));
    QCOMPARE(panel.pixelColor(500, 70), QColor(0, 0, 0));
    auto* list = Child<QTableWidget>(dialog, "fileList");
    QCOMPARE(list->columnCount(), 2);
    QCOMPARE(list->horizontalHeaderItem(0)->text(), QString("파일명"));
    QCOMPARE(list->horizontalHeaderItem(1)->text(), QString("파일경로"));
    QCOMPARE(list->columnWidth(0), 175);
    QCOMPARE(list->columnWidth(1), 400);
    QVERIFY(list->showGrid());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(fs::is_directory(Root() / "root" / "unrecognized"));
    QVERIFY(Child<QCheckBox>(dialog, "removeAfterMoveCheck")->isChecked());
    QVERIFY(!Child<QRadioButton>(dialog, "renameRadio")->isEnabled());
}

void DialogTest::AddFolderListsTheScannedPhotographs() {
    const fs::path photos = Root() / "photos";
    fs::create_directories(photos / "sub");
    for (const char* name : {"a.jpg", "b.BMP", "c.png", ".jpg"})
        Touch(photos / name);
    Touch(photos / "sub" / "d.jpg");

    CKarvonaDlg dialog(Root());  // the data folder need not hold data for the list
    ModalAnswerer answerer(QMessageBox::Ok, [&](QWidget* modal) {
        if (auto* picker = qobject_cast<app::CMyFolderDialog*>(modal)) {
            picker->SetSelection(QString::fromStdString(photos.string()));
            if (picker->IsOKEnabled())
                picker->accept();
        }
    });
    dialog.OnInitDialog();
    dialog.show();
    QTest::mouseClick(Child<QPushButton>(dialog, "addFolderButton"), Qt::LeftButton);
    auto* list = Child<QTableWidget>(dialog, "fileList");
    QCOMPARE(list->rowCount(), 3);
    QCOMPARE(list->item(0, 0)->text(), QString("a.jpg"));
    QCOMPARE(list->item(1, 0)->text(), QString("b.BMP"));
    QCOMPARE(list->item(2, 0)->text(), QString("d.jpg"));
    QCOMPARE(P(list->item(2, 1)->text()), photos / "sub" / "d.jpg");
    QCOMPARE(list->item(0, 0)->checkState(), Qt::Unchecked);
    QCOMPARE(Child<QLabel>(dialog, "fileCountField")->text(), QString("3"));
    QCOMPARE(dialog.FileCount(), 3);

    QTest::mouseClick(Child<QPushButton>(dialog, "clearListButton"), Qt::LeftButton);
    QCOMPARE(list->rowCount(), 0);
    QCOMPARE(Child<QLabel>(dialog, "fileCountField")->text(), QString("0"));
}

void DialogTest::FolderPickerEnablesOkOnlyForFoldersWithEntries() {
    const fs::path full = Root() / "full";
    const fs::path empty = Root() / "full" / "empty";
    fs::create_directories(empty);
    app::CMyFolderDialog picker("*.*", QString::fromStdString(full.string()));
    picker.SetSelection(QString::fromStdString(full.string()));
    QVERIFY(picker.IsOKEnabled());  // it holds the folder "empty"
    picker.SetSelection(QString::fromStdString(empty.string()));
    QVERIFY(!picker.IsOKEnabled());
    Touch(empty / "note.txt");
    picker.SetSelection(QString::fromStdString(full.string()));
    picker.SetSelection(QString::fromStdString(empty.string()));
    QVERIFY(picker.IsOKEnabled());
    QVERIFY(!app::FolderHoldsMatch(QString::fromStdString(empty.string()), "*.jpg"));
    QVERIFY(app::FolderHoldsMatch(QString::fromStdString(empty.string()), "*.txt"));
}

void DialogTest::ClickRecognizesTheRow() {
    WriteReferenceData(Root() / "data");
    WritePhotos(Root() / "photos", 2);
    CKarvonaDlg dialog(Root() / "data");
    ModalAnswerer answerer;
    dialog.OnInitDialog();
    QVERIFY(answerer.texts.isEmpty());  // every file loaded
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.AddFolder(Root() / "photos"), 2);

    auto* list = Child<QTableWidget>(dialog, "fileList");
    const QRect row1 = list->visualItemRect(list->item(1, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row1.center() + QPoint(20, 0));
    auto* result = Child<app::CMyLabel>(dialog, "resultLabel");
    QCOMPARE(result->text(), QString("ABCU1234560"));
    QCOMPARE(result->TextColor(), QColor(200, 50, 50));
    QCOMPARE(Child<app::CMyLabel>(dialog, "layoutLabel")->text(), QString("HORIZONTAL 1 LINE"));
    QVERIFY(Child<QLabel>(dialog, "timeField")->text().endsWith("ms "));
    const QImage main = Child<app::CPictureFrame>(dialog, "mainPicture")->Image();
    QCOMPARE(main.size(), QSize(640, 480));
    const QImage panel = Child<app::CPictureFrame>(dialog, "panelPicture")->Image();
    bool drawn = false;
    for (int y = 0; y < panel.height() && !drawn; y += 3)
        for (int x = 0; x < panel.width() && !drawn; x += 3)
            drawn = panel.pixel(x, y) != 0xff000000;
    QVERIFY(drawn);

    // The up arrow recognizes the row above.
    result->SetText("");
    QVERIFY(!dialog.OnListKeyDown(Qt::Key_Up));
    QCOMPARE(result->text(), QString("ABCU1234560"));
    // The down arrow on the last row recognizes nothing.
    list->selectRow(1);
    result->SetText("");
    dialog.OnListKeyDown(Qt::Key_Down);
    QCOMPARE(result->text(), QString());
}

void DialogTest::BatchTicksPerfectRowsAndShowsTheSummary() {
    WriteReferenceData(Root() / "data");
    WritePhotos(Root() / "photos", 3);
    CKarvonaDlg dialog(Root() / "data");
    ModalAnswerer answerer;
    dialog.OnInitDialog();
    dialog.show();
    dialog.AddFolder(Root() / "photos");
    QTest::mouseClick(Child<QCheckBox>(dialog, "backupCheck"), Qt::LeftButton);

    QSignalSpy finished(&dialog, &CKarvonaDlg::BatchFinished);
    auto* run = Child<QPushButton>(dialog, "runButton");
    QTest::mouseClick(run, Qt::LeftButton);
    QVERIFY(run->isChecked());
    QVERIFY(dialog.IsRunning());
    QVERIFY(!Child<QPushButton>(dialog, "addFolderButton")->isEnabled());
    QVERIFY(finished.wait(120000));

    auto* list = Child<QTableWidget>(dialog, "fileList");
    for (int row = 0; row < 3; ++row)
        QCOMPARE(list->item(row, 0)->checkState(), Qt::Checked);
    QVERIFY(!run->isChecked());
    QVERIFY(Child<QPushButton>(dialog, "addFolderButton")->isEnabled());
    QCOMPARE(Child<QProgressBar>(dialog, "progressBar")->value(), 3);
    QCOMPARE(dialog.ProcessedCount(), 3);
    QCOMPARE(answerer.captions.size(), 2);  // the backup message, then the summary
    QCOMPARE(answerer.captions.back(), QString(shell::kStatisticsCaption));
    const QString summary = answerer.texts.back();
    QVERIFY2(summary.startsWith("총 파일 수     3장 中     3장(100.0%) 인식"), qPrintable(summary));
    QVERIFY(summary.contains("    3장(100.0%)을 완벽히 인식하였으며"));
    QVERIFY(summary.contains("    0장(0.0%)을 10자 이상 인식하였음"));
    const fs::path perfect = Root() / "root" / "recognized" / "perpect";
    for (const char* name :
         {"000001_[ABCU1234560].bmp", "000002_[ABCU1234560].bmp", "000003_[ABCU1234560].bmp"})
        QVERIFY2(fs::exists(perfect / name), name);
}

void DialogTest::ReleasingTheRunButtonStopsBeforeTheNextPhotograph() {
    WriteReferenceData(Root() / "data");
    WritePhotos(Root() / "photos", 8);
    CKarvonaDlg dialog(Root() / "data");
    ModalAnswerer answerer;
    dialog.OnInitDialog();
    dialog.show();
    dialog.AddFolder(Root() / "photos");
    auto* list = Child<QTableWidget>(dialog, "fileList");
    list->selectRow(2);  // the run starts at the selected row

    auto* run = Child<QPushButton>(dialog, "runButton");
    auto* progress = Child<QProgressBar>(dialog, "progressBar");
    QObject::connect(progress, &QProgressBar::valueChanged, [&](int value) {
        if (value == 3 && run->isChecked())
            QTest::mouseClick(run, Qt::LeftButton);  // release
    });
    QSignalSpy finished(&dialog, &CKarvonaDlg::BatchFinished);
    QTest::mouseClick(run, Qt::LeftButton);
    QVERIFY(finished.wait(120000));
    QVERIFY(!run->isChecked());
    QVERIFY(dialog.ProcessedCount() >= 1);
    QVERIFY(dialog.ProcessedCount() < 6);  // rows 2 to 7 were left to do
    QVERIFY(answerer.texts.back().startsWith(
        QString("총 파일 수 %1장").arg(dialog.ProcessedCount(), 5)));
    QCOMPARE(list->item(0, 0)->checkState(), Qt::Unchecked);  // before the start row
    QCOMPARE(list->item(2, 0)->checkState(), Qt::Checked);
    QCOMPARE(list->item(7, 0)->checkState(), Qt::Unchecked);
}

void DialogTest::StepViewsDuringABatchRunWaitForKeys() {
    WriteReferenceData(Root() / "data");
    WritePhotos(Root() / "photos", 1);
    CKarvonaDlg dialog(Root() / "data");
    int previews = 0;
    ModalAnswerer answerer(QMessageBox::Ok, [&](QWidget* modal) {
        if (modal->objectName() == "stepPreview") {
            ++previews;
            QTest::keyClick(modal, Qt::Key_Space);
        }
    });
    dialog.OnInitDialog();
    dialog.show();
    dialog.AddFolder(Root() / "photos");
    QTest::mouseClick(Child<QPushButton>(dialog, "locatorStepButton"), Qt::LeftButton);
    QSignalSpy finished(&dialog, &CKarvonaDlg::BatchFinished);
    QTest::mouseClick(Child<QPushButton>(dialog, "runButton"), Qt::LeftButton);
    QVERIFY(finished.wait(120000));
    QVERIFY(previews > 0);
    QCOMPARE(Child<app::CMyLabel>(dialog, "resultLabel")->text(), QString("ABCU1234560"));
    QCOMPARE(Child<QTableWidget>(dialog, "fileList")->item(0, 0)->checkState(), Qt::Checked);
}

void DialogTest::BackupOptionEnablesTheRadioButtons() {
    CKarvonaDlg dialog(Root());
    ModalAnswerer answerer;
    dialog.OnInitDialog();
    dialog.show();
    auto* rename = Child<QRadioButton>(dialog, "renameRadio");
    auto* keep = Child<QRadioButton>(dialog, "keepNameRadio");
    QVERIFY(!rename->isEnabled() && !keep->isEnabled());
    QVERIFY(rename->isChecked());
    const int before = answerer.texts.size();
    QTest::mouseClick(Child<QCheckBox>(dialog, "backupCheck"), Qt::LeftButton);
    QVERIFY(rename->isEnabled() && keep->isEnabled());
    QCOMPARE(answerer.texts.size(), before + 1);
    QCOMPARE(answerer.texts.back(),
             QString::fromStdString(shell::BackupMessage(Root() / "root" / "recognized")));
    for (const char* folder : {"perpect", "mistake", "trymore", "un", "review"})
        QVERIFY(fs::is_directory(Root() / "root" / "recognized" / folder));
    QTest::mouseClick(Child<QCheckBox>(dialog, "backupCheck"), Qt::LeftButton);
    QVERIFY(!rename->isEnabled() && !keep->isEnabled());
    QCOMPARE(answerer.texts.size(), before + 1);  // switching off says nothing

    // A strict window (karvona-gui --strict) never files for review, so makes no such folder.
    fs::remove_all(Root() / "root" / "recognized");
    CKarvonaDlg strict(Root());
    strict.SetStrict(true);
    strict.OnInitDialog();
    strict.show();
    QTest::mouseClick(Child<QCheckBox>(strict, "backupCheck"), Qt::LeftButton);
    QVERIFY(fs::is_directory(Root() / "root" / "recognized" / "un"));
    QVERIFY(!fs::exists(Root() / "root" / "recognized" / "review"));
}

void DialogTest::DeleteKeyAsksAndCancelKeepsTheFile() {
    const fs::path photos = Root() / "photos";
    fs::create_directories(photos);
    Touch(photos / "a.jpg");
    Touch(photos / "b.jpg");
    CKarvonaDlg dialog(Root());
    ModalAnswerer cancel(QMessageBox::Cancel);
    dialog.OnInitDialog();
    dialog.show();
    dialog.AddFolder(photos);
    auto* list = Child<QTableWidget>(dialog, "fileList");
    list->selectRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(cancel.texts.back(), QString("a.jpg\n이 파일을 삭제하시겠습니까?"));
    QCOMPARE(list->rowCount(), 1);
    QVERIFY(fs::exists(photos / "a.jpg"));  // the row went, the file stayed
    QCOMPARE(Child<QLabel>(dialog, "fileCountField")->text(), QString("1"));
}

void DialogTest::LabelFontSizeGivesNegativeHeight() {
    app::CMyLabel label;
    label.SetFontSize(40);
    QCOMPARE(label.FontHeight(), -40);
    QCOMPARE(label.font().pixelSize(), 40);
    label.SetFontName("NanumGothic");
    QCOMPARE(label.FontHeight(), -40);  // a new face keeps the height
    label.SetTextColor(QColor(200, 50, 50));
    QCOMPARE(label.palette().color(QPalette::WindowText), QColor(200, 50, 50));
}

void DialogTest::StatusLineIsShortenedAfter35Characters() {
    const QString path = "c:\\images\\containers\\2011\\december\\batch-01";
    QCOMPARE(path.size(), 43);
    QCOMPARE(app::ShortenStatusText(path), QString("c:\\images\\containers\\2011\\december\\..."));
    QCOMPARE(app::ShortenStatusText(path.left(35)), path.left(35));
    QCOMPARE(app::ShortenStatusText("가나다"), QString("가나다"));

    // The picker's status line shows the initial folder shortened.
    const fs::path deep = Root() / "a-folder-with-a-rather-long-name" / "and-another";
    fs::create_directories(deep);
    const QString deepText = QString::fromStdString(deep.string());
    app::CMyFolderDialog picker("*.*", deepText);
    QTimer::singleShot(0, &picker, [&] {
        QCOMPARE(picker.StatusText(), app::ShortenStatusText(deepText));
        QVERIFY(picker.StatusText().endsWith("..."));
        picker.reject();
    });
    QCOMPARE(picker.DoModal(), int(QDialog::Rejected));
    QCOMPARE(picker.GetFolderPath(), deepText);  // Cancel leaves the initial folder
}

void DialogTest::StepViewFromTheWorkerWaitsForAKey() {
    // The preview runs modally on this thread, so everything here is done from a timer.
    app::PreviewStepViewer viewer;
    const cv::Mat image(40, 60, CV_8UC3, cv::Scalar(0, 0, 255));
    std::atomic<int> returned{0};
    QStringList titles;
    bool waitedForKey = true;
    QTimer keys;
    QObject::connect(&keys, &QTimer::timeout, [&] {
        if (QDialog* preview = viewer.OpenPreview()) {
            titles << preview->windowTitle();
            waitedForKey = waitedForKey && returned == 0;
            QTest::keyClick(preview, Qt::Key_Space);
        }
    });
    keys.start(30);
    std::thread worker([&] {
        viewer.Show("binary image #1/2", image);
        returned = 1;
    });
    QTRY_COMPARE_WITH_TIMEOUT(returned.load(), 1, 10000);
    worker.join();
    keys.stop();
    QCOMPARE(titles, QStringList({"binary image #1/2"}));
    QVERIFY(waitedForKey);

    // A cancel lets a waiting worker go, and later views return at once.
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (viewer.OpenPreview() != nullptr)
            viewer.Cancel();
    });
    cancel.start(30);
    std::thread second([&] {
        viewer.Show("Horizontal Mask", image);
        viewer.Show("find ISO characters", image);
        returned = 2;
    });
    QTRY_COMPARE_WITH_TIMEOUT(returned.load(), 2, 10000);
    second.join();
}

QTEST_MAIN(DialogTest)
#include "dialog_test.moc"
