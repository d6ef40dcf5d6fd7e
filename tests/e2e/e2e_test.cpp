// The whole typical use of the program as shipped: the real build/bin/velmora on
// a virtual display of its own, driven with real pointer and key events from
// outside the process, its settings file in a temporary copy of its folder.
#include "xsession.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

using e2e::waitFor;
using e2e::XSession;

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

// Places inside the windows, in pixels from their top-left corner (the layouts
// give twips, 15 to a pixel).
const QPoint kMenuFile(22, 9), kMenuRatio(88, 9), kMenuEnlarge(193, 9);
const QRect kDir1(16, 40, 163, 201), kFile1(184, 40, 181, 201);
const QRect kPicK(372, 40, 100, 100), kLblSize(372, 16, 101, 13);
const QRect kSelSelect(388, 212, 81, 25), kSelCancel(388, 184, 81, 25);
// The background of selected text in Qt's own widgets.
constexpr QRgb kSelection = qRgb(48, 140, 198);
const QRect kRatioBar(32, 24, 73, 153), kRatioSet(160, 148, 61, 25), kRatioCancel(160, 120, 61, 25);

QString bin() {
    return QStringLiteral(VELMORA_TEST_BIN);
}

// A picture with smooth gradients and sharp edges, so that any blending or
// shifting shows.
QImage testPicture() {
    QImage image(160, 120, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 255 / 159, y * 2, ((x / 8) ^ (y / 8)) & 1 ? 230 : 20));
    return image;
}

// Screenshots of the steps are kept in the folder VELMORA_E2E_SHOTS names, when
// it is set (tools/screenshots.sh uses them for the README).
void keep(const QImage& screen, const QString& name) {
    const QString folder = QString::fromLocal8Bit(qgetenv("VELMORA_E2E_SHOTS"));
    if (!folder.isEmpty())
        screen.save(folder + "/" + name);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Whether two images show the same pixels; the first difference goes to `why`.
bool samePixels(const QImage& a, const QImage& b, std::string* why = nullptr) {
    if (a.size() != b.size()) {
        if (why)
            *why = "sizes differ";
        return false;
    }
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF)) {
                if (why)
                    *why = QStringLiteral("first difference at %1,%2: %3 against %4")
                               .arg(x)
                               .arg(y)
                               .arg(a.pixel(x, y), 0, 16)
                               .arg(b.pixel(x, y), 0, 16)
                               .toStdString();
                return false;
            }
    return true;
}

// How many pixels have the colour.
int pixelsOf(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

// How many pixels are dark enough to be text.
int darkPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qGray(image.pixel(x, y)) < 100;
    return n;
}

