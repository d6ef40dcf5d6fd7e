// A picture file opened for reading, as every reader of pictures opens one.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace velmora::imageio {

// Only a regular file is opened (a symbolic link is followed first), and the
// open never blocks: a FIFO nobody writes to, a device or a socket is refused
// at once, as "not a regular file", and a folder as the system's "Is a
// directory". The name is the system's bytes.
//
// Reads are unbuffered, each asking the system for exactly what the caller
// asked for.
class SourceFile {
  public:
    SourceFile() = default;
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // Opens path; false with errorString() set when it cannot be read, and
    // openError() the system's error (errno), or 0 for a file that exists
    // but is not a regular one (a directory gives EISDIR).
    bool openPath(const std::string& path);
    int openError() const { return openError_; }
    std::string errorString() const { return error_; }
    // The open file's descriptor; -1 when none is open.
    int handle() const { return fd_; }

    // Reads up to size bytes: how many came (0 at the end of the file), or -1
    // on a failure or when cancelled.
    long long read(char* data, long long size);
    // Up to size bytes from where the file stands.
    std::string read(long long size);
    // Back to the first byte.
    void rewind();
    // To byte `offset`; false when the system refuses.
    bool seek(long long offset);
    // The file's size in bytes; 0 when it cannot be told.
    long long size() const;

    // While *flag is true, every read fails: a decoder reading the file stops.
    void setCancelFlag(const std::atomic<bool>* flag) { cancel_ = flag; }
    bool cancelled() const { return cancel_ != nullptr && cancel_->load(); }

  private:
    bool refuse(const std::string& why, int error);

    int fd_ = -1;
    const std::atomic<bool>* cancel_ = nullptr;
    int openError_ = 0;
    std::string error_;
};

} // namespace velmora::imageio
