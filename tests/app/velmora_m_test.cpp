// The main window: how it starts, its menu and title, opening pictures (chosen,
// dropped or refused), the enlarge command and what Display shows of its
// result, the save command with the recipe it hands over and the metadata it
// keeps, and the window driven through the real dialogs.
#include "app/velmora_m.h"
#include "controls/command.h"
#include "dialogs/filelist.h"
#include "dialogs/velmora_s.h"
#include "dialogs/velmora_v.h"
#include "gui/backgroundwork.h"
#include "gui/colourvalue.h"
#include "gui/filenames.h"
#include "gui/pictureimage.h"
#include "gui/settingsfile.h"
#include "gui/surface.h"
#include "imageio/bitmapwriter.h"
#include "imageio/imagereader.h"
#include "imageio/orientation.h"
#include "libvelmora/velmora.h"
#include "platform/diskspace.h"
#include "save/jpeglibrary.h"
#include "tests/app/app_fixture.h"
#include "tests/support/badimages.h"
#include "tests/support/cameraexif.h"
#include "tests/support/caseprint.h"
#include "tests/support/fakememory.h"
#include "tests/support/fifowatch.h"
#include "tests/support/jpegfiles.h"
#include "tests/support/pngfiles.h"
#include "tests/support/support.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPaintEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include <unistd.h>

using namespace velmora;

namespace {

// Closes every message box that shows while it lives and remembers the title
// and text of the last one. Its timer dies with it, so nothing outlives a test.
struct MessageCatcher {
    QString title, text;
    int count = 0;
    QTimer timer;
    MessageCatcher() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible()) {
                    title = box->windowTitle();
                    text = box->text();
                    ++count;
                    box->close();
                }
        });
        timer.start(10);
    }
};

// Main windows for tests: each with the test's settings file, the conversion
// library of this build, and a ratio dialog that answers what the test says.
class WindowTest : public SettingsFileTest {
  protected:
    // Hooks for a window of this test; add answers for the other dialogs.
    MainWindowHooks hooks() {
        MainWindowHooks h;
        h.settingsFile = settingsFile();
        h.libraryFolder = QStringLiteral(VELMORA_TEST_BIN);
        h.askRatio = [this](std::int16_t) { return nextScale; };
        return h;
    }
    // Sets the window's ratio through its ratio command, as a user would.
    void setScale(velmora_m& w, std::int16_t scale) {
        nextScale = scale;
        w.m_ritu_Click();
        nextScale.reset();
    }
    // Writes picture as the bitmap file `name` of the test's folder and opens
    // it in w, as the file a user chose.
    void openPicture(velmora_m& w, const QImage& picture,
                     const QString& name = QStringLiteral("source.bmp")) {
        const QString file = dir.filePath(name);
        ASSERT_TRUE(QDir(dir.path()).mkpath(QFileInfo(file).path()));
        ASSERT_TRUE(picture.save(file, "BMP"));
        ASSERT_TRUE(w.openImage(file));
    }

    std::optional<std::int16_t> nextScale;
};

class MainWindow : public WindowTest {};

QStringList captions(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions)
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

// Drags files over the window's picture and drops them there; whether the
// window took the drag and the drop.
std::pair<bool, bool> dropOn(velmora_m* w, const QList<QUrl>& urls) {
    QMimeData files;
    files.setUrls(urls);
    const QPoint over = w->centralWidget()->mapTo(w, QPoint(5, 5));
    QDragEnterEvent enter(over, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->windowHandle(), &enter);
    QDropEvent drop(QPointF(over), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->windowHandle(), &drop);
    return {enter.isAccepted(), drop.isAccepted()};
}

} // namespace

TEST_F(MainWindow, firstStartWithoutSettingsShowsRatio12AndOffersTheCurrentFolder) {
    velmora_m w(hooks());
    EXPECT_EQ(w.session().scale, 12);
    EXPECT_EQ(w.session().putDir, QDir::currentPath());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("velmora  拡大率 1.2倍"));
}

TEST_F(MainWindow, loadReadsScaleAndPutPath) {
    Ini_Write(kSection, kKeyScale, " 25", settingsFile());
    Ini_Write(kSection, kKeyPutPath, "/srv/画像", settingsFile());
    velmora_m w(hooks());
    EXPECT_EQ(w.session().scale, 25);
    EXPECT_EQ(w.session().putDir, QStringLiteral("/srv/画像"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("velmora  拡大率 2.5倍"));
}

TEST_F(MainWindow, badScaleNeverReachesTheEnlargement) {
    for (const char* bad : {" 0", "-3", "junk", "70000"}) {
        Ini_Write(kSection, kKeyScale, bad, settingsFile());
        velmora_m w(hooks());
        EXPECT_EQ(w.session().scale, 12) << bad;
    }
}

TEST(MainWindowTitle, followsTheRatio) {
    EXPECT_EQ(velmora_m::titleText(11), QStringLiteral("velmora  拡大率 1.1倍"));
    EXPECT_EQ(velmora_m::titleText(25), QStringLiteral("velmora  拡大率 2.5倍"));
    EXPECT_EQ(velmora_m::titleText(100), QStringLiteral("velmora  拡大率 10.0倍"));
    EXPECT_EQ(velmora_m::titleText(10), QStringLiteral("velmora  拡大率 1.0倍"));
}

TEST_F(MainWindow, menuHasEveryItemInItsPlaceEnabled) {
    velmora_m w(hooks());
    EXPECT_EQ(captions(w.menuBar()->actions()),
              (QStringList{"ﾌｧｲﾙ", "拡大率の指定", "ｱﾝﾁｴｲﾘｱｽ拡大実行"}));
    QMenu* file = w.m_file()->menu();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(captions(file->actions()),
              (QStringList{"画像ﾌｧｲﾙを開く", "名前を付けて保存 (JPG)", "名前を付けて保存 (BMP)",
                           "名前を付けて保存 (PNG)", "-", "終了"}));
    // Open, save as JPEG and quit have the shortcuts users expect.
    const std::pair<QAction*, QKeySequence> items[] = {{w.m_file(), {}},
                                                       {w.m_open(), QKeySequence("Ctrl+O")},
                                                       {w.m_save(0), QKeySequence("Ctrl+S")},
                                                       {w.m_save(1), {}},
                                                       {w.m_save(2), {}},
                                                       {w.m_end(), QKeySequence("Ctrl+Q")},
                                                       {w.m_ritu(), {}},
                                                       {w.m_kakudai(), {}}};
    for (const auto& [a, shortcut] : items) {
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
        EXPECT_EQ(a->shortcut(), shortcut) << a->text().toStdString();
    }
}

TEST_F(MainWindow, clientAreaIsWhite503By323WithHiddenSurfacesAtTheirDesignPlaces) {
    velmora_m w(hooks());
    w.show();
    EXPECT_EQ(w.centralWidget()->size(), QSize(503, 323));
    const QImage client = w.centralWidget()->grab().toImage();
    EXPECT_EQ(client.pixelColor(250, 160), QColor(Qt::white));
    EXPECT_FALSE(w.Display()->isVisible());
    EXPECT_EQ(w.Display()->geometry(), QRect(0, 0, 449, 245));
    // Master, which holds the opened picture, is never shown; before any
    // picture it holds its design size of the window's background.
    EXPECT_EQ(w.Master().size(), QSize(92, 84));
    EXPECT_EQ(w.Master().pixelColor(91, 83), QApplication::palette().color(QPalette::Base));
}

TEST_F(MainWindow, cancelledRatioDialogKeepsTheTitle) {
    MainWindowHooks services = hooks();
    int shown = 0;
    std::int16_t offered = 0;
    services.askRatio = [&](std::int16_t scale) -> std::optional<std::int16_t> {
        ++shown;
        offered = scale;
        return std::nullopt;
    };
    velmora_m w(services);
    const QString before = w.windowTitle();
    w.m_ritu()->trigger();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(offered, 12);
    EXPECT_EQ(w.session().scale, 12);
    EXPECT_EQ(w.windowTitle(), before);
    EXPECT_EQ(settingsText(), QString());
}

TEST_F(MainWindow, chosenRatioShowsInTheTitle) {
    MainWindowHooks services = hooks();
    services.askRatio = [](std::int16_t) { return std::optional<std::int16_t>(37); };
    velmora_m w(services);
    w.m_ritu()->trigger();
    EXPECT_EQ(w.session().scale, 37);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("velmora  拡大率 3.7倍"));
    // Stored with the blank of a number's sign, as "Scale" always was.
    EXPECT_TRUE(settingsText().contains(QStringLiteral("Scale= 37")))
        << settingsText().toStdString();
    EXPECT_EQ(Ini_Read(kSection, kKeyScale, settingsFile()), QStringLiteral("37"));
}

