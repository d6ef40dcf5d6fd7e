// The image selection dialog: drive, folder and file lists, a 100 x 100 preview
// of the file clicked last with its size, and a select button that gives that
// file back as the dialog's answer. It opens on the folder it is given and
// tells, however it closed, the folder it showed last, for the caller to
// remember.
#pragma once

#include "dialogs/frame.h"
#include "dialogs/previewloader.h"

#include <QFont>
#include <QImage>
#include <QSize>
#include <QStringList>

#include <string>
#include <vector>

class QComboBox;
class QLabel;

namespace velmora {

class Command;
class FileList;
class FolderList;
class PictureHolder;
namespace gui {
class Surface;
}

class velmora_v : public FrameDialog {
    Q_OBJECT
  public:
    // Builds and loads the dialog on rememberedFolder; where that is empty or
    // no longer a folder, on startFolder(). It opens with show() or exec().
    explicit velmora_v(const QString& rememberedFolder, QWidget* parent = nullptr);

    // The preview's size for a W x H picture, fitted into 100 x 100 and rounded
    // halves to even.
    static QSize previewSize(int W, int H);
    // Copies the whole of source onto target stretched to target's size, taking
    // whole rows and columns (dropped or repeated), never blending pixels.
    static void stretchCopy(const QImage& source, QImage& target);

    // The file being previewed ("" until a file is clicked).
    QString View_File() const { return viewFile_; }
    // The file chosen with the select button; "" when nothing was chosen.
    QString chosenFile() const { return chosenFile_; }
    // The folder the folder list shows.
    QString folder() const;
    // Whether the preview of the file clicked last is still being decoded.
    bool previewPending() const;

    QComboBox* Drive1() const { return drive1_; }
    FolderList* Dir1() const { return dir1_; }
    FileList* File1() const { return file1_; }
    QComboBox* Combo_Kind() const { return comboKind_; }
    gui::Surface* Pic_K() const { return picK_; }
    QLabel* lbl_Size() const { return lblSize_; }
    Command* Cmd_Sel() const { return cmdSel_; }
    Command* Cmd_Can() const { return cmdCan_; }
    PictureHolder* Pic_F() const { return picF_; }

  protected:
    void Form_Unload() override;

  private:
    void buildLists(const QFont& font);
    void buildPreview(const QFont& font);
    void buildButtons();
    void connectEvents();
    void Form_Load(const QString& rememberedFolder);
    void Drive1_Change();
    void Dir1_Change();
    void Combo_Kind_Click();
    void File1_Click();
    void File1_DblClick();
    void showPreview(const PreviewLoader::Result& result);
    void Cmd_Sel_Click();
    void Cmd_Can_Click();
    void showDrive(const QString& drive);
    // The drive, of those offered, that holds folder.
    QString driveOfFolder(const QString& folder) const;
    void showSize(const QString& text);
    void nameForScreenReaders();

    // The drives offered, as the system names their mount points.
    std::vector<std::string> drives_;
    QString viewFile_;
    QString chosenFile_;
    gui::Surface* picC_ = nullptr;
    QComboBox* drive1_ = nullptr;
    FolderList* dir1_ = nullptr;
    FileList* file1_ = nullptr;
    QComboBox* comboKind_ = nullptr;
    gui::Surface* picK_ = nullptr;
    QLabel* lblSize_ = nullptr;
    QWidget* shape1_ = nullptr;
    Command* cmdCan_ = nullptr;
    Command* cmdSel_ = nullptr;
    PictureHolder* picF_ = nullptr;
    PreviewLoader* preview_ = nullptr;
};

} // namespace velmora
