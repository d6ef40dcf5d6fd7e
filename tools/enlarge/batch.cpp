#include "tools/enlarge/batch.h"

#include "imageio/sourcefile.h"
#include "platform/filenames.h"
#include "tools/enlarge/enlargefile.h"
#include "tools/enlarge/request.h"
#include "tools/enlarge/statusline.h"

#include <QHash>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace velmora::tool {

namespace {

// The files of the run, as the system tells them apart: another spelling of
// an input's name is the same file.
using FileIds = std::set<std::pair<dev_t, ino_t>>;

std::optional<std::pair<dev_t, ino_t>> fileId(const QString& name) {
    struct stat st {};
    if (::stat(platform::nameToBytes(name).constData(), &st) != 0)
        return std::nullopt;
    return std::pair{st.st_dev, st.st_ino};
}

QString systemWords(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why the outputs cannot go into dir, in the system's words; empty when they
// can. Checked once, rather than failing every file alike after reading it.
QString folderRefusal(const QString& dir) {
    const QByteArray name = platform::nameToBytes(dir);
    struct stat st {};
    int error = 0;
    if (::stat(name.constData(), &st) != 0)
        error = errno;
    else if (!S_ISDIR(st.st_mode))
        error = ENOTDIR;
    else if (::access(name.constData(), W_OK | X_OK) != 0)
        error = errno;
    return error == 0 ? QString()
                      : QStringLiteral("cannot write into %1: %2").arg(dir, systemWords(error));
}

// DIR/the input's own name, its ending replaced by the format's when one was
// asked for. A name's first character never starts an ending: ".bmp" stays.
QString outputName(const Request& request, QString input) {
    while (input.size() > 1 && input.endsWith(QLatin1Char('/')))
        input.chop(1);
    QString name = input.mid(input.lastIndexOf(QLatin1Char('/')) + 1);
    if (request.format) {
        if (const qsizetype dot = name.lastIndexOf(QLatin1Char('.')); dot > 0)
            name.truncate(dot);
        name += *request.format == SaveKind::Jpeg ? QStringLiteral(".jpg") : QStringLiteral(".bmp");
    }
    const bool joined = request.outputDir.endsWith(QLatin1Char('/'));
    return request.outputDir + (joined ? QString() : QStringLiteral("/")) + name;
}

struct Run {
    const Request& request;
    StatusLine* status;
    FileIds inputs;
    QHash<QString, QString> written; // output name -> the input written there
    QStringList failed;
};

// Why this output must not be written; empty when it may.
QString outputRefusal(const Run& run, const QString& output) {
    if (const auto earlier = run.written.constFind(output); earlier != run.written.cend())
        return QStringLiteral("cannot write %1: it was written from %2 in this run")
            .arg(output, *earlier);
    if (const auto id = fileId(output); id && run.inputs.count(*id) > 0)
        return QStringLiteral("cannot write %1: it would replace an input of this run").arg(output);
    return {};
}

QString enlargeOne(Run* run, int index) {
    const QString& input = run->request.inputs[index];
    // A missing or unreadable input is told as such, before what its name
    // would make of the output.
    if (imageio::SourceFile file; !file.openPath(input))
        return QStringLiteral("cannot read %1: %2").arg(input, file.errorString());
    const QString output = outputName(run->request, input);
    if (const QString why = outputRefusal(*run, output); !why.isEmpty())
        return why;
    const std::optional<SaveKind> kind =
        run->request.format ? run->request.format : kindOfName(output);
    if (!kind)
        return QStringLiteral("the output %1 must end in .bmp, .jpg or .jpeg (see --format)")
            .arg(output);
    StatusLine* status = run->status;
    const QString why = enlargeFile(run->request, {input, output, *kind, [status](double fraction) {
                                                       status->update(fraction);
                                                   }});
    if (why.isEmpty())
        run->written.insert(output, input);
    return why;
}

void listFailures(const Run& run) {
    run.status->clear();
    printError(QStringLiteral("%1 of %2 files failed:")
                   .arg(run.failed.size())
                   .arg(run.request.inputs.size()));
    for (const QString& input : run.failed)
        std::fprintf(stderr, "  %s\n", platform::nameToBytes(input).constData());
}

} // namespace

int runBatch(const Request& request, StatusLine* status) {
    if (const QString why = folderRefusal(request.outputDir); !why.isEmpty()) {
        printError(why);
        return kExitFailed;
    }
    Run run{request, status, {}, {}, {}};
    for (const QString& input : request.inputs)
        if (const auto id = fileId(input))
            run.inputs.insert(*id);
    for (int i = 0; i < request.inputs.size(); ++i) {
        status->startFile(i, request.inputs[i]);
        if (const QString why = enlargeOne(&run, i); !why.isEmpty()) {
            status->error(why);
            run.failed << request.inputs[i];
        }
    }
    status->clear();
    if (run.failed.isEmpty())
        return 0;
    listFailures(run);
    return kExitFailed;
}

} // namespace velmora::tool