// Closing the window while a large file is read stops the reading: the open
// fails without a message and the window shows nothing of the file.
TEST_F(MainWindow, closingWhileAFileIsReadStopsTheReading) {
    QImage noise(5000, 4000, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            row[x] = 0xFF000000u | (quint32(x * 2654435761u + y * 40503u) >> 8);
    }
    const QString large = dir.filePath("large.jpg");
    ASSERT_TRUE(noise.save(large, "JPG", 98));
    MainWindowHooks services = hooks();
    int quits = 0;
    services.quit = [&quits] { ++quits; };
    velmora_m w(services);
    w.show();
    MessageCatcher message;
    QTimer::singleShot(1, &w, [&w] { w.close(); });
    EXPECT_FALSE(w.openImage(large));
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(message.count, 0) << message.text.toStdString();
    EXPECT_TRUE(w.session().file.isEmpty());
    EXPECT_FALSE(w.Display()->isVisible());
}

TEST_F(MainWindow, openingAnImageShowsItAtOneToOneAndAFailedOpenChangesNothing) {
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(QColor(10, 20, 30));
    image.setPixelColor(0, 0, QColor(200, 100, 50));
    const QString good = dir.filePath("a.bmp");
    ASSERT_TRUE(image.save(good, "BMP"));
    const QString bad = dir.filePath("broken.jpg");
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a picture at all");
    }
    QString choice;
    MainWindowHooks services = hooks();
    services.askImage = [&](const QString&) { return ImageChoice{choice, {}}; };
    velmora_m w(services);
    w.show();

    choice = good;
    w.m_open()->trigger();
    EXPECT_TRUE(w.Display()->isVisible());
    // The picture is 640 x 480; the window shows its top-left 503 x 323.
    EXPECT_EQ(w.Display()->contentSize(), QSize(640, 480));
    EXPECT_EQ(w.Display()->geometry(), QRect(0, 0, 503, 323));
    EXPECT_EQ(w.Master().size(), QSize(640, 480));
    EXPECT_EQ(w.Display()->GetPixel(0, 0), 0x3264C8u);
    EXPECT_EQ(w.Display()->GetPixel(639, 479), 0x1E140Au);

    // Cancelled: nothing chosen, nothing changes.
    choice.clear();
    w.m_open()->trigger();
    EXPECT_EQ(w.Display()->contentSize(), QSize(640, 480));

    // A file that cannot be read: a message, and the picture stays.
    choice = bad;
    MessageCatcher message;
    w.m_open()->trigger();
    EXPECT_EQ(message.title, "Vantorel");
    EXPECT_EQ(w.Display()->contentSize(), QSize(640, 480));
    EXPECT_EQ((gui::swapRedBlue(w.Master().pixel(0, 0)) & 0xFFFFFFu), 0x3264C8u);
}

// Files dropped over the picture reach the window, which opens the first local
// one as a choice in the dialog would, by its name as bytes (one that is not
// UTF-8 was looked for under another name); a file that cannot be read changes
// nothing.
TEST_F(MainWindow, droppedFileOpensLikeAChoiceAndAnUnreadableOneChangesNothing) {
    QImage image(30, 20, QImage::Format_RGB32);
    image.fill(QColor(200, 100, 50));
    const QByteArray raw = QFile::encodeName(dir.path()) + "/写真\xE9.bmp";
    ASSERT_TRUE(image.save(dir.filePath("plain.bmp"), "BMP"));
    ASSERT_EQ(
        std::rename(QFile::encodeName(dir.filePath("plain.bmp")).constData(), raw.constData()), 0);
    velmora_m w(hooks());
    w.show();
    MessageCatcher message;
    EXPECT_EQ(dropOn(&w, {QUrl(QStringLiteral("https://example.org/a.bmp")),
                          QUrl::fromEncoded("file://" + raw.toPercentEncoding("/"))}),
              std::pair(true, true));
    ::unlink(raw.constData()); // QTemporaryDir takes names as text: it cannot remove it
    EXPECT_EQ(message.count, 0);
    EXPECT_TRUE(w.Display()->isVisible());
    EXPECT_EQ(w.Display()->geometry(), QRect(0, 0, 30, 20));
    EXPECT_EQ(w.Display()->GetPixel(0, 0), 0x3264C8u);

    EXPECT_FALSE(w.openImage(dir.filePath("missing.jpg")));
    EXPECT_EQ(message.count, 1);
    EXPECT_EQ(message.title, "Vantorel");
    EXPECT_EQ(w.Master().size(), QSize(30, 20));
    EXPECT_EQ(w.Display()->GetPixel(0, 0), 0x3264C8u);
}

// A file dropped while the image dialog was open used to open behind it.
TEST_F(MainWindow, fileDroppedWhileADialogIsOpenIsRefused) {
    const QString good = dir.filePath("a.bmp");
    ASSERT_TRUE(QImage(30, 20, QImage::Format_RGB32).save(good, "BMP"));
    std::pair<bool, bool> accepted;
    MainWindowHooks services = hooks();
    velmora_m* window = nullptr;
    services.askImage = [&](const QString&) {
        QDialog dialog;
        WhenModal([&](QWidget* modal) {
            accepted = dropOn(window, {QUrl::fromLocalFile(good)});
            static_cast<QDialog*>(modal)->reject();
        });
        dialog.exec();
        return ImageChoice();
    };
    velmora_m w(services);
    window = &w;
    w.show();
    w.m_open()->trigger();
    EXPECT_EQ(accepted, std::pair(false, false));
    EXPECT_FALSE(w.Display()->isVisible());
}

