#include "tool/request.h"

#include "gui/filenames.h"
#include "settings/settings.h"
#include "tool/enlargefile.h"
#include "tool/jobs.h"
#include "tool/statusline.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>
#include <utility>

#include <sys/stat.h>

namespace velmora::tool {

namespace {

constexpr const char* kUsage =
    "usage: velmora-enlarge --ratio R [--strip] [--quality N] [--no-clobber]\n"
    "                       [--quiet] INPUT OUTPUT\n"
    "       velmora-enlarge --ratio R [--format jpg|bmp|png] [--suffix TEXT]\n"
    "                       [-r] [--jobs N] [--no-clobber] [--strip] [--quality N]\n"
    "                       [--quiet] --output-dir DIR FILE|FOLDER...\n"
    "       --width W, --height H or --fit WxH may stand for --ratio R\n"
    "\n"
    "Enlarges the image INPUT by the ratio R with anti-aliasing and writes the\n"
    "result to OUTPUT, exactly as the velmora program would save it; or enlarges\n"
    "each FILE, and the pictures in each FOLDER, into the folder DIR.\n"
    "\n"
    "  --ratio R         a number from 1.1 to 10.0 with at most one digit after\n"
    "                    the point (2.5 enlarges two and a half times), as in the\n"
    "                    program\n"
    "  --width W         each result exactly W pixels wide, its height as near\n"
    "                    the picture's aspect as the ratio allows (--width 1280)\n"
    "  --height H        each result exactly H pixels high (--height 1080)\n"
    "  --fit WxH         each result the largest that fits in W x H, its aspect\n"
    "                    kept (--fit 1920x1080)\n"
    "                    With a size, each file's ratio is chosen from 1.1 to 10.0,\n"
    "                    any real number, so that the program's enlargement at it\n"
    "                    has that size; a file that would need a ratio outside\n"
    "                    the range fails and the others go on\n"
    "  INPUT, FILE       a BMP, JPEG or PNG image (GIF, ICO, PBM/PGM/PPM, XBM and\n"
    "                    XPM are read too, and TIFF and WebP where Qt's image\n"
    "                    format plugins are installed), told apart by content,\n"
    "                    not by name\n"
    "  FOLDER            with --output-dir: the pictures in it, told by content\n"
    "                    (other files and hidden ones are passed over), each\n"
    "                    written into DIR under its own name\n"
    "  OUTPUT            ending in .bmp (a 24-bit bitmap), .jpg/.jpeg (JPEG) or\n"
    "                    .png (8-bit RGB PNG);\n"
    "                    written under a temporary name and renamed, so a failed\n"
    "                    run never leaves a partial file; a file of that name is\n"
    "                    replaced, a symbolic link written through, a directory,\n"
    "                    device, FIFO or socket refused. A JPEG keeps a JPEG\n"
    "                    input's EXIF (upright, with the new size, without its\n"
    "                    thumbnail), XMP, ICC profile and IPTC; a PNG its EXIF,\n"
    "                    XMP and ICC profile\n"
    "  --output-dir DIR  each FILE is written as DIR/its name, replacing a file\n"
    "                    of that name; the name's ending gives the format, as for\n"
    "                    OUTPUT. DIR and the folders in it are made when missing\n"
    "  -r, --recursive   a FOLDER's subfolders too, their tree kept below DIR\n"
    "                    (-r --output-dir large photos: photos/2024/a.jpg gives\n"
    "                    large/2024/a.jpg); links to folders are not followed, so\n"
    "                    that no loop is walked\n"
    "  --format F        with --output-dir: every FILE in the format F (jpg, bmp\n"
    "                    or png), its name ending in .jpg, .bmp or .png instead\n"
    "  --suffix TEXT     with --output-dir: TEXT before each output's ending\n"
    "                    (--suffix _x2 writes photo_x2.jpg)\n"
    "  --no-clobber      an output that exists is left as it is, which is not a\n"
    "                    failure; \"skipped NAME: it exists\" says so\n"
    "  --jobs N          files enlarged at once, 1 to 64; by default three per core\n"
    "                    (a picture too large to share memory with others waits\n"
    "                    for them and goes alone)\n"
    "  --strip           leave the source's metadata (EXIF, XMP, ICC profile,\n"
    "                    IPTC) out of a JPEG or PNG output\n"
    "  --quality N       JPEG quality from 1 to 100 (100, as the program saves)\n"
    "  --quiet           no progress, no skipped outputs; errors are still reported\n"
    "  -h, --help        this text\n"
    "  --version         the tool's version\n"
    "\n"
    "The result is (R x width - 1) by (R x height - 1) pixels, fractions dropped.\n"
    "On a terminal, progress is shown on standard error once a run takes a second.\n"
    "A batch goes on after a FILE that fails and lists the failed ones at the end;\n"
    "a FILE fails whose output another FILE of the run has written or would\n"
    "replace one of the FILEs.\n"
    "Exit status: 0 when every file was written, 1 when one failed, 2 for a usage\n"
    "error (an unknown option, a missing operand, a ratio outside the range, ...).\n";

constexpr const char* kVersion = "velmora-enlarge " VELMORA_PROJECT_VERSION "\n";

int usageError(const QString& message) {
    printError(message);
    return kExitUsage;
}

// The whole usage text, for a command line without its operands.
int usageText() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// "2.5" gives 25 (the ratio in tenths); anything else gives -1.
int parseRatio(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,3})(?:\\.([0-9]))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return -1;
    return m.captured(1).toInt() * 10 + (m.captured(2).isEmpty() ? 0 : m.captured(2).toInt());
}

