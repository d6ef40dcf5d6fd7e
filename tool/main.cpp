// velmora-enlarge: the program's enlargement from the command line.
//
//   velmora-enlarge --ratio R [options] INPUT OUTPUT
//   velmora-enlarge --ratio R [options] --output-dir DIR FILE|FOLDER...
//
// Reads an image (BMP, JPEG, PNG and the other formats Qt reads) as the program
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

#include <QCoreApplication>

namespace {

int runOne(const velmora::tool::Request& request) {
    using namespace velmora::tool;
    StatusLine status(1, request.quiet);
    status.startFile(0, request.inputs.first());
    if (request.noClobber && nameTaken(request.output)) {
        status.note(QStringLiteral("skipped %1: it exists").arg(request.output));
        return 0;
    }
    FileJob job;
    job.input = request.inputs.first();
    job.output = request.output;
    job.kind = *kindOfName(request.output);
    job.progress = [&status](double fraction) { status.update(0, fraction); };
    job.warn = [&status](const QString& message) { status.note(message); };
    const QString why = enlargeFile(request, job);
    status.clear();
    if (why.isEmpty())
        return 0;
    printError(why);
    return kExitFailed;
}

// Qt's image readers say what they find wrong with a file on standard error
// (a TIFF directory it cannot read, a header that is not TGA). The tool says
// why a file failed in its own words, one message a file, and lines from
// files read side by side must not cut into each other: Qt's are left out.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        velmora::tool::printError(message);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietQt);
    velmora::tool::Request request;
    if (const int code = velmora::tool::readCommandLine(argc, argv, &request); code >= 0)
        return code;
    return request.batch ? velmora::tool::runBatch(request) : runOne(request);
}
