#include "tool/batch.h"

#include "imageio/sourcefile.h"
#include "platform/memory.h"
#include "tool/enlargefile.h"
#include "tool/inputs.h"
#include "tool/jobs.h"
#include "tool/request.h"
#include "tool/statusline.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace velmora::tool {

namespace {

std::string systemWords(int error) {
    return std::strerror(error);
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes the folder and those above it that are missing, as mkdir -p does;
// the system's error, or 0. Another thread making one meanwhile is no error.
int makeFolders(std::string path) {
    while (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    if (const std::size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0)
        if (const int error = makeFolders(path.substr(0, slash)); error != 0)
            return error;
    if (::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && isFolder(path)))
        return 0;
    return errno;
}

// Why the outputs cannot go into dir, in the system's words; empty when they
// can. The folder is made when missing. Checked once, rather than failing
// every file alike after reading it.
std::string folderRefusal(const std::string& dir) {
    int error = makeFolders(dir);
    if (error == 0 && ::access(dir.c_str(), W_OK | X_OK) != 0)
        error = errno;
    return error == 0 ? std::string() : "cannot write into " + dir + ": " + systemWords(error);
}

// DIR/the input's name below it, --suffix put before its ending and the
// ending replaced by the format's when one was asked for. A name's first
// character never starts an ending: ".bmp" stays.
std::string outputName(const Request& request, const InputFile& file) {
    const std::string& name = file.below;
    const std::size_t slash = name.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = name.rfind('.');
    const std::size_t end = dot != std::string::npos && dot > start ? dot : name.size();
    std::string ending = name.substr(end);
    if (request.format)
        ending = *request.format == SaveKind::Jpeg     ? ".jpg"
                 : *request.format == SaveKind::Bitmap ? ".bmp"
                                                       : ".png";
    const bool joined = request.outputDir.ends_with('/');
    return request.outputDir + (joined ? "" : "/") + name.substr(0, end) + request.suffix + ending;
}

// Why the output's folder cannot be made, in the tool's words; empty when it
// is there.
std::string outputFolderRefusal(const std::string& output) {
    const std::size_t slash = output.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return {};
    const int error = makeFolders(output.substr(0, slash));
    return error == 0 ? std::string() : "cannot write " + output + ": " + systemWords(error);
}

// A file cleared to be enlarged.
struct Task {
    int index = 0;
    std::string output;
    SaveKind kind = SaveKind::Jpeg;
};

// The files of a run, taken in order, each checked and cleared before the
// next (so that of two files with one output name the earlier one goes
// first), and enlarged side by side.
class Batch {
  public:
    Batch(const Request& request, std::vector<InputFile> files, StatusLine* status);

    // Enlarges every file, `jobs` at once; the files that failed, in order.
    std::vector<std::string> run(int jobs);

  private:
    bool step();
    std::optional<Task> clear(int index);
    std::string checkOutput(const std::string& output);
    std::optional<Task> failed(int index, const std::string& why);
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
    std::set<std::string> underWay_;             // outputs being written
    std::map<std::string, std::string> written_; // output name -> the input written there
};

Batch::Batch(const Request& request, std::vector<InputFile> files, StatusLine* status)
    : request_(request), files_(std::move(files)), status_(status),
      memory_(platform::memoryBudgetBytes()), failed_(files_.size(), 0) {
    for (const InputFile& file : files_)
        if (const auto id = fileId(file.path))
            inputs_.insert(*id);
}

std::vector<std::string> Batch::run(int jobs) {
    runSideBySide(std::clamp(jobs, 1, std::max(1, static_cast<int>(files_.size()))),
                  [this] { return step(); });
    std::vector<std::string> names;
    for (std::size_t i = 0; i < files_.size(); ++i)
        if (failed_[i])
            names.push_back(files_[i].path);
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
    if (!file.failure.empty())
        return failed(index, file.failure);
    // A missing or unreadable input is told as such, before what its name
    // would make of the output.
    if (imageio::SourceFile source; !source.openPath(file.path))
        return failed(index, "cannot read " + file.path + ": " + source.errorString());
    Task task{index, outputName(request_, file), SaveKind::Jpeg};
    if (const std::string why = checkOutput(task.output); !why.empty())
        return failed(index, why);
    const std::optional<SaveKind> kind =
        request_.format ? request_.format : kindOfName(task.output);
    if (!kind)
        return failed(index, "the output " + task.output +
                                 " must end in .bmp, .jpg, .jpeg or .png (see --format)");
    task.kind = *kind;
    if (request_.noClobber && nameTaken(task.output)) {
        status_->note("skipped " + task.output + ": it exists");
        status_->finishFile(index);
        return std::nullopt;
    }
    const std::lock_guard lock(outputsMutex_);
    underWay_.insert(task.output);
    return task;
}

// Why this output must not be written; empty when it may. An earlier file
// still writing it is waited for: whether it was written decides.
std::string Batch::checkOutput(const std::string& output) {
    std::unique_lock lock(outputsMutex_);
    outputDone_.wait(lock, [&] { return !underWay_.contains(output); });
    if (const auto earlier = written_.find(output); earlier != written_.end())
        return "cannot write " + output + ": it was written from " + earlier->second +
               " in this run";
    if (const auto id = fileId(output); id && inputs_.count(*id) > 0)
        return "cannot write " + output + ": it would replace an input of this run";
    return {};
}

std::optional<Task> Batch::failed(int index, const std::string& why) {
    status_->error(why);
    failed_[index] = 1;
    status_->finishFile(index);
    return std::nullopt;
}

void Batch::enlarge(const Task& task) {
    const std::string& input = files_[task.index].path;
    StatusLine* status = status_;
    const int index = task.index;
    const FileJob job{input,
                      task.output,
                      task.kind,
                      [status, index](double fraction) { status->update(index, fraction); },
                      &memory_,
                      [&task] { return outputFolderRefusal(task.output); },
                      [status](const std::string& message) { status->note(message); }};
    const std::string why = enlargeFile(request_, job);
    if (!why.empty()) {
        status_->error(why);
        failed_[index] = 1;
    }
    {
        const std::lock_guard lock(outputsMutex_);
        underWay_.erase(task.output);
        if (why.empty())
            written_[task.output] = input;
    }
    outputDone_.notify_all();
    status_->finishFile(index);
}

void listFailures(StatusLine* status, const std::vector<std::string>& failed, std::size_t files) {
    status->clear();
    printError(std::to_string(failed.size()) + " of " + std::to_string(files) + " files failed:");
    for (const std::string& input : failed)
        std::fprintf(stderr, "  %s\n", input.c_str());
}

} // namespace

int runBatch(const Request& request) {
    if (const std::string why = folderRefusal(request.outputDir); !why.empty()) {
        printError(why);
        return kExitFailed;
    }
    std::vector<InputFile> files =
        collectInputs(request.inputs, request.recursive, fileId(request.outputDir));
    const std::size_t count = files.size();
    StatusLine status(static_cast<int>(count), request.quiet);
    Batch batch(request, std::move(files), &status);
    const std::vector<std::string> failed =
        batch.run(request.jobs > 0 ? request.jobs : defaultJobs());
    status.clear();
    if (failed.empty())
        return 0;
    listFailures(&status, failed, count);
    return kExitFailed;
}

} // namespace velmora::tool
