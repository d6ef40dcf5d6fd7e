// Renders the button's six looks side by side and the dialogs' texture strip
// below them, enlarged four times, into one PNG (default
// /tmp/velmora-controls.png), so that a person can look at them.
#include "controls/command.h"
#include "controls/controlresources.h"
#include "controls/propertybag.h"
#include "gui/fonts.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QTest>

#include <cstdio>
#include <vector>

using velmora::Command;

namespace {

constexpr int kScale = 4, kGap = 8, kLooks = 6;
const QSize kButtonSize(61, 25); // 915 x 375 twips
const QColor kBackground(0xEC, 0xE9, 0xD8);
const char* const kLookNames[kLooks] = {"Normal",   "HighLight", "HighLightSelect",
                                        "Selected", "Pressed",   "Disable"};

// A window with one loaded, initialised button per look, in a row.
std::vector<Command*> placeButtons(QWidget& window) {
    window.resize(kLooks * (kButtonSize.width() + kGap) + kGap,
                  2 * kButtonSize.height() + 3 * kGap);
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, kBackground);
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    // Takes the focus when the window opens, so the first button starts normal.
    auto* focusSink = new QLineEdit(&window);
    focusSink->setGeometry(0, window.height() - 4, 4, 4);
    std::vector<Command*> buttons;
    for (int i = 0; i < kLooks; ++i) {
        auto* b = new Command(&window);
        b->setGeometry(kGap + i * (kButtonSize.width() + kGap), kGap, kButtonSize.width(),
                       kButtonSize.height());
        b->readProperties(velmora::PropertyBag{});
        b->Caption(i % 2 ? QStringLiteral("ｷｬﾝｾﾙ") : QStringLiteral("設定"));
        b->Font(velmora::gui::captionFont());
        b->Initialize();
        buttons.push_back(b);
    }
    return buttons;
}

// Each look through the events that produce it, captured at once: only one
// button of a window can hold the focus.
std::vector<QImage> captureLooks(const std::vector<Command*>& buttons) {
    std::vector<QImage> looks(kLooks);
    auto capture = [&](int i) {
        QTest::qWait(20);
        looks[i] = buttons[i]->grab().toImage();
        std::printf("%-16s state %d frame %d\n", kLookNames[i], buttons[i]->ButtonState(),
                    static_cast<int>(buttons[i]->shownFrame()));
    };
    const QPoint c(30, 12);
    capture(0);
    QTest::mouseMove(buttons[1], c); // HighLight
    capture(1);
    buttons[2]->setFocus(); // Selected, then the pointer onto it: HighLightSelect
    QTest::qWait(20);
    QTest::mouseMove(buttons[2], c);
    capture(2);
    buttons[3]->setFocus(); // Selected
    capture(3);
    QTest::mousePress(buttons[4], Qt::LeftButton, {}, c); // Pressed, held
    capture(4);
    QTest::mouseRelease(buttons[4], Qt::LeftButton, {}, c);
    buttons[5]->Enabled(false); // Disable
    capture(5);
    return looks;
}

// The looks in their places on the window's background, then the left part
// of the texture strip (what a dialog panel shows) twice below, all enlarged.
QImage composeSheet(const QWidget& window, const std::vector<Command*>& buttons,
                    const std::vector<QImage>& looks) {
    QImage shot(window.size(), QImage::Format_RGB32);
    shot.fill(kBackground);
    {
        QPainter sp(&shot);
        for (int i = 0; i < kLooks; ++i)
            sp.drawImage(buttons[i]->pos(), looks[i]);
    }
    velmora::initControlResources();
    const QImage strip(QStringLiteral(":/textures/metal.bmp"));
    const int stripWidth = 300;
    QImage sheet(std::max(shot.width(), stripWidth) * kScale,
                 (shot.height() + strip.height() * 2 + kGap) * kScale, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    p.drawImage(QRect(0, 0, shot.width() * kScale, shot.height() * kScale), shot);
    for (int k = 0; k < 2; ++k)
        p.drawImage(QRect(0, (shot.height() + kGap + k * strip.height()) * kScale,
                          stripWidth * kScale, strip.height() * kScale),
                    strip, QRect(0, 0, stripWidth, strip.height()));
    return sheet;
}

} // namespace

int main(int argc, char** argv) {
    // The offscreen platform unless told otherwise: there may be no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    velmora::gui::installFontSubstitutes();
    const QString out =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/velmora-controls.png");

    QWidget window;
    const std::vector<Command*> buttons = placeButtons(window);
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        std::fprintf(stderr, "window not active; focus looks may be missing\n");
    const std::vector<QImage> looks = captureLooks(buttons);
    if (!composeSheet(window, buttons, looks).save(out)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    std::printf("%s\n", qPrintable(out));
    return 0;
}
