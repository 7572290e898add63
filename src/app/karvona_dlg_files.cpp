// The main dialog's file list: adding files and folders, clearing, moving the ticked files,
// recognition by click or arrow key, and the Delete key, which moves a file to the trash.

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <algorithm>
#include <vector>

#include "app/folder_dialog.hpp"
#include "app/karvona_dlg.hpp"
#include "app/qt_text.hpp"
#include "app/translation.hpp"
#include "shell/batch.hpp"
#include "shell/messages.hpp"

namespace karvona::app {
namespace {

namespace fs = std::filesystem;

// Keys that move the focus or end the dialog: the list passes them on without a reading.
bool IsNavigationKey(int key) {
    switch (key) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
            return true;
        default:
            return false;
    }
}

}  // namespace

int CKarvonaDlg::SelectedRow() const {
    const QModelIndexList rows = fileList_->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    int first = rows.front().row();
    for (const QModelIndex& index : rows)
        first = std::min(first, index.row());
    return first;
}

void CKarvonaDlg::UpdateFileCount() {
    fileCount_ = fileList_->rowCount();
    fileCountField_->setText(QString::number(fileCount_));
}

void CKarvonaDlg::AppendRow(const std::string& name, const fs::path& path) {
    files_.Append(name, path);
    const int row = fileList_->rowCount();
    fileList_->insertRow(row);
    auto* nameItem = new QTableWidgetItem(Q(name));
    nameItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    nameItem->setCheckState(Qt::Unchecked);
    fileList_->setItem(row, 0, nameItem);
    auto* pathItem = new QTableWidgetItem(Q(path));
    pathItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    fileList_->setItem(row, 1, pathItem);
}

void CKarvonaDlg::SyncTicks() {
    for (int row = 0; row < fileList_->rowCount() && row < static_cast<int>(files_.size()); ++row) {
        const QTableWidgetItem* item = fileList_->item(row, 0);
        files_.SetTicked(static_cast<size_t>(row), item && item->checkState() == Qt::Checked);
    }
}

void CKarvonaDlg::RefreshList() {
    const shell::FileList rows = files_;
    files_.Clear();
    fileList_->setRowCount(0);
    for (const shell::FileRow& row : rows.rows()) {
        AppendRow(row.name, row.path);
        files_.SetTicked(files_.size() - 1, row.ticked);
        fileList_->item(fileList_->rowCount() - 1, 0)
            ->setCheckState(row.ticked ? Qt::Checked : Qt::Unchecked);
    }
    UpdateFileCount();
}

void CKarvonaDlg::OnAddFile() {
    if (running_)
        return;
    QFileDialog dialog(this, tr("열기"));
    dialog.setObjectName("addFileDialog");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({tr("BITMAP 이미지(*.bmp)"), tr("JPEG 이미지(*.jpg)")});
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString chosen = dialog.selectedFiles().front();
    AppendRow(QFileInfo(chosen).fileName().toStdString(), PathOf(chosen));
    OnOptionsClicked();
}

int CKarvonaDlg::AddFolder(const fs::path& folder) {
    lastScannedFolder_ = folder;
    std::vector<shell::FileRow> rows;
    const int added = shell::ScanFolder(folder, rows);
    for (const shell::FileRow& row : rows)
        AppendRow(row.name, row.path);
    UpdateFileCount();
    return added;
}

void CKarvonaDlg::AddPaths(const std::vector<fs::path>& paths) {
    for (const fs::path& path : paths) {
        std::error_code error;
        if (fs::is_directory(path, error))
            AddFolder(path);
        else
            AppendRow(path.filename().string(), path);
    }
    UpdateFileCount();
}

void CKarvonaDlg::OnAddFolder() {
    if (running_)
        return;
    CMyFolderDialog picker("*.*", Q(lastScannedFolder_));
    if (picker.DoModal() != QDialog::Accepted)
        return;
    AddFolder(PathOf(picker.GetFolderPath()));
}

void CKarvonaDlg::OnClearList() {
    if (running_)
        return;
    files_.Clear();
    fileList_->setRowCount(0);
    UpdateFileCount();
}

