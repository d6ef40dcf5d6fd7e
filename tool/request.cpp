#include "tool/request.h"

#include "platform/filenames.h"
#include "settings/settings.h"
#include "tool/enlargefile.h"
#include "tool/jobs.h"
#include "tool/numbertext.h"
#include "tool/statusline.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

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
    "  INPUT, FILE       a BMP, JPEG, PNG, TIFF, WebP or GIF image (its first\n"
    "                    frame), told apart by content, not by name\n"
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

int usageError(const std::string& message) {
    printError(message);
    return kExitUsage;
}

// The whole usage text, for a command line without its operands.
int usageText() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return c >= '0' && c <= '9'; });
}

// The whole number of 1 to maxDigits digits that text is, or -1.
long long digitsValue(const std::string& text, std::size_t maxDigits) {
    if (!allDigits(text) || text.size() > maxDigits)
        return -1;
    return std::stoll(text);
}

// "2.5" gives 25 (the ratio in tenths); anything else gives -1.
int parseRatio(const std::string& text) {
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string tenth = point == std::string::npos ? "0" : text.substr(point + 1);
    if (digitsValue(whole, 3) < 0 || tenth.size() != 1 || !allDigits(tenth))
        return -1;
    return static_cast<int>(digitsValue(whole, 3)) * 10 + (tenth[0] - '0');
}

// The ratio's form and range: the zoom-ratio dialog's, so the tool makes
// exactly the results the program can.
int readRatio(Request* request) {
    const int scale = parseRatio(request->ratioText);
    if (scale < 0)
        return usageError("the ratio \"" + request->ratioText +
                          "\" is not a number with at most one decimal");
    if (scale < kMinScale || scale > kMaxScale)
        return usageError("the ratio " + request->ratioText + " is out of range (" +
                          fixedText(kMinScale / 10.0, 1) + " to " + fixedText(kMaxScale / 10.0, 1) +
                          ")");
    request->ratio = scale / 10.0;
    return -1;
}

int readQuality(const std::string& text, Request* request) {
    const long long quality = digitsValue(text, 3);
    if (quality < 1 || quality > 100)
        return usageError("the quality \"" + text + "\" is not a whole number from 1 to 100");
    request->quality = static_cast<int>(quality);
    return -1;
}

int readFormat(const std::string& text, Request* request) {
    if (text == "jpg")
        request->format = SaveKind::Jpeg;
    else if (text == "bmp")
        request->format = SaveKind::Bitmap;
    else if (text == "png")
        request->format = SaveKind::Png;
    else
        return usageError("the format \"" + text + "\" is not jpg, bmp or png");
    return -1;
}

// A whole number of pixels above 0, or -1.
int parsePixels(const std::string& text) {
    const long long pixels = digitsValue(text, 9);
    return pixels >= 1 ? static_cast<int>(pixels) : -1;
}

int readSide(const std::string& text, const std::string& side, int* pixels) {
    *pixels = parsePixels(text);
    if (*pixels < 0)
        return usageError("the " + side + " \"" + text +
                          "\" is not a whole number of pixels above 0");
    return -1;
}

int readBox(const std::string& text, SizeTarget* size) {
    const std::size_t x = text.find('x');
    const bool form =
        x != std::string::npos && allDigits(text.substr(0, x)) && allDigits(text.substr(x + 1));
    size->width = form ? parsePixels(text.substr(0, x)) : -1;
    size->height = form ? parsePixels(text.substr(x + 1)) : -1;
    if (size->width < 0 || size->height < 0)
        return usageError("the box \"" + text +
                          "\" is not WIDTHxHEIGHT in whole pixels above 0 (such as 1920x1080)");
    return -1;
}

int readJobs(const std::string& text, Request* request) {
    const long long jobs = digitsValue(text, 2);
    if (jobs < 1 || jobs > kMaxJobs)
        return usageError("the number of jobs \"" + text + "\" is not a whole number from 1 to " +
                          std::to_string(kMaxJobs));
    request->jobs = static_cast<int>(jobs);
    return -1;
}

// A suffix with a "/" would put outputs into other folders.
int readSuffix(const std::string& text, Request* request) {
    if (text.find('/') != std::string::npos)
        return usageError("the suffix \"" + text + "\" must not hold a \"/\"");
    request->suffix = text;
    return -1;
}

// One option the tool takes: its names, and whether a value follows it.
struct Option {
    std::vector<std::string> names;
    bool takesValue = false;
};

