#include "outputfile/destination.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

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

} // namespace velmora::jpeg
