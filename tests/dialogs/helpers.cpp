#include "helpers.h"

#include "controls/command.h"
#include "dialogs/frame.h"
#include "gui/animation.h"
#include "gui/backgroundwork.h"
#include "gui/pointer.h"
#include "platform/drives.h"

#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <QMouseEvent>
#include <QTest>

namespace velmora {

void DialogTest::SetUp() {
    SettingsFileTest::SetUp();
    gui::clearRecordedAnimations();
    gui::FakePointer fake;
    fake.position = QPoint(300, 200);
    gui::setFakePointer(fake);
}

void DialogTest::TearDown() {
    gui::clearFakePointer();
    platform::setDriveListForTest(std::nullopt);
}

QString DialogTest::writeImage(const QString& name, int width, int height, const QColor& colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    const QString file = path(name);
    EXPECT_TRUE(image.save(file)) << file.toStdString();
    return file;
}

namespace {

QListWidgetItem* findItem(QListWidget* list, const QString& text) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text().trimmed() == text)
            return list->item(i);
    }
    return nullptr;
}

} // namespace

bool ClickItem(QListWidget* list, const QString& text, bool settle) {
    QListWidgetItem* item = findItem(list, text);
    if (item == nullptr)
        return false;
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    if (settle)
        SettleBackgroundWork();
    return true;
}

void SettleBackgroundWork() {
    EXPECT_TRUE(gui::waitForBackgroundWork(30000));
    QCoreApplication::processEvents();
}

bool DoubleClickItem(QListWidget* list, const QString& text) {
    QListWidgetItem* item = findItem(list, text);
    if (item == nullptr)
        return false;
    list->scrollToItem(item);
    const QPoint at = list->visualItemRect(item).center();
    // A double click arrives as press, release, double-click press, release.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    return true;
}

} // namespace velmora
