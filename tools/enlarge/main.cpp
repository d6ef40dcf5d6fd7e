// velmora-enlarge: the program's enlargement from the command line.
//
//   velmora-enlarge --ratio R INPUT OUTPUT
//
// Reads a BMP or JPEG image as the program does, enlarges it by R exactly as the
// program's enlargement command does, and writes the image the program would save:
// a bitmap for ".bmp", a JPEG for ".jpg"/".jpeg" (the conversion library's encoder,
// fed straight from the enlargement's strips).
#include "engine/enlarge.h"
#include "platform/bitmap.h"
#include "platform/filenames.h"
#include "platform/imagereader.h"
#include "tools/enlarge/jpegoutput.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "usage: velmora-enlarge --ratio R INPUT OUTPUT\n"
    "\n"
    "Enlarges the BMP or JPEG image INPUT by the ratio R with anti-aliasing and\n"
    "writes the result to OUTPUT, exactly as the velmora program would save it.\n"
    "\n"
    "  --ratio R   a number from 1.0 to 10.0 with at most one digit after the\n"
    "              point (2.5 enlarges two and a half times)\n"
    "  INPUT       a .bmp or .jpg/.jpeg file\n"
    "  OUTPUT      ending in .bmp (a 24-bit bitmap) or .jpg/.jpeg (JPEG, quality\n"
    "              100); written under a temporary name and renamed, so a failed\n"
    "              run never leaves a partial file\n"
    "  -h, --help  this text\n"
    "\n"
    "The result is (R x width - 1) by (R x height - 1) pixels.\n";

// Rows made and written at a time: a strip of a 6400-pixel-wide result is 1.6 MB.
constexpr int kStripRows = 64;

// A file name in the message is written as the bytes it was given.
int fail(const QString& message) {
    std::fprintf(stderr, "velmora-enlarge: %s\n",
                 velmora::platform::NameToBytes(message).constData());
    return 1;
}

// "2.5" gives 25 (the ratio in tenths); anything else gives -1.
int parseRatio(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,3})(?:\\.([0-9]))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return -1;
    const int tenths =
        m.captured(1).toInt() * 10 + (m.captured(2).isEmpty() ? 0 : m.captured(2).toInt());
    return tenths;
}

// A progress bar on stderr, shown only on a terminal and only once a run has
// taken about a second.
class ProgressBar {
  public:
    explicit ProgressBar(int total) : total_(total), start_(Clock::now()), tty_(::isatty(2) != 0) {}

    void update(int done) {
        if (!tty_ || total_ <= 0)
            return;
        const auto now = Clock::now();
        if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(100))
            return;
        last_ = now;
        shown_ = true;
        const int width = 40;
        const int filled = static_cast<int>(static_cast<long long>(done) * width / total_);
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled,
                     "########################################", width - filled, "",
                     static_cast<int>(100LL * done / total_));
        std::fflush(stderr);
    }

    void finish() {
        if (shown_)
            std::fprintf(stderr, "\r%*s\r", 48, "");
    }

  private:
    using Clock = std::chrono::steady_clock;
    int total_;
    Clock::time_point start_, last_;
    bool tty_;
    bool shown_ = false;
};

// Computes strips of the result, from the bottom up, on a thread of its own
// while the caller writes the strip before: the two cores work side by side, one
// on the enlargement and one on the file. Two strip buffers take turns.
struct Strip {
    std::vector<std::uint32_t> pixels;
    int first = 0;
    int rows = 0;
    bool ok = true;
};

