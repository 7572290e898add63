#include "app/karvona_dlg.hpp"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <algorithm>
#include <vector>

#include "app/dialog_units.hpp"
#include "app/folder_dialog.hpp"
#include "app/my_label.hpp"
#include "app/picture_frame.hpp"
#include "recognition/folders.hpp"
#include "shell/file_ops.hpp"
#include "shell/messages.hpp"
#include "shell/samples.hpp"

namespace karvona::app {
namespace {

namespace fs = std::filesystem;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}
fs::path PathOf(const QString& text) {
    return fs::path(text.toStdString());
}

QColor ColourOf(const recognition::TextColour& c) {
    return QColor(c.red, c.green, c.blue);
}

// The window icon: the product's initial on the colour of a read code.
QIcon MakeIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(QColor(50, 50, 100));
    QPainter painter(&pixmap);
    painter.setPen(QColor(200, 50, 50));
    QFont font(kDialogFontFace);
    font.setPixelSize(26);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, "K");
    return QIcon(pixmap);
}

QLabel* SunkenText(QWidget* parent, const QString& text, Qt::Alignment alignment) {
    auto* label = new QLabel(text, parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
    label->setAlignment(alignment | Qt::AlignTop);
    return label;
}

QPushButton* PushLike(QWidget* parent, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setCheckable(true);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CKarvonaDlg::CKarvonaDlg(fs::path dataFolder, QWidget* parent)
    : QDialog(parent),
      dataFolder_(std::move(dataFolder)),
      recognizer_(std::make_unique<recognition::Recognizer>(reference_.View())),
      viewer_(this),
      targetFolder_(recognition::UnrecognizedFolder()) {
    setObjectName("karvonaDialog");
    setWindowTitle(kWindowTitle);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(MakeIcon());
    QFont dialogFont(kDialogFontFace);
    dialogFont.setPointSize(kDialogFontPoints);
    setFont(dialogFont);
    CreateControls();
}

CKarvonaDlg::~CKarvonaDlg() {
    StopWorker();
}

void CKarvonaDlg::CreateControls() {
    const DialogUnits du = DialogUnitsOf(font());
    setFixedSize(du.X(611), du.Y(445));
    auto place = [&](QWidget* widget, int x, int y, int w, int h) {
        widget->setGeometry(du.Map(x, y, w, h));
    };

    // The group boxes first, so that the controls inside them lie above them.
    auto* fileGroup = new QGroupBox(" [ 파일 관리 ] ", this);
    place(fileGroup, 414, 125, 190, 82);
    auto* runGroup = new QGroupBox(" [ 모든 파일 인식 ] ", this);
    place(runGroup, 414, 215, 190, 125);
    auto* stepGroup = new QGroupBox(" [ 인식 단계 보기 ] ", this);
    place(stepGroup, 414, 349, 190, 89);

    mainPicture_ = new CPictureFrame(this);
    mainPicture_->setObjectName("mainPicture");
    place(mainPicture_, 7, 7, 400, 270);
    resultLabel_ = new CMyLabel(this);
    resultLabel_->setObjectName("resultLabel");
    resultLabel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    resultLabel_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    place(resultLabel_, 7, 284, 400, 38);
    panelPicture_ = new CPictureFrame(this);
    panelPicture_->setObjectName("panelPicture");
    place(panelPicture_, 7, 328, 400, 110);
    panelPicture_->SetImage(recognizer_->panelImage);  // black until a reader draws into it

    fileList_ = new QTableWidget(0, 2, this);
    fileList_->setObjectName("fileList");
    place(fileList_, 414, 7, 131, 110);
    fileList_->setSelectionMode(QAbstractItemView::SingleSelection);
    fileList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    fileList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fileList_->verticalHeader()->hide();
    fileList_->verticalHeader()->setDefaultSectionSize(fileList_->fontMetrics().height() + 4);
    fileList_->horizontalHeader()->setHighlightSections(false);
    fileList_->setWordWrap(false);
    fileList_->installEventFilter(this);
    connect(fileList_, &QTableWidget::clicked, this, [this] { OnListClicked(); });
    connect(fileList_->model(), &QAbstractItemModel::rowsInserted, this,
            [this] { UpdateFileCount(); });
    connect(fileList_->model(), &QAbstractItemModel::rowsRemoved, this,
            [this] { UpdateFileCount(); });

    addFileButton_ = new QPushButton("파일 추가", this);
    addFileButton_->setObjectName("addFileButton");
    place(addFileButton_, 551, 7, 53, 22);
    addFolderButton_ = new QPushButton("폴더 추가", this);
    addFolderButton_->setObjectName("addFolderButton");
    place(addFolderButton_, 551, 33, 53, 22);
    clearButton_ = new QPushButton("목록 초기화", this);
    clearButton_->setObjectName("clearListButton");
    place(clearButton_, 551, 59, 53, 22);
    fileCountField_ = SunkenText(this, "0", Qt::AlignHCenter);
    fileCountField_->setObjectName("fileCountField");
    place(fileCountField_, 550, 102, 41, 15);
    auto* sheets = new QLabel("장", this);
    place(sheets, 594, 109, 9, 8);
    sheets->setAlignment(Qt::AlignLeft | Qt::AlignBottom);

    auto* folderCaption = SunkenText(this, "폴더", Qt::AlignLeft);
    place(folderCaption, 421, 143, 39, 15);
    targetFolderField_ = SunkenText(this, Q(targetFolder_), Qt::AlignLeft);
    targetFolderField_->setObjectName("targetFolderField");
    place(targetFolderField_, 464, 143, 112, 15);
    chooseTargetButton_ = new QPushButton("..", this);
    chooseTargetButton_->setObjectName("chooseTargetButton");
    place(chooseTargetButton_, 580, 143, 17, 15);
    moveButton_ = new QPushButton("파일 특정 폴더로 이동", this);
    moveButton_->setObjectName("moveButton");
    place(moveButton_, 421, 162, 177, 22);
    removeAfterMoveCheck_ = new QCheckBox("이동 후 리스트에서 삭제", this);
    removeAfterMoveCheck_->setObjectName("removeAfterMoveCheck");
    removeAfterMoveCheck_->setChecked(true);
    place(removeAfterMoveCheck_, 494, 189, 106, 10);

    runButton_ = PushLike(this, "모든 파일 인식 실행");
    runButton_->setObjectName("runButton");
    place(runButton_, 422, 232, 173, 32);
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName("progressBar");
    progressBar_->setTextVisible(false);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    place(progressBar_, 422, 266, 173, 6);
    auto* options = SunkenText(this, "옵션", Qt::AlignLeft);
    place(options, 422, 279, 30, 52);
    backupCheck_ = new QCheckBox("인식 영상 백업", this);
    backupCheck_->setObjectName("backupCheck");
    place(backupCheck_, 458, 278, 72, 10);
    renameRadio_ = new QRadioButton("파일명 인식결과로 변경", this);
    renameRadio_->setObjectName("renameRadio");
    place(renameRadio_, 469, 292, 104, 10);
    keepNameRadio_ = new QRadioButton("파일명 그대로 두기", this);
    keepNameRadio_->setObjectName("keepNameRadio");
    place(keepNameRadio_, 469, 305, 88, 10);
    nameGroup_ = new QButtonGroup(this);
    nameGroup_->addButton(renameRadio_, 0);
    nameGroup_->addButton(keepNameRadio_, 1);
    renameRadio_->setChecked(true);
    renameRadio_->setEnabled(false);
    keepNameRadio_->setEnabled(false);
    samplesCheck_ = new QCheckBox("추출 문자 이미지 저장", this);
    samplesCheck_->setObjectName("samplesCheck");
    place(samplesCheck_, 458, 322, 100, 10);

    colourButton_ = PushLike(this, "1. 색상 추출");
    colourButton_->setObjectName("colourButton");
    place(colourButton_, 425, 366, 70, 19);
    swatchPicture_ = new CPictureFrame(this);
    swatchPicture_->setObjectName("swatchPicture");
    place(swatchPicture_, 499, 366, 98, 19);
    locatorStepButton_ = PushLike(this, "2. 문자열 구조");
    locatorStepButton_->setObjectName("locatorStepButton");
    place(locatorStepButton_, 425, 389, 70, 19);
    layoutLabel_ = new CMyLabel(this);
    layoutLabel_->setObjectName("layoutLabel");
    layoutLabel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    layoutLabel_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    place(layoutLabel_, 499, 389, 98, 19);
    readerStepButton_ = PushLike(this, "3. 식별자 인식");
    readerStepButton_->setObjectName("readerStepButton");
    place(readerStepButton_, 425, 412, 70, 19);
    auto* timeCaption = SunkenText(this, "수행시간", Qt::AlignHCenter);
    place(timeCaption, 498, 412, 45, 19);
    timeField_ = SunkenText(this, Q(recognizer_->timeText), Qt::AlignRight);
    timeField_->setObjectName("timeField");
    place(timeField_, 547, 412, 50, 19);

    // Enter ends the dialog as OK, never by pressing a button.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    connect(addFileButton_, &QPushButton::clicked, this, [this] { OnAddFile(); });
    connect(addFolderButton_, &QPushButton::clicked, this, [this] { OnAddFolder(); });
    connect(clearButton_, &QPushButton::clicked, this, [this] { OnClearList(); });
    connect(chooseTargetButton_, &QPushButton::clicked, this, [this] { OnChooseTargetFolder(); });
    connect(moveButton_, &QPushButton::clicked, this, [this] { OnMoveTicked(); });
    connect(removeAfterMoveCheck_, &QCheckBox::clicked, this, [this] { OnOptionsClicked(); });
    connect(runButton_, &QPushButton::clicked, this, [this] { OnRunClicked(); });
    connect(backupCheck_, &QCheckBox::clicked, this, [this] { OnBackupClicked(); });
    connect(samplesCheck_, &QCheckBox::clicked, this, [this] { OnSamplesClicked(); });
    for (QPushButton* option : {colourButton_, locatorStepButton_, readerStepButton_}) {
        connect(option, &QPushButton::clicked, this, [this] { OnOptionsClicked(); });
    }
    connect(renameRadio_, &QRadioButton::clicked, this, [this] { keepFileName_ = false; });
    connect(keepNameRadio_, &QRadioButton::clicked, this, [this] { keepFileName_ = true; });
}

int CKarvonaDlg::Message(const QString& text, bool withCancel) {
    QMessageBox box(QMessageBox::Warning, kMessageCaption, text,
                    withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, this);
    return box.exec();
}

bool CKarvonaDlg::OnInitDialog() {
    std::vector<std::string> messages;
    recognition::LoadReferenceData(dataFolder_.empty() ? fs::current_path() : dataFolder_,
                                   reference_, messages);
    for (const std::string& text : messages)
        Message(Q(text));
    recognizer_ = std::make_unique<recognition::Recognizer>(reference_.View());
    panelPicture_->SetImage(recognizer_->panelImage);

    fileList_->setHorizontalHeaderLabels({"파일명", "파일경로"});
    fileList_->horizontalHeaderItem(0)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fileList_->horizontalHeaderItem(1)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fileList_->setColumnWidth(0, 175);
    fileList_->setColumnWidth(1, 400);
    fileList_->setShowGrid(true);
    fileList_->horizontalHeader()->setSectionsMovable(true);  // header drag and drop

    resultLabel_->SetBkColor(QColor(180, 180, 180));
    resultLabel_->SetTextColor(QColor(50, 50, 100));
    resultLabel_->SetFontName(kResultFontFace);
    resultLabel_->SetBorder(true);
    resultLabel_->SetFontSize(40);

    shell::CreateFolder(recognition::UnrecognizedFolder());
    return true;
}

int CKarvonaDlg::DoModal() {
    OnInitDialog();
    return exec();
}

void CKarvonaDlg::done(int result) {
    closing_ = true;
    StopWorker();
    QDialog::done(result);
}

void CKarvonaDlg::StopWorker() {
    if (!worker_.joinable())
        return;
    stopRequested_ = true;
    viewer_.Cancel();  // a worker held by a step view goes on
    worker_.join();
}

void CKarvonaDlg::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            OnOptionsClicked();
            accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

bool CKarvonaDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == fileList_ && event->type() == QEvent::KeyPress) {
        return OnListKeyDown(static_cast<QKeyEvent*>(event)->key());
    }
    return QDialog::eventFilter(watched, event);
}

