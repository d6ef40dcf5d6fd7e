// The enlargement command as the user sees it: from the menu click to the last
// column shown, in a real main window (run with QT_QPA_PLATFORM=offscreen or on
// a display).
#include "app/velmora_m.h"
#include "gui/pictureimage.h"
#include "save/jpeglibrary.h"
#include "save/save.h"
#include "settings/settings.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <random>

namespace {

void BM_EnlargeCommand(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const auto scale = static_cast<std::int16_t>(state.range(2));
    QTemporaryDir dir;
    QImage image(w, h, QImage::Format_RGB32);
    std::mt19937 rng(1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFF));
    const QString path = dir.filePath("source.bmp");
    image.save(path, "BMP");
    velmora::MainWindowHooks hooks;
    hooks.settingsFile = dir.filePath("velmora.ini");
    hooks.askImage = [path](const QString&) { return velmora::ImageChoice{path, {}}; };
    hooks.askRatio = [scale](std::int16_t) { return std::optional<std::int16_t>(scale); };
    velmora::velmora_m window(hooks);
    window.show();
    window.m_open()->trigger();
    QApplication::processEvents();
    window.m_ritu_Click();
    for (auto _ : state) {
        window.m_kakudai()->trigger(); // returns once the last column is shown
        QApplication::processEvents();
    }
    // What the run computes: the part of the result in view.
    const double pixels =
        static_cast<double>(window.Display()->width()) * window.Display()->height();
    state.counters["Mpix/s"] =
        benchmark::Counter(pixels * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EnlargeCommand)
    ->Args({640, 480, 100})
    ->Args({1920, 1080, 25})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Saving the 6400 x 4800 result of 640 x 480 at 10.0 as the save command does:
// the result made a strip at a time from the recipe, straight into the
// library's JPEG encoder (0) or the bitmap writer (1).
void BM_SaveResult(benchmark::State& state) {
    const auto kind = state.range(0) == 0 ? velmora::SaveKind::Jpeg : velmora::SaveKind::Bitmap;
    QTemporaryDir dir;
    QImage picture(640, 480, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) // smooth, like a photo
            line[x] = qRgb((x / 3) & 0xFF, (y / 2) & 0xFF, ((x + y) / 4) & 0xFF);
    }
    const QString path = dir.filePath(kind == velmora::SaveKind::Jpeg ? "out.jpg" : "out.bmp");
    // The benchmark lives in build/bench; the conversion library in build/bin.
    velmora::JpegLibrary library(
        QFile::encodeName(QCoreApplication::applicationDirPath() + "/../bin").toStdString());
    velmora::SaveOptions options;
    options.jpegLibrary = &library;
    for (auto _ : state) {
        const velmora::SaveResult result =
            velmora::saveRecipe({velmora::gui::pictureOfImage(picture), 10.0},
                                QFile::encodeName(path).toStdString(), kind, options);
        if (result.status != velmora::SaveStatus::Saved)
            state.SkipWithError(result.error.c_str());
    }
}
BENCHMARK(BM_SaveResult)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
