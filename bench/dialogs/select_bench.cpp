// What the user waits for around a 4000 x 3000 JPEG: the preview after a click
// in the file list, and the time from the select click until the picture is in
// the main window (the dialog's closing work and animation, then the load).
// Then the preview of a 16000 x 12000 JPEG from the click until it shows,
// beside its yardstick, the way the dialog once made it (Qt's decode of the
// whole picture, then the stretch), and how much the thumbnail of a reduced
// decode differs from one of the whole picture.
// Run with QT_QPA_PLATFORM=offscreen or on a display.
#include "app/velmora_m.h"
#include "controls/command.h"
#include "dialogs/filelist.h"
#include "dialogs/velmora_v.h"
#include "gui/animation.h"
#include "gui/backgroundwork.h"
#include "gui/filenames.h"
#include "gui/fonts.h"
#include "gui/pictureimage.h"
#include "gui/pointer.h"
#include "gui/settingsfile.h"
#include "gui/surface.h"
#include "imageio/imagereader.h"
#include "tests/support/driving.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <jpeglib.h>
#include <unistd.h>

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
        Ini_Write(kSection, kKeyGetPath, dir.path(), dir.filePath(QStringLiteral("velmora.ini")));
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

// Until the preview of the file clicked last is on show.
void waitForPreview(const velmora_v& dialog) {
    while (dialog.previewPending())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void BM_Preview4000x3000(benchmark::State& state) {
    gui::setAnimationDuration(0);
    velmora_v dialog(folder().dir.path());
    dialog.show();
    int row = 0;
    for (auto _ : state) {
        clickItem(dialog.File1(), row);
        waitForPreview(dialog);
        row = 1 - row;
    }
    if (dialog.lbl_Size()->text() != QStringLiteral("4000 * 3000"))
        state.SkipWithError("the preview did not load");
}
BENCHMARK(BM_Preview4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument: the animation's length in milliseconds (170 is the program's).
void BM_SelectToPicture4000x3000(benchmark::State& state) {
    gui::setAnimationDuration(static_cast<int>(state.range(0)));
    MainWindowHooks hooks;
    hooks.settingsFile = folder().dir.filePath(QStringLiteral("velmora.ini"));
    velmora_m window(hooks);
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

// A photo-sized JPEG written a row at a time (the whole picture would take
// 768 MB): smooth gradients with noise, as costly to decode as a photo.
void writeLargeJpeg(const QString& path, int width, int height) {
    FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(std::size_t(width) * 3);
    quint32 seed = 99;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            row[3 * x] = JSAMPLE(x * 255 / width);
            row[3 * x + 1] = JSAMPLE(y * 255 / height);
            row[3 * x + 2] = JSAMPLE(((x ^ y) & 0x3F) + (seed >> 27));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(out);
}

// Two names of one 16000 x 12000 file, so that clicks take turns.
struct LargeFolder {
    QTemporaryDir dir;
    LargeFolder() {
        const QString a = dir.filePath(QStringLiteral("a.jpg"));
        writeLargeJpeg(a, 16000, 12000);
        ::link(QFile::encodeName(a).constData(),
               QFile::encodeName(dir.filePath(QStringLiteral("b.jpg"))).constData());
    }
};

LargeFolder& largeFolder() {
    static LargeFolder instance;
    return instance;
}

// The yardstick: what a click once did, on the user-interface thread.
void BM_PreviewWholeDecode16000x12000(benchmark::State& state) {
    const QString path = largeFolder().dir.filePath(QStringLiteral("a.jpg"));
    for (auto _ : state) {
        QImageReader reader(path);
        QImageReader::setAllocationLimit(0);
        const QImage picture = reader.read().convertToFormat(QImage::Format_RGB32);
        QImage thumbnail(velmora_v::previewSize(picture.width(), picture.height()),
                         QImage::Format_RGB32);
        velmora_v::stretchCopy(picture, thumbnail);
        benchmark::DoNotOptimize(thumbnail.bits());
    }
}
BENCHMARK(BM_PreviewWholeDecode16000x12000)->Unit(benchmark::kMillisecond)->UseRealTime();

// From the click to the preview on show; "clickMs" is how long the click
// itself held the user-interface thread.
void BM_PreviewClickToPicture16000x12000(benchmark::State& state) {
    gui::setAnimationDuration(0);
    velmora_v dialog(largeFolder().dir.path());
    dialog.show();
    int row = 0;
    double clickSeconds = 0;
    for (auto _ : state) {
        QElapsedTimer click;
        click.start();
        clickItem(dialog.File1(), row);
        clickSeconds += click.nsecsElapsed() / 1e9;
        waitForPreview(dialog);
        row = 1 - row;
    }
    state.counters["clickMs"] =
        benchmark::Counter(clickSeconds * 1000, benchmark::Counter::kAvgIterations);
    if (dialog.lbl_Size()->text() != QStringLiteral("16000 * 12000"))
        state.SkipWithError("the preview did not load");
}
BENCHMARK(BM_PreviewClickToPicture16000x12000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The thumbnail of a reduced decode against the thumbnail of the whole
// picture: the share of its pixels that differ, the mean difference of a
// channel over all pixels, and the largest. The picture is VELMORA_PHOTO
// when set, else the 16000 x 12000 one.
void BM_ThumbnailDifference(benchmark::State& state) {
    const QByteArray photo = qgetenv("VELMORA_PHOTO");
    const QString path = photo.isEmpty() ? largeFolder().dir.filePath(QStringLiteral("a.jpg"))
                                         : QString::fromLocal8Bit(photo);
    QImage whole, reduced;
    for (auto _ : state) {
        imageio::Picture picture;
        imageio::ImageReader full(gui::pathBytes(path));
        full.read(&picture);
        whole = gui::imageOfPicture(picture);
        imageio::ImageReader small(gui::pathBytes(path));
        small.reduceFor(
            gui::sizeOf(velmora_v::previewSize(small.size().width(), small.size().height())));
        small.read(&picture);
        reduced = gui::imageOfPicture(picture);
    }
    const QSize box = velmora_v::previewSize(whole.width(), whole.height());
    QImage a(box, QImage::Format_RGB32), b(box, QImage::Format_RGB32);
    velmora_v::stretchCopy(whole, a);
    velmora_v::stretchCopy(reduced, b);
    long long differing = 0, sum = 0;
    int largest = 0;
    for (int y = 0; y < box.height(); ++y)
        for (int x = 0; x < box.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d[] = {std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                             std::abs(qBlue(p) - qBlue(q))};
            differing += p != q;
            sum += d[0] + d[1] + d[2];
            largest = std::max({largest, d[0], d[1], d[2]});
        }
    const double pixels = double(box.width()) * box.height();
    state.counters["differingPct"] = 100.0 * double(differing) / pixels;
    state.counters["meanLevel"] = double(sum) / (3 * pixels);
    state.counters["largestLevel"] = largest;
    state.counters["reducedWidth"] = reduced.width();
}
BENCHMARK(BM_ThumbnailDifference)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    gui::installFontSubstitutes();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