// The ratio's form and range: the zoom-ratio dialog's, so the tool makes
// exactly the results the program can.
int readRatio(Request* request) {
    const int scale = parseRatio(request->ratioText);
    if (scale < 0)
        return usageError(
            QStringLiteral("the ratio \"%1\" is not a number with at most one decimal")
                .arg(request->ratioText));
    if (scale < kMinScale || scale > kMaxScale)
        return usageError(QStringLiteral("the ratio %1 is out of range (%2 to %3)")
                              .arg(request->ratioText, QString::number(kMinScale / 10.0, 'f', 1),
                                   QString::number(kMaxScale / 10.0, 'f', 1)));
    request->ratio = scale / 10.0;
    return -1;
}

int readQuality(const QString& text, Request* request) {
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,3}$"));
    const int quality = form.match(text).hasMatch() ? text.toInt() : 0;
    if (quality < 1 || quality > 100)
        return usageError(
            QStringLiteral("the quality \"%1\" is not a whole number from 1 to 100").arg(text));
    request->quality = quality;
    return -1;
}

int readFormat(const QString& text, Request* request) {
    if (text == QStringLiteral("jpg"))
        request->format = SaveKind::Jpeg;
    else if (text == QStringLiteral("bmp"))
        request->format = SaveKind::Bitmap;
    else if (text == QStringLiteral("png"))
        request->format = SaveKind::Png;
    else
        return usageError(QStringLiteral("the format \"%1\" is not jpg, bmp or png").arg(text));
    return -1;
}

// A whole number of pixels above 0, or -1.
int parsePixels(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,9}$"));
    const int pixels = form.match(text).hasMatch() ? text.toInt() : 0;
    return pixels >= 1 ? pixels : -1;
}

int readSide(const QString& text, const QString& side, int* pixels) {
    *pixels = parsePixels(text);
    if (*pixels < 0)
        return usageError(QStringLiteral("the %1 \"%2\" is not a whole number of pixels above 0")
                              .arg(side, text));
    return -1;
}

int readBox(const QString& text, SizeTarget* size) {
    static const QRegularExpression form(QStringLiteral("^([0-9]+)x([0-9]+)$"));
    const QRegularExpressionMatch m = form.match(text);
    size->width = m.hasMatch() ? parsePixels(m.captured(1)) : -1;
    size->height = m.hasMatch() ? parsePixels(m.captured(2)) : -1;
    if (size->width < 0 || size->height < 0)
        return usageError(QStringLiteral("the box \"%1\" is not WIDTHxHEIGHT in whole pixels above "
                                         "0 (such as 1920x1080)")
                              .arg(text));
    return -1;
}

int readJobs(const QString& text, Request* request) {
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,2}$"));
    const int jobs = form.match(text).hasMatch() ? text.toInt() : 0;
    if (jobs < 1 || jobs > kMaxJobs)
        return usageError(
            QStringLiteral("the number of jobs \"%1\" is not a whole number from 1 to %2")
                .arg(text)
                .arg(kMaxJobs));
    request->jobs = jobs;
    return -1;
}

// A suffix with a "/" would put outputs into other folders.
int readSuffix(const QString& text, Request* request) {
    if (text.contains(QLatin1Char('/')))
        return usageError(QStringLiteral("the suffix \"%1\" must not hold a \"/\"").arg(text));
    request->suffix = text;
    return -1;
}

// The options the tool takes; --help and --version are answered before.
struct Options {
    QCommandLineOption ratio{QStringLiteral("ratio"), QString(), QStringLiteral("R")};
    QCommandLineOption width{QStringLiteral("width"), QString(), QStringLiteral("W")};
    QCommandLineOption height{QStringLiteral("height"), QString(), QStringLiteral("H")};
    QCommandLineOption fit{QStringLiteral("fit"), QString(), QStringLiteral("WxH")};
    QCommandLineOption quality{QStringLiteral("quality"), QString(), QStringLiteral("N")};
    QCommandLineOption format{QStringLiteral("format"), QString(), QStringLiteral("F")};
    QCommandLineOption outputDir{QStringLiteral("output-dir"), QString(), QStringLiteral("DIR")};
    QCommandLineOption suffix{QStringLiteral("suffix"), QString(), QStringLiteral("TEXT")};
    QCommandLineOption jobs{QStringLiteral("jobs"), QString(), QStringLiteral("N")};
    QCommandLineOption recursive{{QStringLiteral("r"), QStringLiteral("recursive")}};
    QCommandLineOption noClobber{QStringLiteral("no-clobber")};
    QCommandLineOption quiet{QStringLiteral("quiet")};
    QCommandLineOption strip{QStringLiteral("strip")};