namespace {
using velmora_test::PrintTo;

struct OpenRefusal {
    const char* name;
    QByteArray file;      // empty: chosen, then deleted before opening
    long long memoryLeft; // 0: the real figure
    bool noThreads;
    const char* message;    // how the message box's text starts
    const char* cause = ""; // how it ends, in brackets, when it names the cause
    bool locked = false;    // the file may not be read (only an ordinary user sees that)
};

const char* kUnreadable = "画像ﾌｧｲﾙを読み込めませんでした。";
// Refused for memory once read as unreadable, though the file was fine.
const char* kTooLarge = "画像が大きすぎて、ﾒﾓﾘに読み込めません。";

class OpenRefusalTest : public MainWindow, public ::testing::WithParamInterface<OpenRefusal> {
  protected:
    void TearDown() override {
        testkit::StopPretendingMemory();
        gui::failThreadStartsForTest(false);
        MainWindow::TearDown();
    }
};

} // namespace

// A file that cannot be opened (including one refused for its size, which used
// to be decoded into all of memory) gives one message and changes nothing.
TEST_P(OpenRefusalTest, givesAMessageAndChangesNothing) {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor(10, 20, 30));
    velmora_m w(hooks());
    w.show();
    openPicture(w, image, QStringLiteral("good.bmp"));
    QFile bad(dir.filePath("chosen.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(GetParam().file);
    bad.close();
    if (GetParam().locked) {
        if (::geteuid() == 0)
            GTEST_SKIP() << "root reads any file";
        ASSERT_TRUE(bad.setPermissions(QFileDevice::Permissions()));
    }
    if (GetParam().file.isEmpty())
        bad.remove();
    if (GetParam().memoryLeft > 0)
        testkit::PretendMemoryLeft(dir.filePath("memory"), GetParam().memoryLeft);
    gui::failThreadStartsForTest(GetParam().noThreads);
    MessageCatcher message;
    EXPECT_FALSE(w.openImage(bad.fileName()));
    EXPECT_EQ(message.count, 1);
    EXPECT_EQ(message.title, "Vantorel");
    EXPECT_TRUE(message.text.startsWith(QString::fromUtf8(GetParam().message)));
    if (*GetParam().cause)
        EXPECT_TRUE(message.text.endsWith("\n(" + QString::fromUtf8(GetParam().cause) + ")"))
            << message.text.toStdString();
    EXPECT_EQ(w.Display()->picture(), image);
    EXPECT_EQ(w.Display()->ratio(), 0);
    EXPECT_EQ(w.Master(), image);
    EXPECT_TRUE(w.Display()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    troubles, OpenRefusalTest,
    ::testing::Values(
        OpenRefusal{"undecodable", "not a picture", 0, false, kUnreadable,
                    "BMP や JPEG などの画像ﾌｧｲﾙではありません。"},
        OpenRefusal{"cutShort", testkit::GreyFile(300, "JPG").left(900), 0, false, kUnreadable,
                    "ﾌｧｲﾙが途中で切れているか、壊れています。"},
        // 17 GB decoded, in an 8 GB control group.
        OpenRefusal{"lyingJpegHeader", testkit::LyingJpeg(65000, 65000), 8LL << 30, false,
                    kTooLarge},
        OpenRefusal{"lyingBitmapHeader", testkit::LyingBitmap(60000, 60000), 0, false, kUnreadable},
        OpenRefusal{"deletedAfterChoosing", {}, 0, false, kUnreadable, "ﾌｧｲﾙが見つかりません。"},
        OpenRefusal{"locked", testkit::GreyFile(30, "JPG"), 0, false, kUnreadable,
                    "ﾌｧｲﾙを読む権限がありません。", true},
        OpenRefusal{"controlGroupNearlyFull", testkit::GreyFile(300, "JPG"), 100000, false,
                    kTooLarge},
        OpenRefusal{"noWorkerThread", testkit::GreyFile(30, "JPG"), 0, true,
                    "処理を開始できませんでした。"}),
    [](const ::testing::TestParamInfo<OpenRefusal>& info) { return info.param.name; });

// "velmora FIFO" showed a window that never painted. The command line and a
// drop open through openImage.
TEST_F(MainWindow, specialFilesAreRefusedAtOnceWithTheUnreadableMessage) {
    const testkit::FifoWatch fifo(dir.filePath("fifo.jpg"));
    ASSERT_TRUE(QFile::link(dir.filePath("fifo.jpg"), dir.filePath("fifo-link.jpg")));
    ASSERT_TRUE(QFile::link("/dev/zero", dir.filePath("zero-link.jpg")));
    velmora_m w(hooks());
    w.show();
    for (const QString& path :
         {dir.filePath("fifo.jpg"), dir.filePath("fifo-link.jpg"), dir.filePath("zero-link.jpg"),
          QStringLiteral("/dev/null"), dir.path()}) {
        MessageCatcher message;
        EXPECT_FALSE(w.openImage(path));
        EXPECT_EQ(message.count, 1);
        EXPECT_TRUE(message.text.startsWith(QString::fromUtf8(kUnreadable))) << path.toStdString();
        EXPECT_TRUE(message.text.endsWith("\n(通常のﾌｧｲﾙではありません。)"))
            << message.text.toStdString();
    }
    EXPECT_FALSE(w.Display()->isVisible());
    EXPECT_FALSE(fifo.someoneWaited());
}

// --- The enlarge command ------------------------------------------------------

namespace {

// Records the order in which menu items change their enabled state.
struct MenuRecorder {
    QStringList events;
    void watch(QAction* a, const QString& name) {
        QObject::connect(a, &QAction::changed, [this, a, name] {
            const QString e = name + (a->isEnabled() ? "+" : "-");
            if (events.isEmpty() || events.back() != e)
                events << e;
        });
    }
};

// Records the areas of Display that were painted, in order.
struct PaintRecorder : QObject {
    QList<QRect> rects;
    std::function<void()> onPaint; // called before each paint, when set
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::Paint)
            return false;
        rects << static_cast<QPaintEvent*>(e)->rect();
        if (onPaint)
            onPaint();
        return false;
    }
};

class EnlargeCommand : public WindowTest {
  protected:
    // A main window whose image dialog hands over `image`, already opened.
    std::unique_ptr<velmora_m> windowWith(const QImage& image) {
        const QString path = dir.filePath("source.bmp");
        EXPECT_TRUE(image.save(path, "BMP"));
        MainWindowHooks services = hooks();
        services.askImage = [path](const QString&) { return ImageChoice{path, {}}; };
        auto w = std::make_unique<velmora_m>(services);
        w->show();
        w->m_open()->trigger();
        return w;
    }
};

} // namespace

TEST_F(EnlargeCommand, greysTheMenuInOrderWhileRunningAndEnablesItAgain) {
    auto w = windowWith(testkit::Colourful(30, 20, 1));
    setScale(*w, 25);
    MenuRecorder menu;
    menu.watch(w->m_file(), "m_file");
    menu.watch(w->m_ritu(), "m_ritu");
    menu.watch(w->m_kakudai(), "m_kakudai");
    w->m_kakudai()->trigger();
    EXPECT_EQ(menu.events, (QStringList{"m_file-", "m_ritu-", "m_kakudai-", "m_file+", "m_ritu+",
                                        "m_kakudai+"}));
    EXPECT_FALSE(w->enlarging());
}

