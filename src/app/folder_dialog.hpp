#pragma once
// Folder pickers: CFolderDialog opens on an initial folder, shows the current path in a status
// line and returns the chosen folder; CMyFolderDialog enables OK only for a folder that holds an
// entry matching its file pattern.

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QFileSystemModel;
class QLabel;
class QModelIndex;
class QTreeView;

namespace karvona::app {

/// The title shown above the folder tree.
inline constexpr char kFolderDialogTitle[] =
    QT_TRANSLATE_NOOP("karvona::app::CFolderDialog", "디렉토리 경로를 선택하십시오.");

/// The status line shows at most 35 characters of a path, then "...".
QString ShortenStatusText(const QString& path);

/// Whether folder holds at least one entry (file or folder, hidden ones too) matching pattern;
/// "*.*" matches every name, as it always has.
bool FolderHoldsMatch(const QString& folder, const QString& pattern);

class CFolderDialog : public QDialog {
    Q_OBJECT
public:
    explicit CFolderDialog(const QString& initialFolder = QString(), int flags = 0,
                           QWidget* owner = nullptr);
    ~CFolderDialog() override;

    /// QDialog::Accepted (1) with a chosen folder, QDialog::Rejected otherwise.
    int DoModal();
    QString GetFolderPath() const { return chosenFolder_; }

    // The messages a picker sends to its browser.
    void SetStatusText(const QString& text);
    void SetSelection(const QString& path);
    void EnableOK(bool enable);
    bool IsOKEnabled() const;
    QString StatusText() const;

protected:
    virtual void OnInitialized();
    virtual void OnSelChanged(const QString& path);

    QString pathBuffer_;  ///< path of the current selection

private:
    void SelectionChanged(const QModelIndex& current);

    QString initialFolder_;
    QString chosenFolder_;
    int flags_;
    QFileSystemModel* model_;
    QTreeView* tree_;
    QLabel* status_;
    QDialogButtonBox* buttons_;
};

class CMyFolderDialog : public CFolderDialog {
    Q_OBJECT
public:
    explicit CMyFolderDialog(const QString& pattern = "*.*",
                             const QString& initialFolder = QString(), int flags = 0,
                             QWidget* owner = nullptr);

protected:
    void OnSelChanged(const QString& path) override;

private:
    QString pattern_;
};

}  // namespace karvona::app
