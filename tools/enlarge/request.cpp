#include "tools/enlarge/request.h"

#include "platform/filenames.h"
#include "settings/settings.h"
#include "tools/enlarge/statusline.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

namespace velmora::tool {

namespace {

constexpr const char* kUsage =
    "usage: velmora-enlarge --ratio R [--strip] [--quality N] [--quiet] INPUT OUTPUT\n"
    "       velmora-enlarge --ratio R [--format jpg|bmp|png] [--strip] [--quality N]\n"
    "                       [--quiet] --output-dir DIR FILE...\n"
    "\n"
    "Enlarges the image INPUT by the ratio R with anti-aliasing and writes the\n"
    "result to OUTPUT, exactly as the velmora program would save it; or enlarges\n"
    "each FILE in turn into the folder DIR, under its own name.\n"
    "\n"
    "  --ratio R         a number from 1.1 to 10.0 with at most one digit after\n"
    "                    the point (2.5 enlarges two and a half times), as in the\n"
    "                    program\n"
    "  INPUT, FILE       a BMP, JPEG or PNG image (GIF, ICO, PBM/PGM/PPM, XBM and\n"
    "                    XPM are read too), told apart by content, not by name\n"
    "  OUTPUT            ending in .bmp (a 24-bit bitmap), .jpg/.jpeg (JPEG) or\n"
    "                    .png (8-bit RGB PNG);\n"
    "                    written under a temporary name and renamed, so a failed\n"
    "                    run never leaves a partial file; a file of that name is\n"
    "                    replaced, a symbolic link written through, a directory,\n"
    "                    device, FIFO or socket refused. A JPEG keeps a JPEG\n"
    "                    input's EXIF (upright, with the new size, without its\n"
    "                    thumbnail), XMP, ICC profile and IPTC; a PNG its EXIF,\n"
    "                    XMP and ICC profile\n"
    "  --output-dir DIR  an existing folder: each FILE is written as DIR/its name,\n"
    "                    replacing a file of that name; the name's ending gives\n"
    "                    the format, as for OUTPUT\n"
    "  --format F        with --output-dir: every FILE in the format F (jpg, bmp\n"
    "                    or png), its name ending in .jpg, .bmp or .png instead\n"
    "  --strip           leave the source's metadata (EXIF, XMP, ICC profile,\n"
    "                    IPTC) out of a JPEG or PNG output\n"
    "  --quality N       JPEG quality from 1 to 100 (100, as the program saves)\n"
    "  --quiet           no progress; errors are still reported\n"
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

// The operands: INPUT OUTPUT, or with --output-dir one FILE or more.
int readOperands(const QStringList& operands, Request* request) {
    if (request->ratioText.isEmpty() ||
        (request->batch ? operands.isEmpty() : operands.size() != 2))
        return usageText();
    if (request->batch) {
        request->inputs = operands;
    } else {
        request->inputs = {operands[0]};
        request->output = operands[1];
    }
    return -1;
}

// In the two-operand form, OUTPUT's ending alone gives its format.
int checkOutput(const Request& request) {
    if (request.batch)
        return -1;
    if (request.format)
        return usageError(QStringLiteral("--format goes with --output-dir; OUTPUT's ending "
                                         "gives its format"));
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

std::optional<SaveKind> kindOfName(const QString& name) {
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QStringLiteral("bmp"))
        return SaveKind::Bitmap;
    if (suffix == QStringLiteral("jpg") || suffix == QStringLiteral("jpeg"))
        return SaveKind::Jpeg;
    if (suffix == QStringLiteral("png"))
        return SaveKind::Png;
    return std::nullopt;
}

// QCoreApplication::arguments() would turn bytes that are not UTF-8 into
// U+FFFD, which names another file: the names are taken from argv's bytes.
int readCommandLine(int argc, char** argv, Request* request) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << platform::nameFromBytes(QByteArray(argv[i]));
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
    const QCommandLineOption quality(QStringLiteral("quality"), QString(), QStringLiteral("N"));
    const QCommandLineOption format(QStringLiteral("format"), QString(), QStringLiteral("F"));
    const QCommandLineOption outputDir(QStringLiteral("output-dir"), QString(),
                                       QStringLiteral("DIR"));
    const QCommandLineOption quiet(QStringLiteral("quiet"));
    const QCommandLineOption strip(QStringLiteral("strip"));
    parser.addOptions({ratio, quality, format, outputDir, quiet, strip});
    if (!parser.parse(args))
        return parseError(parser);
    if (parser.isSet(quality))
        if (const int code = readQuality(parser.value(quality), request); code >= 0)
            return code;
    if (parser.isSet(format))
        if (const int code = readFormat(parser.value(format), request); code >= 0)
            return code;
    request->ratioText = parser.value(ratio);
    request->quiet = parser.isSet(quiet);
    request->strip = parser.isSet(strip);
    request->batch = parser.isSet(outputDir);
    request->outputDir = parser.value(outputDir);
    if (const int code = readOperands(parser.positionalArguments(), request); code >= 0)
        return code;
    if (const int code = readRatio(request); code >= 0)
        return code;
    return checkOutput(*request);
}

} // namespace velmora::tool
