// The save command: the dialog it asks with, the folder it keeps, the messages
// it shows, and the recipe the main window hands it, whose file is the one the
// window wrote from Display's picture before.
#include "app/velmora_m.h"
#include "gui/backgroundwork.h"
#include "gui/surface.h"
#include "imageio/bitmapwriter.h"
#include "libvelmora/velmora.h"
#include "platform/diskspace.h"
#include "reference.h"
#include "save/jpeglibrary.h"
#include "settings/settings.h"
#include "tests/app/window_fixture.h"
#include "tests/support/messagecatcher.h"
#include "tests/support/support.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImageReader>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace velmora;
using velmora::testkit::MessageCatcher;

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
        const QString file = dir.filePath("source/picture.bmp");
        ASSERT_TRUE(QDir(dir.path()).mkpath("source"));
        ASSERT_TRUE(shown.save(file, "BMP"));
        ASSERT_TRUE(w.openImage(file));
        if (scale > 0) {
            setScale(w, scale);
            w.m_kakudai_Click();
        }
    }
    // The save menu command, answered with path.
    void save(velmora_m& w, SaveKind kind, const QString& path) {
        answer = path;
        w.m_save_Click(kind == SaveKind::Jpeg ? 0 : 1);
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

TEST_F(SaveCommand, bitmapIsThePicturePixelForPixelAndItsFolderIsRemembered) {
    const QString path = dir.filePath("out.bmp");
    velmora_m w(saving());
    show(w, picture);
    save(w, SaveKind::Bitmap, path);
    EXPECT_EQ(w.session().putDir, dir.path());
    EXPECT_EQ(Ini_Read(kSection, kKeyPutPath, settingsFile()), dir.path());
    const QImage back = QImage(path).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(back, picture);
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
    for (SaveKind kind : {SaveKind::Jpeg, SaveKind::Bitmap}) {
        const QString path =
            dir.filePath("plain-file/out") + (kind == SaveKind::Bitmap ? ".bmp" : ".jpg");
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

// The type list once read "JPGﾌｧｲﾙ (*.jpg)"; it shows the description alone
// and still lists only the files of its kind.
TEST_F(SaveCommand, typeListShowsTheDescriptionAloneAndStillFilters) {
    ASSERT_TRUE(WriteTestFile(dir.filePath("photo.jpg"), "x"));
    ASSERT_TRUE(WriteTestFile(dir.filePath("image.bmp"), "x"));
    for (const SaveKind kind : {SaveKind::Jpeg, SaveKind::Bitmap}) {
        gui::SaveFileRequest request = velmora_m::saveRequest(nullptr, kind, {});
        request.initialDir = dir.path();
        QStringList seen; // the types offered, then the files listed
        WhenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
            for (int i = 0; i < combo->count(); ++i)
                seen << combo->itemText(i);
            auto* model = dialog->findChild<QFileSystemModel*>();
            const QModelIndex folder = model->index(dir.path());
            // The model lists the folder on a thread of its own.
            EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) > 0; }, 2000));
            // Where the filter greys refused files instead of leaving them out.
            for (int row = 0; row < model->rowCount(folder); ++row)
                if (model->flags(model->index(row, 0, folder)) & Qt::ItemIsEnabled)
                    seen << model->fileName(model->index(row, 0, folder));
            dialog->reject();
        });
        QString chosen;
        EXPECT_FALSE(gui::GetSaveFileName(request, &chosen));
        EXPECT_EQ(seen, (kind == SaveKind::Jpeg ? QStringList{"JPGﾌｧｲﾙ", "photo.jpg"}
                                                : QStringList{"BMPﾌｧｲﾙ", "image.bmp"}));
    }
}

