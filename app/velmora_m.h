// The main window: the menu through which the user does everything, the opened
// image and the enlarged result, and the ratio in the title. It owns the
// values of a run (the session below) and is the one place that writes the
// settings file; the dialogs get what they show and give typed answers back.
#pragma once

#include "app/pictureview.h"
#include "gui/savedialog.h"
#include "save/jpeglibrary.h"
#include "save/recipe.h"
#include "save/save.h"

#include <QImage>
#include <QMainWindow>
#include <QString>

#include <atomic>

#include <cstdint>
#include <functional>
#include <optional>

class QAction;
class QMenu;

namespace velmora {

// The file menu's save items: JPEG, bitmap, PNG.
inline constexpr int kSaveItems = 3;

// What the image selection dialog answered: the file chosen ("" when none
// was) and the folder its folder list showed when it closed.
struct ImageChoice {
    QString file;
    QString folder;
};

// What the main window asks of the world outside it. Left empty, each is the
// real thing; tests answer them instead.
struct MainWindowHooks {
    // The image selection dialog, opened on the remembered folder ("" when
    // none is remembered); empty: velmora_v.
    std::function<ImageChoice(const QString& rememberedFolder)> askImage;
    // The zoom-ratio dialog, opened on the ratio in tenths; the chosen ratio,
    // none when it was cancelled. Empty: velmora_s.
    std::function<std::optional<std::int16_t>(std::int16_t scale)> askRatio;
    // The save-file dialog; empty: gui::GetSaveFileName.
    gui::SaveFileDialog askSaveName;
    // The enlargement itself; empty: the engine's.
    PictureView::EnlargeFunction enlarge;
    // The settings file; empty: settingsFile().
    QString settingsFile;
    // How long a save runs before it shows its progress and a cancel button.
    int saveProgressDelayMs = 1000;
    // The conversion library's folder and whether to look on the system's
    // library path after it (jpeglibrary.h); empty: beside the program.
    QString libraryFolder;
    bool librarySystemPath = true;
    // Ends the program once the window is done; empty: QApplication::exit(0).
    std::function<void()> quit;
};

// The values of one run of the program.
struct Session {
    // The zoom ratio in tenths (12 means 1.2x), "Scale" in the settings file.
    std::int16_t scale = 0;
    // Where the save dialog opens, "Put_Path".
    QString putDir;
    // Where the image selection dialog showed its folder last, "Get_Path".
    QString getDir;
    // The file opened last; "" before any.
    QString file;
    // The opened picture at 1:1, or the empty picture of the window's design
    // before any; enlargements always start from it.
    QImage master;
    // The opened file's metadata, which a save carries.
    SourceMetadata metadata;
};

// The folder part of a full path: everything before the last "/", without that
// separator. A file in the root folder gives "/" (the root stays the root); a
// bare name without any separator gives "".
QString Get_Folder(const QString& path);

class velmora_m : public QMainWindow {
    Q_OBJECT
  public:
    explicit velmora_m(MainWindowHooks hooks = {}, QWidget* parent = nullptr);
    ~velmora_m() override;

    // The title for a ratio: "velmora  拡大率 1.2倍".
    static QString titleText(std::int16_t scale);
    // The save-file dialog's request for the save kind, opening in folder.
    static gui::SaveFileRequest saveRequest(QWidget* owner, SaveKind kind, const QString& folder);

    const Session& session() const { return session_; }
    PictureView* Display() const { return display_; }
    // The opened picture (Session::master).
    const QImage& Master() const { return session_.master; }
    QAction* m_file() const;
    QAction* m_open() const { return open_; }
    QAction* m_save(int index) const { return save_[index]; }
    QAction* m_end() const { return end_; }
    QAction* m_ritu() const { return ritu_; }
    QAction* m_kakudai() const { return kakudai_; }
    bool enlarging() const { return enlarging_; }

    void m_open_Click();
    // Opens the image file at path: the picture becomes Master and Display
    // shows it at 1:1, as the image selection dialog's choice does; the command
    // line and a file dropped on the window come here too. A file that cannot
    // be read, and one whose picture would not fit in memory, is named in a
    // message box that says which of the two it is; then nothing changes and
    // false comes back. The picture is decoded off the user-interface thread.
    bool openImage(const QString& path);
    // Asks for a name, remembers its folder (before saving, so it is kept even
    // when saving fails), then saves saveRecipe() off the user-interface
    // thread; a failure or refusal is shown in a message box. Index 0 saves a
    // JPEG, 1 a bitmap, 2 a PNG.
    void m_save_Click(int index);
    // What a save writes: Master, the ratio of the last enlargement that
    // succeeded (0 when the picture is shown 1:1) and the opened file's
    // metadata, or the empty Display before any picture was opened or
    // enlarged.
    Recipe saveRecipe() const;
    void m_end_Click();
    void m_ritu_Click();
    void m_kakudai_Click();

  signals:
    // The enlargement has finished and the menu is enabled again.
    void enlargementFinished();

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

  private:
    void buildClient();
    void buildMenu();
    void Form_Load();
    // The one place the settings file is written.
    void remember(const QString& key, const QString& value);
    void setTitle();
    void setMenuEnabled(bool on);
    void showMessage(const QString& text);
    bool runBusy(const std::function<void()>& work);
    void runEnlargement();
    void endOfWork();
    // The program's end (MainWindowHooks::quit).
    void quit();
    // No work running and no dialog open.
    bool takesDrops() const;
    // The normal window keeps its design size; maximised, it shows as much of
    // the picture as the screen holds.
    void keepDesignSize();

    MainWindowHooks hooks_;
    QString settingsFile_;
    Session session_;
    JpegLibrary jpegLibrary_;
    QMenu* fileMenu_ = nullptr;
    QAction* open_ = nullptr;
    QAction* save_[kSaveItems] = {};
    QAction* sura_ = nullptr;
    QAction* end_ = nullptr;
    QAction* ritu_ = nullptr;
    QAction* kakudai_ = nullptr;
    QWidget* client_ = nullptr;
    PictureView* display_ = nullptr;
    bool enlarging_ = false;
    bool working_ = false; // opening, saving or enlarging: a close waits for its end
    bool closeAfterWork_ = false;
    // Set when the window is closed while a file is being read: the reading
    // stops soon and the window closes, without the picture.
    std::atomic<bool> stopOpening_{false};
};

} // namespace velmora
