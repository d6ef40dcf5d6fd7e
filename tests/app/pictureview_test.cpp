// Display as a view of the result: what it shows after dragging and the wheel
// is the engine's whole result at that place, and what it keeps of the result
// stays bounded.
#include "app/pictureview.h"
#include "tests/app/app_fixture.h"
#include "tests/support/caseprint.h"
#include "tests/support/jpegfiles.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace velmora;

namespace {

// A 300 x 200 view of a 57 x 41 picture at 7.3 (415 x 298), already revealed;
// engine calls are counted.
struct ViewFixture {
    QImage source = testkit::Colourful(57, 41, 7);
    PictureView view;
    std::atomic<int> computed{0}; // tiles are computed on several threads

    ViewFixture() {
        view.setEnlarge([this](const Enlargement& e, const Rect& area, const PixelView& into) {
            ++computed;
            return e.fill(area, into);
        });
        view.fitInto(QSize(300, 200));
        EXPECT_TRUE(view.showEnlarged(source, 7.3));
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        EXPECT_TRUE(view.reveal());
    }
    QImage expectedInView() const { return Reference(source, 7.3, {view.offset(), view.size()}); }
};

using velmora_test::PrintTo;

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
    ASSERT_TRUE(TilesReady(&f.view));
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
    ASSERT_TRUE(TilesReady(&f.view));
    const int afterFirstVisit = f.computed;
    for (int i = 0; i < 10; ++i) {
        f.view.scrollTo(i % 2 ? QPoint(115, 98) : QPoint(0, 0));
        f.view.repaint();
        ASSERT_TRUE(TilesReady(&f.view));
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
        ASSERT_TRUE(TilesReady(&big));
        big.repaint();
    }
    EXPECT_LE(big.keptTiles(), 32);
    EXPECT_GT(big.keptTiles(), 6);
}

// --- Zoom ---------------------------------------------------------------------

namespace {

// The exact average of the result pixels under shown pixel (u, v) at divisor d.
QRgb blockAverage(const QImage& result, double d, int u, int v) {
    const auto start = [d](int i) { return static_cast<int>(std::floor(i * d)); };
    const int x0 = start(u), x1 = std::min(result.width(), start(u + 1));
    const int y0 = start(v), y1 = std::min(result.height(), start(v + 1));
    double sum[3] = {0, 0, 0};
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const QRgb p = result.pixel(x, y);
            sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
        }
    const double n = double(x1 - x0) * (y1 - y0);
    return qRgb(qRound(sum[0] / n), qRound(sum[1] / n), qRound(sum[2] / n));
}

// What the view should show: the result's pixels, each a square when
// magnified, or each block's average when reduced.
QImage expectedView(const ZoomFixture& f) {
    const QImage& result = f.result;
    QImage out(f.view.size(), QImage::Format_RGB32);
    const double scale = f.view.scale();
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const QPoint shown = f.view.offset() + QPoint(x, y);
            if (scale >= 1) {
                const int m = static_cast<int>(scale);
                out.setPixel(x, y, result.pixel(shown.x() / m, shown.y() / m));
            } else {
                out.setPixel(x, y, blockAverage(result, 1 / scale, shown.x(), shown.y()));
            }
        }
    return out;
}

// Mean and largest channel difference of two pictures of one size.
std::pair<double, int> difference(const QImage& a, const QImage& b) {
    double total = 0;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int shift : {0, 8, 16}) {
                const int d = std::abs(int(a.pixel(x, y) >> shift & 0xFF) -
                                       int(b.pixel(x, y) >> shift & 0xFF));
                total += d;
                worst = std::max(worst, d);
            }
    return {total / (3.0 * a.width() * a.height()), worst};
}

struct ZoomCase {
    const char* name;
    std::vector<int> keys; // pressed from 1:1 to reach the zoom
    double scale;
    bool exact; // the result's own pixels, not block averages
};

class ZoomedView : public testing::TestWithParam<ZoomCase> {};

} // namespace