// Return on the name box's initial "*.jpg" once wrote a file literally named so.
TEST_F(SaveCommand, wildcardNamesFilterTheListAndOnlyAPlainNameIsChosen) {
    gui::SaveFileRequest request = velmora_m::saveRequest(nullptr, SaveKind::Jpeg, {});
    request.initialDir = dir.path();
    // Typed into the name box before Return; "" is Return on the initial "*.jpg".
    const QStringList typed = {"", "*.bmp", "a?.*", "*.jpg; *.bmp", "picture"};
    QStringList filters; // the list's filters after each Return that left the dialog open
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible())
            return;
        poll.stop();
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        for (const QString& text : typed) {
            name->selectAll();
            QTest::keyClicks(name, text);
            QTest::keyClick(name, Qt::Key_Return);
            if (dialog->isVisible())
                filters << dialog->findChild<QFileSystemModel*>()->nameFilters().join(',');
        }
    });
    poll.start(10);
    QString chosen;
    EXPECT_TRUE(gui::GetSaveFileName(request, &chosen));
    EXPECT_EQ(filters, (QStringList{"*.jpg", "*.bmp", "a?.*", "*.jpg,*.bmp"}));
    EXPECT_EQ(chosen, dir.filePath("picture.jpg"));
    EXPECT_EQ(files(), QStringList{"velmora.ini"});
}

// A refusal is said in its own words under the file's name; the file to be
// replaced keeps its content and nothing else is written.
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
        {"wide.jpg", SaveKind::Jpeg, wide, 100, -1, "JPEG は一辺 65500 ﾋﾟｸｾﾙまでです。"},
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

// --- What the main window saves ------------------------------------------------

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
    hooks.enlarge = [&](const SourceImage& s, double r, const DestImage& d,
                        const EnlargeOptions& o) {
        return failing ? EnlargeStatus::Refused : enlarge(s, r, d, o);
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
    EXPECT_EQ(recipe.source, GetParam().master ? w.Master() : shown);
    for (const SaveKind kind : {SaveKind::Jpeg, SaveKind::Bitmap}) {
        const QString ours = dir.filePath("ours"), todays = dir.filePath("todays");
        const bool empty = recipeSize(recipe).isEmpty();
        MessageCatcher message;
        w.m_save(kind == SaveKind::Jpeg ? 0 : 1)->trigger();
        // The menu item's own dialog: the kind's pattern is offered.
        EXPECT_EQ(request.filterPattern, kind == SaveKind::Jpeg ? "*.jpg" : "*.bmp");
        save(w, kind, ours);
        if (empty && kind == SaveKind::Jpeg) {
            EXPECT_TRUE(message.text.contains("JPEG ﾌｧｲﾙにできません"))
                << message.text.toStdString();
            EXPECT_FALSE(QFile::exists(ours));
            continue;
        }
        EXPECT_EQ(message.count, 0) << message.text.toStdString();
        if (kind == SaveKind::Bitmap)
            ASSERT_TRUE(imageio::writeBitmap(shown, todays));
        else
            ASSERT_TRUE(WriteJpegOfPicture(shown, todays));
        EXPECT_TRUE(ReadTestFile(ours) == ReadTestFile(todays)) << int(kind);
    }
}

INSTANTIATE_TEST_SUITE_P(
    States, WindowSave,
    ::testing::Values(WindowCase{"BeforeAnyPicture", "", 0, false},
                      WindowCase{"EnlargedBeforeAnyPicture", "e12", 1.2, true},
                      WindowCase{"Opened", "o", 0, true},
                      WindowCase{"Enlarged", "o e25", 2.5, true},
                      WindowCase{"AfterAFailedEnlargement", "o e25 f30", 2.5, true},
                      WindowCase{"OpenedAgainAfterAnEnlargement", "o e25 o", 0, true},
                      WindowCase{"EnlargedToNoPixels", "t e11", 1.1, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A save of a large result shows its progress; cancelled, it leaves the file
// it was to replace as it was, no temporary file and no message.
TEST_F(SaveCommand, aCancelledSaveKeepsTheOldFileAndLeavesNothingBehind) {
    MainWindowHooks h = saving();
    h.saveProgressDelayMs = 0;
    velmora_m w(h);
    show(w, PhotoLikeImage(1500, 1000), 100); // 14999 x 9999
    for (const SaveKind kind : {SaveKind::Jpeg, SaveKind::Bitmap}) {
        const QString path = dir.filePath(kind == SaveKind::Jpeg ? "keep.jpg" : "keep.bmp");
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
        QStringList expected{QFileInfo(path).fileName(), "velmora.ini"};
        if (kind == SaveKind::Bitmap)
            expected.prepend("keep.jpg");
        expected.sort();
        EXPECT_EQ(files(), expected);
    }
}
