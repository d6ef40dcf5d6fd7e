#include "tool/batch.h"

#include "gui/filenames.h"
#include "imageio/sourcefile.h"
#include "platform/memory.h"
#include "tool/enlargefile.h"
#include "tool/inputs.h"
#include "tool/jobs.h"
#include "tool/request.h"
#include "tool/statusline.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace velmora::tool {

namespace {

QString systemWords(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isFolderBytes(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes the folder and those above it that are missing, as mkdir -p does;
// the system's error, or 0. Another thread making one meanwhile is no error.
int makeFolders(QByteArray path) {
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    struct stat st {};
    if (::stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    if (const qsizetype slash = path.lastIndexOf('/'); slash > 0)
        if (const int error = makeFolders(path.left(slash)); error != 0)
            return error;
    if (::mkdir(path.constData(), 0777) == 0 || (errno == EEXIST && isFolderBytes(path)))
        return 0;
    return errno;
}

// Why the outputs cannot go into dir, in the system's words; empty when they
// can. The folder is made when missing. Checked once, rather than failing
// every file alike after reading it.
QString folderRefusal(const QString& dir) {
    const QByteArray name = gui::nameToBytes(dir);
    int error = makeFolders(name);
    if (error == 0 && ::access(name.constData(), W_OK | X_OK) != 0)
        error = errno;
    return error == 0 ? QString()
                      : QStringLiteral("cannot write into %1: %2").arg(dir, systemWords(error));
}

// DIR/the input's name below it, --suffix put before its ending and the
// ending replaced by the format's when one was asked for. A name's first
// character never starts an ending: ".bmp" stays.
QString outputName(const Request& request, const InputFile& file) {
    const QString& name = file.below;
    const qsizetype start = name.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype end = dot > start ? dot : name.size();
    QString ending = name.mid(end);
    if (request.format)
        ending = *request.format == SaveKind::Jpeg     ? QStringLiteral(".jpg")
                 : *request.format == SaveKind::Bitmap ? QStringLiteral(".bmp")
                                                       : QStringLiteral(".png");
    const bool joined = request.outputDir.endsWith(QLatin1Char('/'));
    return request.outputDir + (joined ? QString() : QStringLiteral("/")) + name.left(end) +
           request.suffix + ending;
}

// Why the output's folder cannot be made, in the tool's words; empty when it
// is there.
QString outputFolderRefusal(const QString& output) {
    const qsizetype slash = output.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
        return {};
    const int error = makeFolders(gui::nameToBytes(output.left(slash)));
    return error == 0 ? QString()
                      : QStringLiteral("cannot write %1: %2").arg(output, systemWords(error));
}

// A file cleared to be enlarged.
struct Task {
    int index = 0;
    QString output;
    SaveKind kind = SaveKind::Jpeg;
};

// The files of a run, taken in order, each checked and cleared before the
// next (so that of two files with one output name the earlier one goes
// first), and enlarged side by side.
class Batch {
  public:
    Batch(const Request& request, std::vector<InputFile> files, StatusLine* status);

    // Enlarges every file, `jobs` at once; the files that failed, in order.
    QStringList run(int jobs);

  private:
    bool step();
    std::optional<Task> clear(int index);
    QString checkOutput(const QString& output);
    std::optional<Task> failed(int index, const QString& why);
    void enlarge(const Task& task);

    const Request& request_;
    const std::vector<InputFile> files_;
    StatusLine* status_;
    std::set<FileId> inputs_;
    MemoryGate memory_;
    std::vector<char> failed_; // by index: whether the file failed
    std::mutex dispatch_;      // held while a file is taken and cleared
    int next_ = 0;
    std::mutex outputsMutex_; // guards the two below
    std::condition_variable outputDone_;
    QSet<QString> underWay_;          // outputs being written
    QHash<QString, QString> written_; // output name -> the input written there
};

Batch::Batch(const Request& request, std::vector<InputFile> files, StatusLine* status)
    : request_(request), files_(std::move(files)), status_(status),
      memory_(platform::memoryBudgetBytes()), failed_(files_.size(), 0) {
    for (const InputFile& file : files_)
        if (const auto id = fileId(file.path))
            inputs_.insert(*id);
}

QStringList Batch::run(int jobs) {
    runSideBySide(std::clamp(jobs, 1, std::max(1, static_cast<int>(files_.size()))),
                  [this] { return step(); });
    QStringList names;
    for (std::size_t i = 0; i < files_.size(); ++i)
        if (failed_[i])
            names << files_[i].path;
    return names;
}

// Takes the next file and enlarges it; false when none is left.
bool Batch::step() {
    std::optional<Task> task;
    {
        const std::lock_guard lock(dispatch_);
        if (next_ >= static_cast<int>(files_.size()))
            return false;
        const int index = next_++;
        status_->startFile(index, files_[index].path);
        task = clear(index);
    }
    if (task)
        enlarge(*task);
    return true;
}

// Whether the file may be enlarged: it can be opened, its output is not
// refused, and with --no-clobber is not there yet. A file that may not is
// reported and done with.
std::optional<Task> Batch::clear(int index) {
    const InputFile& file = files_[index];
    if (!file.failure.isEmpty())
        return failed(index, file.failure);
    // A missing or unreadable input is told as such, before what its name
    // would make of the output.
    if (imageio::SourceFile source; !source.openPath(gui::pathBytes(file.path)))
        return failed(index, QStringLiteral("cannot read %1: %2")
                                 .arg(file.path, QString::fromStdString(source.errorString())));
    Task task{index, outputName(request_, file), SaveKind::Jpeg};
    if (const QString why = checkOutput(task.output); !why.isEmpty())
        return failed(index, why);
    const std::optional<SaveKind> kind =
        request_.format ? request_.format : kindOfName(task.output);
    if (!kind)
        return failed(
            index,
            QStringLiteral("the output %1 must end in .bmp, .jpg, .jpeg or .png (see --format)")
                .arg(task.output));
    task.kind = *kind;
    if (request_.noClobber && nameTaken(task.output)) {
        status_->note(QStringLiteral("skipped %1: it exists").arg(task.output));
        status_->finishFile(index);
        return std::nullopt;
    }
    const std::lock_guard lock(outputsMutex_);
    underWay_.insert(task.output);
    return task;
}

// Why this output must not be written; empty when it may. An earlier file
// still writing it is waited for: whether it was written decides.
QString Batch::checkOutput(const QString& output) {
    std::unique_lock lock(outputsMutex_);
    outputDone_.wait(lock, [&] { return !underWay_.contains(output); });
    if (const auto earlier = written_.constFind(output); earlier != written_.cend())
        return QStringLiteral("cannot write %1: it was written from %2 in this run")
            .arg(output, *earlier);
    if (const auto id = fileId(output); id && inputs_.count(*id) > 0)
        return QStringLiteral("cannot write %1: it would replace an input of this run").arg(output);
    return {};
}

std::optional<Task> Batch::failed(int index, const QString& why) {
    status_->error(why);
    failed_[index] = 1;
    status_->finishFile(index);
    return std::nullopt;
}

void Batch::enlarge(const Task& task) {
    const QString& input = files_[task.index].path;
    StatusLine* status = status_;
    const int index = task.index;
    const FileJob job{input,
                      task.output,
                      task.kind,
                      [status, index](double fraction) { status->update(index, fraction); },
                      &memory_,
                      [&task] { return outputFolderRefusal(task.output); },
                      [status](const QString& message) { status->note(message); }};
    const QString why = enlargeFile(request_, job);
    if (!why.isEmpty()) {
        status_->error(why);
        failed_[index] = 1;
    }
    {
        const std::lock_guard lock(outputsMutex_);
        underWay_.remove(task.output);
        if (why.isEmpty())
            written_.insert(task.output, input);
    }
    outputDone_.notify_all();
    status_->finishFile(index);
}

void listFailures(StatusLine* status, const QStringList& failed, std::size_t files) {
    status->clear();
    printError(QStringLiteral("%1 of %2 files failed:").arg(failed.size()).arg(files));
    for (const QString& input : failed)
        std::fprintf(stderr, "  %s\n", gui::nameToBytes(input).constData());
}

} // namespace

int runBatch(const Request& request) {
    if (const QString why = folderRefusal(request.outputDir); !why.isEmpty()) {
        printError(why);
        return kExitFailed;
    }
    std::vector<InputFile> files =
        collectInputs(request.inputs, request.recursive, fileId(request.outputDir));
    const std::size_t count = files.size();
    StatusLine status(static_cast<int>(count), request.quiet);
    Batch batch(request, std::move(files), &status);
    const QStringList failed = batch.run(request.jobs > 0 ? request.jobs : defaultJobs());
    status.clear();
    if (failed.isEmpty())
        return 0;
    listFailures(&status, failed, count);
    return kExitFailed;
}

} // namespace velmora::tool
