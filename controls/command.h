// Command: the program's own push button. It paints a gradient face inside a
// bitmap frame that shows its state (normal, hover, focus, pressed, disabled),
// follows the pointer with a 100 ms timer and raises Click.
//
// Behaviour a host should know:
// - Initialize() must be called (dialogs do it for every button when they
//   load); before it, the pointer tracking is off and hovering does nothing.
// - Enabled is the button's own flag, not QWidget's: the widget always gets its
//   events and the handlers ignore them while the button is disabled.
// - The getters only read, and a setter given the value it already has does
//   nothing. A button placed in code and never loaded from store starts
//   switched off; firstUse() switches it on.
// - Every release of a mouse button (left, right or middle) on the enabled
//   button raises Click, unless the pointer was seen leaving the focused button
//   while it was held.
// - Space and Return press the focused button as the left mouse button does:
//   the Pressed frame while the key is down, Click when it comes up. A dialog
//   presses its default and cancel buttons the same way (pressKey, releaseKey).
// - Assistive technology sees a push button named after the caption, with one
//   press action (see commandaccessible.h).
#pragma once

#include "controls/buttonstatus.h"

#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>

class QLabel;
class QTimer;

namespace velmora {

class PropertyBag;

class Command : public QWidget {
    Q_OBJECT
  public:
    explicit Command(QWidget* parent = nullptr);

    // Starts the pointer tracking and puts the button in its normal state
    // (ButtonState 1). Paints nothing.
    void Initialize();

    // Background style: 255 when opaque, 0 when transparent. Writing a
    // non-zero value makes it opaque (and repaints the normal look), zero
    // transparent.
    quint8 Visible() const;
    void Visible(quint8 New_Visible);

    // Caption colour, red in bits 0-7, green 8-15, blue 16-23. Only plain
    // colours up to 0xFFFFFF are accepted; another value leaves the colour as it
    // was. Setting it repaints the normal look of an enabled button, and an
    // enabled button not yet used gets black instead.
    quint32 FontColour() const;
    void FontColour(quint32 New_FontColour);

    // Whether the button reacts to the mouse, the focus and the pointer
    // tracking; a disabled button shows the Disable frame and a greyed caption.
    bool Enabled() const;
    void Enabled(bool New_Enabled);

    // The first use of a button: one placed in code and never loaded from store
    // is switched on (FirstRunFlag 1, Enabled). Then, for any button, the face
    // is repainted to show the enabled state (Normal or Disable); ButtonState
    // keeps its value.
    void firstUse();
    // Repaints an enabled button in its normal look with its caption enabled;
    // a button not yet used gets a black caption. A disabled button is left as
    // it is. ButtonState keeps its value.
    void RefreshCaption();

    // The caption text and font. Setting them does not re-centre the caption;
    // the next repaint does.
    QString Caption() const;
    void Caption(const QString& New_Caption);
    QFont Font() const;
    void Font(const QFont& New_Font);

    // Loads the stored properties: Enabled, Caption, Font, FirstRun, FontColour,
    // Visible, in that order, each with its default when absent.
    void readProperties(const PropertyBag& bag);
    // Stores them in the order Enabled, Caption, FirstRun, Font, FontColour,
    // Visible; a value at its default is left out. Repaints the normal look.
    void writeProperties(PropertyBag& bag);

    // A key's press of the button, for a dialog whose Return or Escape stands
    // for it: the Pressed frame until releaseKey, which raises Click, or
    // cancelKey, which does not (the key came up elsewhere). An auto-repeated
    // key is no new press. A disabled button does nothing.
    void pressKey();
    void releaseKey();
    void cancelKey();
    // A whole press at once, as assistive technology asks for it: Click when
    // the button is enabled.
    void press();

    // Read-only views for tests and tools.
    const ButtonStatus& status() const { return status_; }
    VisualState ButtonState() const { return status_.ButtonState; }
    bool HoverShading() const { return status_.HoverShading; }
    bool LeftDown() const { return status_.LeftDown; }
    bool keyDown() const { return status_.keyDown; }
    quint8 FirstRunFlag() const { return status_.FirstRunFlag; }
    bool IsEnabled() const { return status_.IsEnabled; }
    // The frame the face was last painted with.
    Frame shownFrame() const { return status_.shown; }
    // The retained image of the face (gradient and frame, no caption).
    const QImage& face() const { return face_; }
    // Where the last repaint put the caption label, in twips from the top.
    double captionTopTwips() const { return captionTopTwips_; }
    bool trackingPointer() const;

  signals:
    void Click();
    // The named stored property changed, so the host's layout needs saving.
    void propertyChanged(const QString& name);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    void TmrMouse_Timer();
    void pointerLeft();
    void ApplyEnabled();
    void PaintButton(Frame frame);
    void PaintGradient();
    void handle(const ButtonEvent& event);
    void setCaptionColour(quint32 colour);
    void setOpaque(bool opaque);
    QFont ambientFont() const;

    ButtonStatus status_;
    bool opaque_ = true;
    quint32 fontColour_ = 0;
    double captionTopTwips_ = 0;
    QImage face_;

    QLabel* LblMsg;
    QTimer* TmrMouse;
};

// Loads one button's stored properties from a dialog layout resource (such as
// ":/layouts/velmora_s.layout") through Command::readProperties. Returns false,
// leaving the button untouched, when the resource cannot be read or has no
// section for buttonName.
bool loadButtonLayout(Command* button, const QString& layoutResource, const QString& buttonName);

} // namespace velmora
