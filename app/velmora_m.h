// The main window: the menu through which the user does everything, the opened
// image and the enlarged result, and the ratio in the title.
#pragma once

#include "app/pictureview.h"
#include "engine/enlarge.h"
#include "save/save.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <optional>

class QAction;
class QImage;
class QString;
class QMenu;

namespace velmora {

namespace gui {
class Surface;
}

// What the main window calls out to. The program wires the real dialogs; tests
// answer them.
struct MainWindowServices {
    // velmora_v, modal; gives the chosen file, "" when nothing was chosen.
    std::function<QString()> showImageDialog;
    // velmora_s, modal, opened on the ratio given; gives the chosen ratio, none
    // when the dialog was cancelled.
    std::function<std::optional<std::int16_t>(std::int16_t scale)> showRatioDialog;
    // The save command (app/savecommand.h) for the picture the recipe makes.
    std::function<void(QWidget* owner, const Recipe& recipe, SaveKind kind)> save;
    // The enlargement itself; empty: velmora::Enlarge. Tests make it fail.
    PictureView::EnlargeFunction enlarge;
};

class velmora_m : public QMainWindow {
    Q_OBJECT
  public:
    explicit velmora_m(MainWindowServices services, QWidget* parent = nullptr);
    ~velmora_m() override;

    // The title for a ratio: "velmora  拡大率 1.2倍".
    static QString Title_Text(std::int16_t scale);

    PictureView* Display() const { return display_; }
    gui::Surface* Master() const { return master_; }
    QAction* m_file() const;
    QAction* m_open() const { return open_; }
    QAction* m_save(int index) const { return save_[index]; }
    QAction* m_end() const { return end_; }
    QAction* m_ritu() const { return ritu_; }
    QAction* m_kakudai() const { return kakudai_; }
    bool enlarging() const { return enlarging_; }

    void m_open_Click();
    // Opens the image file at path: Master and Display take it at 1:1 and Display
    // shows, as the image selection dialog's choice does; the command line and a
    // file dropped on the window come here too. A file that cannot be read, and
    // one whose picture would not fit in memory, is named in a message box that
    // says which of the two it is; then nothing changes and false comes back. The picture is
    // decoded off the user-interface thread.
    bool openImage(const QString& path);
    void m_save_Click(int index);
    // What a save writes: Master's picture, the ratio of the last
    // enlargement that succeeded (0 when the picture is shown 1:1) and the
    // opened file's metadata (EXIF, ICC profile), or the empty Display
    // before any picture was opened or enlarged.
    Recipe saveRecipe() const;
    void m_end_Click();
    void m_ritu_Click();
    void m_kakudai_Click();

  signals:
    // The enlargement has finished and the menu is enabled again.
    void enlargementFinished();

  private:
    void Form_Load();
    void setTitle();
    void setMenuEnabled(bool on);
    void showMessage(const QString& text);
    bool runBusy(const std::function<void()>& work);
    void runEnlargement();
    void endOfWork();
    // No work running and no dialog open.
    bool takesDrops() const;
    // The normal window keeps its design size; maximised, it shows as much of
    // the picture as the screen holds.
    void keepDesignSize();

    MainWindowServices services_;
    QMenu* fileMenu_ = nullptr;
    QAction* open_ = nullptr;
    QAction* save_[2] = {nullptr, nullptr};
    QAction* sura_ = nullptr;
    QAction* end_ = nullptr;
    QAction* ritu_ = nullptr;
    QAction* kakudai_ = nullptr;
    QWidget* client_ = nullptr;
    PictureView* display_ = nullptr;
    gui::Surface* master_ = nullptr;
    // The opened file's EXIF and ICC profile, kept for a JPEG save.
    SourceMetadata metadata_;
    bool enlarging_ = false;
    bool working_ = false; // opening, saving or enlarging: a close waits for its end
    bool closeAfterWork_ = false;

  protected:
    // A close during opening, saving or enlarging waits for the work to end.
    void closeEvent(QCloseEvent* event) override;
    // A local file dragged over the window is accepted and, dropped, opened;
    // not while a dialog is open or work runs.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Display follows the client area's size (maximised or not).
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

} // namespace velmora
