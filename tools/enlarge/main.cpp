// velmora-enlarge: the program's enlargement from the command line.
//
//   velmora-enlarge [--strip] --ratio R INPUT OUTPUT
//
// Reads an image (BMP, JPEG, PNG and the other formats Qt reads) as the program
// does, enlarges it by R exactly as the program's enlargement command does, and
// writes the image the program would save: a bitmap for ".bmp", a JPEG for
// ".jpg"/".jpeg", through the program's own save (the conversion library's
// encoder, fed straight from the enlargement's strips).
#include "engine/enlarge.h"
#include "libvelmora/rowsconvert.h"
#include "libvelmora/statuswords.h"
#include "platform/bitmap.h"
#include "platform/filenames.h"
#include "platform/imagereader.h"
#include "save/save.h"
#include "settings/settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "usage: velmora-enlarge [--strip] --ratio R INPUT OUTPUT\n"
    "\n"
    "Enlarges the image INPUT by the ratio R with anti-aliasing and writes the\n"
    "result to OUTPUT, exactly as the velmora program would save it.\n"
    "\n"
    "  --ratio R   a number from 1.1 to 10.0 with at most one digit after the\n"
    "              point (2.5 enlarges two and a half times), as in the program\n"
    "  INPUT       a BMP, JPEG or PNG image (GIF, ICO, PBM/PGM/PPM, XBM and XPM\n"
    "              are read too), told apart by content, not by name\n"
    "  OUTPUT      ending in .bmp (a 24-bit bitmap) or .jpg/.jpeg (JPEG, quality\n"
    "              100); written under a temporary name and renamed, so a failed\n"
    "              run never leaves a partial file. A JPEG keeps a JPEG input's\n"
    "              EXIF (upright, with the new size, without its thumbnail) and\n"
    "              ICC profile. A symbolic link is written through; a directory,\n"
    "              device, FIFO or socket is refused\n"
    "  --strip     leave the source's metadata (EXIF, ICC profile) out of a JPEG\n"
    "              output\n"
    "  -h, --help  this text\n"
    "  --version   the tool's version\n"
    "\n"
    "The result is (R x width - 1) by (R x height - 1) pixels, fractions dropped.\n"
    "A ratio outside the range exits with status 2.\n";

constexpr const char* kVersion = "velmora-enlarge " VELMORA_PROJECT_VERSION "\n";

// Exit status of a command line the tool does not accept.
constexpr int kUsageError = 2;

// Rows of the result the save makes at a time, two strips at once on each
// core (save/): what reading the source leaves room for.
constexpr int kStripRows = 64;

// A file name in the message is written as the bytes it was given.
int fail(const QString& message, int status = 1) {
    std::fprintf(stderr, "velmora-enlarge: %s\n",
                 velmora::platform::NameToBytes(message).constData());
    return status;
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
                   QImage* source, velmora::EnlargeGeometry* geometry,
                   velmora::SourceMetadata* metadata) {
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
    *metadata = {reader.exif(), reader.iccProfile()};
    // The decoded size decides (a header that could not be read gave none).
    *geometry = velmora::Enlarge_Geometry(source->width(), source->height(), r);
    return formatRefusal(*geometry, index, describe(source->size(), ratioText));
}

