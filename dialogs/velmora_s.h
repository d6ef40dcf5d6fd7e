// The zoom-ratio dialog: a vertical scroll bar from 1.1 to 10.0 in steps of 0.1
// with the ratio shown beside it. It opens on the ratio it is given; its set
// button stores the chosen ratio in the settings file and gives it back as the
// dialog's answer (the caller stores it), cancel and the close box give none.
#pragma once

#include "dialogs/frame.h"

#include <cstdint>
#include <optional>

class QLabel;
class QScrollBar;

namespace velmora {

class Command;
namespace gui {
class Surface;
}

class velmora_s : public FrameDialog {
    Q_OBJECT
  public:
    // Builds and loads the dialog (placement, buttons, texture, ratio, pointer)
    // on the ratio scale, in tenths; one outside the bar's range shows the bar's
    // first value. It opens with show() or exec().
    explicit velmora_s(std::int16_t scale, QWidget* parent = nullptr);

    // The ratio chosen with the set button, in tenths; none after cancel, the
    // close box or while the dialog is open.
    std::optional<std::int16_t> chosenScale() const { return chosen_; }

    // The label text for a bar value: 25 gives "2.5倍".
    static QString ratioText(int value);

    QScrollBar* VS_Ritu() const { return vsRitu_; }
    QLabel* lbl_Ritu() const { return lblRitu_; }
    Command* Cmd_Set() const { return cmdSet_; }
    Command* Cmd_Can() const { return cmdCan_; }

  private:
    void buildBar();
    void Form_Load(std::int16_t scale);
    void VS_Ritu_Change();
    void VS_Ritu_Scroll();
    void Cmd_Set_Click();
    void Cmd_Can_Click();
    void showRatio();

    gui::Surface* pic1_ = nullptr;
    QScrollBar* vsRitu_ = nullptr;
    QLabel* lblRitu_ = nullptr;
    Command* cmdSet_ = nullptr;
    Command* cmdCan_ = nullptr;
    std::optional<std::int16_t> chosen_;
};

} // namespace velmora
