#include "outputfile/outputfile.h"

#include "outputfile/destination.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace velmora::jpeg {

namespace {

DestinationKind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return DestinationKind::RegularFile;
    if (S_ISDIR(mode))
        return DestinationKind::Directory;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return DestinationKind::Device;
    if (S_ISFIFO(mode))
        return DestinationKind::Fifo;
    if (S_ISSOCK(mode))
        return DestinationKind::Socket;
    return DestinationKind::OtherSpecial;
}

int errorFor(DestinationKind kind) {
    switch (kind) {
    case DestinationKind::New:
    case DestinationKind::RegularFile:
        return 0;
    case DestinationKind::Directory:
        return EISDIR;
    case DestinationKind::DanglingLink:
        return ENOENT;
    default:
        return EEXIST;
    }
}

Destination found(DestinationKind kind, std::string file, int error = 0) {
    Destination d;
    d.kind = kind;
    d.file = std::move(file);
    d.error = error != 0 ? error : errorFor(kind);
    return d;
}

constexpr int kTempNameAttempts = 64;
// Written data is handed to the disk in pieces of this size while the encoding
// goes on, so that the fsync at the end waits only for the last piece.
constexpr off_t kWritebackBytes = off_t(8) << 20;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// A name no other call is using: a short fixed prefix and 64 random bits (or
// the process id and a counter where the kernel has no randomness to give
// yet), 30 bytes whatever the destination's name, so that any name the system
// allows for the destination leaves room for it.
std::string uniqueName(const std::string& folder) {
    static std::atomic<unsigned> counter{0};
    uint64_t random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != sizeof random)
        random = (uint64_t(::getpid()) << 32) ^ counter.fetch_add(1);
    char name[40];
    std::snprintf(name, sizeof name, "/.velmora-%016llx.tmp",
                  static_cast<unsigned long long>(random));
    return folder + name;
}

// What a destination that was a new name or a regular file has become: a link
// now counts as refused, whatever it leads to.
Destination changedTo(const std::string& file) {
    Destination now = findDestination(file);
    if (writable(now.kind)) {
        now.kind = DestinationKind::OtherSpecial;
        now.error = EEXIST;
    }
    return now;
}

// Links an unnamed file to path: through /proc for any user; AT_EMPTY_PATH
// where /proc is missing (it needs the privilege to open files by their
// descriptor). Fails with EEXIST where path exists.
bool linkUnnamed(int fd, const std::string& path) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
           (errno == ENOENT && ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0);
}

} // namespace

Destination findDestination(const std::string& path, const std::string& source) {
    // lstat and stat look at the names only; nothing is opened, so neither a
    // FIFO nor a device can block or act here.
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT ? found(DestinationKind::New, path)
                               : found(DestinationKind::Unreachable, path, errno);
    std::string file = path;
    if (S_ISLNK(st.st_mode)) {
        // realpath follows the whole chain (and the links among the folders);
        // ENOENT: the chain ends at a name that does not exist.
        const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                               &std::free);
        if (!real)
            return errno == ENOENT ? found(DestinationKind::DanglingLink, path)
                                   : found(DestinationKind::Unreachable, path, errno);
        file = real.get();
        if (::stat(file.c_str(), &st) != 0)
            return found(DestinationKind::Unreachable, file, errno);
    }
    Destination d = found(kindOf(st.st_mode), std::move(file));
    if (d.kind == DestinationKind::RegularFile) {
        // The same file under any name (./, a link, a hard link) is the same
        // device and inode.
        struct stat input;
        if (!source.empty() && ::stat(source.c_str(), &input) == 0 && input.st_dev == st.st_dev &&
            input.st_ino == st.st_ino)
            return found(DestinationKind::Source, std::move(d.file));
        d.mode = st.st_mode & 07777;
    }
    return d;
}

OutputFile::~OutputFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!path_.empty())
        ::unlink(path_.c_str());
}

bool OutputFile::fail() {
    if (error_ == 0)
        error_ = errno;
    return false;
}

// Links the complete unnamed file under a hidden temporary name beside the
// destination, from which it is renamed as a named one is.
bool OutputFile::giveName(int fd) {
    const std::string folder = folderOf(destination_);
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        std::string path = uniqueName(folder);
        if (linkUnnamed(fd, path)) {
            path_ = std::move(path);
            return true;
        }
        if (errno != EEXIST && errno != EINTR)
            return fail();
    }
    return fail();
}

bool OutputFile::refuse(const Destination& found) {
    refusal_ = found.kind;
    errno = found.error;
    return fail();
}

bool OutputFile::create(const std::string& destination, const std::string& source) {
    return create(findDestination(destination, source));
}

bool OutputFile::create(const Destination& found) {
    if (!writable(found.kind))
        return refuse(found);
    destination_ = found.file;
    const std::string folder = folderOf(destination_);
    // A file without a name until it is complete: a process killed while it
    // writes leaves nothing behind. Where the file system has no such files,
    // a hidden temporary name stands in, and the error that follows from it
    // is the one reported.
    if (const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); fd >= 0) {
        fd_ = fd;
        if (found.kind == DestinationKind::RegularFile)
            (void)::fchmod(fd_, found.mode);
        return true;
    }
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        std::string path = uniqueName(folder);
        // O_EXCL with mode 0666: the kernel applies the umask as for any new file.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            path_ = std::move(path);
            if (found.kind == DestinationKind::RegularFile)
                (void)::fchmod(fd_, found.mode);
            return true;
        }
        if (errno != EEXIST && errno != EINTR)
            return fail();
    }
    return fail();
}

bool OutputFile::write(const unsigned char* data, std::size_t size) {
    if (fd_ < 0)
        return false;
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail();
        data += n;
        size -= static_cast<std::size_t>(n);
        written_ += n;
    }
    if (flushToDisk_ && written_ - handedToDisk_ >= kWritebackBytes) {
        // Only a start: it neither waits for the disk nor reports its errors
        // (the fsync does). A file not flushed at the end is left to the
        // system's own writeback.
        (void)::sync_file_range(fd_, handedToDisk_, written_ - handedToDisk_,
                                SYNC_FILE_RANGE_WRITE);
        handedToDisk_ = written_;
    }
    return true;
}

// fsync before the rename: without it a crash shortly after could leave the new
// name pointing at an empty file on file systems that delay allocation.
bool OutputFile::commit() {
    if (fd_ < 0)
        return false;
    const int fd = fd_;
    fd_ = -1;
    const bool synced = !flushToDisk_ || ::fsync(fd) == 0 || fail();
    // A destination that does not exist yet gets the unnamed file's name in
    // one step, so that a process killed now leaves no temporary name behind;
    // one to be replaced is reached through a temporary name and a rename.
    if (synced && path_.empty() && linkUnnamed(fd, destination_))
        return ::close(fd) == 0 || fail();
    const bool named = !synced || !path_.empty() || giveName(fd);
    const bool closed = ::close(fd) == 0 || fail();
    if (!synced || !named || !closed)
        return false;
    // What is at the destination may have changed while the file was written:
    // a rename would replace a directory's name, a special file or a link put
    // there meanwhile. Only the moment between this look and the rename is
    // left open.
    struct stat now;
    if (::lstat(destination_.c_str(), &now) == 0 && !S_ISREG(now.st_mode))
        return refuse(changedTo(destination_));
    if (::rename(path_.c_str(), destination_.c_str()) != 0)
        return fail();
    path_.clear();
    return true;
}

} // namespace velmora::jpeg
