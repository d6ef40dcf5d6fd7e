// Renders the button's six looks side by side and the dialogs' texture strip
// below them, enlarged four times, into one PNG (default
// /tmp/velmora-controls.png), so that a person can look at them.
#include "controls/command.h"
#include "controls/controlresources.h"
#include "controls/propertybag.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QTest>

#include <cstdio>

using velmora::Command;

int main(int argc, char** argv) {
    // The offscreen platform unless told otherwise: test discovery runs this
    // program without the test's environment, and there may be no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    const QString out =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/velmora-controls.png");
    constexpr int kScale = 4, kGap = 8;
    const QSize buttonSize(61, 25); // 915 x 375 twips

    QWidget dialog;
    dialog.resize(6 * (buttonSize.width() + kGap) + kGap, 2 * buttonSize.height() + 3 * kGap);
    QPalette pal = dialog.palette();
    pal.setColor(QPalette::Window, QColor(0xEC, 0xE9, 0xD8));
    dialog.setPalette(pal);
    dialog.setAutoFillBackground(true);

    const char* names[] = {"Normal",   "HighLight", "HighLightSelect",
                           "Selected", "Pressed",   "Disable"};
    // Takes the focus when the window opens, so the first button starts normal.
    auto* focusSink = new QLineEdit(&dialog);
    focusSink->setGeometry(0, dialog.height() - 4, 4, 4);
    std::vector<Command*> buttons;
    for (int i = 0; i < 6; ++i) {
        auto* b = new Command(&dialog);
        b->setGeometry(kGap + i * (buttonSize.width() + kGap), kGap, buttonSize.width(),
                       buttonSize.height());
        b->ReadProperties(velmora::PropertyBag{});
        b->Caption(i % 2 ? QStringLiteral("ｷｬﾝｾﾙ") : QStringLiteral("設定"));
        b->Font([] {
            QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
            f.setPointSizeF(9.75);
            return f;
        }());
        b->Initialize();
        buttons.push_back(b);
    }
    dialog.show();
    dialog.activateWindow();
    if (!QTest::qWaitForWindowActive(&dialog))
        std::fprintf(stderr, "dialog not active; focus looks may be missing\n");

    const QPoint c(30, 12);
    // Each look through the events that produce it, captured at once: only one
    // button of a window can hold the focus.
    std::vector<QImage> looks(6);
    auto capture = [&](int i) {
        QTest::qWait(20);
        looks[i] = buttons[i]->grab().toImage();
        std::printf("%-16s state %d frame %d\n", names[i], buttons[i]->ButtonState(),
                    static_cast<int>(buttons[i]->ShownFrame()));
    };
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

    QImage shot(dialog.size(), QImage::Format_RGB32);
    shot.fill(QColor(0xEC, 0xE9, 0xD8));
    {
        QPainter sp(&shot);
        for (int i = 0; i < 6; ++i)
            sp.drawImage(buttons[i]->pos(), looks[i]);
    }
    velmora::InitControlResources();
    const QImage strip(QStringLiteral(":/textures/metal.bmp"));
    const int stripWidth = 300;
    QImage sheet(std::max(shot.width(), stripWidth) * kScale,
                 (shot.height() + strip.height() * 2 + kGap) * kScale, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    p.drawImage(QRect(0, 0, shot.width() * kScale, shot.height() * kScale), shot);
    // The left part of the strip (what a dialog panel shows), tiled twice down.
    for (int k = 0; k < 2; ++k)
        p.drawImage(QRect(0, (shot.height() + kGap + k * strip.height()) * kScale,
                          stripWidth * kScale, strip.height() * kScale),
                    strip, QRect(0, 0, stripWidth, strip.height()));
    p.end();
    if (!sheet.save(out)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    std::printf("%s\n", qPrintable(out));
    return 0;
}