    QList<QCommandLineOption> all() const {
        return {ratio,  width, height,    fit,       quality, format, outputDir,
                suffix, jobs,  recursive, noClobber, quiet,   strip};
    }
};

// --ratio, or a size that each file's ratio is chosen for: one of them.
int readScale(const QCommandLineParser& parser, const Options& o, Request* request) {
    const int given = int(parser.isSet(o.ratio)) + int(parser.isSet(o.width)) +
                      int(parser.isSet(o.height)) + int(parser.isSet(o.fit));
    if (given > 1)
        return usageError(
            QStringLiteral("--ratio, --width, --height and --fit exclude each other"));
    request->ratioText = parser.value(o.ratio);
    SizeTarget& size = request->size;
    if (parser.isSet(o.width)) {
        size.rule = SizeRule::Width;
        return readSide(parser.value(o.width), QStringLiteral("width"), &size.width);
    }
    if (parser.isSet(o.height)) {
        size.rule = SizeRule::Height;
        return readSide(parser.value(o.height), QStringLiteral("height"), &size.height);
    }
    if (parser.isSet(o.fit)) {
        size.rule = SizeRule::Fit;
        return readBox(parser.value(o.fit), &size);
    }
    return -1;
}

// The values of the options that take one, each checked in turn.
int readValues(const QCommandLineParser& parser, const Options& o, Request* request) {
    const std::pair<const QCommandLineOption*, int (*)(const QString&, Request*)> readers[] = {
        {&o.quality, readQuality},
        {&o.format, readFormat},
        {&o.jobs, readJobs},
        {&o.suffix, readSuffix}};
    for (const auto& [option, read] : readers)
        if (parser.isSet(*option))
            if (const int code = read(parser.value(*option), request); code >= 0)
                return code;
    return readScale(parser, o, request);
}

// The operands: INPUT OUTPUT, or with --output-dir one FILE or more.
int readOperands(const QStringList& operands, Request* request) {
    const bool scaled = !request->ratioText.isEmpty() || request->size.rule != SizeRule::Ratio;
    if (!scaled || (request->batch ? operands.isEmpty() : operands.size() != 2))
        return usageText();
    if (request->batch) {
        request->inputs = operands;
    } else {
        request->inputs = {operands[0]};
        request->output = operands[1];
    }
    return -1;
}

bool isFolder(const QString& name) {
    struct stat st {};
    return ::stat(gui::nameToBytes(name).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// In the two-operand form, OUTPUT's ending alone gives its format, and INPUT
// is one picture.
int checkOutput(const Request& request) {
    if (request.batch)
        return -1;
    if (request.format)
        return usageError(QStringLiteral("--format goes with --output-dir; OUTPUT's ending "
                                         "gives its format"));
    if (!request.suffix.isEmpty())
        return usageError(QStringLiteral("--suffix goes with --output-dir; OUTPUT names the file"));
    if (isFolder(request.inputs.first()))
        return usageError(QStringLiteral("%1 is a folder: its pictures go into the folder "
                                         "given with --output-dir DIR")
                              .arg(request.inputs.first()));
    if (!kindOfName(request.output))
        return usageError(QStringLiteral("the output %1 must end in .bmp, .jpg, .jpeg or .png")
                              .arg(request.output));
    return -1;
}

// Why the parser stopped: an unknown option, or one without its value.
int parseError(const QCommandLineParser& parser) {
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty()) {
        static const QRegularExpression named(QStringLiteral("'(.*)'"));
        return usageError(QStringLiteral("%1 needs a value (see --help)")
                              .arg(named.match(parser.errorText()).captured(1)));
    }
    const QString dashes = unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--");
    return usageError(
        QStringLiteral("unknown option %1 (see --help)").arg(dashes + unknown.first()));
}

} // namespace

// QCoreApplication::arguments() would turn bytes that are not UTF-8 into
// U+FFFD, which names another file: the names are taken from argv's bytes.
int readCommandLine(int argc, char** argv, Request* request) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << gui::nameFromBytes(QByteArray(argv[i]));
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.contains(QStringLiteral("--version"))) {
        std::fputs(kVersion, stdout);
        return 0;
    }
    QCommandLineParser parser;
    const Options options;
    parser.addOptions(options.all());
    if (!parser.parse(args))
        return parseError(parser);
    if (const int code = readValues(parser, options, request); code >= 0)
        return code;
    request->quiet = parser.isSet(options.quiet);
    request->strip = parser.isSet(options.strip);
    request->noClobber = parser.isSet(options.noClobber);
    request->recursive = parser.isSet(options.recursive);
    request->batch = parser.isSet(options.outputDir);
    request->outputDir = parser.value(options.outputDir);
    if (const int code = readOperands(parser.positionalArguments(), request); code >= 0)
        return code;
    if (request->size.rule == SizeRule::Ratio)
        if (const int code = readRatio(request); code >= 0)
            return code;
    return checkOutput(*request);
}

} // namespace velmora::tool
