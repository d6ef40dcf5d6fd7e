// The button: driven through real mouse, focus and timer events, its
// properties stored and read back, and what it paints.
#include "tests/controls/controls_fixture.h"

#include "controls/buttonface.h"
#include "controls/command.h"
#include "controls/propertybag.h"
#include "tests/support/caseprint.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QWidget>

namespace velmora {
namespace {

using testing::DialogFixture;
using testing::waitFor;
using testing::waitForTicks;

class CommandTest : public DialogFixture {};

TEST_F(CommandTest, clickInThePlatformOrderRaisesClickWithHighLightSelectPainted) {
    hover();
    EXPECT_EQ(button->ButtonState(), VisualState::HighLight);
    EXPECT_EQ(button->shownFrame(), Frame::HighLight);

    // Qt gives the focus before it delivers the press: 2 -> 4, then the press.
    QTest::mousePress(button, Qt::LeftButton, {}, centre());
    EXPECT_TRUE(button->hasFocus());
    EXPECT_EQ(button->ButtonState(), VisualState::HighLightSelect);
    EXPECT_EQ(button->shownFrame(), Frame::Pressed);
    EXPECT_TRUE(button->LeftDown());
    EXPECT_EQ(clicks->count(), 0);

    QTest::mouseRelease(button, Qt::LeftButton, {}, centre());
    EXPECT_EQ(button->shownFrame(), Frame::HighLightSelect);
    EXPECT_FALSE(button->LeftDown());
    EXPECT_EQ(clicks->count(), 1);
}

TEST_F(CommandTest, releaseAfterDragOffAndTickRaisesNoClick) {
    hover();
    QTest::mousePress(button, Qt::LeftButton, {}, centre());
    pointerOn(panel, QPoint(250, 100));
    QTest::mouseMove(button, QPoint(230, 80));
    ASSERT_TRUE(waitFor([&] { return button->ButtonState() == VisualState::Selected; }));
    EXPECT_EQ(button->shownFrame(), Frame::Selected);

    // Back onto the button with the left button still held: not re-armed.
    pointerOn(button, centre());
    QTest::mouseMove(button, centre());
    EXPECT_EQ(button->ButtonState(), VisualState::Selected);

    QTest::mouseRelease(button, Qt::LeftButton, {}, centre());
    EXPECT_EQ(clicks->count(), 0);
    EXPECT_FALSE(button->LeftDown());
}

TEST_F(CommandTest, releaseOffTheButtonBeforeATickSeesItRaisesClick) {
    hover();
    QTest::mousePress(button, Qt::LeftButton, {}, centre());
    // The tracking still sees the pointer on the button; the release position
    // plays no part.
    QTest::mouseMove(button, QPoint(200, 90));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(200, 90));
    EXPECT_EQ(button->ButtonState(), VisualState::HighLightSelect);
    EXPECT_EQ(clicks->count(), 1);
}

TEST_F(CommandTest, rightButtonReleaseRaisesClickWithoutPainting) {
    hover();
    QTest::mousePress(button, Qt::RightButton, {}, centre());
    const Frame afterPress = button->shownFrame();
    EXPECT_FALSE(button->LeftDown());
    QTest::mouseRelease(button, Qt::RightButton, {}, centre());
    EXPECT_EQ(button->shownFrame(), afterPress);
    EXPECT_EQ(clicks->count(), 1);
}

TEST_F(CommandTest, doubleClickRaisesClickForEachRelease) {
    hover();
    // Through the window, as the platform delivers it: press, release, double
    // click press, release.
    QTest::mouseDClick(dialog->windowHandle(), Qt::LeftButton, {},
                       button->mapTo(dialog.get(), centre()));
    EXPECT_EQ(clicks->count(), 2);
}

using velmora_test::PrintTo;

// The keys that press a focused button, and keys that must not.
struct pressKey {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool presses;
};

class KeyPress : public DialogFixture, public ::testing::WithParamInterface<pressKey> {
  protected:
    void focusButton() {
        button->setFocus();
        ASSERT_TRUE(waitFor([&] { return button->ButtonState() == VisualState::Selected; }));
    }
};

TEST_P(KeyPress, showsPressedWhileDownAndClicksOnRelease) {
    const pressKey& k = GetParam();
    focusButton();
    QTest::keyPress(button, k.key, k.modifiers);
    EXPECT_EQ(button->shownFrame(), k.presses ? Frame::Pressed : Frame::Selected);
    EXPECT_EQ(clicks->count(), 0);
    QTest::keyRelease(button, k.key, k.modifiers);
    EXPECT_EQ(clicks->count(), k.presses ? 1 : 0);
    EXPECT_EQ(button->shownFrame(), Frame::Selected);
}

INSTANTIATE_TEST_SUITE_P(
    keys, KeyPress,
    ::testing::Values(pressKey{"space", Qt::Key_Space, Qt::NoModifier, true},
                      pressKey{"returnKey", Qt::Key_Return, Qt::NoModifier, true},
                      pressKey{"keypadEnter", Qt::Key_Enter, Qt::KeypadModifier, true},
                      pressKey{"ctrlSpace", Qt::Key_Space, Qt::ControlModifier, false},
                      pressKey{"letter", Qt::Key_A, Qt::NoModifier, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KeyPress, autoRepeatOfAHeldKeyClicksOnce) {
    focusButton();
    QTest::keyPress(button, Qt::Key_Space);
    // X11 repeats a held key as release and press pairs marked as repeats.
    for (QEvent::Type type : {QEvent::KeyRelease, QEvent::KeyPress}) {
        QKeyEvent repeat(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
        QApplication::sendEvent(button, &repeat);
    }
    EXPECT_EQ(button->shownFrame(), Frame::Pressed);
    QTest::keyRelease(button, Qt::Key_Space);
    EXPECT_EQ(clicks->count(), 1);
}

TEST_F(KeyPress, focusMovedAwayWhileTheKeyIsDownCancelsTheClick) {
    focusButton();
    QTest::keyPress(button, Qt::Key_Return);
    other->setFocus();
    ASSERT_TRUE(waitFor([&] { return button->ButtonState() == VisualState::Normal; }));
    // The release reaches the newly focused button, which did not see the press.
    QSignalSpy otherClicks(other, &Command::Click);
    QTest::keyRelease(other, Qt::Key_Return);
    EXPECT_EQ(clicks->count(), 0);
    EXPECT_EQ(otherClicks.count(), 0);
}

TEST_F(CommandTest, beforeInitializeHoverIsNeverTrackedButReleaseStillClicks) {
    auto* fresh = new Command(panel);
    fresh->setGeometry(QRect(QPoint(220, 20), testing::kButtonSize));
    fresh->readProperties(PropertyBag{});
    fresh->show();
    QSignalSpy freshClicks(fresh, &Command::Click);
    EXPECT_EQ(fresh->ButtonState(), VisualState::Uninitialized);
    EXPECT_FALSE(fresh->trackingPointer());

    QTest::mouseMove(fresh, centre());
    EXPECT_EQ(fresh->ButtonState(), VisualState::Uninitialized);
    QTest::mouseRelease(fresh, Qt::LeftButton, {}, centre());
    EXPECT_EQ(freshClicks.count(), 1);

    fresh->setFocus();
    ASSERT_TRUE(waitFor([&] { return fresh->ButtonState() == VisualState::Selected; }));
    edit->setFocus();
    ASSERT_TRUE(waitFor([&] { return fresh->ButtonState() == VisualState::Normal; }));
    QTest::mouseMove(fresh, QPoint(10, 10));
    EXPECT_EQ(fresh->ButtonState(), VisualState::HighLight);
    // No timer: the pointer leaving never ends the hover look. Two ticks of an
    // initialised button's tracking pass, and fresh's own timer never ticks.
    pointerOn(dialog.get(), QPoint(290, 190));
    QSignalSpy freshTicks(fresh->findChild<QTimer*>(QStringLiteral("TmrMouse")), &QTimer::timeout);
    ASSERT_TRUE(waitForTicks(button));
    EXPECT_FALSE(fresh->trackingPointer());
    EXPECT_EQ(freshTicks.count(), 0);
    EXPECT_EQ(fresh->ButtonState(), VisualState::HighLight);
}

// Which way the face gradient runs in state 4 depends on the way in.
TEST_F(CommandTest, hoverShadingIsKeptIntoStateFourFromHighLight) {
    hover();
    button->setFocus();
    ASSERT_TRUE(waitFor([&] { return button->ButtonState() == VisualState::HighLightSelect; }));
    EXPECT_EQ(button->shownFrame(), Frame::Pressed);
    EXPECT_TRUE(button->HoverShading());
}

TEST_F(CommandTest, normalShadingIsKeptIntoStateFourFromSelected) {
    button->setFocus();
    ASSERT_TRUE(waitFor([&] { return button->ButtonState() == VisualState::Selected; }));
    hover();
    EXPECT_EQ(button->ButtonState(), VisualState::HighLightSelect);
    EXPECT_EQ(button->shownFrame(), Frame::HighLightSelect);
    EXPECT_FALSE(button->HoverShading());
}

TEST_F(CommandTest, losingTheFocusGoesBackToNormal) {
    hover();
    button->setFocus();
    ASSERT_TRUE(waitFor([&] { return button->ButtonState() == VisualState::HighLightSelect; }));
    other->setFocus();
    ASSERT_TRUE(waitFor([&] { return button->ButtonState() == VisualState::Normal; }));
    EXPECT_EQ(button->shownFrame(), Frame::Normal);
    EXPECT_EQ(other->ButtonState(), VisualState::Selected);
}

// Where the pointer goes after hovering, and whether the tracking ends the
// hover look there.
struct PointerTarget {
    const char* name;
    enum { Dialog, Panel, Edit, Caption, Button, Outside, Unreadable } where;
    bool endsHover;
};

class PointerTracking : public DialogFixture,
                        public ::testing::WithParamInterface<PointerTarget> {};

TEST_P(PointerTracking, endsTheHoverLookOnlyOffTheButton) {
    hover();
    ASSERT_EQ(button->ButtonState(), VisualState::HighLight);
    switch (GetParam().where) {
    case PointerTarget::Dialog:
        pointerOn(dialog.get(), QPoint(250, 180));
        break;
    case PointerTarget::Panel:
        pointerOn(panel, QPoint(250, 100));
        break;
    case PointerTarget::Edit:
        pointerOn(edit, QPoint(5, 5));
        break;
    case PointerTarget::Caption: {
        const auto* caption = button->findChild<QLabel*>(QStringLiteral("LblMsg"));
        ASSERT_NE(caption, nullptr);
        pointerOn(button, caption->geometry().center());
        break;
    }
    case PointerTarget::Button:
        pointerOn(button, QPoint(1, 1));
        break;
    case PointerTarget::Outside:
        pointerOn(dialog.get(), QPoint(5000, 5000));
        break;
    case PointerTarget::Unreadable:
        gui::setFakePointer({QPoint(), false});
        break;
    }
    if (GetParam().endsHover) {
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(waitFor([&] { return button->ButtonState() == VisualState::Normal; }));
        EXPECT_LT(clock.elapsed(), 500);
        EXPECT_EQ(button->shownFrame(), Frame::Normal);
    } else {
        // Two ticks of the tracking look at the pointer and keep the hover look.
        ASSERT_TRUE(waitForTicks(button));
        EXPECT_EQ(button->ButtonState(), VisualState::HighLight);
        EXPECT_EQ(button->shownFrame(), Frame::HighLight);
    }
}

INSTANTIATE_TEST_SUITE_P(
    targets, PointerTracking,
    ::testing::Values(PointerTarget{"dialog", PointerTarget::Dialog, true},
                      PointerTarget{"panel", PointerTarget::Panel, true},
                      PointerTarget{"otherControl", PointerTarget::Edit, true},
                      PointerTarget{"outsideEveryWindow", PointerTarget::Outside, true},
                      PointerTarget{"unreadablePointer", PointerTarget::Unreadable, true},
                      PointerTarget{"caption", PointerTarget::Caption, false},
                      PointerTarget{"buttonEdge", PointerTarget::Button, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandTest, resizeRepaintsNormalWithoutChangingTheState) {
    hover();
    button->resize(80, 30);
    EXPECT_EQ(button->ButtonState(), VisualState::HighLight);
    EXPECT_EQ(button->shownFrame(), Frame::Normal);
    EXPECT_EQ(button->face().size(), QSize(80, 30));
    QTest::mousePress(button, Qt::LeftButton, {}, centre());
    EXPECT_EQ(button->shownFrame(), Frame::Pressed);
    QTest::mouseRelease(button, Qt::LeftButton, {}, centre());
}

TEST_F(CommandTest, disabledButtonIgnoresEverythingButResize) {
    hover();
    button->Enabled(false);
    EXPECT_EQ(button->shownFrame(), Frame::Disable);
    EXPECT_EQ(button->ButtonState(), VisualState::HighLight);
    EXPECT_FALSE(button->findChild<QLabel*>(QStringLiteral("LblMsg"))->isEnabled());

    QTest::mouseClick(button, Qt::LeftButton, {}, centre());
    QTest::mouseClick(button, Qt::RightButton, {}, centre());
    pointerOn(panel, QPoint(250, 100));
    // The tracking goes on ticking and ignores the pointer off the button.
    ASSERT_TRUE(waitForTicks(button));
    EXPECT_EQ(clicks->count(), 0);
    EXPECT_EQ(button->ButtonState(), VisualState::HighLight);
    EXPECT_FALSE(button->LeftDown());
    EXPECT_EQ(button->shownFrame(), Frame::Disable);

    button->resize(70, 25);
    EXPECT_EQ(button->shownFrame(), Frame::Disable);
    EXPECT_EQ(button->face().size(), QSize(70, 25));

    button->Enabled(true);
    EXPECT_EQ(button->shownFrame(), Frame::Normal);
    EXPECT_TRUE(button->findChild<QLabel*>(QStringLiteral("LblMsg"))->isEnabled());
}

// These steps repaint the normal look and keep the state.
struct RepaintingStep {
    const char* name;
    std::function<void(Command*)> run;
};

class RepaintingSteps : public DialogFixture,
                        public ::testing::WithParamInterface<RepaintingStep> {};

TEST_P(RepaintingSteps, repaintNormalAndKeepTheState) {
    hover();
    ASSERT_EQ(button->shownFrame(), Frame::HighLight);
    GetParam().run(button);
    EXPECT_EQ(button->shownFrame(), Frame::Normal);
    EXPECT_EQ(button->ButtonState(), VisualState::HighLight);
    // The next change paints from the kept state.
    QTest::mouseClick(button, Qt::LeftButton, {}, centre());
    EXPECT_EQ(button->ButtonState(), VisualState::HighLightSelect);
}

INSTANTIATE_TEST_SUITE_P(
    steps, RepaintingSteps,
    ::testing::Values(RepaintingStep{"firstUse", [](Command* b) { b->firstUse(); }},
                      RepaintingStep{"refreshCaption", [](Command* b) { b->RefreshCaption(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandTest, gettersOnlyRead) {
    hover();
    EXPECT_TRUE(button->Enabled());
    EXPECT_EQ(button->FontColour(), 0u);
    EXPECT_EQ(button->Visible(), 255);
    EXPECT_EQ(button->shownFrame(), Frame::HighLight);
}

TEST_F(CommandTest, settersGivenTheValueTheyHaveNeitherRepaintNorNotify) {
    hover();
    QSignalSpy changes(button, &Command::propertyChanged);
    button->Caption(button->Caption());
    button->Font(button->Font());
    button->Enabled(true);
    button->FontColour(0);
    button->Visible(255);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(button->shownFrame(), Frame::HighLight);
}

TEST_F(CommandTest, savingTheLayoutRepaintsTheNormalLook) {
    hover();
    PropertyBag bag;
    button->writeProperties(bag);
    EXPECT_EQ(button->shownFrame(), Frame::Normal);
    EXPECT_EQ(button->ButtonState(), VisualState::HighLight);
}

TEST_F(CommandTest, transparentVisibleReadsZeroAndRepaintsNothing) {
    hover();
    QSignalSpy changes(button, &Command::propertyChanged);
    button->Visible(0);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toString(), QStringLiteral("Visible"));
    EXPECT_EQ(button->Visible(), 0);
    EXPECT_EQ(button->shownFrame(), Frame::HighLight);
    EXPECT_EQ(button->ButtonState(), VisualState::HighLight);
    EXPECT_TRUE(button->IsEnabled());

    button->Visible(7);
    EXPECT_EQ(button->Visible(), 255);
}

TEST(CommandFirstUse, firstUseSwitchesANewButtonOn) {
    Command fresh;
    fresh.resize(testing::kButtonSize);
    QSignalSpy clicks(&fresh, &Command::Click);
    EXPECT_FALSE(fresh.IsEnabled());
    EXPECT_EQ(fresh.FirstRunFlag(), 0);
    QTest::mouseClick(&fresh, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 0);

    // While the button is still off, the first-use repaint leaves the caption
    // colour alone.
    fresh.FontColour(0x0000FF);
    fresh.firstUse();
    EXPECT_TRUE(fresh.Enabled());
    EXPECT_EQ(fresh.FirstRunFlag(), 1);
    EXPECT_EQ(fresh.shownFrame(), Frame::Normal);
    EXPECT_EQ(fresh.FontColour(), 0x0000FFu);
}

TEST(CommandFirstUse, colourOfANewlyEnabledButtonIsForcedBlackUntilFirstUse) {
    Command fresh;
    fresh.Enabled(true);
    ASSERT_EQ(fresh.FirstRunFlag(), 0);
    fresh.FontColour(0x00FF00);
    EXPECT_EQ(fresh.FontColour(), 0u);
}

TEST(CommandProperties, settersNotifyTheHostByName) {
    Command b;
    QSignalSpy changes(&b, &Command::propertyChanged);
    b.Caption(QStringLiteral("設定"));
    b.Font(QFont(QStringLiteral("IPAPGothic"), 12));
    b.Enabled(true);
    b.FontColour(0x123456);
    b.Visible(0);
    QStringList names;
    for (const auto& args : changes)
        names << args.at(0).toString();
    EXPECT_EQ(names, (QStringList{"Caption", "Font", "Enabled", "FontColour", "Visible"}));
    EXPECT_EQ(b.Caption(), QStringLiteral("設定"));
    EXPECT_EQ(b.Font().pointSize(), 12);
}

TEST(CommandProperties, aColourThatIsNotPlainRgbIsRefusedQuietly) {
    Command b;
    b.readProperties(PropertyBag{});
    b.FontColour(0x336699);
    QSignalSpy changes(&b, &Command::propertyChanged);
    b.FontColour(0x80000012); // a system colour index, not an RGB value
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(b.FontColour(), 0x336699u);
}

// --- Stored properties ----------------------------------------------------------

QFont jpFont() {
    QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
    f.setPointSizeF(9.75);
    f.setWeight(QFont::Normal);
    return f;
}

TEST(StoredProperties, roundTripKeepsEveryProperty) {
    QWidget host;
    Command saved(&host);
    saved.readProperties(PropertyBag{});
    QFont font(QStringLiteral("IPAPGothic"), 12);
    font.setItalic(true);
    saved.Caption(QStringLiteral("ｷｬﾝｾﾙ"));
    saved.Font(font);
    saved.FontColour(0x0000FF);
    saved.Visible(0);
    saved.Enabled(false);
    PropertyBag bag;
    saved.writeProperties(bag);

    Command loaded(&host);
    loaded.readProperties(bag);
    EXPECT_EQ(loaded.Caption(), QStringLiteral("ｷｬﾝｾﾙ"));
    EXPECT_EQ(loaded.Font(), font);
    EXPECT_EQ(loaded.FontColour(), 0x0000FFu);
    EXPECT_EQ(loaded.Visible(), 0);
    EXPECT_FALSE(loaded.IsEnabled());
    EXPECT_EQ(loaded.FirstRunFlag(), 1);
}

TEST(StoredProperties, captionCommandIsNotStoredAndComesBackAsCommand1) {
    QWidget host;
    Command saved(&host);
    saved.readProperties(PropertyBag{});
    saved.Caption(QStringLiteral("Command"));
    PropertyBag bag;
    saved.writeProperties(bag);
    EXPECT_TRUE(bag.isEmpty());

    Command loaded(&host);
    loaded.readProperties(bag);
    EXPECT_EQ(loaded.Caption(), QStringLiteral("Command1"));
    EXPECT_TRUE(loaded.IsEnabled());
    EXPECT_EQ(loaded.Font(), host.font());
}

TEST(StoredProperties, everythingOffItsDefaultIsWrittenInOrder) {
    QWidget host;
    Command b(&host);
    b.Enabled(false); // a new button: FirstRunFlag is still 0
    b.Caption(QStringLiteral("選択"));
    b.Font(jpFont());
    b.FontColour(0x10);
    b.Visible(0);
    PropertyBag bag;
    b.writeProperties(bag);
    EXPECT_EQ(bag.names(),
              (QStringList{"Enabled", "Caption", "FirstRun", "Font", "FontColour", "Visible"}));
    EXPECT_EQ(bag.readProperty(QStringLiteral("FirstRun")).toInt(), 0);
    EXPECT_EQ(bag.readProperty(QStringLiteral("Visible")).toInt(), 0);
}

TEST(StoredProperties, unreadableStoredValuesAreSkipped) {
    PropertyBag bag;
    bag.writeProperty(QStringLiteral("fontcolour"), QStringLiteral("red"));
    bag.writeProperty(QStringLiteral("visible"), QStringLiteral("0"));
    Command b;
    b.FontColour(0x202020);
    b.readProperties(bag);
    EXPECT_EQ(b.FontColour(), 0x202020u);
    EXPECT_EQ(b.Visible(), 0);

    PropertyBag tooBig;
    tooBig.writeProperty(QStringLiteral("firstrun"), QStringLiteral("300"));
    Command c;
    c.readProperties(tooBig);
    EXPECT_EQ(c.FirstRunFlag(), 0);
}

// --- What it paints -------------------------------------------------------------

using testing::colourAt;
using testing::kOutline;

class PaintedButton : public ::testing::Test {
  protected:
    void SetUp() override {
        host.resize(200, 100);
        button = new Command(&host);
        button->setGeometry(10, 10, 61, 25);
        button->readProperties(PropertyBag{});
        button->Initialize();
        host.show();
    }
    QWidget host;
    Command* button = nullptr;
};

TEST_F(PaintedButton, normalFaceHasTheOutlineAtItsEdgesAndTheGradientInside) {
    ASSERT_EQ(button->shownFrame(), Frame::Normal);
    const QImage& face = button->face();
    ASSERT_EQ(face.size(), QSize(61, 25));
    for (auto [x, y] : {std::pair{1, 12}, {59, 12}, {30, 1}, {30, 23}, {2, 2}, {58, 22}})
        EXPECT_TRUE(colourAt(face, x, y, kOutline));
    EXPECT_FALSE(colourAt(face, 0, 0, kOutline));
    EXPECT_FALSE(colourAt(face, 1, 1, kOutline));

    QImage reference(61, 25, QImage::Format_ARGB32_Premultiplied);
    PaintGradient(reference, false);
    for (int y = 4; y < 21; ++y)
        EXPECT_TRUE(colourAt(face, 30, y, reference.pixel(30, y)));
}

TEST_F(PaintedButton, captionIsCentredAcrossTheWholeButton) {
    const auto* caption = button->findChild<QLabel*>(QStringLiteral("LblMsg"));
    ASSERT_NE(caption, nullptr);
    // A 375-twip button with the 195-twip label: top 80 twips.
    EXPECT_DOUBLE_EQ(button->captionTopTwips(), 80.0);
    EXPECT_EQ(caption->geometry(), QRect(0, 5, 61, 13));
    EXPECT_EQ(caption->alignment(), Qt::AlignCenter);
    button->resize(120, 40);
    EXPECT_DOUBLE_EQ(button->captionTopTwips(), (600 - 195 - 20) / 2.0);
    EXPECT_EQ(caption->width(), 120);
}

TEST_F(PaintedButton, disabledLookHasAGreyOutlineAndAGreyedCaption) {
    button->Caption(QStringLiteral("設定"));
    auto darkest = [&] {
        const QImage shot = button->grab().toImage();
        int best = 255;
        for (int y = 5; y < 18; ++y)
            for (int x = 10; x < 50; ++x)
                best = std::min(best, qGray(shot.pixel(x, y)));
        return best;
    };
    const int enabledInk = darkest();
    button->Enabled(false);
    EXPECT_TRUE(colourAt(button->face(), 1, 12, 0xC9C7BA));
    const int disabledInk = darkest();
    EXPECT_LT(enabledInk, 60);
    EXPECT_GT(disabledInk, enabledInk + 40);
}

TEST_F(PaintedButton, transparentButtonLeavesItsFaceOut) {
    QPalette green = host.palette();
    green.setColor(QPalette::Window, QColor(10, 200, 10));
    host.setPalette(green);
    host.setAutoFillBackground(true);
    button->Caption(QString());
    button->Visible(0);
    const QImage shot = host.grab(button->geometry()).toImage();
    EXPECT_TRUE(colourAt(shot, 30, 12, qRgb(10, 200, 10)));
    button->Visible(1);
    const QImage opaque = host.grab(button->geometry()).toImage();
    EXPECT_TRUE(colourAt(opaque, 1, 12, kOutline));
}

} // namespace
} // namespace velmora
