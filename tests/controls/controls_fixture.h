// What the tests of the controls share: colour checks of what a button paints,
// and a small dialog for driving buttons: a top-level window with a panel in
// it, a line edit that takes the first focus, and two buttons on the panel.
// The pointer the buttons' tracking sees is a fake one that each test places.
#pragma once

#include "controls/command.h"
#include "controls/propertybag.h"
#include "gui/pointer.h"

#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace velmora::testing {

// The outline colour of every enabled frame.
inline constexpr QRgb kOutline = 0x003C74;

inline QString hex(QRgb c) {
    return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}
// Whether the pixel at (x, y) has the colour, alpha aside; if not, which it has.
inline ::testing::AssertionResult colourAt(const QImage& image, int x, int y, QRgb expected) {
    const QRgb actual = image.pixel(x, y) & 0xFFFFFF;
    if (actual == (expected & 0xFFFFFF))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << x << ", " << y << ") is " << hex(actual).toStdString() << ", expected "
           << hex(expected).toStdString();
}

// Size of the zoom-ratio dialog's buttons: 915 x 375 twips.
inline constexpr QSize kButtonSize{61, 25};

inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 1000) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// Waits until the pointer tracking of `tracked` has ticked `ticks` more times;
// false when it is not running or does not tick within a second. The tracking
// handles each tick before the count sees it, so whatever a tick would change
// has changed by then.
inline bool waitForTicks(Command* tracked, int ticks = 2) {
    auto* timer = tracked->findChild<QTimer*>(QStringLiteral("TmrMouse"));
    if (timer == nullptr || !timer->isActive())
        return false;
    QSignalSpy seen(timer, &QTimer::timeout);
    return waitFor([&] { return seen.count() >= ticks; });
}

// Makes `button` an ordinary enabled button the way a dialog does: loaded from
// an (empty) stored layout, then initialised.
inline void loadAndInitialize(Command* button) {
    button->readProperties(PropertyBag{});
    button->Initialize();
}

class DialogFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog = std::make_unique<QWidget>();
        dialog->setObjectName(QStringLiteral("dialog"));
        dialog->resize(300, 200);
        edit = new QLineEdit(dialog.get());
        edit->setGeometry(10, 150, 100, 24);
        panel = new QWidget(dialog.get());
        panel->setObjectName(QStringLiteral("panel"));
        panel->setGeometry(0, 0, 300, 120);
        button = new Command(panel);
        button->setObjectName(QStringLiteral("Cmd_Set"));
        button->setGeometry(QRect(QPoint(20, 20), kButtonSize));
        other = new Command(panel);
        other->setObjectName(QStringLiteral("Cmd_Can"));
        other->setGeometry(QRect(QPoint(120, 20), kButtonSize));
        loadAndInitialize(button);
        loadAndInitialize(other);
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        edit->setFocus();
        ASSERT_TRUE(waitFor([&] { return edit->hasFocus(); }));
        // Qt drops a move to where the previous test's mouse already was, so
        // every test starts with the mouse on an empty part of the dialog.
        QTest::mouseMove(dialog.get(), QPoint(290, 190));
        clicks = std::make_unique<QSignalSpy>(button, &Command::Click);
        pointerOn(button, centre());
    }

    void TearDown() override {
        gui::clearFakePointer();
        clicks.reset();
        dialog.reset();
    }

    QPoint centre() const { return QRect(QPoint(), kButtonSize).center(); }

    // The fake pointer over point `local` of widget `w`.
    static void pointerOn(QWidget* w, QPoint local) {
        gui::setFakePointer({w->mapToGlobal(local)});
    }

    // Moves the real (test) mouse onto the button so it gets a move event.
    void hover() { QTest::mouseMove(button, centre()); }

    std::unique_ptr<QWidget> dialog;
    QWidget* panel = nullptr;
    QLineEdit* edit = nullptr;
    Command* button = nullptr;
    Command* other = nullptr;
    std::unique_ptr<QSignalSpy> clicks;
};

} // namespace velmora::testing
