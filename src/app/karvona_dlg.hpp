#pragma once
// The main dialog: the pictures and labels of the last recognition, the file list with its
// commands, the batch run, the options and the step-view switches. It owns the reference data
// and the recognition state of the window; a batch run works on them from one worker thread
// while the window thread shows every result as it comes.
//
// karvona_dlg.cpp: start-up, keys, pictures and options; karvona_dlg_controls.cpp: the
// controls; karvona_dlg_files.cpp: the file list; karvona_dlg_batch.cpp: the batch run.

#include <QDialog>
#include <QString>
#include <atomic>
#include <filesystem>
#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <thread>

#include "app/dialog_units.hpp"
#include "app/preview_step_viewer.hpp"
#include "app/window_queue.hpp"
#include "karvona/read_code.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"
#include "shell/batch.hpp"
#include "shell/file_list.hpp"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace karvona::app {

class CMyLabel;
class CPictureFrame;

inline constexpr char kWindowTitle[] = "Karvona Ver 3.0.8";
/// The caption of the program's own message boxes.
inline constexpr char kMessageCaption[] = "Karvona";
/// "굴림체" and "돋움체" are not on this system; the Nanum faces stand in for them.
inline constexpr char kDialogFontFace[] = "NanumGothicCoding";
inline constexpr char kResultFontFace[] = "NanumGothicCoding";
inline constexpr int kDialogFontPoints = 9;

/// What the window shows of one recognition, copied so that the worker can go on meanwhile.
struct RecognitionView {
    cv::Mat display, swatch, panel;
    std::string result;
    std::string layout;  ///< empty when no region was found
    std::string time = "0ms ";
    std::string confidence;  ///< "0.97", or "검토 0.62" for review; empty when not judged
    recognition::TextColour colour{150, 150, 200};
};

/// The panel of a photograph without a winning reader: black rather than another photograph's
/// characters.
cv::Mat BlackPanel();

class CKarvonaDlg : public QDialog {
    Q_OBJECT
public:
    /// dataFolder holds the training files and the prefix list (empty: the current folder).
    explicit CKarvonaDlg(std::filesystem::path dataFolder = {}, QWidget* parent = nullptr);
    ~CKarvonaDlg() override;

    /// Initialises the dialog and runs it until it ends.
    int DoModal();
    /// Loads the reference data (a message box for each failure, then going on), prepares the
    /// list and the result label, and creates the default move folder.
    bool OnInitDialog();

    // File list commands.
    void AppendRow(const std::string& name, const std::filesystem::path& path);
    void OnAddFile();
    void OnAddFolder();
    int AddFolder(const std::filesystem::path& folder);
    /// Puts photographs and the photographs of folders in the list (the program's arguments).
    void AddPaths(const std::vector<std::filesystem::path>& paths);
    void OnClearList();
    void OnChooseTargetFolder();
    void OnMoveTicked();
    void OnListClicked();
    /// The list's key handling; returns true when the key was used up here.
    bool OnListKeyDown(int key);
    void SelectAndRecognize(int row);

    // Batch run and options.
    void OnRunClicked();
    void OnBackupClicked();
    void OnSamplesClicked();
    void OnOptionsClicked();
    bool IsRunning() const { return running_; }

    /// Recognition by the single pass alone: no working scale, no second look, no review.
    void SetStrict(bool strict) { strict_ = strict; }
    bool Strict() const { return strict_; }

    /// Recognizes one photograph on the window thread and shows the outcome. A photograph
    /// without a winning reader leaves the panel black rather than showing the characters of
    /// an earlier one.
    bool RecognizeImage(const std::filesystem::path& path);

    /// Moves a file to the desktop's trash (the freedesktop.org trash of the user), from which
    /// it can be restored. Returns whether it was moved.
    static bool MoveToTrash(const std::filesystem::path& file);