class StripPipeline {
  public:
    StripPipeline(const velmora::SourceImage& source, double r, int width, int height)
        : source_(source), r_(r), width_(width), height_(height) {
        for (Strip& s : strips_)
            s.pixels.resize(static_cast<std::size_t>(width) * kStripRows);
        worker_ = std::thread([this] { run(); });
    }
    ~StripPipeline() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }

    // The next finished strip, or nullptr when all have been handed out.
    const Strip* next() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return ready_ > taken_ || (done_ && ready_ == taken_); });
        if (ready_ == taken_)
            return nullptr;
        return &strips_[taken_ % 2];
    }
    // The strip from next() is written; its buffer may be filled again.
    void release() {
        {
            std::lock_guard lock(mutex_);
            ++taken_;
        }
        changed_.notify_all();
    }

  private:
    void run() {
        velmora::EnlargeOptions options;
        options.blendedHigh = 0xFF000000u;
        options.threads = 1; // the other core writes
        for (int top = height_, n = 0; top > 0; ++n) {
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || n - taken_ < 2; });
                if (stop_)
                    return;
            }
            Strip& strip = strips_[n % 2];
            strip.first = std::max(0, top - kStripRows);
            strip.rows = top - strip.first;
            options.firstRow = strip.first;
            const velmora::DestImage dest{strip.pixels.data(), width_, strip.rows, width_};
            strip.ok = velmora::Enlarge(source_, r_, dest, options);
            top = strip.first;
            {
                std::lock_guard lock(mutex_);
                ++ready_;
                done_ = top == 0 || !strip.ok;
            }
            changed_.notify_all();
            if (!strip.ok)
                return;
        }
        std::lock_guard lock(mutex_);
        done_ = true;
        changed_.notify_all();
    }

    const velmora::SourceImage source_;
    const double r_;
    const int width_, height_;
    Strip strips_[2];
    std::mutex mutex_;
    std::condition_variable changed_;
    int ready_ = 0, taken_ = 0;
    bool done_ = false, stop_ = false;
    std::thread worker_;
};

// The largest side a JPEG file can hold (libjpeg's limit).
constexpr int kMaxJpegSide = 65500;

QString describe(const QSize& size, const QString& ratioText) {
    return QStringLiteral("the result of %1 x %2 at %3")
        .arg(size.width())
        .arg(size.height())
        .arg(ratioText);
}

// Why a result of this geometry cannot be written as the output kind (index
// 0: JPEG, 1: bitmap); empty when it can.
QString formatRefusal(const velmora::EnlargeGeometry& g, int index, const QString& what) {
    if (!g.valid)
        return what + QStringLiteral(" is too large");
    if (g.empty())
        return what + QStringLiteral(" has no pixels");
    const QString size = QStringLiteral(" (%1 x %2 pixels)").arg(g.width).arg(g.height);
    if (index == 1 && velmora::platform::BitmapFileBytes(g.width, g.height) >=
                          velmora::platform::kMaxBitmapFileBytes)
        return what + size + QStringLiteral(" is too large for a bitmap file (4 GiB at most)");
    if (index == 0 && std::max(g.width, g.height) > kMaxJpegSide)
        return what + size +
               QStringLiteral(" is too large for JPEG: at most %1 pixels a side").arg(kMaxJpegSide);
    return {};
}

// Reads the source, having checked from its header alone, before any pixel is
// decoded, that the result fits the output kind and that the source with the
// strips of the result fits in memory: a small file whose header claims a huge
// picture is refused at once. Returns why it failed, or an empty string.
QString readSource(const QString& input, double r, int index, const QString& ratioText,
                   QImage* source, velmora::EnlargeGeometry* geometry) {
    velmora::platform::ImageReader reader(input);
    const QSize header = reader.size();
    long long strips = 0;
    if (header.isValid()) {
        *geometry = velmora::Enlarge_Geometry(header.width(), header.height(), r);
        if (const QString why = formatRefusal(*geometry, index, describe(header, ratioText));
            !why.isEmpty())
            return why;
        strips = 2LL * geometry->width * kStripRows * 4;
    }
    if (!reader.read(source, strips)) {
        if (reader.failure() == velmora::platform::ImageReader::Failure::TooLarge)
            return QStringLiteral("cannot enlarge %1: %2").arg(input, reader.errorString());
        return QStringLiteral("cannot read %1: %2").arg(input, reader.errorString());
    }
    // The decoded size decides (a header that could not be read gave none).
    *geometry = velmora::Enlarge_Geometry(source->width(), source->height(), r);
    return formatRefusal(*geometry, index, describe(source->size(), ratioText));
}

// What the command line asks for.
struct Request {
    QString ratioText, input, output;
    double r = 0;
    int index = 0; // the output kind: 0 JPEG, 1 bitmap
};

