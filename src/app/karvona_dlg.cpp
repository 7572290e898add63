#include "app/karvona_dlg.hpp"

#include <QCheckBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <cstdio>
#include <optional>
#include <vector>

#include "app/my_label.hpp"
#include "app/picture_frame.hpp"
#include "app/qt_text.hpp"
#include "app/translation.hpp"
#include "recognition/folders.hpp"
#include "recognition/read_code.hpp"
#include "shell/file_ops.hpp"
#include "shell/samples.hpp"

namespace karvona::app {
namespace {

namespace fs = std::filesystem;

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

}  // namespace

CKarvonaDlg::CKarvonaDlg(fs::path dataFolder, QWidget* parent)
    : QDialog(parent),
      dataFolder_(std::move(dataFolder)),
      shared_(recognition::ShareReferenceData(reference_.View())),
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

int CKarvonaDlg::Message(const QString& text, bool withCancel) {
    QMessageBox box(QMessageBox::Warning, kMessageCaption, text,
                    withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, this);
    return box.exec();
}

bool CKarvonaDlg::OnInitDialog() {
    std::vector<std::string> messages;
    const fs::path folder = dataFolder_.empty() ? fs::current_path() : dataFolder_;
    recognition::LoadReferenceData(folder, reference_, messages);
    for (const std::string& text : messages)
        Message(MessageText(text));
    shared_ = recognition::ShareReferenceData(reference_.View(), folder);

    fileList_->setHorizontalHeaderLabels({tr("파일명"), tr("파일경로")});
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

void CKarvonaDlg::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            // A push button with the keyboard focus takes Enter as a click (after "폴더 추가"
            // the focus stays on it, and Enter used to end the program and lose the list).
            auto* button = qobject_cast<QPushButton*>(focusWidget());
            if (button != nullptr && button->isVisible() && button->isEnabled()) {
                button->click();
                return;
            }
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

cv::Mat BlackPanel() {
    return cv::Mat(recognition::kStripHeight, recognition::kStripWidth, CV_8UC3,
                   cv::Scalar::all(0));
}

namespace {

RecognitionView ViewOf(const karvona::CodeReading& reading,
                       const karvona::ReadingPictures& pictures, const std::string& reviewWord) {
    RecognitionView view;
    view.display = pictures.annotated;
    view.swatch = pictures.swatch;
    view.panel = pictures.panel.empty() ? BlackPanel() : pictures.panel;
    view.result = reading.code;
    if (reading.located())
        view.layout = karvona::ToText(reading.layout);
    char text[32];
    std::snprintf(text, sizeof text, "%dms ", reading.milliseconds);
    view.time = text;
    view.colour = recognition::ColourOf(reading);
    if (reading.confidence >= 0.0f && reading.validated) {
        char number[16];
        std::snprintf(number, sizeof number, "%.2f", reading.confidence);
        view.confidence = reading.outcome == karvona::Outcome::kReview ? reviewWord + " " + number
                                                                       : std::string(number);
    }
    return view;
}

}  // namespace

void CKarvonaDlg::ShowRecognition(const RecognitionView& view) {
    mainPicture_->SetImage(view.display);
    swatchPicture_->SetImage(view.swatch);
    panelPicture_->SetImage(view.panel);
    if (!view.layout.empty())
        layoutLabel_->SetText(Q(view.layout));
    timeField_->setText(Q(view.time));
    resultLabel_->SetText(Q(view.result));
    resultLabel_->SetTextColor(ColourOf(view.colour));
    confidenceLabel_->SetText(Q(view.confidence));
    confidenceLabel_->SetTextColor(ColourOf(view.colour));
}

karvona::ReadOptions CKarvonaDlg::CurrentReadOptions() {
    karvona::ReadOptions options;
    options.strict = strict_;
    options.colour = colourPassOn_;
    // The window reads one photograph at a time: its second looks take the idle cores.
    options.lookThreads = shell::LookThreadsBeside(1);
    if (locatorStepView_ || readerStepView_)
        options.steps = &viewer_;
    options.locatorSteps = locatorStepView_;
    options.readerSteps = readerStepView_;
    return options;
}

RecognitionView CKarvonaDlg::Recognize(const fs::path& path, int processed,
                                       recognition::RecognitionResult& result) {
    karvona::ReadOptions options = CurrentReadOptions();
    std::optional<shell::SampleFiles> samples;
    if (saveSamplesOn_) {
        samples.emplace(recognition::CharactersFolder(), processed);
        options.samples = &*samples;
    }
    karvona::ReadingPictures pictures;
    options.pictures = &pictures;
    cv::Mat photograph;
    const recognition::LoadStatus status = recognition::LoadPhotograph(path, photograph);
    const karvona::CodeReading reading = karvona::ReadCode(photograph, shared_, options);
    result = recognition::ResultOf(reading, status);
    return ViewOf(reading, pictures, tr("검토").toStdString());
}

bool CKarvonaDlg::RecognizeImage(const fs::path& path) {
    recognition::RecognitionResult result;
    // Sample names carry the last run's count.
    ShowRecognition(Recognize(path, processedCount_, result));
    return result.complete;
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

}  // namespace karvona::app