int maxChannelError(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

class TypicalUse : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        x = std::make_unique<XSession>(kScreenWidth, kScreenHeight);
        root = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(x->ok()) << "Xvfb did not start";
        // A copy of the program's folder, so its settings file is the test's own.
        QDir(root->path()).mkpath("app");
        QDir(root->path()).mkpath("images");
        QDir(root->path()).mkpath("out");
        for (const char* name : {"velmora", "libvelmora.so.1"})
            ASSERT_TRUE(QFile::copy(bin() + "/" + name, root->filePath(QString("app/") + name)));
        QFile::setPermissions(root->filePath("app/velmora"),
                              QFile::permissions(bin() + "/velmora"));
        ASSERT_TRUE(testPicture().save(root->filePath("images/picture.bmp"), "BMP"));
        // The image dialog opens one folder above the pictures; the test walks in.
        QFile ini(root->filePath("app/velmora.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(("[Section]\nGet_Path=" + root->path() + "\n").toUtf8());
    }
    static void TearDownTestSuite() {
        stopProgram();
        root.reset();
        x.reset();
    }

    static void startProgram(const QStringList& arguments = {}) {
        program = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", x->display());
        env.remove("QT_QPA_PLATFORM");
        program->setProcessEnvironment(env);
        program->setWorkingDirectory(root->path());
        program->setProcessChannelMode(QProcess::ForwardedChannels);
        program->start(root->filePath("app/velmora"), arguments);
        ASSERT_TRUE(program->waitForStarted(10000));
        main = x->waitForWindow("^velmora");
        ASSERT_FALSE(main.isEmpty()) << "the main window did not appear";
        mainRect = x->geometry(main);
    }
    static void stopProgram() {
        if (program && program->state() != QProcess::NotRunning) {
            program->kill();
            program->waitForFinished();
        }
        program.reset();
    }

    // Gives the window the keyboard (there is no window manager to do it).
    static void focus(const QString& window) {
        x->xdotool({"windowfocus", window});
        waitFor([&] { return x->xdotool({"getwindowfocus"}) == window; }, 3000);
    }

    static QPoint at(const QRect& window, const QPoint& p) { return window.topLeft() + p; }
    static void clickAt(const QPoint& p) { x->click(p.x(), p.y()); }
    static void clickCentre(const QRect& window, const QRect& control) {
        clickAt(window.topLeft() + control.center());
    }

    // Opens the file menu and picks its n-th item with the keyboard, once the
    // menu is on the screen to take the keys.
    static void fileMenu(int n) {
        const QStringList before = x->windows();
        clickAt(at(mainRect, kMenuFile));
        ASSERT_FALSE(x->waitForNewWindow(before).isEmpty()) << "the file menu did not open";
        for (int i = 0; i < n; ++i)
            x->key("Down");
        x->key("Return");
    }

    // Opens the save dialog of the n-th file menu item and, unless name is
    // empty, types name into its name box and presses Return. "" when no dialog.
    static QString saveDialog(int n, const QString& name = {}) {
        fileMenu(n);
        const QString dialog = x->waitForWindow("^ﾌｧｲﾙ名を付けて保存$");
        if (dialog.isEmpty())
            return dialog;
        focus(dialog);
        if (!name.isEmpty()) {
            x->key("ctrl+a");
            x->type(name);
            x->key("Return");
        }
        return dialog;
    }

    // Where the main window's client area starts on the screen: the first row
    // below the menu bar that shows the opened picture's first row.
    static QPoint clientOrigin(const QImage& screen, const QImage& picture) {
        for (int y = mainRect.top(); y < mainRect.top() + 60; ++y) {
            bool same = true;
            for (int i = 0; i < picture.width() && same; ++i)
                same = screen.pixel(mainRect.left() + i, y) == picture.pixel(i, 0);
            if (same)
                return QPoint(mainRect.left(), y);
        }
        return QPoint(-1, -1);
    }

    static QString settings() {
        return QString::fromUtf8(readFile(root->filePath("app/velmora.ini")));
    }

    static inline std::unique_ptr<XSession> x;
    static inline std::unique_ptr<QTemporaryDir> root;
    static inline std::unique_ptr<QProcess> program;
    static inline QString main;
    static inline QRect mainRect;
    static inline QPoint origin;
};

} // namespace

