#include "dialogs/velmora_s.h"

#include "controls/command.h"
#include "gui/fonts.h"
#include "gui/surface.h"
#include "settings/settings.h"

#include <QLabel>
#include <QScrollBar>

namespace velmora {

namespace {

const QString kLayout = QStringLiteral(":/layouts/velmora_s.layout");

// Design in twips: client area, and each control's left, top, width, height.
constexpr int kClientWidth = 3705;
constexpr int kClientHeight = 2940;
// The outer frame adds the border and the caption bar to the client area; the
// placement works on the outer size, as for the image selection dialog.
constexpr int kFrameWidth = 75;
constexpr int kFrameHeight = 465;
const QRect kVsRitu = twipsRect(480, 360, 1095, 2295);
const QRect kPic1 = twipsRect(0, 0, 3735, 2955);
// The label is designed 450 twips wide, too narrow for "10.0倍" in this font;
// it reaches to just short of the buttons instead.
const QRect kLblRitu = twipsRect(1680, 2340, 690, 195);
const QRect kCmdSet = twipsRect(2400, 2220, 915, 375);
const QRect kCmdCan = twipsRect(2400, 1800, 915, 375);
const QRect kPicMbl = twipsRect(4680, 360, 15450, 345);

} // namespace

velmora_s::velmora_s(std::int16_t scale, QWidget* parent) : FrameDialog(parent) {
    setObjectName(QStringLiteral("velmora_s"));
    setWindowTitle(QStringLiteral("拡大率の指定"));
    setFixedSize(twipsToPixelsTruncated(kClientWidth), twipsToPixelsTruncated(kClientHeight));

    // Controls in the order of their tab index.
    pic1_ = gui::Surface::place(this, QStringLiteral("Pic_1"), kPic1, kPanelColour);
    buildBar();

    lblRitu_ = new QLabel(QStringLiteral("9.9倍"), pic1_);
    lblRitu_->setObjectName(QStringLiteral("lbl_Ritu"));
    lblRitu_->setGeometry(kLblRitu);
    lblRitu_->setFont(gui::captionFont());

    cmdSet_ = placeButton(pic1_, kLayout, QStringLiteral("Cmd_Set"), kCmdSet);

    cmdCan_ = placeButton(pic1_, kLayout, QStringLiteral("Cmd_Can"), kCmdCan);

    placeTexture(kPicMbl);

    setTabOrder(vsRitu_, cmdSet_);
    setTabOrder(cmdSet_, cmdCan_);
    setDefaultButton(cmdSet_);
    setCancelButton(cmdCan_);

    connect(vsRitu_, &QScrollBar::valueChanged, this, &velmora_s::VS_Ritu_Change);
    connect(vsRitu_, &QScrollBar::sliderMoved, this, &velmora_s::VS_Ritu_Scroll);
    connect(cmdSet_, &Command::Click, this, &velmora_s::Cmd_Set_Click);
    connect(cmdCan_, &Command::Click, this, &velmora_s::Cmd_Can_Click);

    Form_Load(scale);
}

// The bar from 1.1 to 10.0, a tenth a step, in front of the panel.
void velmora_s::buildBar() {
    vsRitu_ = new QScrollBar(Qt::Vertical, this);
    vsRitu_->setObjectName(QStringLiteral("VS_Ritu"));
    vsRitu_->setGeometry(kVsRitu);
    vsRitu_->setRange(kMinScale, kMaxScale);
    vsRitu_->setSingleStep(1);
    vsRitu_->setPageStep(1);
    vsRitu_->setValue(kMinScale);
    vsRitu_->setFocusPolicy(Qt::StrongFocus); // first in the tab order
    vsRitu_->raise();                         // in front of the panel
    // What a screen reader calls the bar; its description is the ratio shown.
    vsRitu_->setAccessibleName(QStringLiteral("拡大率"));
}

QString velmora_s::ratioText(int value) {
    return QString::number(value / 10.0, 'f', 1) + QStringLiteral("倍");
}

void velmora_s::Form_Load(std::int16_t scale) {
    placeDialog(this, kClientWidth + kFrameWidth, kClientHeight + kFrameHeight);
    Init_Buttons(this);
    tilePanel(pic1_);
    // A ratio outside the bar's range is refused: the bar keeps its first value.
    if (scale >= kMinScale && scale <= kMaxScale)
        vsRitu_->setValue(scale);
    showRatio();
    capturePointer();
}

void velmora_s::showRatio() {
    // The thumb's position: while it is dragged, sliderMoved arrives before the
    // bar takes the new value, and the label is to follow the thumb. At rest the
    // position and the value are the same.
    const QString text = ratioText(vsRitu_->sliderPosition());
    lblRitu_->setText(text);
    vsRitu_->setAccessibleDescription(text);
}

void velmora_s::VS_Ritu_Change() {
    showRatio();
}

void velmora_s::VS_Ritu_Scroll() {
    showRatio();
}

void velmora_s::Cmd_Set_Click() {
    chosen_ = static_cast<std::int16_t>(vsRitu_->value());
    accept();
}

void velmora_s::Cmd_Can_Click() {
    reject();
}

} // namespace velmora
