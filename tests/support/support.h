// Helpers that tests of several parts of the program share.
#pragma once

#include "tests/support/driving.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

class QByteArray;
class QImage;
class QListWidget;
class QMessageBox;
class QWidget;

namespace velmora {

// A test with a temporary folder of its own, with a settings file
// "velmora.ini" in it for the windows the test makes.
class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override;

    // The test's settings file.
    QString settingsFile() const { return dir.filePath(QStringLiteral("velmora.ini")); }
    // The settings file's text as it is now; "" when there is none.
    QString settingsText() const;

    QTemporaryDir dir;
};

// A test that shows the program's dialogs: its own settings file and folder,
// no animations recorded from earlier tests, a fake pointer at (300, 200) for
// the dialogs' animations to start from, and the real list of drives again
// afterwards.
class DialogTest : public SettingsFileTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    QString path(const QString& name) const { return dir.filePath(name); }
    // Writes an image of the given size (BMP or JPEG by suffix) into the folder.
    QString writeImage(const QString& name, int width, int height,
                       const QColor& colour = QColor(40, 120, 200));
};

// Runs action, answering every message box it opens with answer() (which sees
// the box and may record it); the box is then closed with its escape or first
// button. Returns how many boxes appeared.
int AnswerMessageBoxes(const std::function<void()>& action,
                       const std::function<void(QMessageBox*)>& answer);

// A click on the entry named text, and then (unless `settle` is false)
// whatever work the click started in the background (a preview's decode)
// carried through to its end; false when the list has no such entry.
bool ClickItem(QListWidget* list, const QString& text, bool settle = true);
// Waits for the background work and delivers its results.
void SettleBackgroundWork();
// A double click on the entry named text.
bool DoubleClickItem(QListWidget* list, const QString& text);

// Writes bytes as the file path; false when it could not.
bool WriteTestFile(const QString& path, const QByteArray& bytes);

// The file's bytes; empty when it cannot be read.
QByteArray ReadTestFile(const QString& path);

// The JPEG file the conversion library writes for picture (RGB32) from memory
// at quality 100: the file every save of that picture must equal.
bool WriteJpegOfPicture(const QImage& picture, const QString& path);

// A w x h picture in QImage::Format_RGB32 like a photo: smooth shading with a
// little noise, the same at every call.
QImage PhotoLikeImage(int w, int h);

} // namespace velmora
