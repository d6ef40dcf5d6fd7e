// What the user waits for around a 4000 x 3000 JPEG: the preview after a click
// in the file list, and the time from the select click until the picture is in
// the main window (the dialog's closing work and animation, then the load).
// Run with QT_QPA_PLATFORM=offscreen or on a display.
#include "app/services.h"
#include "app/velmora_m.h"
#include "controls/command.h"
#include "dialogs/filelist.h"
#include "dialogs/velmora_v.h"
#include "platform/animation.h"
#include "platform/fonts.h"
#include "platform/pointer.h"
#include "platform/surface.h"
#include "settings/settings.h"
#include "state/velmora_b.h"
#include "tests/support/driving.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <functional>

namespace {

using namespace velmora;

struct Folder {
    QTemporaryDir dir;
    Folder() {
        // A noisy picture, so that the JPEG is as costly to decode as a photo.
        QImage image(4000, 3000, QImage::Format_RGB32);
        quint32 seed = 12345;
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                seed = seed * 1664525u + 1013904223u;
                line[x] = qRgb(x * 255 / 4000, y * 255 / 3000, (seed >> 24) & 0x3F);
            }
        }
        image.save(dir.filePath(QStringLiteral("a.jpg")), "JPG", 90);
        image.save(dir.filePath(QStringLiteral("b.jpg")), "JPG", 90);
        Set_Settings_File(dir.filePath(QStringLiteral("velmora.ini")));
        Ini_Write(kSection, kKeyGetPath, dir.path(), Settings_File());
    }
};

Folder& folder() {
    static Folder instance;
    return instance;
}

void clickItem(QListWidget* list, int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
}

void BM_Preview4000x3000(benchmark::State& state) {
    folder();
    platform::SetAnimationDuration(0);
    velmora_v dialog;
    dialog.show();
    int row = 0;
    for (auto _ : state) {
        clickItem(dialog.File1(), row);
        row = 1 - row;
    }
    if (dialog.lbl_Size()->text() != QStringLiteral("4000 * 3000"))
        state.SkipWithError("the preview did not load");
}
BENCHMARK(BM_Preview4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument: the animation's length in milliseconds (170 is the program's).
void BM_SelectToPicture4000x3000(benchmark::State& state) {
    folder();
    platform::SetAnimationDuration(static_cast<int>(state.range(0)));
    velmora_m window(ProgramServices());
    window.show();
    for (auto _ : state) {
        QElapsedTimer clock;
        WhenModal(
            [&](QWidget* modal) {
                auto* dialog = qobject_cast<velmora_v*>(modal);
                clickItem(dialog->File1(), 0);
                clock.start();
                ClickButton(dialog->Cmd_Sel());
            },
            1);
        window.m_open_Click();
        window.Display()->repaint();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    }
    if (window.Display()->contentSize() != QSize(4000, 3000))
        state.SkipWithError("the picture did not reach the main window");
}
BENCHMARK(BM_SelectToPicture4000x3000)
    ->Arg(0)
    ->Arg(170)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::InstallFontSubstitutes();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
