// The main dialog's controls: their places in dialog units, captions, initial states and the
// handlers they are connected to.

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include "app/dialog_units.hpp"
#include "app/karvona_dlg.hpp"
#include "app/my_label.hpp"
#include "app/picture_frame.hpp"
#include "app/qt_text.hpp"

namespace karvona::app {
namespace {

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

// Places a control at x, y with the size w x h, all in dialog units.
class Placer {
public:
    explicit Placer(const DialogUnits& du) : du_(du) {}
    void operator()(QWidget* widget, int x, int y, int w, int h) const {
        widget->setGeometry(du_.Map(x, y, w, h));
    }

private:
    const DialogUnits& du_;
};

}  // namespace

void CKarvonaDlg::CreateControls() {
    const DialogUnits du = DialogUnitsOf(font());
    setFixedSize(du.X(611), du.Y(445));
    const Placer place(du);

    // The group boxes first, so that the controls inside them lie above them.
    auto* fileGroup = new QGroupBox(tr(" [ 파일 관리 ] "), this);
    place(fileGroup, 414, 125, 190, 82);
    auto* runGroup = new QGroupBox(tr(" [ 모든 파일 인식 ] "), this);
    place(runGroup, 414, 215, 190, 125);
    auto* stepGroup = new QGroupBox(tr(" [ 인식 단계 보기 ] "), this);
    place(stepGroup, 414, 349, 190, 89);

    CreatePictures(du);
    CreateFileList(du);
    CreateMoveControls(du);
    CreateRunControls(du);
    CreateStepControls(du);

    // No button is the default: Enter goes to the push button that has the focus, and
    // elsewhere ends the dialog as OK (keyPressEvent).
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    ConnectControls();
}

void CKarvonaDlg::CreatePictures(const DialogUnits& du) {
    const Placer place(du);
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
    panelPicture_->SetImage(BlackPanel());  // black until a reader draws into it
}

void CKarvonaDlg::CreateFileList(const DialogUnits& du) {
    const Placer place(du);
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
    fileList_->setTabKeyNavigation(false);  // Tab moves on to the next control, as a list view's
    fileList_->installEventFilter(this);
    connect(fileList_, &QTableWidget::clicked, this, [this] { OnListClicked(); });
    connect(fileList_->model(), &QAbstractItemModel::rowsInserted, this,
            [this] { UpdateFileCount(); });
    connect(fileList_->model(), &QAbstractItemModel::rowsRemoved, this,
            [this] { UpdateFileCount(); });

    addFileButton_ = new QPushButton(tr("파일 추가"), this);
    addFileButton_->setObjectName("addFileButton");
    place(addFileButton_, 551, 7, 53, 22);
    addFolderButton_ = new QPushButton(tr("폴더 추가"), this);
    addFolderButton_->setObjectName("addFolderButton");
    place(addFolderButton_, 551, 33, 53, 22);
    clearButton_ = new QPushButton(tr("목록 초기화"), this);
    clearButton_->setObjectName("clearListButton");
    place(clearButton_, 551, 59, 53, 22);
    fileCountField_ = SunkenText(this, "0", Qt::AlignHCenter);
    fileCountField_->setObjectName("fileCountField");
    place(fileCountField_, 550, 102, 41, 15);
    auto* sheets = new QLabel(tr("장"), this);
    // Room up to the dialog's edge, for a counter word longer than "장" in another language.
    place(sheets, 594, 109, 17, 8);
    sheets->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
}

void CKarvonaDlg::CreateMoveControls(const DialogUnits& du) {
    const Placer place(du);
    auto* folderCaption = SunkenText(this, tr("폴더"), Qt::AlignLeft);
    place(folderCaption, 421, 143, 39, 15);
    targetFolderField_ = SunkenText(this, Q(targetFolder_), Qt::AlignLeft);
    targetFolderField_->setObjectName("targetFolderField");
    place(targetFolderField_, 464, 143, 112, 15);
    chooseTargetButton_ = new QPushButton("..", this);
    chooseTargetButton_->setObjectName("chooseTargetButton");
    place(chooseTargetButton_, 580, 143, 17, 15);
    moveButton_ = new QPushButton(tr("파일 특정 폴더로 이동"), this);
    moveButton_->setObjectName("moveButton");
    place(moveButton_, 421, 162, 177, 22);
    removeAfterMoveCheck_ = new QCheckBox(tr("이동 후 리스트에서 삭제"), this);
    removeAfterMoveCheck_->setObjectName("removeAfterMoveCheck");
    removeAfterMoveCheck_->setChecked(true);
    place(removeAfterMoveCheck_, 494, 189, 106, 10);
}

void CKarvonaDlg::CreateRunControls(const DialogUnits& du) {
    const Placer place(du);
    runButton_ = PushLike(this, tr("모든 파일 인식 실행"));
    runButton_->setObjectName("runButton");
    place(runButton_, 422, 232, 173, 32);
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName("progressBar");
    progressBar_->setTextVisible(false);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    place(progressBar_, 422, 266, 173, 6);
    auto* options = SunkenText(this, tr("옵션"), Qt::AlignLeft);
    place(options, 422, 279, 30, 52);
    backupCheck_ = new QCheckBox(tr("인식 영상 백업"), this);
    backupCheck_->setObjectName("backupCheck");
    place(backupCheck_, 458, 278, 72, 10);
    renameRadio_ = new QRadioButton(tr("파일명 인식결과로 변경"), this);
    renameRadio_->setObjectName("renameRadio");
    place(renameRadio_, 469, 292, 104, 10);
    keepNameRadio_ = new QRadioButton(tr("파일명 그대로 두기"), this);
    keepNameRadio_->setObjectName("keepNameRadio");
    place(keepNameRadio_, 469, 305, 88, 10);
    nameGroup_ = new QButtonGroup(this);
    nameGroup_->addButton(renameRadio_, 0);
    nameGroup_->addButton(keepNameRadio_, 1);
    renameRadio_->setChecked(true);
    renameRadio_->setEnabled(false);
    keepNameRadio_->setEnabled(false);
    samplesCheck_ = new QCheckBox(tr("추출 문자 이미지 저장"), this);
    samplesCheck_->setObjectName("samplesCheck");
    place(samplesCheck_, 458, 322, 100, 10);
}

void CKarvonaDlg::CreateStepControls(const DialogUnits& du) {
    const Placer place(du);
    colourButton_ = PushLike(this, tr("1. 색상 추출"));
    colourButton_->setObjectName("colourButton");
    place(colourButton_, 425, 366, 70, 19);
    swatchPicture_ = new CPictureFrame(this);
    swatchPicture_->setObjectName("swatchPicture");
    place(swatchPicture_, 499, 366, 98, 19);
    locatorStepButton_ = PushLike(this, tr("2. 문자열 구조"));
    locatorStepButton_->setObjectName("locatorStepButton");
    place(locatorStepButton_, 425, 389, 70, 19);
    layoutLabel_ = new CMyLabel(this);
    layoutLabel_->setObjectName("layoutLabel");
    layoutLabel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    layoutLabel_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    place(layoutLabel_, 499, 389, 98, 19);
    // The confidence of a validated code, in the lower right corner of the result.
    confidenceLabel_ = new CMyLabel(this);
    confidenceLabel_->setObjectName("confidenceLabel");
    confidenceLabel_->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    place(confidenceLabel_, 317, 303, 90, 19);
    readerStepButton_ = PushLike(this, tr("3. 식별자 인식"));
    readerStepButton_->setObjectName("readerStepButton");
    place(readerStepButton_, 425, 412, 70, 19);
    auto* timeCaption = SunkenText(this, tr("수행시간"), Qt::AlignHCenter);
    place(timeCaption, 498, 412, 45, 19);
    timeField_ = SunkenText(this, Q(RecognitionView{}.time), Qt::AlignRight);
    timeField_->setObjectName("timeField");
    place(timeField_, 547, 412, 50, 19);
}

void CKarvonaDlg::ConnectControls() {
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

}  // namespace karvona::app
