#include "dialogs/velmora_v.h"

#include "controls/command.h"
#include "dialogs/filelist.h"
#include "dialogs/folderlist.h"
#include "dialogs/folders.h"
#include "dialogs/pictureholder.h"
#include "dialogs/previewloader.h"
#include "gui/filenames.h"
#include "gui/fonts.h"
#include "gui/message.h"
#include "gui/surface.h"
#include "platform/drives.h"
#include "settings/settings.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPainter>

#include <cmath>
#include <utility>
#include <vector>

namespace velmora {

namespace {

const QString kLayout = QStringLiteral(":/layouts/velmora_v.layout");
const QString kPattern = QStringLiteral("*.bmp;*.jpg;*.jpeg");
// What a screen reader calls the size label, before the size it shows.
const QString kSizeName = QStringLiteral("画像の大きさ");
// The source the drive change names in its error message.
const QString kErrorSource = QStringLiteral("velmora");

// Outer size of the dialog in twips, set at every load.
constexpr int kOuterWidth = 7410;
constexpr int kOuterHeight = 4380;
constexpr int kPreviewBox = 100; // pixels

// The background panel fills the client area; the visible controls lie on it.
const QRect kPicC = twipsRect(0, 0, 7335, 3915);
const QRect kDrive1 = twipsRect(240, 180, 2445, 315);
const QRect kDir1 = twipsRect(240, 600, 2445, 3015);
const QRect kFile1 = twipsRect(2760, 600, 2715, 3015);
const QRect kComboKind = twipsRect(2760, 180, 2715, 315);
const QRect kPicK = twipsRect(5580, 600, 1500, 1500);
const QRect kLblSize = twipsRect(5580, 240, 1515, 195);
const QRect kShape1 = twipsRect(5580, 180, 1515, 315);
const QRect kCmdCan = twipsRect(5820, 2760, 1215, 375);
const QRect kCmdSel = twipsRect(5820, 3180, 1215, 375);
// The two hidden holders lie below the visible client area.
const QRect kPicMbl = twipsRect(0, 4260, 15450, 345);
const QRect kPicF = twipsRect(2040, 4860, 855, 855);

// A plain rectangle outline; it takes no input.
class Shape : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

int roundHalfEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

} // namespace

velmora_v::velmora_v(const QString& rememberedFolder, QWidget* parent) : FrameDialog(parent) {
    setObjectName(QStringLiteral("velmora_v"));
    setWindowTitle(QStringLiteral("画像の選択"));
    setFixedSize(kPicC.size());

    picC_ = gui::Surface::place(this, QStringLiteral("Pic_C"), kPicC, kPanelColour);

    const QFont font = gui::captionFont();
    buildLists(font);
    buildPreview(font);
    buildButtons();
    nameForScreenReaders();
    connectEvents();
    Form_Load(rememberedFolder);
}

// The drive, folder, file and file-kind lists on the panel.
void velmora_v::buildLists(const QFont& font) {
    drive1_ = placeWidget<QComboBox>(picC_, QStringLiteral("Drive1"), kDrive1);
    dir1_ = placeWidget<FolderList>(picC_, QStringLiteral("Dir1"), kDir1);
    file1_ = placeWidget<FileList>(picC_, QStringLiteral("File1"), kFile1);
    comboKind_ = placeWidget<QComboBox>(picC_, QStringLiteral("Combo_Kind"), kComboKind);
    for (QWidget* list : std::initializer_list<QWidget*>{drive1_, dir1_, file1_, comboKind_})
        list->setFont(font);
}

// The preview surface, its frame and the size text below it.
void velmora_v::buildPreview(const QFont& font) {
    const QColor windowColour = QApplication::palette().color(QPalette::Base);
    const QColor textColour = QApplication::palette().color(QPalette::Text);

    picK_ = gui::Surface::place(picC_, QStringLiteral("Pic_K"), kPicK, windowColour);

    shape1_ = new Shape(picC_);
    shape1_->setObjectName(QStringLiteral("Shape1"));
    shape1_->setGeometry(kShape1);
    shape1_->setAttribute(Qt::WA_TransparentForMouseEvents);

    lblSize_ = new QLabel(QStringLiteral("999 * 999"), picC_);
    lblSize_->setObjectName(QStringLiteral("lbl_Size"));
    lblSize_->setGeometry(kLblSize);
    lblSize_->setFont(font);
    lblSize_->setAlignment(Qt::AlignCenter);
    lblSize_->setAutoFillBackground(true);
    QPalette labelPalette = lblSize_->palette();
    labelPalette.setColor(QPalette::Window, windowColour);
    labelPalette.setColor(QPalette::WindowText, textColour);
    lblSize_->setPalette(labelPalette);
}

// The two buttons, the texture holder and the hidden picture holder; then the
// tab order through every control.
void velmora_v::buildButtons() {
    cmdCan_ = placeButton(picC_, kLayout, QStringLiteral("Cmd_Can"), kCmdCan);

    cmdSel_ = placeButton(picC_, kLayout, QStringLiteral("Cmd_Sel"), kCmdSel);

    placeTexture(kPicMbl);

    picF_ = new PictureHolder(this);
    picF_->setObjectName(QStringLiteral("Pic_F"));
    picF_->setDesign(kPicF.size(), Qt::black);
    picF_->move(kPicF.topLeft());
    preview_ = new PreviewLoader(this);

    setTabOrder(drive1_, dir1_);
    setTabOrder(dir1_, file1_);
    setTabOrder(file1_, comboKind_);
    setTabOrder(comboKind_, cmdCan_);
    setTabOrder(cmdCan_, cmdSel_);
    setDefaultButton(cmdSel_);
    setCancelButton(cmdCan_);
}

// Names a screen reader gives the controls that have no caption of their own.
void velmora_v::nameForScreenReaders() {
    // On Linux Qt names a combo box after its current entry and leaves the
    // rest to a label beside it, which these lists have none of; what they are
    // for goes into the description there.
    for (const auto& [combo, name] : {std::pair{drive1_, QStringLiteral("ﾄﾞﾗｲﾌﾞ")},
                                      std::pair{comboKind_, QStringLiteral("ﾌｧｲﾙの種類")}}) {
        combo->setAccessibleName(name);
        combo->setAccessibleDescription(name);
    }
    dir1_->setAccessibleName(QStringLiteral("ﾌｫﾙﾀﾞ"));
    file1_->setAccessibleName(QStringLiteral("ﾌｧｲﾙ"));
    picK_->setAccessibleName(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ"));
    lblSize_->setAccessibleName(kSizeName);
}

// The size text, and the label's name for a screen reader: what it is for,
// then what it shows.
void velmora_v::showSize(const QString& text) {
    lblSize_->setText(text);
    lblSize_->setAccessibleName(text.isEmpty() ? kSizeName : kSizeName + QLatin1Char(' ') + text);
}

void velmora_v::connectEvents() {
    connect(drive1_, &QComboBox::activated, this, &velmora_v::Drive1_Change);
    connect(dir1_, &FolderList::Change, this, &velmora_v::Dir1_Change);
    connect(comboKind_, &QComboBox::activated, this, &velmora_v::Combo_Kind_Click);
    connect(file1_, &FileList::Click, this, &velmora_v::File1_Click);
    connect(file1_, &FileList::dblClick, this, &velmora_v::File1_DblClick);
    connect(preview_, &PreviewLoader::Ready, this, &velmora_v::showPreview);
    connect(cmdSel_, &Command::Click, this, &velmora_v::Cmd_Sel_Click);
    connect(cmdCan_, &Command::Click, this, &velmora_v::Cmd_Can_Click);
}

void velmora_v::Form_Load(const QString& rememberedFolder) {
    placeDialog(this, kOuterWidth, kOuterHeight);
    Init_Buttons(this);
    tilePanel(picC_);

    const QString opening = rememberedFolder.isEmpty() || !Folder_Exists(rememberedFolder)
                                ? startFolder()
                                : rememberedFolder;

    viewFile_.clear();
    showSize(QString());

    comboKind_->addItem(kPattern);
    comboKind_->setCurrentIndex(0);
    file1_->setPattern(kPattern);

    // The lists open on the start folder; setting the drive list here does not
    // move the folder list again.
    drives_ = platform::mountedDrives();
    for (const std::string& drive : drives_)
        drive1_->addItem(gui::nameFromBytes(drive));
    if (!dir1_->setPath(opening).ok() && !dir1_->setPath(startFolder()).ok())
        dir1_->setPath(QStringLiteral("/"));
    showDrive(driveOfFolder(dir1_->path()));
    file1_->setPath(dir1_->path());

    capturePointer();
}

void velmora_v::showDrive(const QString& drive) {
    const int index = drive1_->findText(drive);
    if (index >= 0)
        drive1_->setCurrentIndex(index);
}

void velmora_v::Drive1_Change() {
    const QString drive = drive1_->currentText();
    // Picking the drive already shown is no change.
    if (drive == driveOfFolder(dir1_->path()))
        return;
    platform::FolderError error = platform::checkDrive(gui::pathBytes(drive));
    if (error.ok())
        error = dir1_->setPath(
            gui::nameFromBytes(platform::driveCurrentFolder(gui::pathBytes(drive), drives_)));
    if (error.ok()) {
        Dir1_Change();
        return;
    }
    if (error.number == platform::kErrDeviceUnavailable) {
        gui::showMessage(this, QStringLiteral("ﾄﾞﾗｲﾌﾞ") + drive +
                                   QStringLiteral(" は、準備されていません。"));
    } else {
        // Retry and Cancel lead to the same return of the drive list. The
        // description goes on a line of its own; Qt's message box breaks lines
        // only at a line feed and shows a carriage return as a blank.
        gui::showMessage(this,
                         kErrorSource + QStringLiteral(": &H") +
                             QString::number(error.number, 16).toUpper() + QLatin1Char('\n') +
                             QString::fromStdString(error.description),
                         QMessageBox::Warning, QMessageBox::Retry | QMessageBox::Cancel);
    }
    showDrive(driveOfFolder(dir1_->path()));
}

QString velmora_v::driveOfFolder(const QString& folder) const {
    return gui::nameFromBytes(platform::driveOfFolder(gui::pathBytes(folder), drives_));
}

void velmora_v::Dir1_Change() {
    file1_->setPath(dir1_->path());
}

void velmora_v::Combo_Kind_Click() {
    file1_->setPattern(comboKind_->currentText());
}

QSize velmora_v::previewSize(int W, int H) {
    if (W <= 0 || H <= 0)
        return QSize(0, 0);
    double BW, BH;
    if (W > H) {
        BW = kPreviewBox;
        BH = (100.0 * H) / W;
    } else {
        BW = (100.0 * W) / H;
        BH = kPreviewBox;
    }
    return QSize(roundHalfEven(BW), roundHalfEven(BH));
}

void velmora_v::stretchCopy(const QImage& source, QImage& target) {
    const int sw = source.width(), sh = source.height();
    const int dw = target.width(), dh = target.height();
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;
    // Each target pixel takes the source pixel under its centre.
    std::vector<int> columns(dw);
    for (int x = 0; x < dw; ++x)
        columns[x] = static_cast<int>(((2LL * x + 1) * sw) / (2LL * dw));
    for (int y = 0; y < dh; ++y) {
        const int sy = static_cast<int>(((2LL * y + 1) * sh) / (2LL * dh));
        auto* line = reinterpret_cast<QRgb*>(target.scanLine(y));
        for (int x = 0; x < dw; ++x)
            line[x] = 0xFF000000u | source.pixel(columns[x], sy);
    }
}

// The picture is decoded on a worker thread (see PreviewLoader): the dialog
// answers meanwhile, a later click supersedes this one, and closing the
// dialog does not wait. The select button hands over the file clicked last,
// its preview shown or not.
void velmora_v::File1_Click() {
    const QString name = file1_->fileName();
    if (name.isEmpty())
        return;
    viewFile_ = joinPath(file1_->path(), name);
    picK_->hide();
    showSize(QString());
    setCursor(Qt::BusyCursor);
    preview_->request(viewFile_,
                      [](QSize size) { return previewSize(size.width(), size.height()); });
    cmdSel_->Enabled(true);
}

void velmora_v::showPreview(const PreviewLoader::Result& result) {
    unsetCursor();
    picF_->setPicture(result.picture);
    if (!result.picture.isNull()) {
        // The size of the file's picture, whole, whatever size was decoded.
        const int W = result.size.width();
        const int H = result.size.height();
        showSize(QString::number(W) + QStringLiteral(" * ") + QString::number(H));
        picK_->resize(previewSize(W, H));
        picK_->clear();
        if (!picK_->image().isNull())
            stretchCopy(picF_->picture(), picK_->image());
    } else {
        // A file that cannot be decoded (or is too big for memory) shows an empty
        // preview and no size, rather than a stale or black picture.
        showSize(QString());
        picK_->resize(kPicK.size());
        picK_->clear();
    }
    picK_->update();
    picK_->show();
}

bool velmora_v::previewPending() const {
    return preview_->pending();
}

void velmora_v::File1_DblClick() {
    // The double click's first press made the entry current, which previewed
    // it; a file that is not the one previewed is previewed now.
    const QString name = file1_->fileName();
    if (name.isEmpty())
        return;
    if (viewFile_ != joinPath(file1_->path(), name))
        File1_Click();
    Cmd_Sel_Click();
}

void velmora_v::Cmd_Sel_Click() {
    chosenFile_ = viewFile_;
    accept();
}

void velmora_v::Cmd_Can_Click() {
    reject();
}

QString velmora_v::folder() const {
    return dir1_->path();
}

void velmora_v::Form_Unload() {
    preview_->cancel();
}

} // namespace velmora