    const shell::FileList& Files() const { return files_; }
    int FileCount() const { return fileCount_; }
    int ProcessedCount() const { return processedCount_; }
    const std::filesystem::path& TargetFolder() const { return targetFolder_; }
    PreviewStepViewer& StepViewer() { return viewer_; }

signals:
    /// The batch run has ended and its summary (if any) was answered.
    void BatchFinished();

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    // The steps of CreateControls, in the order the controls are made (which is the order Tab
    // moves through them). Places are given in dialog units.
    void CreatePictures(const DialogUnits& du);
    void CreateFileList(const DialogUnits& du);
    void CreateMoveControls(const DialogUnits& du);
    void CreateRunControls(const DialogUnits& du);
    void CreateStepControls(const DialogUnits& du);
    void ConnectControls();
    /// Reads one photograph with the options as they are now, on whichever thread runs it;
    /// processed numbers its character samples. result is what the batch counts and archives.
    RecognitionView Recognize(const std::filesystem::path& path, int processed,
                              recognition::RecognitionResult& result);
    /// Delete key on a row: asks, moves the file to the trash on OK, removes the row.
    void OnDeleteKey(int row);
    /// Shows a reading; a view without a layout leaves the layout of the last one that had a
    /// region.
    void ShowRecognition(const RecognitionView& view);
    /// The options of the next reading, as the controls set them.
    karvona::ReadOptions CurrentReadOptions();
    int SelectedRow() const;
    void RefreshList();
    void SyncTicks();
    void UpdateFileCount();
    void SetCommandsEnabled(bool enabled);
    void RowDone(const shell::RowOutcome& done, const RecognitionView& view);
    void FinishBatch(const shell::BatchCounts& counts);
    void StopWorker();
    int Message(const QString& text, bool withCancel = false);

    std::filesystem::path dataFolder_;
    recognition::ReferenceDataSet reference_;
    karvona::ReferenceData shared_;  ///< the loaded data, as readings take it
    PreviewStepViewer viewer_;
    shell::FileList files_;

    // Fields bound to the controls; the worker reads the options before each photograph.
    std::atomic<bool> runRequested_{false};
    std::atomic<bool> colourPassOn_{false};
    std::atomic<bool> locatorStepView_{false};
    std::atomic<bool> readerStepView_{false};
    std::atomic<bool> saveSamplesOn_{false};
    std::atomic<bool> strict_{false};
    bool backupOn_ = false;
    bool removeAfterMove_ = true;
    bool keepFileName_ = false;
    int fileCount_ = 0;
    int processedCount_ = 0;
    std::filesystem::path targetFolder_;
    std::filesystem::path lastScannedFolder_;

    // The batch run.
    std::thread worker_;
    WindowQueue windowQueue_;  ///< the worker's rows and its end, to the window's thread
    std::atomic<bool> stopRequested_{false};
    bool running_ = false;
    bool closing_ = false;

    // Controls.
    QTableWidget* fileList_ = nullptr;
    CPictureFrame* mainPicture_ = nullptr;
    CPictureFrame* swatchPicture_ = nullptr;
    CPictureFrame* panelPicture_ = nullptr;
    CMyLabel* resultLabel_ = nullptr;
    CMyLabel* layoutLabel_ = nullptr;
    CMyLabel* confidenceLabel_ = nullptr;  ///< the confidence of a validated code, beside it
    QLabel* timeField_ = nullptr;
    QLabel* fileCountField_ = nullptr;
    QLabel* targetFolderField_ = nullptr;
    QPushButton* addFileButton_ = nullptr;
    QPushButton* addFolderButton_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    QPushButton* chooseTargetButton_ = nullptr;
    QPushButton* moveButton_ = nullptr;
    QCheckBox* removeAfterMoveCheck_ = nullptr;
    QPushButton* runButton_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QCheckBox* backupCheck_ = nullptr;
    QRadioButton* renameRadio_ = nullptr;
    QRadioButton* keepNameRadio_ = nullptr;
    QButtonGroup* nameGroup_ = nullptr;
    QCheckBox* samplesCheck_ = nullptr;
    QPushButton* colourButton_ = nullptr;
    QPushButton* locatorStepButton_ = nullptr;
    QPushButton* readerStepButton_ = nullptr;
};

}  // namespace karvona::app
