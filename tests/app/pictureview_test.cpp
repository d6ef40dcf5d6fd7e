// Display as a view of the result: what it shows after dragging and the wheel
// is the engine's whole result at that place, and what it keeps of the result
// stays bounded.
#include "app/pictureview.h"
#include "tests/app/app_fixture.h"
#include "tests/support/jpegfiles.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <atomic>

using namespace velmora;

namespace {

// A 300 x 200 view of a 57 x 41 picture at 7.3 (415 x 298), already revealed;
// engine calls are counted.
struct ViewFixture {
    QImage source = testkit::Colourful(57, 41, 7);
    PictureView view;
    std::atomic<int> computed{0}; // tiles are computed on several threads

    ViewFixture() {
        view.setEnlarge(
            [this](const SourceImage& s, double r, const DestImage& d, const EnlargeOptions& o) {
                ++computed;
                return enlarge(s, r, d, o);
            });
        view.fitInto(QSize(300, 200));
        EXPECT_TRUE(view.showEnlarged(source, 7.3));
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        EXPECT_TRUE(view.reveal());
    }
    QImage expectedInView() const { return Reference(source, 7.3, {view.offset(), view.size()}); }
};

struct MoveCase {
    const char* name;
    QPoint drag;   // pointer movement with the left button held
    QPoint wheel;  // angle delta of one wheel event after it
    bool shift;    // the wheel turned with Shift held
    QPoint offset; // where the view ends
};

class ViewMoves : public testing::TestWithParam<MoveCase> {};

} // namespace

TEST_P(ViewMoves, showTheResultAtTheNewPlace) {
    ViewFixture f;
    ASSERT_EQ(f.view.contentSize(), QSize(415, 298));
    ASSERT_EQ(Shown(&f.view), f.expectedInView());
    const MoveCase& c = GetParam();
    const QPoint from(150, 100);
    QTest::mousePress(&f.view, Qt::LeftButton, Qt::NoModifier, from);
    // In steps, as a hand moves the mouse.
    for (int step = 1; step <= 4; ++step)
        QTest::mouseMove(&f.view, from + c.drag * step / 4);
    QTest::mouseRelease(&f.view, Qt::LeftButton, Qt::NoModifier, from + c.drag);
    if (!c.wheel.isNull()) {
        QWheelEvent wheel(QPointF(from), f.view.mapToGlobal(QPointF(from)), QPoint(), c.wheel,
                          Qt::NoButton, c.shift ? Qt::ShiftModifier : Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&f.view, &wheel);
    }
    EXPECT_EQ(f.view.offset(), c.offset);
    EXPECT_EQ(Shown(&f.view), f.expectedInView());
}

// The content under the pointer stays under it; the result's edges stop it.
// A wheel step moves 3 lines of 20 pixels.
INSTANTIATE_TEST_SUITE_P(
    dragAndWheel, ViewMoves,
    testing::Values(MoveCase{"dragUpLeft", {-37, -23}, {}, false, {37, 23}},
                    MoveCase{"dragPastTheFarEdges", {-900, -900}, {}, false, {115, 98}},
                    MoveCase{"dragPastTheOrigin", {50, 50}, {}, false, {0, 0}},
                    MoveCase{"wheelDown", {}, {0, -120}, false, {0, 60}},
                    MoveCase{"shiftWheelSideways", {-5, 0}, {0, -120}, true, {65, 0}},
                    MoveCase{"wheelUpAfterDrag", {-10, -90}, {0, 120}, false, {10, 30}}),
    [](const testing::TestParamInfo<MoveCase>& info) { return std::string(info.param.name); });

TEST(PictureView, movingBackAndForthComputesNothingTwiceAndKeepsTheTilesBounded) {
    ViewFixture f;
    f.view.scrollTo({115, 98});
    f.view.repaint();
    const int afterFirstVisit = f.computed;
    for (int i = 0; i < 10; ++i) {
        f.view.scrollTo(i % 2 ? QPoint(115, 98) : QPoint(0, 0));
        f.view.repaint();
    }
    EXPECT_EQ(f.computed, afterFirstVisit);

    // A result of 29999 x 21999: going across it keeps a few views' worth.
    PictureView big;
    big.fitInto(QSize(300, 200));
    ASSERT_TRUE(big.showEnlarged(testkit::Colourful(3000, 2200, 8), 10.0));
    big.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&big));
    ASSERT_TRUE(big.reveal());
    for (int x = 0; x < 29999; x += 1500) {
        big.scrollTo({x, x * 2 / 3});
        big.repaint();
    }
    EXPECT_LE(big.keptTiles(), 32);
    EXPECT_GT(big.keptTiles(), 6);
}