// The options the tool takes; --help and --version are answered before.
enum OptionIndex {
    kRatio,
    kWidth,
    kHeight,
    kFit,
    kQuality,
    kFormat,
    kOutputDir,
    kSuffix,
    kJobs,
    kRecursive,
    kNoClobber,
    kQuiet,
    kStrip,
    kOptionCount
};

const Option kOptions[kOptionCount] = {
    {{"ratio"}, true},   {{"width"}, true},    {{"height"}, true},     {{"fit"}, true},
    {{"quality"}, true}, {{"format"}, true},   {{"output-dir"}, true}, {{"suffix"}, true},
    {{"jobs"}, true},    {{"r", "recursive"}}, {{"no-clobber"}},       {{"quiet"}},
    {{"strip"}}};

// A command line taken apart as the usual rules have it: "--name value",
// "--name=value", "-abc" for the one-letter options a, b and c ("-r"), the
// value of a one-letter option that takes one right after it or in the next
// argument, "--" before operands only, a lone "-" an operand, and options
// after operands too.
class CommandLine {
  public:
    explicit CommandLine(const std::vector<std::string>& args) {
        bool operandsOnly = false;
        // The first argument is the program's name.
        for (std::size_t i = 1; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (operandsOnly || arg == "-" || !arg.starts_with('-')) {
                operands_.push_back(arg);
            } else if (arg == "--") {
                operandsOnly = true;
            } else if (arg.starts_with("--")) {
                const std::string name = arg.substr(2, arg.find('=') - 2);
                if (found(name))
                    takeValue(name, arg, args, &i);
            } else {
                shortOptions(arg, args, &i);
            }
        }
    }

    bool ok() const { return unknown_.empty() && valueError_.empty(); }
    // The options not known, in their order; an option whose value is missing
    // or not wanted, as written ("--ratio").
    const std::vector<std::string>& unknown() const { return unknown_; }
    const std::string& valueError() const { return valueError_; }

    bool isSet(int option) const { return set_[option]; }
    // The last value given.
    std::string value(int option) const {
        return values_[option].empty() ? std::string() : values_[option].back();
    }
    const std::vector<std::string>& operands() const { return operands_; }

  private:
    static int indexOf(const std::string& name) {
        for (int i = 0; i < kOptionCount; ++i)
            for (const std::string& known : kOptions[i].names)
                if (known == name)
                    return i;
        return -1;
    }

    bool found(const std::string& name) {
        const int option = indexOf(name);
        if (option < 0) {
            unknown_.push_back(name);
            return false;
        }
        set_[option] = true;
        return true;
    }

    // The value of a known option written as arg: after its "=", or the next
    // argument.
    void takeValue(const std::string& name, const std::string& arg,
                   const std::vector<std::string>& args, std::size_t* i) {
        const int option = indexOf(name);
        const std::size_t assign = arg.find('=');
        if (!kOptions[option].takesValue) {
            if (assign != std::string::npos)
                valueError_ = arg.substr(0, assign);
            return;
        }
        if (assign != std::string::npos) {
            values_[option].push_back(arg.substr(assign + 1));
        } else if (*i + 1 < args.size()) {
            values_[option].push_back(args[++*i]);
        } else {
            valueError_ = arg;
        }
    }

    // "-abc": each character a one-letter option; one that takes a value
    // takes the rest of the argument (after an "="), or the next one.
    void shortOptions(const std::string& arg, const std::vector<std::string>& args,
                      std::size_t* i) {
        for (std::size_t at = 1; at < arg.size();) {
            const auto* p = reinterpret_cast<const unsigned char*>(arg.data() + at);
            const std::size_t length =
                std::max(1, platform::utf8SequenceLength(p, arg.size() - at));
            const std::string name = arg.substr(at, length);
            at += length;
            if (!found(name) || !kOptions[indexOf(name)].takesValue)
                continue;
            if (at < arg.size()) {
                if (arg[at] == '=')
                    ++at;
                values_[indexOf(name)].push_back(arg.substr(at));
                return;
            }
            takeValue(name, arg, args, i);
        }
    }

    bool set_[kOptionCount] = {};
    std::vector<std::string> values_[kOptionCount];
    std::vector<std::string> unknown_;
    std::vector<std::string> operands_;
    std::string valueError_;
};