TEST_F(EnlargeCommand, resultIsExactlyThePerPixelEnlargementAndShowsLeftToRight) {
    const QImage source = testkit::Colourful(47, 31, 2);
    auto w = windowWith(source);
    setScale(*w, 82); // 8.2 x 47 - 1 = 384.4, 8.2 x 31 - 1 = 253.2
    PaintRecorder paints;
    w->Display()->installEventFilter(&paints);
    w->m_kakudai()->trigger();
    ASSERT_EQ(w->Display()->contentSize(), QSize(384, 253));
    EXPECT_EQ(Whole(w->Display()), Reference(source, 8.2, {0, 0, 384, 253}));
    // Every repaint during the run starts at or right of the one before, in
    // more than one step.
    ASSERT_GE(paints.rects.size(), 3);
    for (int i = 1; i < paints.rects.size() - 1; ++i)
        EXPECT_GE(paints.rects[i].left(), paints.rects[i - 1].left()) << i;
    // The window on the screen shows the result as the run painted it (a
    // reveal that painted the picture at 1:1 over the finished columns left
    // it there).
    const QPoint at = w->Display()->mapTo(w.get(), QPoint());
    const QImage shown = QGuiApplication::primaryScreen()
                             ->grabWindow(w->winId(), at.x(), at.y(), 300, 200)
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, Whole(w->Display()).copy(0, 0, 300, 200));
}

TEST_F(EnlargeCommand, repeatedRunsAreIdenticalAndNeverCompound) {
    const QImage source = testkit::Colourful(20, 13, 3);
    auto w = windowWith(source);
    setScale(*w, 30);
    w->m_kakudai()->trigger();
    const QImage first = Whole(w->Display());
    setScale(*w, 20);
    w->m_kakudai()->trigger();
    setScale(*w, 30);
    w->m_kakudai()->trigger();
    EXPECT_EQ(Whole(w->Display()), first);
    EXPECT_EQ(first, Reference(source, 3.0, {0, 0, 59, 38}));
    EXPECT_EQ(w->Master(), source);
}

TEST_F(EnlargeCommand, beforeAnyImageEnlargesTheEmptyMasterAndDisplayStaysHidden) {
    velmora_m w(hooks());
    w.show();
    setScale(w, 12);
    w.m_kakudai()->trigger();
    EXPECT_FALSE(w.Display()->isVisible());
    // 1.2 x 92 - 1 = 109.4 and 1.2 x 84 - 1 = 99.8, truncated.
    EXPECT_EQ(w.Display()->contentSize(), QSize(109, 99));
    EXPECT_EQ(Whole(w.Display()).pixel(50, 50), w.Master().pixel(0, 0));
}

TEST_F(EnlargeCommand, aResultWithNoPixelsLeavesDisplayEmpty) {
    auto w = windowWith(testkit::Colourful(10, 1, 4));
    setScale(*w, 15); // 1.5 x 1 - 1 = 0.5: no row
    w->m_kakudai()->trigger();
    EXPECT_EQ(w->Display()->contentSize().height(), 0);
    EXPECT_TRUE(w->m_kakudai()->isEnabled());
}

// The window used to hold the whole result and refused what did not fit in
// memory; it now holds the picture and the ratio, and computes what is in view.
TEST_F(EnlargeCommand, anyRatioIsShownWithoutHoldingTheResult) {
    const QImage source = testkit::Colourful(92, 84, 5);
    auto w = windowWith(source);
    setScale(*w, 32767); // a hand-edited ratio: 301455 x 275241 pixels
    MessageCatcher message;
    w->m_kakudai()->trigger();
    EXPECT_EQ(message.count, 0);
    EXPECT_EQ(w->Display()->contentSize(), QSize(301455, 275241));
    EXPECT_LE(w->Display()->keptTiles(), 32);
    const QRect corner(301450, 275240, 5, 2);
    EXPECT_EQ(w->Display()->content(corner), Reference(source, 3276.7, corner));
    EXPECT_TRUE(w->m_kakudai()->isEnabled());
}

TEST_F(EnlargeCommand, aResultBeyondAnySizeIsRefusedWithAMessage) {
    auto w = windowWith(testkit::Colourful(700000, 1, 5));
    const QImage before = w->Display()->picture();
    setScale(*w, 32767); // 2.3 billion pixels wide
    MessageCatcher message;
    w->m_kakudai()->trigger();
    EXPECT_EQ(message.title, "Vantorel");
    EXPECT_TRUE(message.text.contains("大きすぎて"));
    EXPECT_EQ(w->Display()->picture(), before);
    EXPECT_EQ(w->Display()->ratio(), 0);
    EXPECT_TRUE(w->m_kakudai()->isEnabled());
}

namespace {

enum class Breakdown { EngineRefuses, EngineOutOfMemory };

struct EnlargeFailure {
    const char* name;
    Breakdown breakdown;
    const char* message;
};

class EnlargeFailureTest : public EnlargeCommand,
                           public ::testing::WithParamInterface<EnlargeFailure> {};

} // namespace

// m_kakudai used to ignore the engine's result, and Display then showed memory
// that was never written.
TEST_P(EnlargeFailureTest, showsAMessageAndLeavesDisplayAsItWas) {
    bool broken = false;
    MainWindowHooks services = hooks();
    services.enlarge = [&](const Enlargement& e, const Rect& area, const PixelView& into) {
        if (!broken)
            return e.fill(area, into);
        return GetParam().breakdown == Breakdown::EngineRefuses ? EnlargeStatus::Refused
                                                                : EnlargeStatus::OutOfMemory;
    };
    velmora_m w(services);
    w.show();
    openPicture(w, testkit::Colourful(30, 20, 6));
    setScale(w, 20);
    w.m_kakudai()->trigger();
    const QImage before = Whole(w.Display());
    ASSERT_EQ(before.size(), QSize(59, 39));

    broken = true;
    setScale(w, 30);
    MessageCatcher message;
    w.m_kakudai()->trigger();
    EXPECT_EQ(message.count, 1);
    EXPECT_EQ(message.title, "Vantorel");
    EXPECT_TRUE(message.text.startsWith(QString::fromUtf8(GetParam().message)));
    EXPECT_EQ(Whole(w.Display()), before);
    EXPECT_EQ(Shown(w.Display()), before);
    EXPECT_TRUE(w.m_kakudai()->isEnabled());
    EXPECT_FALSE(w.enlarging());
}

INSTANTIATE_TEST_SUITE_P(
    breakdowns, EnlargeFailureTest,
    ::testing::Values(EnlargeFailure{"engineRefuses", Breakdown::EngineRefuses,
                                     "拡大できませんでした。"},
                      EnlargeFailure{"engineOutOfMemory", Breakdown::EngineOutOfMemory,
                                     "拡大できませんでした。"}),
    [](const ::testing::TestParamInfo<EnlargeFailure>& info) { return info.param.name; });

// --- What Display shows -------------------------------------------------------

using MainWindowView = WindowTest;

