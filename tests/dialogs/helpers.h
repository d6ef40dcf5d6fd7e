// Shared set-up of the dialog tests: a private settings file and folder, a fake
// pointer, and driving helpers that go through real mouse and key events.
#pragma once

#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

class QListWidget;
class QMessageBox;

namespace velmora {

class Command;

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    QString path(const QString& name) const { return dir_.filePath(name); }
    QString settingsText() const;
    // Writes an image of the given size (BMP or JPEG by suffix) into the folder.
    QString writeImage(const QString& name, int width, int height,
                       const QColor& colour = QColor(40, 120, 200));

    QTemporaryDir dir_;
};

// The pointer moved onto the button, then a press and release of the left
// button in its middle.
void ClickButton(Command* button);
// A click on the entry named text; false when the list has no such entry.
bool ClickItem(QListWidget* list, const QString& text);
// A double click on the entry named text.
bool DoubleClickItem(QListWidget* list, const QString& text);

// Runs action, answering every message box it opens with answer() (which sees
// the box and may record it); the box is then closed with its escape or first
// button. Returns how many boxes appeared.
int AnswerMessageBoxes(const std::function<void()>& action,
                       const std::function<void(QMessageBox*)>& answer);

// Waits until a modal dialog is up, then runs drive(dialog) on it; returns at
// once. Used to drive dialogs that are shown with exec().
void WhenModal(const std::function<void(QWidget*)>& drive);

} // namespace velmora
