#include "platform/diskspace.h"

#include <atomic>

#include <sys/statvfs.h>

namespace velmora::platform {

namespace {

std::atomic<long long> fakeFree{-1};

} // namespace

long long freeBytes(const std::string& folder) {
    const long long fake = fakeFree.load();
    if (fake >= 0)
        return fake;
    // The blocks an unprivileged process may still take.
    struct statvfs st {};
    if (folder.empty() || ::statvfs(folder.c_str(), &st) != 0)
        return -1;
    return static_cast<long long>(st.f_bavail) * static_cast<long long>(st.f_frsize);
}

void setFreeBytesForTest(long long bytes) {
    fakeFree.store(bytes);
}

} // namespace velmora::platform