// Reads the options and the two file names. Returns the exit code when the run
// ends here (help, a wrong option, a wrong count of names), or -1 to go on.
// The names are taken from the bytes of argv: QCoreApplication::arguments()
// turns bytes that are not UTF-8 into U+FFFD, which names another file.
int readArguments(int argc, char** argv, Request* request) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << velmora::platform::NameFromBytes(QByteArray(argv[i]));
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    QCommandLineParser parser;
    const QCommandLineOption ratio(QStringLiteral("ratio"), QString(), QStringLiteral("R"));
    parser.addOption(ratio);
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    if (!parser.parse(args)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty())
            return fail(QStringLiteral("--ratio needs a value (see --help)"));
        const QString dashes =
            unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--");
        return fail(QStringLiteral("unknown option %1 (see --help)").arg(dashes + unknown.first()));
    }
    const QStringList positional = parser.positionalArguments();
    request->ratioText = parser.value(ratio);
    if (request->ratioText.isEmpty() || positional.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    request->input = positional[0];
    request->output = positional[1];
    return -1;
}

// Checks the ratio's form and range and the output's kind. Returns the exit
// code when the run ends here, or -1 to go on.
int checkRequest(Request* request) {
    const int scale = parseRatio(request->ratioText);
    if (scale < 0)
        return fail(QStringLiteral("the ratio \"%1\" is not a number with at most one decimal")
                        .arg(request->ratioText));
    if (scale < 10 || scale > 100)
        return fail(
            QStringLiteral("the ratio %1 is out of range (1.0 to 10.0)").arg(request->ratioText));
    request->r = scale / 10.0;
    const QString suffix = QFileInfo(request->output).suffix().toLower();
    if (suffix == QStringLiteral("bmp"))
        request->index = 1;
    else if (suffix == QStringLiteral("jpg") || suffix == QStringLiteral("jpeg"))
        request->index = 0;
    else
        return fail(
            QStringLiteral("the output %1 must end in .bmp, .jpg or .jpeg").arg(request->output));
    return -1;
}

int writeJpeg(const Request& request, const velmora::SourceImage& view,
              const velmora::EnlargeGeometry& geometry) {
    ProgressBar bar(geometry.height);
    QString error;
    const int status = velmora::Write_Enlarged_Jpeg(
        view, request.r, geometry.width, geometry.height, request.output,
        [&](int rows) { bar.update(rows); }, &error);
    bar.finish();
    return status == 0 ? 0 : fail(QStringLiteral("cannot write %1: %2").arg(request.output, error));
}

// The result is made and written a strip of rows at a time, from the bottom
// up as a bitmap stores it: only one strip is ever in memory, and it stays in
// the processor's cache between being computed and being written.
int writeBitmap(const Request& request, const velmora::SourceImage& view,
                const velmora::EnlargeGeometry& geometry) {
    ProgressBar bar(geometry.height);
    QString error;
    const auto cannotWrite = [&] {
        return fail(QStringLiteral("cannot write %1: %2").arg(request.output, error));
    };
    velmora::platform::BitmapWriter writer;
    if (!writer.open(request.output, geometry.width, geometry.height, &error))
        return cannotWrite();
    StripPipeline pipeline(view, request.r, geometry.width, geometry.height);
    while (const Strip* strip = pipeline.next()) {
        if (!strip->ok)
            return fail(QStringLiteral("cannot enlarge %1").arg(request.input));
        if (!writer.writeStrip(strip->pixels.data(), geometry.width, strip->rows, &error))
            return cannotWrite();
        bar.update(geometry.height - strip->first);
        pipeline.release();
    }
    bar.finish();
    return writer.commit(&error) ? 0 : cannotWrite();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Request request;
    if (const int code = readArguments(argc, argv, &request); code >= 0)
        return code;
    if (const int code = checkRequest(&request); code >= 0)
        return code;
    QImage source;
    velmora::EnlargeGeometry geometry;
    if (const QString why = readSource(request.input, request.r, request.index, request.ratioText,
                                       &source, &geometry);
        !why.isEmpty())
        return fail(why);
    const velmora::SourceImage view{reinterpret_cast<const std::uint32_t*>(source.constBits()),
                                    source.width(), source.height(), source.bytesPerLine() / 4};
    return request.index == 0 ? writeJpeg(request, view, geometry)
                              : writeBitmap(request, view, geometry);
}
