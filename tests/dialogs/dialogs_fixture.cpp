#include "tests/dialogs/dialogs_fixture.h"

#include "dialogs/filelist.h"

#include <QApplication>
#include <QTest>

namespace velmora {

bool focusOn(QWidget* widget) {
    widget->setFocus(Qt::TabFocusReason);
    return QTest::qWaitFor([&] { return widget->hasFocus(); }, 1000);
}

void showActive(QWidget* window) {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

QStringList tabWalk(QWidget* first, int steps) {
    QStringList names;
    EXPECT_TRUE(focusOn(first));
    for (int i = 0; i < steps; ++i) {
        names << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    names << QApplication::focusWidget()->objectName();
    return names;
}

QString accessibleText(QWidget* w, QAccessible::Text t) {
    return QAccessible::queryAccessibleInterface(w)->text(t);
}

void ImageDialogKeys::SetUp() {
    DialogTest::SetUp();
    writeImage(QStringLiteral("a.bmp"), 40, 20);
    writeImage(QStringLiteral("b.bmp"), 20, 40);
    dialog = std::make_unique<velmora_v>(dir.path());
    showActive(dialog.get());
}

void ImageDialogKeys::TearDown() {
    dialog.reset();
    DialogTest::TearDown();
}

void ImageDialogKeys::previewFirstFileByKey() {
    ASSERT_TRUE(focusOn(dialog->File1()));
    QTest::keyClick(dialog->File1(), Qt::Key_Down);
    ASSERT_EQ(dialog->View_File(), path(QStringLiteral("a.bmp")));
    // The preview is decoded on a worker thread.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->previewPending(); }, 5000));
}

} // namespace velmora