TEST_F(TypicalUse, step1OpensAnImageThroughTheImageDialog) {
    startProgram();
    EXPECT_EQ(x->title(main), "velmora  拡大率 1.2倍");

    fileMenu(1); // 画像ﾌｧｲﾙを開く
    const QString dialog = x->waitForWindow("^画像の選択$");
    ASSERT_FALSE(dialog.isEmpty());
    const QRect d = x->geometry(dialog);
    // Placed by its outer size of 7410 x 4380 twips (494 x 292 pixels): centred
    // across the screen with a third of the free height above it.
    EXPECT_EQ(d.topLeft(), QPoint((kScreenWidth - 494) / 2, (kScreenHeight - 292) / 3));

    // Into the folder of pictures, a subfolder of the one shown: the folder list
    // highlights the current folder, below it come its subfolders in order
    // ("app", "images", "out"). A double click opens one.
    const QImage list = x->screenshot().copy(QRect(d.topLeft() + kDir1.topLeft(), kDir1.size()));
    int top = -1, bottom = -1;
    for (int y = 0; y < list.height(); ++y) {
        const QRgb p = list.pixel(60, y);
        if (qBlue(p) > qRed(p) + 80) { // the highlight band
            if (top < 0)
                top = y;
            bottom = y;
        }
    }
    ASSERT_GE(top, 0) << "no current folder in the folder list";
    const int rowHeight = bottom - top + 1;
    x->click(d.left() + kDir1.left() + 60,
             d.top() + kDir1.top() + top + 2 * rowHeight + rowHeight / 2, 1, 2);
    // The file list, empty in the folder above, shows the folder's one picture.
    const QRect firstFile(d.topLeft() + kFile1.topLeft(), QSize(kFile1.width(), 15));
    ASSERT_TRUE(waitFor([&] { return darkPixels(x->screenshot().copy(firstFile)) > 20; }))
        << "the folder of pictures did not open";
    clickAt(d.topLeft() + kFile1.topLeft() + QPoint(30, 7)); // the only file

    // The preview: 160 x 120 fitted into 100 x 75, whole pixels, never blended.
    const QImage picture = testPicture();
    QSet<QRgb> pictureColours;
    for (int y = 0; y < picture.height(); ++y)
        for (int i = 0; i < picture.width(); ++i)
            pictureColours.insert(picture.pixel(i, y));
    QImage screen;
    ASSERT_TRUE(waitFor([&] {
        screen = x->screenshot();
        return screen.pixel(d.topLeft() + kPicK.topLeft()) == picture.pixel(0, 0);
    })) << "no preview";
    const QImage preview = screen.copy(QRect(d.topLeft() + kPicK.topLeft(), QSize(100, 75)));
    for (int y = 0; y < preview.height(); ++y)
        for (int i = 0; i < preview.width(); ++i)
            ASSERT_TRUE(pictureColours.contains(preview.pixel(i, y))) << i << "," << y;
    // The size text is there: dark pixels in the label.
    EXPECT_GT(darkPixels(screen.copy(QRect(d.topLeft() + kLblSize.topLeft(), kLblSize.size()))),
              20);
    keep(screen.copy(d), "image-dialog.png");

    clickCentre(d, kSelSelect); // 選択
    ASSERT_TRUE(x->waitUntilGone(dialog));

    // The picture at 1:1 in the window's top-left corner.
    ASSERT_TRUE(waitFor([&] {
        screen = x->screenshot();
        origin = clientOrigin(screen, picture);
        return origin.x() >= 0;
    })) << "the picture is not at the top-left corner";
    std::string why;
    EXPECT_TRUE(samePixels(screen.copy(QRect(origin, picture.size())), picture, &why)) << why;
}

TEST_F(TypicalUse, step2SetsTheRatioAndCancelsOnce) {
    ASSERT_TRUE(program);
    clickAt(at(mainRect, kMenuRatio));
    QString dialog = x->waitForWindow("^拡大率の指定$");
    ASSERT_FALSE(dialog.isEmpty());
    QRect d = x->geometry(dialog);
    // Moving the bar and cancelling changes nothing.
    x->click(d.left() + kRatioBar.center().x(), d.top() + kRatioBar.bottom() - 3, 1, 5);
    clickCentre(d, kRatioCancel);
    ASSERT_TRUE(x->waitUntilGone(dialog));
    EXPECT_EQ(x->title(main), "velmora  拡大率 1.2倍");
    EXPECT_FALSE(settings().contains("Scale"));

    clickAt(at(mainRect, kMenuRatio));
    dialog = x->waitForWindow("^拡大率の指定$");
    ASSERT_FALSE(dialog.isEmpty());
    d = x->geometry(dialog);
    // Thirteen steps down the bar: 1.2 to 2.5.
    x->click(d.left() + kRatioBar.center().x(), d.top() + kRatioBar.bottom() - 3, 1, 13);
    keep(x->screenshot().copy(d), "ratio-dialog.png");
    clickCentre(d, kRatioSet); // 設定
    ASSERT_TRUE(x->waitUntilGone(dialog));
    EXPECT_TRUE(waitFor([&] { return x->title(main) == "velmora  拡大率 2.5倍"; }))
        << x->title(main).toStdString();
    EXPECT_TRUE(settings().contains("Scale= 25\n"));
}

