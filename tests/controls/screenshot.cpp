// Renders the button's six looks side by side and the dialogs' texture strip
// below them, enlarged four times, into one PNG (default
// /tmp/velmora-controls.png), so that a person can look at them.
#include "controls/command.h"
#include "controls/controlresources.h"
#include "controls/propertybag.h"

#include <QApplication>
#include <QPainter>
#include <QTest>

#include <cstdio>

using velmora::Command;

int main(int argc, char** argv) {
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
    // Each look through the events that produce it.
    QTest::mouseMove(buttons[1], c); // HighLight
    buttons[2]->setFocus();          // Selected...
    QTest::qWait(20);
    QTest::mouseMove(buttons[2], c); // ...then HighLightSelect
    buttons[3]->setFocus();          // Selected
    QTest::qWait(20);
    QTest::mousePress(buttons[4], Qt::LeftButton, {}, c); // Pressed (held)
    buttons[5]->Enabled(false);                           // Disable
    QTest::qWait(20);

    for (int i = 0; i < 6; ++i)
        std::printf("%-16s state %d frame %d\n", names[i], buttons[i]->ButtonState(),
                    static_cast<int>(buttons[i]->ShownFrame()));

    const QImage shot = dialog.grab().toImage();
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