// What the command line asks for.
struct Request {
    QString ratioText, input, output;
    double r = 0;
    int index = 0;      // the output kind: 0 JPEG, 1 bitmap
    bool strip = false; // the source's metadata stays out of a JPEG
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
    if (args.contains(QStringLiteral("--version"))) {
        std::fputs(kVersion, stdout);
        return 0;
    }
    QCommandLineParser parser;
    const QCommandLineOption ratio(QStringLiteral("ratio"), QString(), QStringLiteral("R"));
    parser.addOption(ratio);
    const QCommandLineOption strip(QStringLiteral("strip"));
    parser.addOption(strip);
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
    request->strip = parser.isSet(strip);
    if (request->ratioText.isEmpty() || positional.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    request->input = positional[0];
    request->output = positional[1];
    return -1;
}

// Checks the ratio's form and range and the output's kind. Returns the exit
// code when the run ends here, or -1 to go on. The range is the zoom-ratio
// dialog's, so the tool makes exactly the results the program can.
int checkRequest(Request* request) {
    const int scale = parseRatio(request->ratioText);
    if (scale < 0)
        return fail(QStringLiteral("the ratio \"%1\" is not a number with at most one decimal")
                        .arg(request->ratioText),
                    kUsageError);
    if (scale < velmora::kMinScale || scale > velmora::kMaxScale)
        return fail(QStringLiteral("the ratio %1 is out of range (%2 to %3)")
                        .arg(request->ratioText, QString::number(velmora::kMinScale / 10.0, 'f', 1),
                             QString::number(velmora::kMaxScale / 10.0, 'f', 1)),
                    kUsageError);
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

// What went wrong, in words, for a conversion status; osError (an errno value)
// tells a full disk from other write failures.
QString jpegStatusWords(int status, int osError) {
    if (status == VELMORA_E_DESTINATION && (osError == ENOSPC || osError == EDQUOT))
        return QStringLiteral("not enough disk space");
    if (status == VELMORA_E_DESTINATION && osError != 0)
        return QStringLiteral("the file cannot be written: %1")
            .arg(QString::fromLocal8Bit(std::strerror(osError)));
    if (const velmora::jpeg::StatusWords* words = velmora::jpeg::FindStatusWords(status))
        return QString::fromUtf8(words->english);
    return QStringLiteral("the JPEG encoder reported status %1").arg(status);
}

// Why the save failed, in the tool's words.
QString failure(const Request& request, const velmora::SaveResult& result) {
    if (result.status == velmora::SaveStatus::BadDestination)
        return QStringLiteral("cannot write %1: %2")
            .arg(request.output,
                 QString::fromUtf8(
                     velmora::jpeg::FindDestinationWords(result.destination)->english));
    const bool notComputed = result.status == velmora::SaveStatus::NotComputed;
    if (request.index == 1 && notComputed)
        return QStringLiteral("cannot enlarge %1").arg(request.input);
    const QString why =
        request.index == 1
            ? result.error
            : jpegStatusWords(notComputed ? VELMORA_E_SOURCE_UNREADABLE : result.libraryStatus,
                              result.osError);
    return QStringLiteral("cannot write %1: %2").arg(request.output, why);
}

// The result is made and written a strip of rows at a time by the program's
// own save, on every core, straight into the JPEG encoder linked into the tool
// or the bitmap writer: only a few strips are ever in memory.
int writeResult(const Request& request, const QImage& source,
                const velmora::SourceMetadata& metadata, const velmora::EnlargeGeometry& geometry) {
    ProgressBar bar(geometry.height);
    velmora::SaveOptions options;
    options.progress = [&](int rows) { bar.update(rows); };
    // No estimate of the room: what fits is written, and a full disk fails
    // the write, which leaves nothing behind.
    options.checkRoom = false;
    options.jpegEntry = velmora::jpeg::Convert_Rows_To_Jpeg;
    const velmora::SaveResult result = velmora::Save_Recipe(
        velmora::Recipe{source, request.r, request.strip ? velmora::SourceMetadata() : metadata},
        request.output, request.index == 0 ? velmora::SaveKind::Jpeg : velmora::SaveKind::Bitmap,
        options);
    bar.finish();
    return result.status == velmora::SaveStatus::Saved ? 0 : fail(failure(request, result));
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
    velmora::SourceMetadata metadata;
    if (const QString why = readSource(request.input, request.r, request.index, request.ratioText,
                                       &source, &geometry, &metadata);
        !why.isEmpty())
        return fail(why);
    return writeResult(request, source, metadata, geometry);
}