TEST_P(ZoomedView, showsTheResultAtEveryCorner) {
    ZoomFixture f;
    for (int k : GetParam().keys)
        f.key(k);
    if (GetParam().scale > 0)
        ASSERT_DOUBLE_EQ(f.view.scale(), GetParam().scale);
    else
        ASSERT_TRUE(f.view.fitted());
    // Home, then the other corners in turn with the keys.
    const std::pair<int, Qt::KeyboardModifiers> corners[] = {{Qt::Key_Home, Qt::ControlModifier},
                                                             {Qt::Key_End, Qt::NoModifier},
                                                             {Qt::Key_End, Qt::ControlModifier},
                                                             {Qt::Key_Home, Qt::NoModifier}};
    for (const auto& [key, mods] : corners) {
        f.key(key, mods);
        f.view.repaint();
        const QImage shown = Shown(&f.view);
        const QImage expected = expectedView(f);
        if (GetParam().exact) {
            ASSERT_EQ(shown, expected)
                << "at " << f.view.offset().x() << "," << f.view.offset().y();
        } else {
            const auto [mean, worst] = difference(shown, expected);
            EXPECT_LE(mean, 1.0);
            EXPECT_LE(worst, 4);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    zooms, ZoomedView,
    testing::Values(
        ZoomCase{"fit", {Qt::Key_0}, 0, false}, ZoomCase{"half", {Qt::Key_Minus}, 0.5, false},
        ZoomCase{"oneToOne", {Qt::Key_0, Qt::Key_1}, 1, true},
        ZoomCase{"twice", {Qt::Key_Plus}, 2, true},
        ZoomCase{"eightTimes", {Qt::Key_Plus, Qt::Key_Plus, Qt::Key_Plus, Qt::Key_Plus}, 8, true}),
    [](const testing::TestParamInfo<ZoomCase>& info) { return std::string(info.param.name); });

TEST(Zoom, stepsGoByHalvesFromTheLargestThatFitsToEightTimes) {
    ZoomFixture f;
    f.key(Qt::Key_0);
    EXPECT_TRUE(f.view.fitted());
    // 415 x 298 in 100 x 80: fit is a little under 1/4; the smallest step 1/8.
    EXPECT_LE(f.view.shownSize().width(), 100);
    EXPECT_LE(f.view.shownSize().height(), 80);
    std::vector<double> scales;
    for (int i = 0; i < 8; ++i) {
        f.key(Qt::Key_Plus);
        scales.push_back(f.view.scale());
    }
    EXPECT_EQ(scales, (std::vector<double>{0.25, 0.5, 1, 2, 4, 8, 8, 8}));
    for (int i = 0; i < 8; ++i)
        f.key(Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(f.view.scale(), 0.125);
    EXPECT_EQ(f.view.zoomText(), "12.5%");
}

namespace {

// A step out, its exact picture not yet computed.
void zoomOutUnfinished(ZoomFixture& f) {
    f.view.repaint();
    QKeyEvent minus(QEvent::KeyPress, Qt::Key_Minus, Qt::NoModifier);
    QApplication::sendEvent(&f.view, &minus);
    EXPECT_FALSE(f.view.exact());
}

} // namespace

// A zoom shows a first picture made from the one before at once, and the
// exact one as soon as events are processed.
TEST(Zoom, aFirstPictureStandsInUntilTheExactOne) {
    ZoomFixture f;
    zoomOutUnfinished(f);
    f.view.repaint();
    // Each pixel near its exact value: the 1:1 picture halved.
    const auto [roughMean, roughWorst] = difference(Shown(&f.view), expectedView(f));
    EXPECT_LE(roughMean, 16.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.view.exact(); }, 5000));
    f.view.repaint();
    const auto [mean, worst] = difference(Shown(&f.view), expectedView(f));
    EXPECT_LE(mean, 1.0);
    EXPECT_LE(worst, 4);
    (void)roughWorst;
}

// A new result while a zoom's tiles are still being computed: the view shows
// the new one, at 1:1.
TEST(Zoom, aNewResultDuringAZoomIsShownAsItIs) {
    ZoomFixture f;
    zoomOutUnfinished(f);
    const QImage other = testkit::Colourful(31, 23, 3);
    ASSERT_TRUE(f.view.showEnlarged(other, 2.5));
    ASSERT_TRUE(f.view.reveal());
    f.view.repaint();
    EXPECT_EQ(Shown(&f.view), Reference(other, 2.5, {f.view.offset(), f.view.size()}));
}

TEST(Zoom, ctrlWheelAndDoubleClickKeepThePointUnderThePointer) {
    ZoomFixture f;
    f.view.scrollTo({150, 100});
    const QPoint at(37, 21);
    const QPointF before = f.contentAt(at);
    for (const int angle : {120, 120, -120, -120, -120}) {
        QWheelEvent wheel(QPointF(at), f.view.mapToGlobal(QPointF(at)), QPoint(), QPoint(0, angle),
                          Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&f.view, &wheel);
        const QPointF now = f.contentAt(at);
        // Within one shown pixel, unless an edge stops the view.
        EXPECT_NEAR(now.x(), before.x(), 1 / f.view.scale() + 1e-9)
            << f.view.zoomText().toStdString();
        EXPECT_NEAR(now.y(), before.y(), 1 / f.view.scale() + 1e-9)
            << f.view.zoomText().toStdString();
    }
    EXPECT_DOUBLE_EQ(f.view.scale(), 0.5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.view.exact(); }, 5000));
    // A double click goes to 1:1 about the point, and back to fit.
    QTest::mouseDClick(&f.view, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_DOUBLE_EQ(f.view.scale(), 1);
    EXPECT_NEAR(f.contentAt(at).x(), before.x(), 2);
    QTest::mouseDClick(&f.view, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_TRUE(f.view.fitted());
}

namespace {

struct KeyCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers mods;
    QPoint offset; // from (150, 100) at 1:1 in a 100 x 80 view of 415 x 298
};

class Keys : public testing::TestWithParam<KeyCase> {};

} // namespace

