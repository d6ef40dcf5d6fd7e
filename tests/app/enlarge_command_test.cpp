#include "app/velmora_m.h"
#include "engine/sampling.h"
#include "platform/backgroundwork.h"
#include "platform/surface.h"
#include "settings/settings.h"
#include "state/velmora_b.h"
#include "tests/support/fakememory.h"
#include "tests/support/messagecatcher.h"
#include "tests/support/support.h"

#include <QAction>
#include <QApplication>
#include <QPaintEvent>
#include <QTimer>
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

using namespace velmora;

namespace {

QImage randomImage(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFFu));
    return image;
}

// The enlargement as the per-pixel routines give it, in the image's own layout.
QImage reference(const QImage& source, double r, QSize size) {
    const SourceImage view{reinterpret_cast<const std::uint32_t*>(source.constBits()),
                           source.width(), source.height(), source.bytesPerLine() / 4};
    QImage out(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            out.setPixel(x, y, 0xFF000000u | Sample_Bilinear(x / r, y / r, view));
    return out;
}

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

class EnlargeCommand : public SettingsFileTest {
  protected:
    // A main window whose image dialog hands over `image`, already opened.
    std::unique_ptr<velmora_m> windowWith(const QImage& image) {
        const QString path = dir.filePath("source.bmp");
        EXPECT_TRUE(image.save(path, "BMP"));
        MainWindowServices services;
        services.showImageDialog = [path] { return path; };
        auto w = std::make_unique<velmora_m>(services);
        w->show();
        w->m_open()->trigger();
        return w;
    }
};

} // namespace

TEST_F(EnlargeCommand, greysTheMenuInOrderWhileRunningAndEnablesItAgain) {
    auto w = windowWith(randomImage(30, 20, 1));
    Ritu_Scale = 25;
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
    const QImage source = randomImage(47, 31, 2);
    auto w = windowWith(source);
    Ritu_Scale = 82; // 8.2 x 47 - 1 = 384.4, 8.2 x 31 - 1 = 253.2
    PaintRecorder paints;
    w->Display()->installEventFilter(&paints);
    w->m_kakudai()->trigger();
    ASSERT_EQ(w->Display()->size(), QSize(384, 253));
    EXPECT_EQ(w->Display()->image(), reference(source, 8.2, QSize(384, 253)));
    // Every repaint during the run starts at or right of the one before.
    ASSERT_FALSE(paints.rects.isEmpty());
    for (int i = 1; i < paints.rects.size() - 1; ++i)
        EXPECT_GE(paints.rects[i].left(), paints.rects[i - 1].left()) << i;
    // The picture on the screen is the result.
    const QImage shown = w->Display()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.copy(0, 0, 300, 200), w->Display()->image().copy(0, 0, 300, 200));
}

TEST_F(EnlargeCommand, repeatedRunsAreIdenticalAndNeverCompound) {
    const QImage source = randomImage(20, 13, 3);
    auto w = windowWith(source);
    Ritu_Scale = 30;
    w->m_kakudai()->trigger();
    const QImage first = w->Display()->image().copy();
    Ritu_Scale = 20;
    w->m_kakudai()->trigger();
    Ritu_Scale = 30;
    w->m_kakudai()->trigger();
    EXPECT_EQ(w->Display()->image(), first);
    EXPECT_EQ(first, reference(source, 3.0, QSize(59, 38)));
    EXPECT_EQ(w->Master()->image(), source);
}

TEST_F(EnlargeCommand, beforeAnyImageEnlargesTheEmptyMasterAndDisplayStaysHidden) {
    velmora_m w({});
    w.show();
    Ritu_Scale = 12;
    w.m_kakudai()->trigger();
    EXPECT_FALSE(w.Display()->isVisible());
    // 1.2 x 92 - 1 = 109.4 and 1.2 x 84 - 1 = 99.8, truncated.
    EXPECT_EQ(w.Display()->size(), QSize(109, 99));
    EXPECT_EQ(w.Display()->image().pixel(50, 50), w.Master()->image().pixel(0, 0));
}

