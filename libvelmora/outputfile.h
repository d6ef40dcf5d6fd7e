// The file a JPEG is written into: a uniquely named temporary file beside the
// destination, flushed to disk and renamed over the destination at the end,
// so that a failure never leaves a partial file or destroys the one it was to
// replace.
#pragma once

#include "stripencoder.h"

#include <sys/types.h>

#include <string>

namespace velmora::jpeg {

class OutputFile : public ByteSink {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes the temporary file unless commit() succeeded.
    ~OutputFile() override;

    // Creates the temporary file in destination's folder. A new destination
    // gets the permissions of a new file (0666 & ~umask), a replaced one keeps
    // its permission bits. False if the folder cannot be written.
    bool create(const std::string& destination);
    bool write(const unsigned char* data, std::size_t size) override;
    // fsync, close, rename over the destination.
    bool commit();
    // errno of the first failure (ENOSPC: the disk is full), 0 if none.
    int error() const { return error_; }

  private:
    bool fail();

    int fd_ = -1;
    std::string path_;
    std::string destination_;
    int error_ = 0;
    off_t written_ = 0;
    off_t handedToDisk_ = 0;
};

} // namespace velmora::jpeg
