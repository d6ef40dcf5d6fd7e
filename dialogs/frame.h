// What both modal dialogs share: where a dialog stands on the screen, the set-up
// of its buttons, the texture tiled over its background panel, and the animated
// rectangle that grows out of the pointer when it opens and goes back there when
// it closes.
#pragma once

#include "controls/command.h"
#include "gui/twips.h"

#include <QColor>
#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QRect>

#include <cstdint>
#include <vector>

class QKeyEvent;

namespace velmora {

class PictureHolder;
namespace gui {
class Surface;
}

// A control's place from the dialog layout's left, top, width and height in
// twips, each truncated to whole pixels.
constexpr QRect twipsRect(int left, int top, int width, int height) {
    return twipsToPixelsTruncated(QRect(left, top, width, height));
}

// One coordinate of the placement: (screen - dialog) rounded to a whole number,
// halves to even, then divided by divisor with the quotient cut toward zero.
int placeCoordinate(double screenTwips, double dialogTwips, int divisor);

// Moves the dialog's outer frame to Left = (screen width - width) \ 2, Top =
// (screen height - height) \ 3 (twips), on the primary screen.
void placeDialog(QWidget* dialog, double widthTwips, double heightTwips);

// Calls Initialize on every button control of the dialog, in the order the
// dialog holds its controls; other controls are skipped.
void Init_Buttons(QWidget* dialog);

// Where the tiling loop copies the texture (tile w x h pixels, each rounded
// halves to even) onto a panel of W x H pixels: column by column, top to
// bottom, until a tile has been laid strictly below the bottom edge and, at the
// end of a column, strictly right of the right edge. An empty tile lays nothing.
std::vector<QPoint> tilePositions(double w, double h, int W, int H);

// Covers the panel's retained image with copies of texture at tilePositions;
// copies are clipped at the panel's edges.
void Tile_Texture(gui::Surface* panel, const QImage& texture);

// The pointer's screen position in pixels, or 0, 0 when it cannot be read.
QPoint capturePointer();

// The outer rectangle of a window in screen pixels.
QRect windowRect(QWidget* window);
// The pointer rectangle: zero size at the pointer position `at`.
QRect pointerRect(const QPoint& at);

// The outer rectangle, frame included, that the window takes on the screen once
// shown: windowRect for a shown window; for one not yet shown, its placed
// rectangle with the frame the window system will give it.
QRect outerRectToShow(QWidget* window);

// Animates from the pointer rectangle at `anchor` to the outer rectangle the
// window is about to take (outerRectToShow), the one Close_Effect starts
// from; then returns.
void Open_Effect(QWidget* window, const QPoint& anchor);
// Animates from the window's rectangle back to the pointer rectangle at `anchor`.
void Close_Effect(QWidget* window, const QPoint& anchor);

// The grey of the panel that carries a dialog's controls and texture.
inline const QColor kPanelColour{192, 192, 192};

// A child control of the given kind, named and placed.
template <typename Widget>
Widget* placeWidget(QWidget* parent, const QString& name, const QRect& geometry) {
    auto* widget = new Widget(parent);
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

// A button of a dialog: named, loaded from the dialog's stored layout, placed.
Command* placeButton(QWidget* parent, const QString& layout, const QString& name,
                     const QRect& geometry);

// A dialog with the shared frame behaviour: a fixed captioned window that plays
// the opening animation before it first appears and runs its unload (its own
// closing work, then the closing animation) however it is closed: buttons,
// Escape or the caption bar's close box.
//
// Keys: a focused button takes Space and Return itself. Return anywhere else
// presses the default button while it is enabled, Escape the cancel button;
// the button shows its press while the key is down and clicks when it comes up.
class FrameDialog : public QDialog {
    Q_OBJECT
  public:
    explicit FrameDialog(QWidget* parent = nullptr);

    void setVisible(bool visible) override;
    void done(int result) override;

    // Whether the unload has run (it runs once).
    bool unloaded() const { return unloaded_; }
    // Where the pointer was when the dialog loaded (0, 0 when it could not be
    // read): where the opening animation starts and the closing one ends.
    QPoint pointerAtLoad() const { return pointerAtLoad_; }

    // The button that confirms the dialog (Return) and the one that leaves it
    // (Escape). Without a cancel button Escape closes the dialog at once.
    void setDefaultButton(Command* button) { default_ = button; }
    void setCancelButton(Command* button) { cancel_ = button; }
    Command* defaultButton() const { return default_; }
    Command* cancelButton() const { return cancel_; }

  protected:
    // The dialog's own closing work, before the closing animation.
    virtual void Form_Unload() {}

    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

    // Places the hidden holder of the background texture ("Pic_Mbl"), and
    // tiles a panel with the texture it holds.
    void placeTexture(const QRect& geometry);
    void tilePanel(gui::Surface* panel) const;
    // Records where the pointer is now, for the animations.
    void capturePointer() { pointerAtLoad_ = velmora::capturePointer(); }

  private:
    // The button Return or Escape stands for, or nullptr for another key.
    Command* buttonForKey(const QKeyEvent* event) const;

    QPointer<Command> default_;
    QPointer<Command> cancel_;
    // The button a key is holding down, and that key.
    QPointer<Command> keyPressed_;
    int pressingKey_ = 0;
    PictureHolder* texture_ = nullptr;
    QPoint pointerAtLoad_;
    bool opened_ = false;
    bool unloaded_ = false;
};

} // namespace velmora
