// A limit on the size of the files the test process writes, for the time the
// object lives: a write past it fails as a write to a full disk does (EFBIG
// instead of ENOSPC), in the middle of a file.
#pragma once

#include <csignal>

#include <sys/resource.h>

namespace velmora::testkit {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &before_);
        // The signal would end the process; ignored, the write fails instead.
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = before_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &before_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit before_{};
    void (*previous_)(int) = nullptr;
};

} // namespace velmora::testkit