TEST_F(MainWindowView, maximisedWindowShowsMoreAndTheNormalWindowKeepsItsDesignSize) {
    const QImage source = testkit::Colourful(300, 200, 9);
    velmora_m w(hooks());
    w.show();
    const QSize design = w.size();
    openPicture(w, source);
    setScale(w, 40);
    w.m_kakudai()->trigger();
    EXPECT_EQ(w.Display()->size(), QSize(503, 323));

    w.resize(design + QSize(200, 100)); // the normal window keeps its size
    QApplication::processEvents();
    EXPECT_EQ(w.size(), design);

    w.showMaximized();
    QTRY_VERIFY(w.isMaximized() && w.centralWidget()->width() > 503);
    EXPECT_EQ(w.Display()->size(), w.Display()->contentSize().boundedTo(w.centralWidget()->size()));
    w.Display()->scrollTo({400, 300});
    ASSERT_TRUE(TilesReady(w.Display()));
    EXPECT_EQ(Shown(w.Display()),
              Reference(source, 4.0, {w.Display()->offset(), w.Display()->size()}));
}

// --- The save command ---------------------------------------------------------

// The picture's keys are the menu's: while the enlargement runs, a key moves
// nothing; once it has finished, the keys move the result.
TEST_F(EnlargeCommand, keysMoveNothingWhileTheEnlargementRunsAndTheResultAfterwards) {
    velmora_m w(hooks());
    w.show();
    openPicture(w, testkit::Colourful(200, 150, 3));
    setScale(w, 30);
    // The key comes with the first paint of Display while the run goes on
    // (the engine itself runs on worker threads, where no key can be sent).
    int pressed = 0;
    PaintRecorder paints;
    paints.onPaint = [&] {
        if (!w.enlarging() || pressed > 0)
            return;
        ++pressed;
        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
        QApplication::sendEvent(w.Display(), &end);
    };
    w.Display()->installEventFilter(&paints);
    w.m_kakudai()->trigger();
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(w.Display()->offset(), QPoint(0, 0));
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(w.Display(), &end);
    EXPECT_EQ(w.Display()->offset(),
              QPoint(599 - w.Display()->width(), 449 - w.Display()->height()));
}

namespace {

class SaveCommand : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        Ini_Write(kSection, kKeyPutPath, QStringLiteral("/start/here"), settingsFile());
    }
    void TearDown() override { platform::setFreeBytesForTest(-1); }

    // A window whose save dialog answers with `answer` (empty: cancel) and
    // keeps the request; a library folder "" is this build's.
    MainWindowHooks saving(const QString& libraryFolder = {}) {
        MainWindowHooks h = hooks();
        h.askSaveName = [this](const gui::SaveFileRequest& r, QString* chosen) {
            request = r;
            *chosen = answer;
            return !answer.isEmpty();
        };
        if (!libraryFolder.isEmpty()) {
            h.libraryFolder = libraryFolder;
            h.librarySystemPath = false;
        }
        return h;
    }
    // Shows `shown` in w, enlarged by scale (0: at 1:1), as a user gets there.
    void show(velmora_m& w, const QImage& shown, std::int16_t scale = 0) {
        openPicture(w, shown, QStringLiteral("source/picture.bmp"));
        if (scale > 0) {
            setScale(w, scale);
            w.m_kakudai_Click();
        }
    }
    // The save menu command, answered with path.
    void save(velmora_m& w, SaveKind kind, const QString& path) {
        answer = path;
        w.m_save_Click(itemOf(kind));
    }
    // The file menu's save item of the kind.
    static int itemOf(SaveKind kind) {
        return kind == SaveKind::Jpeg ? 0 : kind == SaveKind::Bitmap ? 1 : 2;
    }

    QStringList files() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QString answer;
    gui::SaveFileRequest request;
    QImage picture = PhotoLikeImage(61, 47);
};

} // namespace

TEST(GetFolder, keepsTheFolderAndTheRoot) {
    EXPECT_EQ(Get_Folder("/home/user/a.jpg"), "/home/user");
    EXPECT_EQ(Get_Folder("/home/user/画像/b.bmp"), "/home/user/画像");
    EXPECT_EQ(Get_Folder("/a.jpg"), "/");
    EXPECT_EQ(Get_Folder("a.jpg"), "");
}

TEST_F(SaveCommand, dialogRequestDiffersOnlyByKind) {
    const auto fields = [](SaveKind kind) {
        const gui::SaveFileRequest r = velmora_m::saveRequest(nullptr, kind, "/start/here");
        return QStringList{r.title,       r.filterDescription, r.filterPattern,
                           r.initialName, r.defaultExtension,  r.initialDir}
               << (r.overwritePrompt ? "asks before replacing" : "");
    };
    EXPECT_EQ(fields(SaveKind::Jpeg),
              (QStringList{"ﾌｧｲﾙ名を付けて保存", "JPGﾌｧｲﾙ", "*.jpg", "*.jpg", "jpg", "/start/here",
                           "asks before replacing"}));
    EXPECT_EQ(fields(SaveKind::Bitmap),
              (QStringList{"ﾌｧｲﾙ名を付けて保存", "BMPﾌｧｲﾙ", "*.bmp", "*.bmp", "bmp", "/start/here",
                           "asks before replacing"}));
    EXPECT_EQ(fields(SaveKind::Png), (QStringList{"ﾌｧｲﾙ名を付けて保存", "PNGﾌｧｲﾙ", "*.png", "*.png",
                                                  "png", "/start/here", "asks before replacing"}));
}

TEST_F(SaveCommand, cancelChangesNothing) {
    velmora_m w(saving());
    show(w, picture);
    const QString settings = settingsText();
    save(w, SaveKind::Bitmap, QString());
    EXPECT_EQ(request.initialDir, "/start/here");
    EXPECT_EQ(w.session().putDir, "/start/here");
    EXPECT_EQ(settingsText(), settings);
    EXPECT_EQ(files(), QStringList{"velmora.ini"});
}

TEST_F(SaveCommand, bitmapAndPngAreThePicturePixelForPixelAndTheirFolderIsRemembered) {
    for (const auto& [kind, name] :
         {std::pair{SaveKind::Bitmap, "out.bmp"}, std::pair{SaveKind::Png, "sub/out.png"}}) {
        const QString path = dir.filePath(name);
        ASSERT_TRUE(QDir(dir.path()).mkpath(QFileInfo(path).path()));
        velmora_m w(saving());
        show(w, picture);
        save(w, kind, path);
        EXPECT_EQ(w.session().putDir, QFileInfo(path).path());
        EXPECT_EQ(Ini_Read(kSection, kKeyPutPath, settingsFile()), QFileInfo(path).path());
        const QImage back = QImage(path).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(back, picture) << name;
    }
}

TEST_F(SaveCommand, jpegDecodesCloseToThePictureAndLeavesNoTemporaryFile) {
    const QString path = dir.filePath("out.jpg");
    velmora_m w(saving());
    show(w, picture);
    MessageCatcher message;
    save(w, SaveKind::Jpeg, path);
    EXPECT_EQ(message.text, "") << message.text.toStdString();
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage back = reader.read().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(back.size(), picture.size());
    int worst = 0;
    for (int y = 0; y < back.height(); ++y)
        for (int x = 0; x < back.width(); ++x)
            for (const int shift : {0, 8, 16})
                worst = std::max(worst, std::abs(int(back.pixel(x, y) >> shift & 0xFF) -
                                                 int(picture.pixel(x, y) >> shift & 0xFF)));
    EXPECT_LE(worst, 6); // quality 100 without chroma subsampling
    EXPECT_EQ(files(), (QStringList{"out.jpg", "velmora.ini"}));
}

