#include "app/folder_dialog.hpp"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace karvona::app {

QString ShortenStatusText(const QString& path) {
    constexpr int kShown = 35;
    return path.size() > kShown ? path.left(kShown) + "..." : path;
}

bool FolderHoldsMatch(const QString& folder, const QString& pattern) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    const QString wildcard = pattern.isEmpty() || pattern == "*.*" ? QString("*") : pattern;
    const QDir dir(folder);
    return !dir.entryList({wildcard},
                          QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
                .isEmpty();
}

CFolderDialog::CFolderDialog(const QString& initialFolder, int flags, QWidget* owner)
    : QDialog(owner), initialFolder_(initialFolder), flags_(flags | 0x4) {
    setObjectName("folderDialog");
    setWindowTitle(tr("폴더 찾아보기"));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(tr(kFolderDialogTitle), this);
    title->setObjectName("folderTitle");
    status_ = new QLabel(this);
    status_->setObjectName("folderStatus");
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setRootPath(QDir::rootPath());
    tree_ = new QTreeView(this);
    tree_->setObjectName("folderTree");
    tree_->setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column)
        tree_->hideColumn(column);
    tree_->header()->hide();
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->setObjectName("folderButtons");
    buttons_->button(QDialogButtonBox::Ok)->setText(tr("확인"));
    buttons_->button(QDialogButtonBox::Cancel)->setText(tr("취소"));
    layout->addWidget(title);
    layout->addWidget(status_);
    layout->addWidget(tree_, 1);
    layout->addWidget(buttons_);
    resize(360, 420);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { SelectionChanged(current); });
}

CFolderDialog::~CFolderDialog() = default;

int CFolderDialog::DoModal() {
    chosenFolder_ = initialFolder_;
    OnInitialized();
    const int result = exec();
    // A choice without a folder of the file system counts as Cancel.
    if (result != QDialog::Accepted || pathBuffer_.isEmpty() || !QFileInfo(pathBuffer_).isDir()) {
        chosenFolder_ = initialFolder_;
        return QDialog::Rejected;
    }
    chosenFolder_ = pathBuffer_;
    return QDialog::Accepted;
}

void CFolderDialog::OnInitialized() {
    if (!initialFolder_.isEmpty())
        SetSelection(initialFolder_);
    SetStatusText(ShortenStatusText(initialFolder_));
}

void CFolderDialog::SelectionChanged(const QModelIndex& current) {
    if (!current.isValid())
        return;
    OnSelChanged(model_->filePath(current));
}

void CFolderDialog::OnSelChanged(const QString& path) {
    pathBuffer_ = path;
    chosenFolder_ = path;
    SetStatusText(ShortenStatusText(path));
}

void CFolderDialog::SetStatusText(const QString& text) {
    status_->setText(text);
}

QString CFolderDialog::StatusText() const {
    return status_->text();
}

void CFolderDialog::SetSelection(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QModelIndex index = model_->index(absolute);
    if (!index.isValid())
        return;
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
    if (pathBuffer_ != absolute)
        OnSelChanged(absolute);  // the model may not have signalled
}

void CFolderDialog::EnableOK(bool enable) {
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(enable);
}

bool CFolderDialog::IsOKEnabled() const {
    return buttons_->button(QDialogButtonBox::Ok)->isEnabled();
}

CMyFolderDialog::CMyFolderDialog(const QString& pattern, const QString& initialFolder, int flags,
                                 QWidget* owner)
    : CFolderDialog(initialFolder, flags, owner), pattern_(pattern.isEmpty() ? "*.*" : pattern) {
    EnableOK(false);  // nothing is selected yet
}

void CMyFolderDialog::OnSelChanged(const QString& path) {
    CFolderDialog::OnSelChanged(path);
    EnableOK(FolderHoldsMatch(QDir::cleanPath(pathBuffer_), pattern_));
}

}  // namespace karvona::app
