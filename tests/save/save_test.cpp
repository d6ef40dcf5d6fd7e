#include "libvelmora/statuswords.h"
#include "platform/backgroundwork.h"
#include "platform/diskspace.h"
#include "save/jpeglibrary.h"
#include "save/jpegstatus.h"
#include "save/save.h"
#include "settings/settings.h"
#include "state/velmora_b.h"
#include "tests/support/messagecatcher.h"
#include "tests/support/support.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImageReader>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

using namespace velmora;
using velmora::testkit::MessageCatcher;

namespace {

QImage randomImage(int w, int h) {
    std::mt19937 rng(7);
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) // smooth with a little noise, like a photo
            image.setPixel(
                x, y,
                qRgb((x * 4 + rng() % 8) & 0xFF, (y * 3 + rng() % 8) & 0xFF, ((x + y) * 2) & 0xFF));
    return image;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Saving : public SettingsFileTest {
  protected:
    void SetUp() override {
        SettingsFileTest::SetUp();
        Set_Library_Folder(QStringLiteral(VELMORA_TEST_BIN));
        // Temporary files of the save go to a folder of the test's own, to be checked.
        qputenv("TMPDIR", QFile::encodeName(tmp.path()));
        Put_Dir = QStringLiteral("/start/here");
    }
    void TearDown() override {
        SettingsFileTest::TearDown();
        qunsetenv("TMPDIR");
    }

    // A save dialog that answers with `answer` (empty: cancel) and keeps the request.
    platform::SaveFileDialog answering(const QString& answer) {
        return [this, answer](const platform::SaveFileRequest& r, QString* chosen) {
            request = r;
            *chosen = answer;
            return !answer.isEmpty();
        };
    }

    QTemporaryDir tmp;
    platform::SaveFileRequest request;
    QImage picture = randomImage(61, 47);
};

} // namespace

TEST(GetFolder, keepsTheFolderAndTheRoot) {
    EXPECT_EQ(Get_Folder("/home/user/a.jpg"), "/home/user");
    EXPECT_EQ(Get_Folder("/home/user/画像/b.bmp"), "/home/user/画像");
    EXPECT_EQ(Get_Folder("/a.jpg"), "/");
    EXPECT_EQ(Get_Folder("a.jpg"), "");
}

TEST_F(Saving, dialogRequestDiffersOnlyByKind) {
    const platform::SaveFileRequest jpeg = Save_Request(nullptr, 0);
    EXPECT_EQ(jpeg.filterDescription, "JPGﾌｧｲﾙ");
    EXPECT_EQ(jpeg.filterPattern, "*.jpg");
    EXPECT_EQ(jpeg.initialName, "*.jpg");
    EXPECT_EQ(jpeg.defaultExtension, "jpg");
    EXPECT_EQ(jpeg.initialDir, "/start/here");
    EXPECT_EQ(jpeg.title, "ﾌｧｲﾙ名を付けて保存");
    EXPECT_TRUE(jpeg.overwritePrompt);
    const platform::SaveFileRequest bitmap = Save_Request(nullptr, 1);
    EXPECT_EQ(bitmap.filterDescription, "BMPﾌｧｲﾙ");
    EXPECT_EQ(bitmap.filterPattern, "*.bmp");
    EXPECT_EQ(bitmap.initialName, "*.bmp");
    EXPECT_EQ(bitmap.defaultExtension, "bmp");
    EXPECT_EQ(bitmap.title, jpeg.title);
}

TEST_F(Saving, cancelChangesNothing) {
    m_save_Click(nullptr, picture, 1, answering(QString()));
    EXPECT_EQ(request.initialDir, "/start/here");
    EXPECT_EQ(Put_Dir, "/start/here");
    EXPECT_FALSE(QFile::exists(Settings_File()));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(Saving, bitmapIsThePicturePixelForPixelAndItsFolderIsRemembered) {
    const QString path = dir.filePath("out.bmp");
    m_save_Click(nullptr, picture, 1, answering(path));
    EXPECT_EQ(Put_Dir, dir.path());
    EXPECT_EQ(Ini_Read(kSection, kKeyPutPath, Settings_File()), dir.path());
    const QImage back = QImage(path).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(back, picture);
}

TEST_F(Saving, jpegDecodesCloseToThePictureAndLeavesNoTemporaryFile) {
    const QString path = dir.filePath("out.jpg");
    MessageCatcher message;
    m_save_Click(nullptr, picture, 0, answering(path));
    EXPECT_EQ(message.text, "") << message.text.toStdString();
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage back = reader.read().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(back.size(), picture.size());
    int worst = 0;
    for (int y = 0; y < back.height(); ++y)
        for (int x = 0; x < back.width(); ++x) {
            const QRgb a = back.pixel(x, y), b = picture.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
        }
    EXPECT_LE(worst, 6); // quality 100 without chroma subsampling
    EXPECT_TRUE(QDir(tmp.path()).isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"out.jpg", "velmora.ini"}));
}

