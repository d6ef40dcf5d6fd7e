#include "app/velmora_m.h"
#include "gui/backgroundwork.h"
#include "gui/surface.h"
#include "reference.h"
#include "settings/settings.h"
#include "tests/app/window_fixture.h"
#include "tests/support/fakememory.h"
#include "tests/support/jpegfiles.h"
#include "tests/support/messagecatcher.h"
#include "tests/support/support.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

// Records the order in which menu items change their enabled state.
struct MenuRecorder {
    QStringList events;
    void watch(QAction* a, const QString& name) {
        QObject::connect(a, &QAction::changed, [this, a, name] {
            const QString e = name + (a->isEnabled() ? "+" : "-");
            if (events.isEmpty() || events.back() != e)
                events << e;
        });
    }
};

// Records the areas of Display that were painted, in order.
struct PaintRecorder : QObject {
    QList<QRect> rects;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            rects << static_cast<QPaintEvent*>(e)->rect();
        return false;
    }
};

class EnlargeCommand : public WindowTest {
  protected:
    // A main window whose image dialog hands over `image`, already opened.
    std::unique_ptr<velmora_m> windowWith(const QImage& image) {
        const QString path = dir.filePath("source.bmp");
        EXPECT_TRUE(image.save(path, "BMP"));
        MainWindowHooks services = hooks();
        services.askImage = [path](const QString&) { return ImageChoice{path, {}}; };
        auto w = std::make_unique<velmora_m>(services);
        w->show();
        w->m_open()->trigger();
        return w;
    }
};

} // namespace

TEST_F(EnlargeCommand, greysTheMenuInOrderWhileRunningAndEnablesItAgain) {
    auto w = windowWith(testkit::Colourful(30, 20, 1));
    setScale(*w, 25);
    MenuRecorder menu;
    menu.watch(w->m_file(), "m_file");
    menu.watch(w->m_ritu(), "m_ritu");
    menu.watch(w->m_kakudai(), "m_kakudai");
    w->m_kakudai()->trigger();
    EXPECT_EQ(menu.events, (QStringList{"m_file-", "m_ritu-", "m_kakudai-", "m_file+", "m_ritu+",
                                        "m_kakudai+"}));
    EXPECT_FALSE(w->enlarging());
}

TEST_F(EnlargeCommand, resultIsExactlyThePerPixelEnlargementAndShowsLeftToRight) {
    const QImage source = testkit::Colourful(47, 31, 2);
    auto w = windowWith(source);
    setScale(*w, 82); // 8.2 x 47 - 1 = 384.4, 8.2 x 31 - 1 = 253.2
    PaintRecorder paints;
    w->Display()->installEventFilter(&paints);
    w->m_kakudai()->trigger();
    ASSERT_EQ(w->Display()->contentSize(), QSize(384, 253));
    EXPECT_EQ(Whole(w->Display()), Reference(source, 8.2, {0, 0, 384, 253}));
    // Every repaint during the run starts at or right of the one before, in
    // more than one step.
    ASSERT_GE(paints.rects.size(), 3);
    for (int i = 1; i < paints.rects.size() - 1; ++i)
        EXPECT_GE(paints.rects[i].left(), paints.rects[i - 1].left()) << i;
    // The window on the screen shows the result as the run painted it (a
    // reveal that painted the picture at 1:1 over the finished columns left
    // it there).
    const QPoint at = w->Display()->mapTo(w.get(), QPoint());
    const QImage shown = QGuiApplication::primaryScreen()
                             ->grabWindow(w->winId(), at.x(), at.y(), 300, 200)
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, Whole(w->Display()).copy(0, 0, 300, 200));
}

TEST_F(EnlargeCommand, repeatedRunsAreIdenticalAndNeverCompound) {
    const QImage source = testkit::Colourful(20, 13, 3);
    auto w = windowWith(source);
    setScale(*w, 30);
    w->m_kakudai()->trigger();
    const QImage first = Whole(w->Display());
    setScale(*w, 20);
    w->m_kakudai()->trigger();
    setScale(*w, 30);
    w->m_kakudai()->trigger();
    EXPECT_EQ(Whole(w->Display()), first);
    EXPECT_EQ(first, Reference(source, 3.0, {0, 0, 59, 38}));
    EXPECT_EQ(w->Master(), source);
}

TEST_F(EnlargeCommand, beforeAnyImageEnlargesTheEmptyMasterAndDisplayStaysHidden) {
    velmora_m w(hooks());
    w.show();
    setScale(w, 12);
    w.m_kakudai()->trigger();
    EXPECT_FALSE(w.Display()->isVisible());
    // 1.2 x 92 - 1 = 109.4 and 1.2 x 84 - 1 = 99.8, truncated.
    EXPECT_EQ(w.Display()->contentSize(), QSize(109, 99));
    EXPECT_EQ(Whole(w.Display()).pixel(50, 50), w.Master().pixel(0, 0));
}

TEST_F(EnlargeCommand, aResultWithNoPixelsLeavesDisplayEmpty) {
    auto w = windowWith(testkit::Colourful(10, 1, 4));
    setScale(*w, 15); // 1.5 x 1 - 1 = 0.5: no row
    w->m_kakudai()->trigger();
    EXPECT_EQ(w->Display()->contentSize().height(), 0);
    EXPECT_TRUE(w->m_kakudai()->isEnabled());
}

