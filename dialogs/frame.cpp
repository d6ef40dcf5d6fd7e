#include "dialogs/frame.h"

#include "controls/command.h"
#include "controls/controlresources.h"
#include "dialogs/pictureholder.h"
#include "gui/animation.h"
#include "gui/pointer.h"
#include "gui/surface.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <cmath>

namespace velmora {

namespace {

// Whole number, halves to even (the default rounding mode of the FPU).
double roundHalfEven(double v) {
    return std::nearbyint(v);
}

} // namespace

int placeCoordinate(double screenTwips, double dialogTwips, int divisor) {
    // Integer division in C++ already truncates toward zero, as the placement wants.
    const auto difference = static_cast<long long>(roundHalfEven(screenTwips - dialogTwips));
    return static_cast<int>(difference / divisor);
}

void placeDialog(QWidget* dialog, double widthTwips, double heightTwips) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (dialog == nullptr || screen == nullptr)
        return;
    const QRect area = screen->geometry();
    const int left = placeCoordinate(pixelsToTwips(area.width()), widthTwips, 2);
    const int top = placeCoordinate(pixelsToTwips(area.height()), heightTwips, 3);
    dialog->move(area.left() + twipsToPixelsNearest(left), area.top() + twipsToPixelsNearest(top));
}

void Init_Buttons(QWidget* dialog) {
    if (dialog == nullptr)
        return;
    // findChildren walks the children in creation order, depth first: the
    // order in which the dialog placed its controls.
    for (Command* button : dialog->findChildren<Command*>())
        button->Initialize();
}

std::vector<QPoint> tilePositions(double w, double h, int W, int H) {
    const int tileW = static_cast<int>(roundHalfEven(w));
    const int tileH = static_cast<int>(roundHalfEven(h));
    std::vector<QPoint> positions;
    // A texture that failed to load has no size; the loop would never end.
    if (tileW <= 0 || tileH <= 0)
        return positions;
    int x = 0, y = 0;
    for (;;) {
        positions.emplace_back(x, y);
        if (y > H) {
            if (x > W)
                break;
            x += tileW;
            y = 0;
        } else {
            y += tileH;
        }
    }
    return positions;
}

void Tile_Texture(gui::Surface* panel, const QImage& texture) {
    if (panel == nullptr)
        return;
    QImage& target = panel->image();
    if (target.isNull())
        return;
    QPainter p(&target);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QPoint& at :
         tilePositions(texture.width(), texture.height(), panel->width(), panel->height())) {
        p.drawImage(at, texture);
    }
    p.end();
    panel->update();
}

QPoint capturePointer() {
    QPoint at;
    return gui::GetCursorPos(&at) ? at : QPoint(0, 0);
}

QRect windowRect(QWidget* window) {
    return window == nullptr ? QRect() : window->frameGeometry();
}

QRect pointerRect(const QPoint& at) {
    return QRect(at, QSize(0, 0));
}

QRect outerRectToShow(QWidget* window) {
    if (window == nullptr)
        return QRect();
    if (window->isVisible())
        return windowRect(window);
    // A window not yet shown has no frame on the screen. Its position, once it
    // has been moved, is where its frame's top-left corner goes; the frame's
    // width comes from the native window where the platform knows it before the
    // window is mapped. A window manager frames it only when it is mapped, so
    // the frame is then taken to be that of a framed window already shown: the
    // manager frames every captioned window alike.
    const QPoint at = window->pos();
    window->winId();
    QMargins frame = window->windowHandle()->frameMargins();
    for (QWidget* other : QApplication::topLevelWidgets()) {
        if (!frame.isNull())
            break;
        const Qt::WindowType type = other->windowType();
        if (other != window && other->isVisible() && other->windowHandle() != nullptr &&
            (type == Qt::Window || type == Qt::Dialog) &&
            !other->windowFlags().testFlag(Qt::FramelessWindowHint))
            frame = other->windowHandle()->frameMargins();
    }
    return QRect(at, window->size().grownBy(frame));
}

void Open_Effect(QWidget* window, const QPoint& anchor) {
    gui::DrawAnimatedRects(pointerRect(anchor), outerRectToShow(window));
}

void Close_Effect(QWidget* window, const QPoint& anchor) {
    gui::DrawAnimatedRects(windowRect(window), pointerRect(anchor));
}

FrameDialog::FrameDialog(QWidget* parent) : QDialog(parent) {
    // A fixed, captioned window: no resizing, no context help, no maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
}

void FrameDialog::setVisible(bool visible) {
    // The dialog appears only once the opening animation has ended on the
    // rectangle it is about to take.
    if (visible && !opened_ && !isVisible()) {
        opened_ = true;
        Open_Effect(this, pointerAtLoad_);
    }
    QDialog::setVisible(visible);
}

void FrameDialog::done(int result) {
    if (!unloaded_) {
        unloaded_ = true;
        Form_Unload();
        Close_Effect(this, pointerAtLoad_);
    }
    QDialog::done(result);
}

Command* FrameDialog::buttonForKey(const QKeyEvent* event) const {
    if (event->matches(QKeySequence::Cancel))
        return cancel_;
    // As QDialog takes it: Return without modifiers, Enter also from the keypad.
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool enter =
        (event->key() == Qt::Key_Return && mods == Qt::NoModifier) ||
        (event->key() == Qt::Key_Enter && (mods == Qt::NoModifier || mods == Qt::KeypadModifier));
    // A disabled default button is not pressed at all, so its look stays.
    if (enter && default_ && default_->IsEnabled())
        return default_;
    return nullptr;
}

void FrameDialog::keyPressEvent(QKeyEvent* event) {
    // Only keys that no child took come here: a focused button keeps Return.
    Command* button = buttonForKey(event);
    if (button == nullptr) {
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
    // One key at a time holds a button down.
    if (event->isAutoRepeat() || (keyPressed_ && keyPressed_->keyDown()))
        return;
    keyPressed_ = button;
    pressingKey_ = event->key();
    button->pressKey();
}

void FrameDialog::keyReleaseEvent(QKeyEvent* event) {
    if (!keyPressed_ || event->key() != pressingKey_ || event->isAutoRepeat()) {
        QDialog::keyReleaseEvent(event);
        return;
    }
    event->accept();
    // The Click may close the dialog; the press is over before it runs.
    Command* button = keyPressed_;
    keyPressed_ = nullptr;
    button->releaseKey();
}

void FrameDialog::changeEvent(QEvent* event) {
    // A key that comes up in another window never reaches this one: the press
    // ends without a Click when the dialog loses the keyboard.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && keyPressed_) {
        keyPressed_->cancelKey();
        keyPressed_ = nullptr;
    }
    QDialog::changeEvent(event);
}

Command* placeButton(QWidget* parent, const QString& layout, const QString& name,
                     const QRect& geometry) {
    auto* button = new Command(parent);
    button->setObjectName(name);
    loadButtonLayout(button, layout, name);
    button->setGeometry(geometry);
    return button;
}

void FrameDialog::placeTexture(const QRect& geometry) {
    texture_ = new PictureHolder(this);
    texture_->setObjectName(QStringLiteral("Pic_Mbl"));
    texture_->setDesign(geometry.size(), Qt::black);
    texture_->move(geometry.topLeft());
    initControlResources();
    texture_->loadPicture(QStringLiteral(":/textures/metal.bmp"));
}

void FrameDialog::tilePanel(gui::Surface* panel) const {
    Tile_Texture(panel, texture_->picture());
}

} // namespace velmora