TEST_F(Saving, folderIsRememberedEvenWhenSavingFailsAndTheFailureIsShown) {
    // A folder that cannot be written: its "parent" is a plain file.
    ASSERT_TRUE(writeFile(dir.filePath("plain-file"), {}));
    for (int index : {0, 1}) {
        const QString path = dir.filePath("plain-file/out") + (index ? ".bmp" : ".jpg");
        MessageCatcher message;
        m_save_Click(nullptr, picture, index, answering(path));
        EXPECT_TRUE(message.text.contains("保存できませんでした")) << index;
        EXPECT_EQ(Put_Dir, dir.filePath("plain-file"));
        EXPECT_EQ(Ini_Read(kSection, kKeyPutPath, Settings_File()), dir.filePath("plain-file"));
    }
    EXPECT_TRUE(QDir(tmp.path()).isEmpty());
}

// The library's status was once shown as a bare number.
TEST_F(Saving, theLibrarysRefusalIsShownInWords) {
    const QString notABitmap = dir.filePath("text.bmp");
    ASSERT_TRUE(writeFile(notABitmap, "no bitmap here"));
    QString error;
    EXPECT_EQ(ConvertBitmapToJpeg(notABitmap, dir.filePath("out.jpg"), &error), -3);
    EXPECT_TRUE(error.contains("ﾋﾞｯﾄﾏｯﾌﾟではありません")) << error.toStdString();
}

// The library's words once wrote "ファイル" where every caption has "ﾌｧｲﾙ".
TEST(StatusWords, useTheHalfWidthKatakanaOfTheCaptions) {
    std::vector<int> statuses = {12345}; // one the table does not know
    for (const jpeg::StatusWords& words : jpeg::kStatusWords)
        statuses.push_back(words.status);
    for (int status : statuses) {
        const QString text = Jpeg_Status_Text(status);
        const bool fullWidth = std::any_of(text.begin(), text.end(), [](QChar c) {
            return c.unicode() >= 0x30A0 && c.unicode() <= 0x30FF;
        });
        EXPECT_FALSE(fullWidth) << status << " " << text.toStdString();
    }
    EXPECT_EQ(Jpeg_Status_Text(VELMORA_E_OUT_OF_MEMORY), "ﾒﾓﾘが足りません。");
}

TEST_F(Saving, failedSaveKeepsTheFileItWasToReplace) {
    const QString path = dir.filePath("keep.jpg");
    ASSERT_TRUE(writeFile(path, "precious"));
    Set_Library_Folder(dir.filePath("no-library-here"), false);
    QString error;
    EXPECT_EQ(Save_Image(picture, path, 0, &error), SaveStatus::Failed);
    EXPECT_EQ(readFile(path), "precious");
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QDir(tmp.path()).isEmpty());
}

TEST_F(Saving, missingLibraryIsShown) {
    Set_Library_Folder(dir.filePath("no-library-here"), false);
    MessageCatcher message;
    m_save_Click(nullptr, picture, 0, answering(dir.filePath("x.jpg")));
    EXPECT_FALSE(QFile::exists(dir.filePath("x.jpg")));
    EXPECT_TRUE(message.text.contains("保存できませんでした"));
    EXPECT_TRUE(message.text.contains("libvelmora.so"));
}

// The library's absence was once remembered for the rest of the run.
TEST_F(Saving, libraryInstalledAfterAFailedSaveIsFoundAtTheNext) {
    const QString folder = dir.filePath("lib");
    ASSERT_TRUE(QDir().mkpath(folder));
    Set_Library_Folder(folder, false);
    QString error;
    EXPECT_NE(Save_Image(picture, dir.filePath("first.jpg"), 0, &error), SaveStatus::Saved);
    ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_TEST_BIN "/libvelmora.so.1"),
                            folder + "/libvelmora.so.1"));
    EXPECT_EQ(Save_Image(picture, dir.filePath("second.jpg"), 0, &error), SaveStatus::Saved)
        << error.toStdString();
    EXPECT_FALSE(QImage(dir.filePath("second.jpg")).isNull());
}

// An installed program finds the library installed with it, under any prefix,
// by the name of its major version; never the development link alone, which
// could be a newer, incompatible library.
TEST_F(Saving, theLibraryIsFoundWhereItIsInstalledByItsSoname) {
    struct Case {
        const char* name;
        QString folder; // relative to the program's folder
        const char* file;
        bool saved;
    } cases[] = {
        {"beside the program, as in the build tree", QStringLiteral("."), "libvelmora.so.1", true},
        {"in the installed library folder", QStringLiteral(VELMORA_LIBDIR_FROM_BINDIR),
         "libvelmora.so.1", true},
        {"only the development link", QStringLiteral("."), "libvelmora.so", false},
        {"in a folder the program does not use", QStringLiteral("../lib/other"), "libvelmora.so.1",
         false},
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString prefix = dir.filePath(QStringLiteral("prefix%1").arg(n++));
        const QString libraryFolder = prefix + "/bin/" + c.folder;
        ASSERT_TRUE(QDir().mkpath(libraryFolder) && QDir().mkpath(prefix + "/bin"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_TEST_BIN "/libvelmora.so.1"),
                                libraryFolder + "/" + c.file));
        Set_Library_Folder(prefix + "/bin", false);
        QString error;
        const QString jpeg = prefix + "/out.jpg";
        EXPECT_EQ(Save_Image(picture, jpeg, 0, &error) == SaveStatus::Saved, c.saved)
            << c.name << ": " << error.toStdString();
        EXPECT_EQ(QFile::exists(jpeg), c.saved) << c.name;
    }
}