TEST_F(SaveCommand, folderIsRememberedEvenWhenSavingFailsAndTheFailureIsShown) {
    // A folder that cannot be written: its "parent" is a plain file.
    ASSERT_TRUE(WriteTestFile(dir.filePath("plain-file"), {}));
    velmora_m w(saving());
    show(w, picture, 25);
    for (SaveKind kind : {SaveKind::Jpeg, SaveKind::Bitmap, SaveKind::Png}) {
        const QString path =
            dir.filePath("plain-file/out") + QStringList{".jpg", ".bmp", ".png"}[itemOf(kind)];
        MessageCatcher message;
        save(w, kind, path);
        EXPECT_EQ(message.title, "Vantorel");
        EXPECT_TRUE(message.text.startsWith("ﾌｧｲﾙを保存できませんでした。\n" + path + "\n("))
            << message.text.toStdString();
        EXPECT_EQ(w.session().putDir, dir.filePath("plain-file"));
        EXPECT_EQ(Ini_Read(kSection, kKeyPutPath, settingsFile()), dir.filePath("plain-file"));
    }
}

TEST_F(SaveCommand, missingLibraryIsShown) {
    velmora_m w(saving(dir.filePath("no-library-here")));
    show(w, picture);
    MessageCatcher message;
    save(w, SaveKind::Jpeg, dir.filePath("x.jpg"));
    EXPECT_FALSE(QFile::exists(dir.filePath("x.jpg")));
    EXPECT_TRUE(message.text.contains("保存できませんでした"));
    EXPECT_TRUE(message.text.contains("libvelmora.so"));
}

// A refusal is said in its own words under the file's name; the file to be
// replaced keeps its content and nothing else is written.
// A save that the system refuses says why in the program's words: a folder
// that is not there, and where the test may mount file systems, a full disk
// (its free space pretended larger, so that the write itself fails) and a
// read-only one, and for an ordinary user a folder it may not write into.
TEST_F(SaveCommand, aFailedSaveNamesTheSystemsCause) {
    const QString full = dir.filePath("full"), readOnly = dir.filePath("read-only"),
                  locked = dir.filePath("locked");
    ASSERT_TRUE(QDir(dir.path()).mkpath("full") && QDir(dir.path()).mkpath("read-only") &&
                QDir(dir.path()).mkpath("locked"));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const bool ordinaryUser = ::geteuid() != 0; // root writes into any folder
    const bool mounted =
        std::system(qPrintable("mount -t tmpfs -o size=64k tmpfs '" + full + "' 2>/dev/null && " +
                               "mount -t tmpfs -o ro tmpfs '" + readOnly + "' 2>/dev/null")) == 0;
    const struct {
        QString folder;
        const char* cause;
        bool possible;
    } cases[] = {
        {dir.filePath("gone"), "保存先のﾌｫﾙﾀﾞがありません。", true},
        {full, "ﾃﾞｨｽｸの空き容量が足りません。", mounted},
        {readOnly, "保存先は読み取り専用のﾌｧｲﾙｼｽﾃﾑです。", mounted},
        {locked, "保存先に書き込む権限がありません。", ordinaryUser},
    };
    velmora_m w(saving());
    show(w, testkit::Colourful(300, 200), 25);
    platform::setFreeBytesForTest(1LL << 40);
    for (const auto& c : cases) {
        if (!c.possible)
            continue;
        for (SaveKind kind : {SaveKind::Jpeg, SaveKind::Bitmap, SaveKind::Png}) {
            MessageCatcher message;
            save(w, kind, c.folder + "/out.x");
            EXPECT_EQ(message.title, "Vantorel");
            EXPECT_TRUE(message.text.endsWith("\n(" + QString::fromUtf8(c.cause) + ")"))
                << message.text.toStdString();
        }
    }
    platform::setFreeBytesForTest(-1);
    if (mounted)
        std::system(qPrintable("umount '" + full + "' '" + readOnly + "'"));
}

TEST_F(SaveCommand, refusalsAreShownWithTheirReasonAndWriteNothing) {
    QImage wide(6600, 1, QImage::Format_RGB32);
    wide.fill(Qt::white);
    const struct {
        const char* name;
        SaveKind kind;
        const QImage& shown;
        std::int16_t scale;
        long long freeBytes;
        const char* reason;
    } cases[] = {
        {"keep.bmp", SaveKind::Bitmap, picture, 0, 100, "空き容量が足りません"},
        {"keep.jpg", SaveKind::Jpeg, picture, 25, 100, "空き容量が足りません"},
        {"keep.png", SaveKind::Png, picture, 25, 100, "空き容量が足りません"},
        {"wide.jpg", SaveKind::Jpeg, wide, 100, -1,
         "JPEG は一辺 65500 ﾋﾟｸｾﾙまでです。PNG ﾌｧｲﾙなら保存できます。"},
    };
    for (const auto& c : cases) {
        velmora_m w(saving());
        show(w, c.shown, c.scale);
        const QString path = dir.filePath(c.name);
        ASSERT_TRUE(WriteTestFile(path, "precious"));
        platform::setFreeBytesForTest(c.freeBytes);
        MessageCatcher message;
        save(w, c.kind, path);
        platform::setFreeBytesForTest(-1);
        EXPECT_EQ(message.title, "Vantorel");
        EXPECT_TRUE(message.text.startsWith("ﾌｧｲﾙを保存できませんでした。\n" + path + "\n"));
        EXPECT_TRUE(message.text.contains(QString::fromUtf8(c.reason)))
            << message.text.toStdString();
        EXPECT_EQ(ReadTestFile(path), "precious");
        QStringList expected{c.name, "velmora.ini"};
        expected.sort();
        EXPECT_EQ(files(), expected);
        QFile::remove(path);
    }
}

// The opened file is never the destination of a save, in any format: the
// message says so and the picture stays.
TEST_F(SaveCommand, theOpenedFileIsRefusedAsTheDestinationOfEverySave) {
    velmora_m w(saving());
    openPicture(w, picture, QStringLiteral("own.bmp"));
    const QString own = dir.filePath("own.bmp");
    const QByteArray before = ReadTestFile(own);
    for (SaveKind kind : {SaveKind::Jpeg, SaveKind::Bitmap, SaveKind::Png}) {
        MessageCatcher message;
        save(w, kind, own);
        EXPECT_EQ(message.title, "Vantorel");
        EXPECT_EQ(message.text,
                  "ﾌｧｲﾙを保存できませんでした。\n" + own +
                      "\n保存先は元の画像ﾌｧｲﾙそのものです。別の名前を付けてください。");
        EXPECT_EQ(ReadTestFile(own), before);
    }
    EXPECT_EQ(files(), (QStringList{"own.bmp", "velmora.ini"}));
}

TEST_F(SaveCommand, aSaveWhoseThreadCannotStartIsShownAndWritesNothing) {
    velmora_m w(saving());
    show(w, picture);
    gui::failThreadStartsForTest(true);
    MessageCatcher message;
    save(w, SaveKind::Bitmap, dir.filePath("x.bmp"));
    gui::failThreadStartsForTest(false);
    EXPECT_TRUE(message.text.contains("保存できませんでした"));
    EXPECT_EQ(files(), QStringList{"velmora.ini"});
}

