// The main dialog's batch run: one worker recognizes the rows from the selected one to the end
// while the window shows every result, and the run ends with the statistics message. Also the
// two options that prepare folders for it (backup and character samples).

#include <QCheckBox>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <algorithm>
#include <vector>

#include "app/karvona_dlg.hpp"
#include "app/qt_text.hpp"
#include "app/translation.hpp"
#include "recognition/folders.hpp"
#include "shell/messages.hpp"
#include "shell/samples.hpp"

namespace karvona::app {

namespace fs = std::filesystem;

void CKarvonaDlg::StopWorker() {
    if (!worker_.joinable())
        return;
    stopRequested_ = true;
    viewer_.Cancel();  // a worker held by a step view goes on
    worker_.join();
}

void CKarvonaDlg::SetCommandsEnabled(bool enabled) {
    for (QWidget* command :
         std::initializer_list<QWidget*>{addFileButton_, addFolderButton_, clearButton_,
                                         chooseTargetButton_, moveButton_, backupCheck_}) {
        command->setEnabled(enabled);
    }
    renameRadio_->setEnabled(enabled && backupOn_);
    keepNameRadio_->setEnabled(enabled && backupOn_);
}

void CKarvonaDlg::OnRunClicked() {
    OnOptionsClicked();
    runRequested_ = runButton_->isChecked();
    if (!runRequested_) {
        stopRequested_ = true;  // the loop ends before its next photograph
        return;
    }
    if (running_)
        return;
    running_ = true;
    stopRequested_ = false;
    SyncTicks();
    SetCommandsEnabled(false);

    const std::vector<shell::FileRow> rows = files_.rows();
    shell::BatchOptions options;
    options.startRow = std::max(0, SelectedRow());
    options.backupOn = backupOn_;
    options.keepFileName = keepFileName_;
    progressBar_->setRange(0, static_cast<int>(static_cast<quint16>(rows.size())));
    progressBar_->setValue(0);

    worker_ = std::thread([this, rows, options] {
        RecognitionView last;
        auto factory = [this, &last](int) -> shell::PhotoReader {
            return [this, &last](const fs::path& photograph, int processed) {
                recognition::RecognitionResult result;
                last = Recognize(photograph, processed, result);
                return result;
            };
        };
        auto onRow = [this, &last](const shell::RowOutcome& done) {
            windowQueue_.Post([this, done, view = last] { RowDone(done, view); });
        };
        const shell::BatchCounts counts =
            shell::RunBatch(rows, options, factory, stopRequested_, onRow);
        windowQueue_.Post([this, counts] { FinishBatch(counts); });
    });
}

void CKarvonaDlg::RowDone(const shell::RowOutcome& done, const RecognitionView& view) {
    ShowRecognition(view);
    if (done.ticked() && done.row < fileList_->rowCount()) {
        fileList_->item(done.row, 0)->setCheckState(Qt::Checked);
        files_.SetTicked(static_cast<size_t>(done.row), true);
    }
    progressBar_->setValue(done.row + 1);
    if (done.row < fileList_->rowCount()) {
        fileList_->scrollToItem(fileList_->item(done.row, 0), QAbstractItemView::EnsureVisible);
    }
    processedCount_ = done.processedCount;
}

void CKarvonaDlg::FinishBatch(const shell::BatchCounts& counts) {
    if (worker_.joinable())
        worker_.join();
    if (closing_)
        return;
    processedCount_ = counts.processedCount;
    const shell::StatisticsTexts texts = TranslatedStatisticsTexts();
    const std::string text = shell::FormatStatistics(counts, texts);
    if (!text.empty()) {
        QMessageBox box(QMessageBox::NoIcon, Q(texts.caption), Q(text), QMessageBox::Ok, this);
        box.setObjectName("statisticsBox");
        box.exec();
    }
    runButton_->setChecked(false);
    runRequested_ = false;
    running_ = false;
    SetCommandsEnabled(true);
    emit BatchFinished();
}

void CKarvonaDlg::OnBackupClicked() {
    OnOptionsClicked();
    if (backupOn_) {
        const fs::path archive = recognition::RecognizedFolder();
        Message(MessageText(shell::kBackupMessageBefore) + Q(archive) +
                MessageText(shell::kBackupMessageAfter));
        shell::CreateArchiveFolders(archive, !strict_);
    }
    renameRadio_->setEnabled(backupOn_);
    keepNameRadio_->setEnabled(backupOn_);
}

void CKarvonaDlg::OnSamplesClicked() {
    OnOptionsClicked();
    if (!saveSamplesOn_)
        return;
    const fs::path samples = recognition::CharactersFolder();
    Message(MessageText(shell::kSamplesMessageBefore) + Q(samples) +
            MessageText(shell::kSamplesMessageAfter));
    shell::CreateSampleFolders(samples);
}

}  // namespace karvona::app
