#include "tests/support/support.h"

#include "gui/animation.h"
#include "gui/backgroundwork.h"
#include "gui/pointer.h"
#include "libvelmora/velmora.h"
#include "platform/drives.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <random>

namespace velmora {

void SettingsFileTest::SetUp() {
    ASSERT_TRUE(dir.isValid());
}

QString SettingsFileTest::settingsText() const {
    QFile file(settingsFile());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

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

int AnswerMessageBoxes(const std::function<void()>& action,
                       const std::function<void(QMessageBox*)>& answer) {
    int count = 0;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        ++count;
        answer(box);
        QAbstractButton* button = box->escapeButton();
        if (button == nullptr && !box->buttons().isEmpty())
            button = box->buttons().first();
        if (button != nullptr)
            button->click();
    });
    poll.start();
    action();
    poll.stop();
    return count;
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

bool WriteTestFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadTestFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage PhotoLikeImage(int w, int h) {
    std::mt19937 rng(7);
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(
                x, y,
                qRgb((x * 4 + rng() % 8) & 0xFF, (y * 3 + rng() % 8) & 0xFF, ((x + y) * 2) & 0xFF));
    return image;
}

bool WriteJpegOfPicture(const QImage& picture, const QString& path) {
    const QImage words = picture.convertToFormat(QImage::Format_RGB32);
    return ConvertPixelsToJPG(words.constBits(), words.width(), words.height(),
                              words.bytesPerLine(), 4, QFile::encodeName(path).constData(),
                              100) == VELMORA_OK;
}

} // namespace velmora