// A save of a large result shows its progress; cancelled, it leaves the file
// it was to replace as it was, no temporary file and no message.
TEST_F(SaveCommand, aCancelledSaveKeepsTheOldFileAndLeavesNothingBehind) {
    MainWindowHooks h = saving();
    h.saveProgressDelayMs = 0;
    velmora_m w(h);
    show(w, PhotoLikeImage(1500, 1000), 100); // 14999 x 9999
    QStringList expected{"velmora.ini"};
    for (const SaveKind kind : {SaveKind::Jpeg, SaveKind::Bitmap, SaveKind::Png}) {
        const QString path =
            dir.filePath(QStringList{"keep.jpg", "keep.bmp", "keep.png"}[itemOf(kind)]);
        ASSERT_TRUE(WriteTestFile(path, "precious"));
        bool cancelled = false;
        WhenModal([&](QWidget* modal) {
            auto* progress = qobject_cast<QProgressDialog*>(modal);
            ASSERT_NE(progress, nullptr);
            EXPECT_EQ(progress->labelText(), "ﾌｧｲﾙを保存しています。\n" + path);
            progress->cancel();
            cancelled = true;
        });
        MessageCatcher message;
        save(w, kind, path);
        EXPECT_TRUE(cancelled);
        EXPECT_EQ(message.count, 0) << message.text.toStdString();
        EXPECT_EQ(ReadTestFile(path), "precious");
        expected << QFileInfo(path).fileName();
        expected.sort();
        EXPECT_EQ(files(), expected);
    }
}

// What a save keeps of the source's metadata, and why a destination is refused.

namespace {

const QByteArray kXmp("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>", 42);
const QByteArray kIptc("Photoshop 3.0\0008BIM\x04\x04\0\0", 22);

// The file holds the profile byte for byte (the reader joins only chunks
// numbered and counted as they should be), the EXIF upright with the file's
// own size, and the XMP and IPTC as they were.
void expectKept(const QString& path, const QByteArray& profile) {
    const imageio::ImageReader reader(gui::pathBytes(path));
    EXPECT_TRUE(reader.iccProfile() == profile.toStdString());
    EXPECT_EQ(imageio::exifOrientation(reader.exif()), 1);
    EXPECT_EQ(testkit::ExifTag(reader.exif(), 0xA002).first, quint32(reader.size().width()));
    EXPECT_EQ(testkit::ExifTag(reader.exif(), 0xA003).first, quint32(reader.size().height()));
    EXPECT_EQ(reader.metadata().xmp, kXmp.toStdString());
    EXPECT_EQ(reader.metadata().iptc, std::vector<std::string>{kIptc.toStdString()});
}

} // namespace

using KeptMetadata = SaveCommand;

// The window keeps the metadata of the picture it opened, replaces it with the
// next one's and drops it for a bitmap; a small profile takes one chunk, one
// over 64 KB several. A PNG keeps the profile, the EXIF and the XMP.
TEST_F(KeptMetadata, mainWindowSavesTheOpenedPicturesMetadata) {
    const QImage colourful = testkit::Colourful(40, 30);
    const QByteArray jpeg = testkit::EncodeJpeg(colourful, testkit::JpegKind::Baseline444);
    const std::pair<const char*, QByteArray> files[] = {
        {"small.jpg", testkit::IccProfile("RGB ", 3000)},
        {"large.jpg", testkit::IccProfile("RGB ", 200000)},
        {"plain.bmp", {}}};
    for (const auto& [name, profile] : files) {
        using testkit::WithSegment;
        const QByteArray withMetadata = WithSegment(
            WithSegment(WithSegment(testkit::WithIccProfile(jpeg, profile, 60000), 0xED, kIptc),
                        0xE1, kXmp),
            0xE1, QByteArray::fromStdString(testkit::CameraExif(true, testkit::kLong)));
        ASSERT_TRUE(profile.isEmpty() ? colourful.save(dir.filePath(name), "BMP")
                                      : WriteTestFile(dir.filePath(name), withMetadata));
    }
    velmora_m window(saving());
    for (const auto& [name, profile] : files) {
        ASSERT_TRUE(window.openImage(dir.filePath(name)));
        window.m_kakudai_Click();
        save(window, SaveKind::Png, dir.filePath(name) + ".png");
        EXPECT_EQ(testkit::PngChunkTypes(ReadTestFile(answer)),
                  profile.isEmpty() ? "IHDR IDAT IEND" : "IHDR iCCP eXIf iTXt IDAT IEND");
        save(window, SaveKind::Jpeg, dir.filePath(name) + ".jpg");
        if (!profile.isEmpty())
            expectKept(answer, profile);
    }
    const imageio::ImageReader plain(gui::pathBytes(answer));
    EXPECT_TRUE(plain.exif().empty() && plain.iccProfile().empty());
    EXPECT_TRUE(plain.metadata().xmp.empty() && plain.metadata().iptc.empty());
}

using ProgramSave = SaveCommand;

// The program names the file and why, in its own words, and writes nothing.
TEST_F(ProgramSave, saysWhyADestinationIsRefused) {
    ASSERT_EQ(std::system(qPrintable("cd '" + dir.path() + "' && mkfifo f.jpg && mkdir d.bmp")), 0);
    const std::pair<const char*, const char*> cases[] = {
        {"f.jpg", "保存先は FIFO (名前付きﾊﾟｲﾌﾟ) で、通常のﾌｧｲﾙではありません。"},
        {"d.bmp", "保存先はﾌｫﾙﾀﾞで、通常のﾌｧｲﾙではありません。"}};
    // The picture comes from another folder: this one holds what the save leaves.
    QTemporaryDir sources;
    ASSERT_TRUE(PhotoLikeImage(20, 10).save(sources.filePath("picture.bmp"), "BMP"));
    velmora_m w(saving());
    ASSERT_TRUE(w.openImage(sources.filePath("picture.bmp")));
    setScale(w, 20);
    w.m_kakudai_Click();
    for (const auto& [name, reason] : cases) {
        MessageCatcher message;
        save(w, SaveKind::Jpeg, dir.filePath(name));
        QTRY_COMPARE(message.text, "ﾌｧｲﾙを保存できませんでした。\n" + dir.filePath(name) + "\n" +
                                       QString::fromUtf8(reason));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
              (QStringList{"d.bmp", "f.jpg", "velmora.ini"}));
}

namespace {

// The window's state, reached by steps: "o" opens a photo, "t" a picture 10 x 1;
// "eN" enlarges at ratio N, "fN" tries to and fails.
struct WindowCase {
    const char* name;
    const char* steps;
    double ratio; // the recipe's
    bool master;  // the recipe's source is Master's picture (or else Display's)
};

class WindowSave : public SaveCommand, public ::testing::WithParamInterface<WindowCase> {};

} // namespace

