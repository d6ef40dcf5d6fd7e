// What the tests of the dialogs share: focus and activation through the window
// system, the Tab key's walk, the names a screen reader reads, and the image
// dialog open on a folder with two pictures.
#pragma once

#include "dialogs/velmora_v.h"
#include "tests/support/support.h"

#include <QAccessible>
#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

namespace velmora {

// Gives the widget the focus and waits until it has it.
bool focusOn(QWidget* widget);
// Shows the window, makes it the active one and waits until it is.
void showActive(QWidget* window);
// The objectNames the Tab key visits from the first control, steps times.
QStringList tabWalk(QWidget* first, int steps);
// What a screen reader reads for the widget: its name, or another text.
QString accessibleText(QWidget* w, QAccessible::Text t = QAccessible::Name);

// The image dialog on a folder with two pictures, a.bmp (40 x 20) and b.bmp
// (20 x 40), shown and active.
class ImageDialogKeys : public DialogTest {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Picks the first file of the list with the arrow key, as a keyboard user
    // does, and waits for its preview.
    void previewFirstFileByKey();

    std::unique_ptr<velmora_v> dialog;
};

} // namespace velmora
