// velmora-enlarge: the program's enlargement from the command line.
//
//   velmora-enlarge --ratio R [options] INPUT OUTPUT
//   velmora-enlarge --ratio R [options] --output-dir DIR FILE|FOLDER...
//
// Reads an image (BMP, JPEG, PNG, TIFF, WebP or GIF) as the program
// does, enlarges it by R (or by the ratio that gives the size --width, --height
// or --fit asks for) exactly as the program's enlargement command does, and
// writes the image the program would save: a bitmap for ".bmp", a JPEG for
// ".jpg"/".jpeg", a PNG for ".png", through the program's own save (the
// conversion library's encoder or the PNG writer, fed straight from the
// enlargement's strips). The second form does
// so for each FILE and the pictures in each FOLDER, several side by side
// (batch.h).
#include "tool/batch.h"
#include "tool/enlargefile.h"
#include "tool/inputs.h"
#include "tool/request.h"
#include "tool/statusline.h"

#include <clocale>

namespace {

int runOne(const velmora::tool::Request& request) {
    using namespace velmora::tool;
    StatusLine status(1, request.quiet);
    status.startFile(0, request.inputs.front());
    if (request.noClobber && nameTaken(request.output)) {
        status.note("skipped " + request.output + ": it exists");
        return 0;
    }
    FileJob job;
    job.input = request.inputs.front();
    job.output = request.output;
    job.kind = *kindOfName(request.output);
    job.progress = [&status](double fraction) { status.update(0, fraction); };
    job.warn = [&status](const std::string& message) { status.note(message); };
    const std::string why = enlargeFile(request, job);
    status.clear();
    if (why.empty())
        return 0;
    printError(why);
    return kExitFailed;
}

} // namespace

int main(int argc, char** argv) {
    // The user's locale: the system's error words in the user's language and
    // the widths of the characters of names on the progress line.
    std::setlocale(LC_ALL, "");
    velmora::tool::Request request;
    if (const int code = velmora::tool::readCommandLine(argc, argv, &request); code >= 0)
        return code;
    return request.batch ? velmora::tool::runBatch(request) : runOne(request);
}
