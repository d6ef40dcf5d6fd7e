// The zoom-ratio dialog: a vertical scroll bar from 1.1 to 10.0 in steps of 0.1
// with the ratio shown beside it; its set button stores the ratio in Ritu_Scale
// and in the settings file, cancel and the close box leave both alone.
#pragma once

#include "dialogs/frame.h"

class QLabel;
class QScrollBar;

namespace velmora {

class Command;
class PictureHolder;
namespace platform {
class Surface;
}

class velmora_s : public FrameDialog {
    Q_OBJECT
  public:
    // Builds and loads the dialog (placement, buttons, texture, ratio, pointer);
    // it opens with show() or exec().
    explicit velmora_s(QWidget* parent = nullptr);

    // The label text for a bar value: 25 gives "2.5倍".
    static QString Ratio_Text(int value);

    QScrollBar* VS_Ritu() const { return vsRitu_; }
    QLabel* lbl_Ritu() const { return lblRitu_; }
    Command* Cmd_Set() const { return cmdSet_; }
    Command* Cmd_Can() const { return cmdCan_; }

  private:
    void Form_Load();
    void VS_Ritu_Change();
    void VS_Ritu_Scroll();
    void Cmd_Set_Click();
    void Cmd_Can_Click();
    void showRatio();

    platform::Surface* pic1_ = nullptr;
    QScrollBar* vsRitu_ = nullptr;
    QLabel* lblRitu_ = nullptr;
    Command* cmdSet_ = nullptr;
    Command* cmdCan_ = nullptr;
    PictureHolder* picMbl_ = nullptr;
};

} // namespace velmora