TEST_F(EnlargeCommand, aResultWithNoPixelsLeavesDisplayEmpty) {
    auto w = windowWith(randomImage(10, 1, 4));
    Ritu_Scale = 15; // 1.5 x 1 - 1 = 0.5: no row
    w->m_kakudai()->trigger();
    EXPECT_EQ(w->Display()->height(), 0);
    EXPECT_TRUE(w->m_kakudai()->isEnabled());
}

// The guard reads the control group's limit too, not /proc/meminfo alone.
TEST_F(EnlargeCommand, aResultTooLargeForMemoryIsRefusedWithAMessage) {
    auto w = windowWith(randomImage(92, 84, 5));
    const QImage before = w->Display()->image().copy();
    // A ratio whose result has no size in range, and a control group with 2 MB
    // left for the 10.0 result (919 x 839, 3 MB).
    for (const std::int16_t scale : {32767, 100}) {
        if (scale == 100)
            testkit::PretendMemoryLeft(dir.filePath("memory"), 2000000);
        Ritu_Scale = scale;
        testkit::MessageCatcher message;
        w->m_kakudai()->trigger();
        testkit::StopPretendingMemory();
        EXPECT_EQ(message.title, "Vantorel");
        EXPECT_TRUE(message.text.contains("ﾒﾓﾘに収まりません")) << scale;
        EXPECT_EQ(w->Display()->image(), before);
        EXPECT_TRUE(w->m_kakudai()->isEnabled());
        EXPECT_TRUE(w->m_file()->isEnabled());
    }
}

namespace {

enum class Breakdown { EngineFails, EngineThrows, NoThread };

struct EnlargeFailure {
    const char* name;
    Breakdown breakdown;
    const char* message;
};

class EnlargeFailureTest : public EnlargeCommand,
                           public ::testing::WithParamInterface<EnlargeFailure> {
  protected:
    void TearDown() override {
        platform::FailThreadStartsForTest(false);
        EnlargeCommand::TearDown();
    }
};

} // namespace

// m_kakudai used to ignore the engine's result, and Display then showed memory
// that was never written; a thread that could not start ended the program.
TEST_P(EnlargeFailureTest, showsAMessageAndLeavesDisplayAsItWas) {
    const QString path = dir.filePath("source.bmp");
    ASSERT_TRUE(randomImage(30, 20, 6).save(path, "BMP"));
    bool broken = false;
    MainWindowServices services;
    services.enlarge = [&](const SourceImage& s, double r, const DestImage& d,
                           const EnlargeOptions& o) {
        if (broken && GetParam().breakdown == Breakdown::EngineThrows)
            throw std::runtime_error("out of something");
        return !broken && Enlarge(s, r, d, o);
    };
    velmora_m w(services);
    w.show();
    ASSERT_TRUE(w.openImage(path));
    Ritu_Scale = 20;
    w.m_kakudai()->trigger();
    const QImage before = w.Display()->image().copy();
    ASSERT_EQ(before.size(), QSize(59, 39));

    broken = true;
    platform::FailThreadStartsForTest(GetParam().breakdown == Breakdown::NoThread);
    Ritu_Scale = 30;
    testkit::MessageCatcher message;
    w.m_kakudai()->trigger();
    EXPECT_EQ(message.count, 1);
    EXPECT_EQ(message.title, "Vantorel");
    EXPECT_TRUE(message.text.startsWith(QString::fromUtf8(GetParam().message)));
    EXPECT_EQ(w.Display()->image(), before);
    const QImage shown = w.Display()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, before);
    EXPECT_TRUE(w.m_kakudai()->isEnabled());
    EXPECT_FALSE(w.enlarging());
}

INSTANTIATE_TEST_SUITE_P(
    Breakdowns, EnlargeFailureTest,
    ::testing::Values(
        EnlargeFailure{"engineFails", Breakdown::EngineFails, "拡大できませんでした。"},
        EnlargeFailure{"engineThrows", Breakdown::EngineThrows, "拡大できませんでした。"},
        EnlargeFailure{"noWorkerThread", Breakdown::NoThread, "処理を開始できませんでした。"}),
    [](const ::testing::TestParamInfo<EnlargeFailure>& info) { return info.param.name; });
