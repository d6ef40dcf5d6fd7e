#include "platform/diskspace.h"

#include <QStorageInfo>

#include <atomic>

namespace velmora::platform {

namespace {

std::atomic<long long> fakeFree{-1};

} // namespace

long long freeBytes(const QString& folder) {
    const long long fake = fakeFree.load();
    if (fake >= 0)
        return fake;
    const QStorageInfo storage(folder);
    if (!storage.isValid() || !storage.isReady())
        return -1;
    return storage.bytesAvailable();
}

void setFreeBytesForTest(long long bytes) {
    fakeFree.store(bytes);
}

} // namespace velmora::platform