// The type list once read "JPGﾌｧｲﾙ (*.jpg)"; it shows the description alone
// and still lists only the files of its kind.
TEST_F(Saving, typeListShowsTheDescriptionAloneAndStillFilters) {
    ASSERT_TRUE(writeFile(dir.filePath("photo.jpg"), "x"));
    ASSERT_TRUE(writeFile(dir.filePath("image.bmp"), "x"));
    const struct {
        int index;
        const char* shown;
        const char* listed;
    } cases[] = {{0, "JPGﾌｧｲﾙ", "photo.jpg"}, {1, "BMPﾌｧｲﾙ", "image.bmp"}};
    for (const auto& c : cases) {
        platform::SaveFileRequest request = Save_Request(nullptr, c.index);
        request.initialDir = dir.path();
        QStringList types, listed;
        WhenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
            for (int i = 0; i < combo->count(); ++i)
                types << combo->itemText(i);
            auto* model = dialog->findChild<QFileSystemModel*>();
            const QModelIndex folder = model->index(dir.path());
            // The model lists the folder on a thread of its own.
            QTest::qWaitFor([&] { return model->rowCount(folder) > 0; }, 2000);
            for (int row = 0; row < model->rowCount(folder); ++row) {
                const QModelIndex entry = model->index(row, 0, folder);
                // Where the filter greys refused files instead of leaving them out.
                if (model->flags(entry) & Qt::ItemIsEnabled)
                    listed << model->fileName(entry);
            }
            dialog->reject();
        });
        QString chosen;
        EXPECT_FALSE(platform::GetSaveFileName(request, &chosen));
        EXPECT_EQ(types, QStringList{QString::fromUtf8(c.shown)});
        EXPECT_EQ(listed, QStringList{QString::fromUtf8(c.listed)});
    }
}

// Return on the name box's initial "*.jpg" once wrote a file literally named so.
TEST_F(Saving, wildcardNamesFilterTheListAndOnlyAPlainNameIsChosen) {
    platform::SaveFileRequest request = Save_Request(nullptr, 0);
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
    EXPECT_TRUE(platform::GetSaveFileName(request, &chosen));
    EXPECT_EQ(filters, (QStringList{"*.jpg", "*.bmp", "a?.*", "*.jpg,*.bmp"}));
    EXPECT_EQ(chosen, dir.filePath("picture.jpg"));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

// A JPEG is written straight from the picture; only a picture the library
// cannot take from memory goes by way of a temporary bitmap, beside the
// destination (it once went to the system's temporary folder, often held in
// memory), and the room asked for counts that bitmap too.
TEST_F(Saving, aFullDiskIsRefusedBeforeAnythingIsWrittenAndNothingIsLeft) {
    const long long bitmapBytes = 54 + 184LL * 47;
    const struct {
        const char* name;
        int index;
        QImage::Format format;
        long long needed;
    } cases[] = {
        {"keep.bmp", 1, QImage::Format_RGB32, bitmapBytes},
        {"keep.jpg", 0, QImage::Format_RGB32, bitmapBytes / 2},
        {"keep-888.jpg", 0, QImage::Format_RGB888, bitmapBytes + bitmapBytes / 2},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(c.name);
        ASSERT_TRUE(writeFile(path, "precious"));
        platform::SetFreeBytesForTest(c.needed - 1);
        MessageCatcher message;
        m_save_Click(nullptr, picture.convertToFormat(c.format), c.index, answering(path));
        platform::SetFreeBytesForTest(-1);
        EXPECT_TRUE(message.text.contains("空き容量が足りません")) << message.text.toStdString();
        EXPECT_EQ(readFile(path), "precious");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{c.name, "velmora.ini"}));
        QFile::remove(path);
    }
}

TEST_F(Saving, aJpegIsTheSameFileFromMemoryAsByWayOfABitmap) {
    QString error;
    ASSERT_EQ(Save_Image(picture, dir.filePath("memory.jpg"), 0, &error), SaveStatus::Saved);
    ASSERT_EQ(Save_Image(picture.convertToFormat(QImage::Format_RGB888), dir.filePath("bitmap.jpg"),
                         0, &error),
              SaveStatus::Saved)
        << error.toStdString();
    EXPECT_EQ(readFile(dir.filePath("memory.jpg")), readFile(dir.filePath("bitmap.jpg")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"bitmap.jpg", "memory.jpg"}));
}

TEST_F(Saving, aSaveWhoseThreadCannotStartIsShownAndWritesNothing) {
    platform::FailThreadStartsForTest(true);
    MessageCatcher message;
    m_save_Click(nullptr, picture, 1, answering(dir.filePath("x.bmp")));
    platform::FailThreadStartsForTest(false);
    EXPECT_TRUE(message.text.contains("保存できませんでした"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"velmora.ini"});
}