// ---- the pictures and labels ----

RecognitionView CKarvonaDlg::Snapshot() const {
    const recognition::Recognizer& r = *recognizer_;
    RecognitionView view;
    view.display = r.displayImage.clone();
    view.swatch = r.swatchImage.clone();
    view.panel = r.panelImage.clone();
    view.result = r.resultText;
    view.layout = r.layoutText;
    view.time = r.timeText;
    view.colour = r.resultColour;
    return view;
}

void CKarvonaDlg::ShowRecognition(const RecognitionView& view) {
    mainPicture_->SetImage(view.display);
    swatchPicture_->SetImage(view.swatch);
    panelPicture_->SetImage(view.panel);
    layoutLabel_->SetText(Q(view.layout));
    timeField_->setText(Q(view.time));
    resultLabel_->SetText(Q(view.result));
    resultLabel_->SetTextColor(ColourOf(view.colour));
}

void CKarvonaDlg::ApplyOptions() {
    recognition::RecognitionOptions& options = recognizer_->options;
    options.strict = strict_;
    options.colourPass = colourPassOn_;
    options.locatorStepView = locatorStepView_;
    options.readerStepView = readerStepView_;
    options.saveSamples = saveSamplesOn_;
    options.viewer = &viewer_;
}

bool CKarvonaDlg::RecognizeImage(const fs::path& path) {
    ApplyOptions();
    recognizer_->processedCount = processedCount_;  // sample names carry the last run's count
    const bool complete = recognizer_->RecognizeImage(path);
    ShowRecognition(Snapshot());
    return complete;
}

