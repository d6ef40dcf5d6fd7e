#include "imageio/sourcefile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::imageio {

SourceFile::~SourceFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool SourceFile::refuse(const std::string& why, int error) {
    error_ = why;
    openError_ = error;
    return false;
}

bool SourceFile::openPath(const std::string& path) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    // It changes nothing for the regular file that is all we go on to read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int why = errno;
        return refuse(std::strerror(why), why);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int why = errno;
        ::close(fd);
        return refuse(std::strerror(why), why);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return S_ISDIR(st.st_mode) ? refuse(std::strerror(EISDIR), EISDIR)
                                   : refuse("not a regular file", 0);
    }
    fd_ = fd;
    return true;
}

long long SourceFile::read(char* data, long long size) {
    if (cancelled() || fd_ < 0)
        return -1;
    long long done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd_, data + done, static_cast<std::size_t>(size - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error_ = std::strerror(errno);
            return done > 0 ? done : -1;
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

std::string SourceFile::read(long long size) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    const long long got = read(bytes.data(), size);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

void SourceFile::rewind() {
    seek(0);
}

bool SourceFile::seek(long long offset) {
    return fd_ >= 0 && ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == offset;
}

long long SourceFile::size() const {
    struct stat st {};
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

} // namespace velmora::imageio
