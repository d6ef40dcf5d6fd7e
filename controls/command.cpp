#include "controls/command.h"

#include "controls/buttonface.h"
#include "controls/commandaccessible.h"
#include "controls/controlresources.h"
#include "controls/propertybag.h"
#include "gui/pointer.h"
#include "gui/twips.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <optional>

namespace velmora {

namespace {

// Design-time layout, in twips.
constexpr int kCaptionLeft = 0, kCaptionTop = 90, kCaptionWidth = 1635, kCaptionHeight = 195;
constexpr int kTrackingIntervalMs = 100;
// The largest caption colour accepted: a plain RGB value.
constexpr quint32 kMaxColour = 0xFFFFFF;

const QString kDesignCaption = QStringLiteral("Command");
// The caption a layout without one gets, and the one a save leaves out; they
// differ, so a button called exactly "Command" comes back as "Command1".
const QString kReadCaptionDefault = QStringLiteral("Command1");
const QString kWriteCaptionDefault = QStringLiteral("Command");

QFont designFont() {
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPointSizeF(9.75);
    f.setWeight(QFont::Normal);
    return f;
}

// A font given to the caption is taken whole. Qt would otherwise let the
// label inherit every attribute the given font does not set explicitly, so an
// ambient font would turn into the button's own.
QFont wholeFont(QFont font) {
    font.setResolveMask(QFont::AllPropertiesResolved);
    return font;
}

// Tells assistive technology that the button's name or enabled state changed.
void announceName(Command* button) {
    QAccessibleEvent event(button, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void announceEnabled(Command* button) {
    QAccessible::State changed;
    changed.disabled = true;
    QAccessibleStateChangeEvent event(button, changed);
    QAccessible::updateAccessibility(&event);
}

QColor toQColor(quint32 colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

// The keys that press a focused button: Space, Return and the keypad's Enter,
// without Ctrl, Alt or Meta (those belong to shortcuts).
bool isPressKey(const QKeyEvent* event) {
    const int key = event->key();
    const bool plain =
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
    return plain && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter);
}

std::optional<MouseButton> toMouseButton(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return MouseButton::Left;
    case Qt::RightButton:
        return MouseButton::Right;
    case Qt::MiddleButton:
        return MouseButton::Middle;
    default:
        // Extra buttons (back, forward, ...) are not the button's business.
        return std::nullopt;
    }
}

} // namespace

Command::Command(QWidget* parent) : QWidget(parent) {
    initControlResources();
    installCommandAccessibility();
    setFont(designFont());
    // A click gives the focus, and Qt delivers the focus before the press.
    setFocusPolicy(Qt::StrongFocus);
    // Moves without a held button start the hover look.
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, opaque_);

    LblMsg = new QLabel(kDesignCaption, this);
    LblMsg->setObjectName(QStringLiteral("LblMsg"));
    LblMsg->setAlignment(Qt::AlignCenter);
    LblMsg->setFont(designFont());
    // The caption has no window of its own: the pointer over it is over the
    // button, and its mouse events are the button's.
    LblMsg->setAttribute(Qt::WA_TransparentForMouseEvents);
    LblMsg->setGeometry(
        twipsToPixelsNearest(QRect(kCaptionLeft, kCaptionTop, kCaptionWidth, kCaptionHeight)));
    setCaptionColour(0);