// --ratio, or a size that each file's ratio is chosen for: one of them.
int readScale(const CommandLine& line, Request* request) {
    const int given = int(line.isSet(kRatio)) + int(line.isSet(kWidth)) + int(line.isSet(kHeight)) +
                      int(line.isSet(kFit));
    if (given > 1)
        return usageError("--ratio, --width, --height and --fit exclude each other");
    request->ratioText = line.value(kRatio);
    SizeTarget& size = request->size;
    if (line.isSet(kWidth)) {
        size.rule = SizeRule::Width;
        return readSide(line.value(kWidth), "width", &size.width);
    }
    if (line.isSet(kHeight)) {
        size.rule = SizeRule::Height;
        return readSide(line.value(kHeight), "height", &size.height);
    }
    if (line.isSet(kFit)) {
        size.rule = SizeRule::Fit;
        return readBox(line.value(kFit), &size);
    }
    return -1;
}

// The values of the options that take one, each checked in turn.
int readValues(const CommandLine& line, Request* request) {
    const std::pair<int, int (*)(const std::string&, Request*)> readers[] = {
        {kQuality, readQuality}, {kFormat, readFormat}, {kJobs, readJobs}, {kSuffix, readSuffix}};
    for (const auto& [option, read] : readers)
        if (line.isSet(option))
            if (const int code = read(line.value(option), request); code >= 0)
                return code;
    return readScale(line, request);
}

// The operands: INPUT OUTPUT, or with --output-dir one FILE or more.
int readOperands(const std::vector<std::string>& operands, Request* request) {
    const bool scaled = !request->ratioText.empty() || request->size.rule != SizeRule::Ratio;
    if (!scaled || (request->batch ? operands.empty() : operands.size() != 2))
        return usageText();
    if (request->batch) {
        request->inputs = operands;
    } else {
        request->inputs = {operands[0]};
        request->output = operands[1];
    }
    return -1;
}

bool isFolder(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// In the two-operand form, OUTPUT's ending alone gives its format, and INPUT
// is one picture.
int checkOutput(const Request& request) {
    if (request.batch)
        return -1;
    if (request.format)
        return usageError("--format goes with --output-dir; OUTPUT's ending gives its format");
    if (!request.suffix.empty())
        return usageError("--suffix goes with --output-dir; OUTPUT names the file");
    if (isFolder(request.inputs.front()))
        return usageError(request.inputs.front() +
                          " is a folder: its pictures go into the folder given with "
                          "--output-dir DIR");
    if (!kindOfName(request.output))
        return usageError("the output " + request.output +
                          " must end in .bmp, .jpg, .jpeg or .png");
    return -1;
}

// Why the command line was refused: an unknown option, or one without its
// value.
int parseError(const CommandLine& line) {
    if (line.unknown().empty())
        return usageError(line.valueError() + " needs a value (see --help)");
    // One character (one UTF-16 unit, as the names were always counted) takes
    // one dash, whichever way it was written.
    const std::string& name = line.unknown().front();
    const int length = name.empty()
                           ? 0
                           : platform::utf8SequenceLength(
                                 reinterpret_cast<const unsigned char*>(name.data()), name.size());
    const bool oneCharacter =
        name.size() == 1 || (length == static_cast<int>(name.size()) && length < 4);
    return usageError("unknown option " + std::string(oneCharacter ? "-" : "--") + name +
                      " (see --help)");
}

} // namespace

// The names are argv's bytes, as the system gives them.
int readCommandLine(int argc, char** argv, Request* request) {
    const std::vector<std::string> args(argv, argv + argc);
    const auto has = [&args](const char* word) {
        return std::find(args.begin(), args.end(), word) != args.end();
    };
    if (has("--help") || has("-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (has("--version")) {
        std::fputs(kVersion, stdout);
        return 0;
    }
    const CommandLine line(args);
    if (!line.ok())
        return parseError(line);
    if (const int code = readValues(line, request); code >= 0)
        return code;
    request->quiet = line.isSet(kQuiet);
    request->strip = line.isSet(kStrip);
    request->noClobber = line.isSet(kNoClobber);
    request->recursive = line.isSet(kRecursive);
    request->batch = line.isSet(kOutputDir);
    request->outputDir = line.value(kOutputDir);
    if (const int code = readOperands(line.operands(), request); code >= 0)
        return code;
    if (request->size.rule == SizeRule::Ratio)
        if (const int code = readRatio(request); code >= 0)
            return code;
    return checkOutput(*request);
}

} // namespace velmora::tool