TEST_P(Keys, moveTheViewWhereTheySay) {
    ZoomFixture f;
    f.view.scrollTo({150, 100});
    f.key(GetParam().key, GetParam().mods);
    EXPECT_EQ(f.view.offset(), GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(
    everyKey, Keys,
    testing::Values(KeyCase{"left", Qt::Key_Left, Qt::NoModifier, {140, 100}},
                    KeyCase{"right", Qt::Key_Right, Qt::NoModifier, {160, 100}},
                    KeyCase{"up", Qt::Key_Up, Qt::NoModifier, {150, 92}},
                    KeyCase{"down", Qt::Key_Down, Qt::NoModifier, {150, 108}},
                    KeyCase{"pageUp", Qt::Key_PageUp, Qt::NoModifier, {150, 20}},
                    KeyCase{"pageDown", Qt::Key_PageDown, Qt::NoModifier, {150, 180}},
                    KeyCase{"shiftPageUp", Qt::Key_PageUp, Qt::ShiftModifier, {50, 100}},
                    KeyCase{"shiftPageDown", Qt::Key_PageDown, Qt::ShiftModifier, {250, 100}},
                    KeyCase{"home", Qt::Key_Home, Qt::NoModifier, {0, 100}},
                    KeyCase{"end", Qt::Key_End, Qt::NoModifier, {315, 100}},
                    KeyCase{"ctrlHome", Qt::Key_Home, Qt::ControlModifier, {0, 0}},
                    KeyCase{"ctrlEnd", Qt::Key_End, Qt::ControlModifier, {315, 218}}),
    [](const testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST(Keys, doNothingWhileInputIsOff) {
    ZoomFixture f;
    f.view.scrollTo({150, 100});
    f.view.setInputEnabled(false);
    for (int k : {Qt::Key_Left, Qt::Key_End, Qt::Key_Plus, Qt::Key_0})
        f.key(k);
    EXPECT_EQ(f.view.offset(), QPoint(150, 100));
    EXPECT_DOUBLE_EQ(f.view.scale(), 1);
}

// --- Tiles off the painting thread ----------------------------------------------

namespace {

// The threads the engine ran on, as the view's engine reports them.
struct EngineThreads {
    std::mutex mutex;
    std::vector<std::thread::id> ids;
    PictureView::EnlargeFunction engine(int delayMs = 0) {
        return [this, delayMs](const Enlargement& e, const Rect& area, const PixelView& into) {
            {
                const std::lock_guard lock(mutex);
                ids.push_back(std::this_thread::get_id());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            return e.fill(area, into);
        };
    }
    int onThisThread() {
        const std::lock_guard lock(mutex);
        return int(std::count(ids.begin(), ids.end(), std::this_thread::get_id()));
    }
};

} // namespace

// A paint with the tiles in view not ready computes none of them: it shows a
// stand-in at once, and the exact picture once the workers have made them.
TEST(PictureView, paintsWithoutComputingAndTheTilesFollow) {
    const QImage source = testkit::Colourful(57, 41, 7);
    EngineThreads threads;
    PictureView view;
    view.setEnlarge(threads.engine());
    view.fitInto(QSize(300, 200));
    ASSERT_TRUE(view.showEnlarged(source, 7.3));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_TRUE(view.reveal());
    const std::size_t revealed = threads.ids.size();
    EXPECT_GT(revealed, 0u);

    view.scrollTo({115, 98}); // tiles never computed before
    EXPECT_FALSE(view.exact());
    view.repaint();
    const QImage standIn = Shown(&view);
    const QImage expected = Reference(source, 7.3, {view.offset(), view.size()});
    EXPECT_FALSE(view.exact());
    EXPECT_NE(standIn, expected);
    QTRY_VERIFY(view.exact());
    EXPECT_EQ(Shown(&view), expected);
    EXPECT_GT(threads.ids.size(), revealed);
    EXPECT_EQ(threads.onThisThread(), 0);
}

// A view goes while its tiles are computed, or shows another picture: the work
// for the one before ends first and none of its tiles is shown.
TEST(PictureView, settlesItsWorkBeforeANewPictureOrItsEnd) {
    EngineThreads threads;
    const QImage first = testkit::Colourful(57, 41, 7), second = testkit::Colourful(31, 23, 3);
    for (const bool destroy : {true, false}) {
        auto view = std::make_unique<PictureView>();
        view->setEnlarge(threads.engine(20));
        view->fitInto(QSize(300, 200));
        ASSERT_TRUE(view->showEnlarged(first, 7.3));
        ASSERT_TRUE(view->reveal());
        view->scrollTo({115, 98}); // slow tiles now being computed
        if (destroy) {
            view.reset();
            continue;
        }
        ASSERT_TRUE(view->showEnlarged(second, 7.3));
        ASSERT_TRUE(view->reveal());
        view->scrollTo({115, 98});
        view->show();
        QTRY_VERIFY(view->exact());
        EXPECT_EQ(Shown(view.get()), Reference(second, 7.3, {view->offset(), view->size()}));
    }
}