TEST_F(TypicalUse, step3EnlargesAndTheMenuIsUsableAfterwards) {
    ASSERT_TRUE(program);
    ASSERT_GE(origin.x(), 0);
    // What the batch tool makes of the same picture at the same ratio.
    const QString expectedPath = root->filePath("expected.bmp");
    QProcess tool;
    tool.start(bin() + "/velmora-enlarge",
               {"--ratio", "2.5", root->filePath("images/picture.bmp"), expectedPath});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0);
    const QImage expected = QImage(expectedPath).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(expected.size(), QSize(399, 299));

    clickAt(at(mainRect, kMenuEnlarge));
    QImage screen;
    EXPECT_TRUE(waitFor([&] {
        screen = x->screenshot();
        return samePixels(screen.copy(QRect(origin, expected.size())), expected);
    })) << "the enlarged picture is not shown";
    keep(screen.copy(mainRect), "main-window.png");

    // The menu works again: the ratio dialog opens, and closes with cancel.
    clickAt(at(mainRect, kMenuRatio));
    const QString dialog = x->waitForWindow("^拡大率の指定$");
    ASSERT_FALSE(dialog.isEmpty());
    clickCentre(x->geometry(dialog), kRatioCancel);
    ASSERT_TRUE(x->waitUntilGone(dialog));
    EXPECT_EQ(x->title(main), "velmora  拡大率 2.5倍");
}

TEST_F(TypicalUse, step4SavesAsBitmapJpegAndPngAndCancelsOnce) {
    ASSERT_TRUE(program);
    const QImage expected =
        QImage(root->filePath("expected.bmp")).convertToFormat(QImage::Format_RGB32);
    const QString out = root->filePath("out");

    // Return on the name box's "*.bmp" writes nothing and the dialog stays;
    // then cancelled: nothing written, no folder remembered.
    QString dialog = saveDialog(3); // 名前を付けて保存 (BMP)
    ASSERT_FALSE(dialog.isEmpty());
    // Drawn with its folder listed and the name box's pattern selected: the
    // same picture twice running, with the selection in it.
    const QRect box = x->geometry(dialog);
    QImage shown;
    EXPECT_TRUE(waitFor([&] {
        const QImage now = x->screenshot().copy(box);
        const bool settled = now == shown && pixelsOf(now, kSelection) > 0;
        shown = now;
        return settled;
    })) << "the save dialog was not drawn";
    keep(shown, "save-dialog.png");
    // End after the Return takes the selection away: once that shows, the
    // dialog has handled the Return.
    x->key("Return");
    x->key("End");
    EXPECT_TRUE(waitFor([&] { return pixelsOf(x->screenshot().copy(box), kSelection) == 0; }));
    EXPECT_FALSE(x->waitUntilGone(dialog, 0)) << "the dialog closed on a wildcard name";
    EXPECT_TRUE(QDir(out).isEmpty());
    x->key("Escape");
    ASSERT_TRUE(x->waitUntilGone(dialog));
    EXPECT_FALSE(settings().contains("Put_Path"));
    EXPECT_TRUE(QDir(out).isEmpty());

    // A bitmap, typed without its extension.
    dialog = saveDialog(3, out + "/result");
    ASSERT_FALSE(dialog.isEmpty());
    ASSERT_TRUE(waitFor([&] { return QFile::exists(out + "/result.bmp"); }));
    ASSERT_TRUE(x->waitUntilGone(dialog));
    std::string why;
    EXPECT_TRUE(samePixels(QImage(out + "/result.bmp"), expected, &why)) << why;
    EXPECT_TRUE(settings().contains("Put_Path=" + out + "\n"));

    // A JPEG: the dialog now starts in the folder of the last save.
    dialog = saveDialog(2, "result"); // 名前を付けて保存 (JPG)
    ASSERT_FALSE(dialog.isEmpty());
    ASSERT_TRUE(waitFor([&] { return QFile::exists(out + "/result.jpg"); }));
    ASSERT_TRUE(x->waitUntilGone(dialog));
    const QImage jpeg = QImage(out + "/result.jpg").convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(jpeg.size(), expected.size());
    EXPECT_LE(maxChannelError(jpeg, expected), 8);

    // A PNG, the picture itself.
    dialog = saveDialog(4, "result"); // 名前を付けて保存 (PNG)
    ASSERT_FALSE(dialog.isEmpty());
    ASSERT_TRUE(waitFor([&] { return QFile::exists(out + "/result.png"); }));
    ASSERT_TRUE(x->waitUntilGone(dialog));
    EXPECT_TRUE(samePixels(QImage(out + "/result.png"), expected, &why)) << why;
    EXPECT_EQ(QDir(out).entryList(QDir::Files),
              (QStringList{"result.bmp", "result.jpg", "result.png"}));
}