    TmrMouse = new QTimer(this);
    TmrMouse->setObjectName(QStringLiteral("TmrMouse"));
    TmrMouse->setInterval(kTrackingIntervalMs);
    connect(TmrMouse, &QTimer::timeout, this, &Command::TmrMouse_Timer);
}

void Command::Initialize() {
    status_.ButtonState = VisualState::Normal;
    TmrMouse->setInterval(kTrackingIntervalMs);
    TmrMouse->start();
}

bool Command::trackingPointer() const {
    return TmrMouse->isActive();
}

quint8 Command::Visible() const {
    return opaque_ ? 255 : 0;
}

void Command::Visible(quint8 New_Visible) {
    const bool opaque = New_Visible != 0;
    if (opaque == opaque_)
        return;
    setOpaque(opaque);
    if (opaque_)
        RefreshCaption();
    emit propertyChanged(QStringLiteral("Visible"));
}

quint32 Command::FontColour() const {
    return fontColour_;
}

void Command::FontColour(quint32 New_FontColour) {
    if (New_FontColour > kMaxColour || New_FontColour == fontColour_)
        return;
    setCaptionColour(New_FontColour);
    RefreshCaption();
    emit propertyChanged(QStringLiteral("FontColour"));
}

bool Command::Enabled() const {
    return status_.IsEnabled;
}

void Command::Enabled(bool New_Enabled) {
    if (New_Enabled == status_.IsEnabled)
        return;
    status_.IsEnabled = New_Enabled;
    ApplyEnabled();
    announceEnabled(this);
    emit propertyChanged(QStringLiteral("Enabled"));
}

void Command::firstUse() {
    // The caption refresh comes before the switch: on a button that is still
    // off it does nothing, so the caption colour stays as it was.
    if (status_.FirstRunFlag == 0) {
        RefreshCaption();
        status_.FirstRunFlag = 1;
        status_.IsEnabled = true;
        announceEnabled(this);
    }
    ApplyEnabled();
}

QString Command::Caption() const {
    return LblMsg->text();
}

void Command::Caption(const QString& New_Caption) {
    if (New_Caption == LblMsg->text())
        return;
    LblMsg->setText(New_Caption);
    announceName(this);
    emit propertyChanged(QStringLiteral("Caption"));
}

QFont Command::Font() const {
    return LblMsg->font();
}

void Command::Font(const QFont& New_Font) {
    const QFont font = wholeFont(New_Font);
    // The mask counts too: a font equal in every attribute but not yet taken
    // whole still lets the label inherit from the button.
    if (font == LblMsg->font() && font.resolveMask() == LblMsg->font().resolveMask())
        return;
    LblMsg->setFont(font);
    emit propertyChanged(QStringLiteral("Font"));
}

QFont Command::ambientFont() const {
    return parentWidget() ? parentWidget()->font() : QApplication::font();
}

void Command::readProperties(const PropertyBag& bag) {
    status_.IsEnabled = bag.readProperty(QStringLiteral("Enabled"), true).toBool();
    announceEnabled(this);
    LblMsg->setText(bag.readProperty(QStringLiteral("Caption"), kReadCaptionDefault).toString());
    announceName(this);
    const QVariant font = bag.readProperty(QStringLiteral("Font"), ambientFont());
    if (font.canConvert<QFont>())
        LblMsg->setFont(wholeFont(font.value<QFont>()));
    // A stored value that does not convert is skipped; the field keeps what it
    // had.
    bool ok = false;
    const uint firstRun =
        bag.readProperty(QStringLiteral("FirstRun"), QStringLiteral("1")).toUInt(&ok);
    if (ok && firstRun <= 0xFF)
        status_.FirstRunFlag = static_cast<quint8>(firstRun);
    const qlonglong colour =
        bag.readProperty(QStringLiteral("FontColour"), QStringLiteral("0")).toLongLong(&ok);
    if (ok && colour >= 0 && colour <= kMaxColour)
        setCaptionColour(static_cast<quint32>(colour));
    const int visible = bag.readProperty(QStringLiteral("Visible"), QStringLiteral("1")).toInt(&ok);
    if (ok)
        setOpaque(visible != 0);
    RefreshCaption();
}

void Command::writeProperties(PropertyBag& bag) {
    bag.writeProperty(QStringLiteral("Enabled"), status_.IsEnabled, true);
    bag.writeProperty(QStringLiteral("Caption"), LblMsg->text(), kWriteCaptionDefault);
    bag.writeProperty(QStringLiteral("FirstRun"), int(status_.FirstRunFlag), QStringLiteral("1"));
    bag.writeProperty(QStringLiteral("Font"), LblMsg->font(), ambientFont());
    bag.writeProperty(QStringLiteral("FontColour"), uint(fontColour_), QStringLiteral("0"));
    bag.writeProperty(QStringLiteral("Visible"), opaque_ ? 1 : 0, QStringLiteral("1"));
    RefreshCaption();
}

void Command::setOpaque(bool opaque) {
    opaque_ = opaque;
    // Transparent: paintEvent leaves the face out and what lies behind shows;
    // the button still gets the mouse over its whole area.
    setAttribute(Qt::WA_OpaquePaintEvent, opaque_);
    update();
}

void Command::setCaptionColour(quint32 colour) {
    fontColour_ = colour;
    // The disabled colour group keeps the style's grey, so a disabled caption
    // shows greyed whatever its own colour.
    QPalette pal = LblMsg->palette();
    pal.setColor(QPalette::Active, QPalette::WindowText, toQColor(colour));
    pal.setColor(QPalette::Inactive, QPalette::WindowText, toQColor(colour));
    LblMsg->setPalette(pal);
}

void Command::ApplyEnabled() {
    PaintButton(enabledFrame(status_));
    LblMsg->setEnabled(status_.IsEnabled);
}

void Command::RefreshCaption() {
    if (!status_.IsEnabled)
        return;
    LblMsg->setEnabled(true);
    if (status_.FirstRunFlag == 0)
        setCaptionColour(0);
    PaintButton(Frame::Normal);
}

void Command::PaintButton(Frame frame) {
    status_.shown = frame;
    updateHoverShading(status_);
    if (face_.size() != size())
        face_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    face_.fill(Qt::transparent);
    PaintGradient();
    paintFrameSlices(face_, frameImage(frame));
    update();

    // The label spans the whole width and centres its text, so the caption is
    // centred across the button at the same height in every state.
    captionTopTwips_ =
        velmora::captionTopTwips(pixelsToTwips(height()), pixelsToTwips(LblMsg->height()));
    LblMsg->setGeometry(0, twipsToPixelsNearest(qRound(captionTopTwips_)), width(),
                        LblMsg->height());
}

void Command::PaintGradient() {
    velmora::PaintGradient(face_, status_.HoverShading);
}

void Command::paintEvent(QPaintEvent*) {
    if (!opaque_)
        return;
    QPainter p(this);
    p.drawImage(0, 0, face_);
}

void Command::resizeEvent(QResizeEvent*) {
    // Also while disabled: the face must follow the new size.
    ApplyEnabled();
}

void Command::handle(const ButtonEvent& event) {
    const Reaction r = step(status_, event);
    if (r.paint)
        PaintButton(*r.paint);
    if (r.click)
        emit Click();
}

void Command::mousePressEvent(QMouseEvent* event) {
    if (const auto button = toMouseButton(event->button()))
        handle({ButtonEventKind::MouseDown, *button});
}

void Command::mouseMoveEvent(QMouseEvent*) {
    handle({ButtonEventKind::MouseMove});
}

void Command::mouseReleaseEvent(QMouseEvent* event) {
    if (const auto button = toMouseButton(event->button()))
        handle({ButtonEventKind::MouseUp, *button});
}

void Command::focusInEvent(QFocusEvent*) {
    handle({ButtonEventKind::GotFocus});
}

void Command::focusOutEvent(QFocusEvent*) {
    handle({ButtonEventKind::LostFocus});
}

void Command::keyPressEvent(QKeyEvent* event) {
    if (!isPressKey(event)) {
        QWidget::keyPressEvent(event);
        return;
    }
    // The focused button takes Return for itself: it is not passed on to the
    // dialog's default button.
    if (!event->isAutoRepeat())
        pressKey();
}

void Command::keyReleaseEvent(QKeyEvent* event) {
    // A release whose press went elsewhere (to the dialog's default button,
    // before the focus came here) is passed on to where the press went.
    if (!isPressKey(event) || !status_.keyDown) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    if (!event->isAutoRepeat())
        releaseKey();
}

void Command::pressKey() {
    handle({ButtonEventKind::KeyDown});
}

void Command::releaseKey() {
    handle({ButtonEventKind::KeyUp});
}

void Command::cancelKey() {
    handle({ButtonEventKind::KeyCancel});
}

void Command::press() {
    pressKey();
    releaseKey();
}

void Command::TmrMouse_Timer() {
    if (!status_.IsEnabled)
        return;
    // The hover look ends as soon as the pointer is over anything but the
    // button itself: the dialog, a panel in it, another control, another
    // application. An unreadable pointer counts as elsewhere.
    QPoint pos;
    QWidget* under = gui::GetCursorPos(&pos) ? gui::WindowFromPoint(pos) : nullptr;
    if (under != this && under != LblMsg)
        pointerLeft();
}

void Command::pointerLeft() {
    handle({ButtonEventKind::PointerLeft});
}

} // namespace velmora
