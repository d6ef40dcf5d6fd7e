// Cost of one repaint of the button face (PaintButton: clear, gradient, eight
// frame slices, caption placement). Every state change pays it once, so it has
// to stay far below a frame time; the budget is 1 ms.
//
// Run with QT_QPA_PLATFORM=offscreen where there is no display.
#include "controls/buttonface.h"
#include "controls/command.h"
#include "controls/controlresources.h"
#include "controls/propertybag.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

// RefreshCaption on a loaded button runs exactly one PaintButton(Normal).
void BM_PaintButton(benchmark::State& state) {
    velmora::Command button;
    button.resize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    button.readProperties(velmora::PropertyBag{});
    for (auto _ : state)
        button.RefreshCaption();
}
// The dialogs' buttons (915 x 375 twips) and a wide one.
BENCHMARK(BM_PaintButton)->Args({61, 25})->Args({300, 40})->Unit(benchmark::kMicrosecond);

// The face alone: gradient and slices into the retained image.
void BM_PaintFace(benchmark::State& state) {
    QImage face(61, 25, QImage::Format_ARGB32_Premultiplied);
    const QImage frame = velmora::frameImage(velmora::Frame::HighLight);
    for (auto _ : state) {
        velmora::PaintGradient(face, true);
        velmora::paintFrameSlices(face, frame);
        benchmark::DoNotOptimize(face.constBits());
    }
}
BENCHMARK(BM_PaintFace)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // The offscreen platform unless told otherwise: test discovery runs this
    // program without the test's environment, and there may be no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
