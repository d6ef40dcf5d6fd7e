// A picture file opened for reading, as every reader of pictures opens one.
#pragma once

#include <QFile>
#include <QString>

#include <atomic>

namespace velmora::imageio {

// Only a regular file is opened (a symbolic link is followed first), and the
// open never blocks: a FIFO nobody writes to, a device or a socket is refused
// at once, as "not a regular file", and a folder as the system's "Is a
// directory". The name is taken as bytes (see
// filenames.h); a name starting with ":" is one of Qt's resources.
//
// Reads are unbuffered, each asking the system for exactly what the caller
// asked for.
class SourceFile : public QFile {
    Q_OBJECT
  public:
    // Opens path; false with errorString() set when it cannot be read, and
    // openError() the system's error (errno), or 0 for a file that exists
    // but is not a regular one (a directory gives EISDIR).
    bool openPath(const QString& path);
    int openError() const { return openError_; }

    // Back to the first byte.
    void rewind();

    // While *flag is true, every read fails: a decoder reading the file stops.
    void setCancelFlag(const std::atomic<bool>* flag) { cancel_ = flag; }
    bool cancelled() const { return cancel_ != nullptr && cancel_->load(); }

  protected:
    qint64 readData(char* data, qint64 maxSize) override;

  private:
    bool refuse(const QString& why, int error);

    const std::atomic<bool>* cancel_ = nullptr;
    int openError_ = 0;
};

} // namespace velmora::imageio
