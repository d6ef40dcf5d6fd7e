// Shared set-up of the dialog tests: a private settings file and folder, a fake
// pointer, and driving helpers that go through real mouse and key events.
#pragma once

#include "tests/support/support.h"

#include <QColor>
#include <QString>

class QListWidget;

namespace velmora {

class Command;

class DialogTest : public SettingsFileTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    QString path(const QString& name) const { return dir.filePath(name); }
    // Writes an image of the given size (BMP or JPEG by suffix) into the folder.
    QString writeImage(const QString& name, int width, int height,
                       const QColor& colour = QColor(40, 120, 200));
};

// A click on the entry named text, and then (unless `settle` is false)
// whatever work the click started in the background (a preview's decode)
// carried through to its end; false when the list has no such entry.
bool ClickItem(QListWidget* list, const QString& text, bool settle = true);
// Waits for the background work and delivers its results.
void SettleBackgroundWork();
// A double click on the entry named text.
bool DoubleClickItem(QListWidget* list, const QString& text);

} // namespace velmora