TEST_F(TypicalUse, step5EndsAndRemembersEverythingAtTheNextStart) {
    ASSERT_TRUE(program);
    fileMenu(5); // 終了
    ASSERT_TRUE(program->waitForFinished(10000));
    EXPECT_EQ(program->exitCode(), 0);
    const QString ini = settings();
    EXPECT_TRUE(ini.contains("Scale= 25\n"));
    EXPECT_TRUE(ini.contains("Put_Path=" + root->filePath("out") + "\n"));
    EXPECT_TRUE(ini.contains("Get_Path=" + root->filePath("images") + "\n")) << ini.toStdString();

    startProgram();
    EXPECT_EQ(x->title(main), "velmora  拡大率 2.5倍");
    // The image dialog starts in the folder of pictures: its one file is there to
    // click at once. Cancel then leaves the window as it was: empty and white.
    fileMenu(1);
    const QString dialog = x->waitForWindow("^画像の選択$");
    ASSERT_FALSE(dialog.isEmpty());
    const QRect d = x->geometry(dialog);
    clickAt(d.topLeft() + kFile1.topLeft() + QPoint(30, 7));
    const QImage picture = testPicture();
    EXPECT_TRUE(waitFor([&] {
        return x->screenshot().pixel(d.topLeft() + kPicK.topLeft()) == picture.pixel(0, 0);
    })) << "the dialog did not start in the remembered folder";
    clickCentre(d, kSelCancel); // ｷｬﾝｾﾙ
    ASSERT_TRUE(x->waitUntilGone(dialog));
    const QImage screen = x->screenshot();
    EXPECT_EQ(screen.pixel(origin + QPoint(5, 5)), qRgb(255, 255, 255));
    EXPECT_EQ(screen.pixel(origin + QPoint(300, 200)), qRgb(255, 255, 255));
    fileMenu(5); // 終了
    EXPECT_TRUE(program->waitForFinished(10000));
}

TEST_F(TypicalUse, step6OpensTheFileNamedOnTheCommandLine) {
    startProgram({root->filePath("images/picture.bmp")});
    const QImage picture = testPicture();
    QImage screen;
    ASSERT_TRUE(waitFor([&] {
        screen = x->screenshot();
        return clientOrigin(screen, picture).x() >= 0;
    })) << "the picture named on the command line is not shown";
    std::string why;
    const QPoint at = clientOrigin(screen, picture);
    EXPECT_TRUE(samePixels(screen.copy(QRect(at, picture.size())), picture, &why)) << why;
    fileMenu(5); // 終了
    EXPECT_TRUE(program->waitForFinished(10000));
}

int main(int argc, char** argv) {
    QGuiApplication::setAttribute(Qt::AA_Use96Dpi);
    qputenv("QT_QPA_PLATFORM", "offscreen"); // the test itself needs no display
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