// The recipe is the window's picture and the ratio that Display shows it at:
// the file made from it is the file of Display's whole picture, as the window
// saved it before.
TEST_P(WindowSave, savesThePictureDisplayShowsFromItsRecipe) {
    ASSERT_TRUE(picture.save(dir.filePath("o"), "BMP"));
    ASSERT_TRUE(PhotoLikeImage(10, 1).save(dir.filePath("t"), "BMP"));
    bool failing = false;
    MainWindowHooks hooks = saving();
    hooks.enlarge = [&](const Enlargement& e, const Rect& area, const PixelView& into) {
        return failing ? EnlargeStatus::Refused : e.fill(area, into);
    };
    velmora_m w(hooks);
    w.show();
    for (const QString& step : QString(GetParam().steps).split(' ', Qt::SkipEmptyParts)) {
        if (step.size() == 1) {
            ASSERT_TRUE(w.openImage(dir.filePath(step)));
            continue;
        }
        failing = step.startsWith('f');
        setScale(w, step.mid(1).toShort());
        MessageCatcher message;
        w.m_kakudai()->trigger();
    }
    const QImage shown = Whole(w.Display());
    const Recipe recipe = w.saveRecipe();
    EXPECT_EQ(recipe.ratio, GetParam().ratio);
    EXPECT_EQ(gui::imageOfPicture(recipe.source), GetParam().master ? w.Master() : shown);
    for (const SaveKind kind : {SaveKind::Jpeg, SaveKind::Bitmap, SaveKind::Png}) {
        const QString ours = dir.filePath(QStringLiteral("ours%1").arg(itemOf(kind)));
        const QString todays = dir.filePath("todays");
        const bool empty = recipeSize(recipe).isEmpty();
        MessageCatcher message;
        w.m_save(itemOf(kind))->trigger();
        // The menu item's own dialog: the kind's pattern is offered.
        EXPECT_EQ(request.filterPattern, QStringList({"*.jpg", "*.bmp", "*.png"})[itemOf(kind)]);
        save(w, kind, ours);
        if (empty && kind != SaveKind::Bitmap) {
            EXPECT_TRUE(message.text.contains(kind == SaveKind::Jpeg ? "JPEG ﾌｧｲﾙにできません"
                                                                     : "PNG ﾌｧｲﾙにできません"))
                << message.text.toStdString();
            EXPECT_FALSE(QFile::exists(ours));
            continue;
        }
        EXPECT_EQ(message.count, 0) << message.text.toStdString();
        // A PNG holds the pixels themselves; the others are the files the
        // window wrote of the whole picture before.
        if (kind == SaveKind::Png) {
            EXPECT_EQ(QImage(ours, "PNG").convertToFormat(QImage::Format_RGB32), shown);
            continue;
        }
        if (kind == SaveKind::Bitmap)
            ASSERT_TRUE(imageio::writeBitmap(gui::pictureOfImage(shown), gui::pathBytes(todays)));
        else
            ASSERT_TRUE(WriteJpegOfPicture(shown, todays));
        EXPECT_TRUE(ReadTestFile(ours) == ReadTestFile(todays)) << int(kind);
    }
}

INSTANTIATE_TEST_SUITE_P(
    states, WindowSave,
    ::testing::Values(WindowCase{"beforeAnyPicture", "", 0, false},
                      WindowCase{"enlargedBeforeAnyPicture", "e12", 1.2, true},
                      WindowCase{"opened", "o", 0, true},
                      WindowCase{"enlarged", "o e25", 2.5, true},
                      WindowCase{"afterAFailedEnlargement", "o e25 f30", 2.5, true},
                      WindowCase{"openedAgainAfterAnEnlargement", "o e25 o", 0, true},
                      WindowCase{"enlargedToNoPixels", "t e11", 1.1, true}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Through the real dialogs -------------------------------------------------

namespace {

class MainWindowDialogsTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        Ini_Write(kSection, kKeyGetPath, dir.path(), settingsFile());
    }
    // The real dialogs, and the test's settings file.
    MainWindowHooks hooks() const {
        MainWindowHooks h;
        h.settingsFile = settingsFile();
        return h;
    }
};

} // namespace

TEST_F(MainWindowDialogsTest, openShowsTheFileChosenInTheImageDialog) {
    writeImage(QStringLiteral("photo.jpg"), 640, 480, QColor(200, 100, 50));
    velmora_m window(hooks());
    window.show();
    bool driven = false;
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<velmora_v*>(modal);
        ASSERT_NE(dialog, nullptr);
        driven = true;
        ASSERT_TRUE(ClickItem(dialog->File1(), QStringLiteral("photo.jpg")));
        ClickButton(dialog->Cmd_Sel());
    });
    window.m_open_Click();
    EXPECT_TRUE(driven);
    EXPECT_EQ(window.session().file, path(QStringLiteral("photo.jpg")));
    EXPECT_TRUE(window.Display()->isVisible());
    EXPECT_EQ(window.Display()->contentSize(), QSize(640, 480));
    EXPECT_EQ(window.Master().size(), QSize(640, 480));
    // JPEG colours come back close to what was written.
    const QColor shown = QColor::fromRgb(window.Display()->picture().pixel(320, 240));
    EXPECT_NEAR(shown.red(), 200, 6);
    EXPECT_NEAR(shown.green(), 100, 6);
    EXPECT_NEAR(shown.blue(), 50, 6);
    EXPECT_EQ(Ini_Read(kSection, kKeyGetPath, settingsFile()), dir.path());
}

TEST_F(MainWindowDialogsTest, openCancelledAfterAPreviewKeepsThePictureShown) {
    writeImage(QStringLiteral("first.bmp"), 30, 20);
    writeImage(QStringLiteral("second.bmp"), 50, 40);
    velmora_m window(hooks());
    window.show();
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<velmora_v*>(modal);
        ASSERT_TRUE(ClickItem(dialog->File1(), QStringLiteral("first.bmp")));
        ClickButton(dialog->Cmd_Sel());
    });
    window.m_open_Click();
    ASSERT_EQ(window.Display()->size(), QSize(30, 20));
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<velmora_v*>(modal);
        ASSERT_TRUE(ClickItem(dialog->File1(), QStringLiteral("second.bmp")));
        ClickButton(dialog->Cmd_Can());
    });
    window.m_open_Click();
    EXPECT_EQ(window.session().file, path(QStringLiteral("first.bmp")));
    // The folder is remembered however the dialog closed.
    EXPECT_EQ(Ini_Read(kSection, kKeyGetPath, settingsFile()), dir.path());
    EXPECT_EQ(window.Display()->size(), QSize(30, 20));
    EXPECT_EQ(window.Master().size(), QSize(30, 20));
}

TEST_F(MainWindowDialogsTest, ratioCancelKeepsTheTitleAndSetChangesIt) {
    velmora_m window(hooks());
    window.show();
    const QString before = window.windowTitle();
    ASSERT_EQ(before, velmora_m::titleText(12));
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<velmora_s*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->VS_Ritu()->setValue(45);
        ClickButton(dialog->Cmd_Can());
    });
    window.m_ritu_Click();
    EXPECT_EQ(window.windowTitle(), before);
    EXPECT_EQ(window.session().scale, 12);

    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<velmora_s*>(modal);
        dialog->VS_Ritu()->setValue(45);
        ClickButton(dialog->Cmd_Set());
    });
    window.m_ritu_Click();
    EXPECT_EQ(window.windowTitle(), velmora_m::titleText(45));
    EXPECT_EQ(Ini_Read(kSection, kKeyScale, settingsFile()), QStringLiteral("45"));
}