// The window used to hold the whole result and refused what did not fit in
// memory; it now holds the picture and the ratio, and computes what is in view.
TEST_F(EnlargeCommand, anyRatioIsShownWithoutHoldingTheResult) {
    const QImage source = testkit::Colourful(92, 84, 5);
    auto w = windowWith(source);
    setScale(*w, 32767); // a hand-edited ratio: 301455 x 275241 pixels
    testkit::MessageCatcher message;
    w->m_kakudai()->trigger();
    EXPECT_EQ(message.count, 0);
    EXPECT_EQ(w->Display()->contentSize(), QSize(301455, 275241));
    EXPECT_LE(w->Display()->keptTiles(), 32);
    const QRect corner(301450, 275240, 5, 2);
    EXPECT_EQ(w->Display()->content(corner), Reference(source, 3276.7, corner));
    EXPECT_TRUE(w->m_kakudai()->isEnabled());
}

TEST_F(EnlargeCommand, aResultBeyondAnySizeIsRefusedWithAMessage) {
    auto w = windowWith(testkit::Colourful(700000, 1, 5));
    const QImage before = w->Display()->picture();
    setScale(*w, 32767); // 2.3 billion pixels wide
    testkit::MessageCatcher message;
    w->m_kakudai()->trigger();
    EXPECT_EQ(message.title, "Vantorel");
    EXPECT_TRUE(message.text.contains("大きすぎて"));
    EXPECT_EQ(w->Display()->picture(), before);
    EXPECT_EQ(w->Display()->ratio(), 0);
    EXPECT_TRUE(w->m_kakudai()->isEnabled());
}

namespace {

enum class Breakdown { EngineRefuses, EngineOutOfMemory };

struct EnlargeFailure {
    const char* name;
    Breakdown breakdown;
    const char* message;
};

class EnlargeFailureTest : public EnlargeCommand,
                           public ::testing::WithParamInterface<EnlargeFailure> {};

} // namespace

// m_kakudai used to ignore the engine's result, and Display then showed memory
// that was never written.
TEST_P(EnlargeFailureTest, showsAMessageAndLeavesDisplayAsItWas) {
    const QString path = dir.filePath("source.bmp");
    ASSERT_TRUE(testkit::Colourful(30, 20, 6).save(path, "BMP"));
    bool broken = false;
    MainWindowHooks services = hooks();
    services.enlarge = [&](const SourceImage& s, double r, const DestImage& d,
                           const EnlargeOptions& o) {
        if (!broken)
            return enlarge(s, r, d, o);
        return GetParam().breakdown == Breakdown::EngineRefuses ? EnlargeStatus::Refused
                                                                : EnlargeStatus::OutOfMemory;
    };
    velmora_m w(services);
    w.show();
    ASSERT_TRUE(w.openImage(path));
    setScale(w, 20);
    w.m_kakudai()->trigger();
    const QImage before = Whole(w.Display());
    ASSERT_EQ(before.size(), QSize(59, 39));

    broken = true;
    setScale(w, 30);
    testkit::MessageCatcher message;
    w.m_kakudai()->trigger();
    EXPECT_EQ(message.count, 1);
    EXPECT_EQ(message.title, "Vantorel");
    EXPECT_TRUE(message.text.startsWith(QString::fromUtf8(GetParam().message)));
    EXPECT_EQ(Whole(w.Display()), before);
    const QImage shown = Shown(w.Display());
    EXPECT_EQ(shown, before);
    EXPECT_TRUE(w.m_kakudai()->isEnabled());
    EXPECT_FALSE(w.enlarging());
}

INSTANTIATE_TEST_SUITE_P(
    Breakdowns, EnlargeFailureTest,
    ::testing::Values(EnlargeFailure{"engineRefuses", Breakdown::EngineRefuses,
                                     "拡大できませんでした。"},
                      EnlargeFailure{"engineOutOfMemory", Breakdown::EngineOutOfMemory,
                                     "拡大できませんでした。"}),
    [](const ::testing::TestParamInfo<EnlargeFailure>& info) { return info.param.name; });

// The picture's keys are the menu's: while the enlargement runs, a key moves
// nothing; once it has finished, the keys move the result.
TEST_F(EnlargeCommand, keysMoveNothingWhileTheEnlargementRunsAndTheResultAfterwards) {
    const QString path = dir.filePath("source.bmp");
    ASSERT_TRUE(testkit::Colourful(200, 150, 3).save(path, "BMP"));
    MainWindowHooks h = hooks();
    velmora_m* window = nullptr;
    int pressed = 0;
    h.enlarge = [&](const SourceImage& s, double r, const DestImage& d, const EnlargeOptions& o) {
        if (QThread::currentThread() == QCoreApplication::instance()->thread() && pressed == 0) {
            ++pressed;
            QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
            QApplication::sendEvent(window->Display(), &end);
        }
        return enlarge(s, r, d, o);
    };
    velmora_m w(h);
    window = &w;
    w.show();
    ASSERT_TRUE(w.openImage(path));
    setScale(w, 30);
    w.m_kakudai()->trigger();
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(w.Display()->offset(), QPoint(0, 0));
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(w.Display(), &end);
    EXPECT_EQ(w.Display()->offset(),
              QPoint(599 - w.Display()->width(), 449 - w.Display()->height()));
}