void CKarvonaDlg::OnOptionsClicked() {
    colourPassOn_ = colourButton_->isChecked();
    locatorStepView_ = locatorStepButton_->isChecked();
    readerStepView_ = readerStepButton_->isChecked();
    removeAfterMove_ = removeAfterMoveCheck_->isChecked();
    saveSamplesOn_ = samplesCheck_->isChecked();
    keepFileName_ = keepNameRadio_->isChecked();
    if (!running_)
        backupOn_ = backupCheck_->isChecked();
}

// ---- the file list ----

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
    QFileDialog dialog(this, "열기");
    dialog.setObjectName("addFileDialog");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({"BITMAP 이미지(*.bmp)", "JPEG 이미지(*.jpg)"});
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
    files_.MoveTicked(targetFolder_, removeAfterMove_);
    RefreshList();
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

bool CKarvonaDlg::OnListKeyDown(int key) {
    if (running_) {
        // One recognition at a time: the list only scrolls while a run is in progress.
        return key == Qt::Key_Delete;
    }
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
        case Qt::Key_Delete: {
            if (selected < 0)
                return true;
            const shell::FileRow& row = files_[static_cast<size_t>(selected)];
            const bool ok = Message(Q(shell::DeleteQuestion(row.name)), true) == QMessageBox::Ok;
            files_.DeleteRow(static_cast<size_t>(selected), ok);
            fileList_->removeRow(selected);
            UpdateFileCount();
            return true;
        }
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

// ---- the batch run ----

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
        auto factory = [this, &last](int) -> shell::Recognizer {
            return [this, &last](const fs::path& photograph, int processed) {
                ApplyOptions();
                recognizer_->processedCount = processed;
                recognizer_->RecognizeImage(photograph);
                last = Snapshot();
                return recognizer_->result;
            };
        };
        auto onRow = [this, &last](const shell::RowOutcome& done) {
            QMetaObject::invokeMethod(
                this, [this, done, view = last] { RowDone(done, view); }, Qt::QueuedConnection);
        };
        const shell::BatchCounts counts =
            shell::RunBatch(rows, options, factory, stopRequested_, onRow);
        QMetaObject::invokeMethod(
            this, [this, counts] { FinishBatch(counts); }, Qt::QueuedConnection);
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
    const std::string text = shell::FormatStatistics(counts);
    if (!text.empty()) {
        QMessageBox box(QMessageBox::NoIcon, shell::kStatisticsCaption, Q(text), QMessageBox::Ok,
                        this);
        box.setObjectName("statisticsBox");
        box.exec();
    }
    runButton_->setChecked(false);
    runRequested_ = false;
    running_ = false;
    SetCommandsEnabled(true);
    emit BatchFinished();
}

// ---- the options ----

void CKarvonaDlg::OnBackupClicked() {
    OnOptionsClicked();
    if (backupOn_) {
        Message(Q(shell::BackupMessage(recognition::RecognizedFolder())));
        shell::CreateArchiveFolders(recognition::RecognizedFolder(), !strict_);
    }
    renameRadio_->setEnabled(backupOn_);
    keepNameRadio_->setEnabled(backupOn_);
}

void CKarvonaDlg::OnSamplesClicked() {
    OnOptionsClicked();
    if (!saveSamplesOn_)
        return;
    Message(Q(shell::SamplesMessage(recognition::CharactersFolder())));
    shell::CreateSampleFolders(recognition::CharactersFolder());
}

}  // namespace karvona::app
