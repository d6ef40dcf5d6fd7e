#include "imageio/sourcefile.h"

#include "gui/filenames.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::imageio {

bool SourceFile::refuse(const QString& why, int error) {
    setErrorString(why);
    openError_ = error;
    return false;
}

bool SourceFile::openPath(const QString& path) {
    if (path.startsWith(QLatin1Char(':'))) {
        setFileName(path);
        return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    // It changes nothing for the regular file that is all we go on to read.
    const QByteArray name = gui::nameToBytes(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int why = errno;
        return refuse(QString::fromLocal8Bit(std::strerror(why)), why);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int why = errno;
        ::close(fd);
        return refuse(QString::fromLocal8Bit(std::strerror(why)), why);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return S_ISDIR(st.st_mode) ? refuse(QString::fromLocal8Bit(std::strerror(EISDIR)), EISDIR)
                                   : refuse(QStringLiteral("not a regular file"), 0);
    }
    if (!open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

void SourceFile::rewind() {
    seek(0);
}

qint64 SourceFile::readData(char* data, qint64 maxSize) {
    if (cancelled())
        return -1;
    return QFile::readData(data, maxSize);
}

} // namespace velmora::imageio
