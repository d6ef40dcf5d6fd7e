#include "app/velmora_m.h"
#include "gui/backgroundwork.h"
#include "gui/colourvalue.h"
#include "gui/surface.h"
#include "gui/translation.h"
#include "settings/settings.h"
#include "tests/app/window_fixture.h"
#include "tests/support/badimages.h"
#include "tests/support/fakememory.h"
#include "tests/support/fifowatch.h"
#include "tests/support/messagecatcher.h"
#include "tests/support/support.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <QWindow>
#include <gtest/gtest.h>

#include <cstdio>

#include <unistd.h>

using namespace velmora;

namespace {

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
    EXPECT_EQ(captions(file->actions()), (QStringList{"画像ﾌｧｲﾙを開く", "名前を付けて保存 (JPG)",
                                                      "名前を付けて保存 (BMP)", "-", "終了"}));
    // Open, save as JPEG and quit have the shortcuts users expect.
    const std::pair<QAction*, QKeySequence> items[] = {{w.m_file(), {}},
                                                       {w.m_open(), QKeySequence("Ctrl+O")},
                                                       {w.m_save(0), QKeySequence("Ctrl+S")},
                                                       {w.m_save(1), {}},
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
    testkit::MessageCatcher message;
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
    testkit::MessageCatcher message;
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

// Qt's own buttons were English in a program whose every other word is Japanese.
TEST(QtTranslation, messageBoxButtonsSpeakJapanese) {
    QTranslator* japanese = gui::installQtTranslation();
    ASSERT_NE(japanese, nullptr) << "qtbase_ja is missing: install qt6-translations-l10n";
    QMessageBox box(QMessageBox::Warning, "Vantorel", "x",
                    QMessageBox::Retry | QMessageBox::Cancel);
    const QString retry = box.button(QMessageBox::Retry)->text();
    const QString cancel = box.button(QMessageBox::Cancel)->text();
    QCoreApplication::removeTranslator(japanese);
    delete japanese;
    EXPECT_EQ(retry, "再試行");
    EXPECT_EQ(cancel, "キャンセル");
}

namespace {

struct OpenRefusal {
    const char* name;
    QByteArray file;      // empty: chosen, then deleted before opening
    long long memoryLeft; // 0: the real figure
    bool noThreads;
    const char* message; // how the message box's text starts
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
    const QString good = dir.filePath("good.bmp");
    ASSERT_TRUE(image.save(good, "BMP"));
    velmora_m w(hooks());
    w.show();
    ASSERT_TRUE(w.openImage(good));
    QFile bad(dir.filePath("chosen.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(GetParam().file);
    bad.close();
    if (GetParam().file.isEmpty())
        bad.remove();
    if (GetParam().memoryLeft > 0)
        testkit::PretendMemoryLeft(dir.filePath("memory"), GetParam().memoryLeft);
    gui::failThreadStartsForTest(GetParam().noThreads);
    testkit::MessageCatcher message;
    EXPECT_FALSE(w.openImage(bad.fileName()));
    EXPECT_EQ(message.count, 1);
    EXPECT_EQ(message.title, "Vantorel");
    EXPECT_TRUE(message.text.startsWith(QString::fromUtf8(GetParam().message)));
    EXPECT_EQ(w.Display()->picture(), image);
    EXPECT_EQ(w.Display()->ratio(), 0);
    EXPECT_EQ(w.Master(), image);
    EXPECT_TRUE(w.Display()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Troubles, OpenRefusalTest,
    ::testing::Values(OpenRefusal{"undecodable", "not a picture", 0, false, kUnreadable},
                      // 17 GB decoded, in an 8 GB control group.
                      OpenRefusal{"lyingJpegHeader", testkit::LyingJpeg(65000, 65000), 8LL << 30,
                                  false, kTooLarge},
                      OpenRefusal{"lyingBitmapHeader", testkit::LyingBitmap(60000, 60000), 0, false,
                                  kUnreadable},
                      OpenRefusal{"deletedAfterChoosing", {}, 0, false, kUnreadable},
                      OpenRefusal{"controlGroupNearlyFull", testkit::GreyFile(300, "JPG"), 100000,
                                  false, kTooLarge},
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
        testkit::MessageCatcher message;
        EXPECT_FALSE(w.openImage(path));
        EXPECT_EQ(message.count, 1);
        EXPECT_TRUE(message.text.startsWith(QString::fromUtf8(kUnreadable))) << path.toStdString();
    }
    EXPECT_FALSE(w.Display()->isVisible());
    EXPECT_FALSE(fifo.someoneWaited());
}