void CKarvonaDlg::OnChooseTargetFolder() {
    if (running_)
        return;
    CMyFolderDialog picker("*.*", Q(targetFolder_));
    if (picker.DoModal() != QDialog::Accepted)
        return;
    targetFolder_ = PathOf(picker.GetFolderPath());
    targetFolderField_->setText(Q(targetFolder_));
}

void CKarvonaDlg::OnMoveTicked() {
    if (running_)
        return;
    OnOptionsClicked();
    SyncTicks();
    std::vector<fs::path> notMoved;
    files_.MoveTicked(targetFolder_, removeAfterMove_, &notMoved);
    RefreshList();
    if (!notMoved.empty()) {
        // A file that could not be moved stays where it was, with its row; the operator is told.
        QString text = tr("이동하지 못한 파일 %1개:").arg(notMoved.size());
        const auto shown = static_cast<size_t>(shell::kNamesInStatistics);
        for (size_t i = 0; i < notMoved.size() && i < shown; ++i)
            text += "\n" + Q(notMoved[i]);
        if (notMoved.size() > shown)
            text += "\n...";
        Message(text);
    }
}

void CKarvonaDlg::OnListClicked() {
    if (running_)
        return;
    const int row = SelectedRow();
    if (row < 0 || row >= static_cast<int>(files_.size()))
        return;
    RecognizeImage(files_[static_cast<size_t>(row)].path);
}

void CKarvonaDlg::SelectAndRecognize(int row) {
    if (row < 0 || row >= fileList_->rowCount())
        return;
    fileList_->selectRow(row);
    OnListClicked();
}

bool CKarvonaDlg::MoveToTrash(const fs::path& file) {
    // Qt uses the user's trash only when its folder can be made; a missing data folder
    // (~/.local/share) is made first. Qt 5.15 may otherwise "trash" into the current folder:
    // such a move is taken back.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!dataHome.isEmpty())
        QDir().mkpath(dataHome);
    QString inTrash;
    if (!QFile::moveToTrash(Q(file), &inTrash))
        return false;
    if (QFileInfo(inTrash).isAbsolute())
        return true;
    QFile::rename(inTrash, Q(file));
    QFile::remove(QFileInfo(inTrash).path() + "/../info/" + QFileInfo(inTrash).fileName() +
                  ".trashinfo");
    return false;
}

void CKarvonaDlg::OnDeleteKey(int selected) {
    const shell::FileRow row = files_[static_cast<size_t>(selected)];
    const QString question = Q(row.name) + MessageText(shell::kDeleteQuestion);
    const bool ok = Message(question, true) == QMessageBox::Ok;
    // The file goes to the desktop's trash, where it can be restored; a file that cannot be put
    // there stays where it is.
    if (ok && !MoveToTrash(row.path))
        Message(tr("휴지통으로 옮기지 못했습니다. 파일은 그대로 있습니다:\n%1").arg(Q(row.path)));
    files_.DeleteRow(static_cast<size_t>(selected), false);
    fileList_->removeRow(selected);
    UpdateFileCount();
}

bool CKarvonaDlg::OnListKeyDown(int key) {
    if (running_) {
        // One recognition at a time: the list only scrolls while a run is in progress.
        return key == Qt::Key_Delete;
    }
    if (IsNavigationKey(key))
        return false;  // Tab, Enter, Escape: as everywhere in the dialog, without a reading
    const int count = fileList_->rowCount();
    if (count == 0)
        return false;
    const int selected = SelectedRow();
    int target = selected;
    switch (key) {
        case Qt::Key_Up:
            target = selected - 1;
            if (target < 0)
                return false;
            break;
        case Qt::Key_Down:
            target = selected + 1;
            if (target == count)
                return false;
            break;
        case Qt::Key_Delete:
            if (selected >= 0 && selected < static_cast<int>(files_.size()))
                OnDeleteKey(selected);
            return true;
        default:
            break;
    }
    if (target >= 0 && target < static_cast<int>(files_.size())) {
        const fs::path path = files_[static_cast<size_t>(target)].path;
        if (!path.empty())
            RecognizeImage(path);
    }
    return false;  // the list moves its selection itself
}

}  // namespace karvona::app
