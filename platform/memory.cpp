#include "platform/memory.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>

#include <sys/mman.h>

namespace velmora::platform {

namespace {

// A new allocation may take at most this share of what is left. The other
// half is for the rest of the machine (other programs grow too: MemAvailable
// is shared), the program's own smaller allocations, and an estimate that is a
// little short. A decoder writes its whole picture, so a picture that only just
// fits would leave the machine with nothing.
constexpr double kMemoryShare = 0.5;
// cgroup v1 writes "no limit" as a number near 2^63 rounded down to a page.
constexpr long long kNoLimit = 1LL << 62;
constexpr long long kUnknown = -1;

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// A whole non-negative number, or kUnknown.
long long number(const QByteArray& text) {
    bool ok = false;
    const long long v = text.trimmed().toLongLong(&ok);
    return ok && v >= 0 ? v : kUnknown;
}

// The value after `key` in a file of "key value [unit]" lines (meminfo,
// status, memory.stat); kUnknown when the key is missing.
long long keyedValue(const QByteArray& text, const QByteArray& key) {
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() >= 2 && f[0] == key)
            return number(f[1]);
    }
    return kUnknown;
}

long long least(long long a, long long b) {
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

long long meminfoAvailable(const QString& proc) {
    const long long kb = keyedValue(readFile(proc + "/meminfo"), "MemAvailable:");
    return kb < 0 ? kUnknown : kb * 1024;
}

// The address-space limit less what the process has mapped already.
long long addressSpaceHeadroom(const QString& proc) {
    for (const QByteArray& line : readFile(proc + "/self/limits").split('\n')) {
        if (!line.startsWith("Max address space"))
            continue;
        const QList<QByteArray> f = line.simplified().split(' ');
        const long long limit = f.size() > 3 ? number(f[3]) : kUnknown; // soft limit
        const long long sizeKb = keyedValue(readFile(proc + "/self/status"), "VmSize:");
        if (limit < 0 || sizeKb < 0)
            return kUnknown; // "unlimited", or nothing to go by
        return std::max(0LL, limit - sizeKb * 1024);
    }
    return kUnknown;
}

// One control-group folder: its limit less its usage, where the usage leaves
// out the inactive file cache, which the kernel drops before it refuses memory.
long long groupHeadroom(const QString& dir, bool v2) {
    const QByteArray limitText = readFile(dir + (v2 ? "/memory.max" : "/memory.limit_in_bytes"));
    const long long limit = number(limitText);
    if (limit < 0 || limit >= kNoLimit)
        return kUnknown; // no limit here ("max"), or no such file
    const long long usage =
        number(readFile(dir + (v2 ? "/memory.current" : "/memory.usage_in_bytes")));
    if (usage < 0)
        return kUnknown;
    const QByteArray stat = readFile(dir + "/memory.stat");
    // v1 counts the group's sub-groups in the "total_" figures, as its usage does.
    long long cache = v2 ? kUnknown : keyedValue(stat, "total_inactive_file");
    if (cache < 0)
        cache = std::max(0LL, keyedValue(stat, "inactive_file"));
    return std::max(0LL, limit - std::max(0LL, usage - cache));
}

// The least headroom from the process's own group up to the root of the mount.
long long hierarchyHeadroom(const QString& mountPoint, const QString& relative, bool v2) {
    long long best = kUnknown;
    QString dir = QDir::cleanPath(mountPoint + QLatin1Char('/') + relative);
    const QString top = QDir::cleanPath(mountPoint);
    for (;;) {
        best = least(best, groupHeadroom(dir, v2));
        if (dir == top || !dir.startsWith(top))
            return best;
        dir = dir.left(std::max<qsizetype>(dir.lastIndexOf(QLatin1Char('/')), 1));
    }
}

struct Mount {
    QString root, point;
    bool v2 = false;
};

// The cgroup2 mount and the cgroup v1 mount of the memory controller, as
// /proc/self/mountinfo lists them ("... root mountpoint opts ... - type source superopts").
QList<Mount> memoryMounts(const QString& proc) {
    QList<Mount> mounts;
    for (const QByteArray& line : readFile(proc + "/self/mountinfo").split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        const qsizetype dash = f.indexOf("-");
        if (dash < 5 || dash + 1 >= f.size())
            continue;
        const QByteArray& type = f[dash + 1];
        const QByteArray options = dash + 3 < f.size() ? f[dash + 3] : QByteArray();
        const bool v2 = type == "cgroup2";
        if (v2 || (type == "cgroup" && options.split(',').contains("memory")))
            mounts.append({QString::fromUtf8(f[3]), QString::fromUtf8(f[4]), v2});
    }
    return mounts;
}

long long cgroupHeadroom(const QString& proc) {
    const QList<Mount> mounts = memoryMounts(proc);
    long long best = kUnknown;
    // Lines of /proc/self/cgroup: "0::/path" for v2, "N:memory[,...]:/path" for v1.
    for (const QByteArray& line : readFile(proc + "/self/cgroup").split('\n')) {
        const qsizetype a = line.indexOf(':'), b = line.indexOf(':', a + 1);
        if (a < 0 || b < 0)
            continue;
        const QByteArray controllers = line.mid(a + 1, b - a - 1);
        const bool v2 = line.left(a) == "0" && controllers.isEmpty();
        if (!v2 && !controllers.split(',').contains("memory"))
            continue;
        const QString path = QString::fromUtf8(line.mid(b + 1).trimmed());
        for (const Mount& m : mounts) {
            if (m.v2 != v2)
                continue;
            // A mount of a sub-tree (a container's) shows the path below its root.
            QString relative = path;
            if (m.root != QStringLiteral("/"))
                relative = path.startsWith(m.root) ? path.mid(m.root.size()) : QString();
            best = least(best, hierarchyHeadroom(m.point, relative, v2));
        }
    }
    return best;
}

std::mutex& sourcesMutex() {
    static std::mutex m;
    return m;
}

MemorySources& currentSources() {
    static MemorySources sources;
    return sources;
}

} // namespace

long long availableMemoryBytes(const MemorySources& sources) {
    long long best = meminfoAvailable(sources.proc);
    best = least(best, cgroupHeadroom(sources.proc));
    best = least(best, addressSpaceHeadroom(sources.proc));
    return best;
}

long long availableMemoryBytes() {
    MemorySources sources;
    {
        std::lock_guard lock(sourcesMutex());
        sources = currentSources();
    }
    return availableMemoryBytes(sources);
}

long long memoryBudgetBytes() {
    const long long available = availableMemoryBytes();
    return available < 0 ? kUnknown : static_cast<long long>(kMemoryShare * double(available));
}

bool fitsInMemory(long long bytes) {
    const long long budget = memoryBudgetBytes();
    return budget < 0 || bytes <= budget;
}

void setMemorySources(const MemorySources& sources) {
    std::lock_guard lock(sourcesMutex());
    currentSources() = sources;
}

HugeMapping mapHugePages(std::size_t bytes) {
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    if (bytes == 0 || bytes > std::numeric_limits<std::size_t>::max() - 2 * kHuge)
        return {};
    const std::size_t length = (bytes + kHuge - 1) / kHuge * kHuge;
    // One huge page more than needed, then what lies before the first
    // boundary and after the last one given back.
    void* const mapped =
        ::mmap(nullptr, length + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return {};
    const auto at = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t start = (at + kHuge - 1) & ~(kHuge - 1);
    if (start > at)
        ::munmap(mapped, start - at);
    ::munmap(reinterpret_cast<void*>(start + length), at + kHuge - start);
    void* const address = reinterpret_cast<void*>(start);
#if defined(MADV_HUGEPAGE)
    ::madvise(address, length, MADV_HUGEPAGE);
#endif
    return {address, length};
}

void unmapHugePages(const HugeMapping& mapping) {
    if (mapping.address)
        ::munmap(mapping.address, mapping.length);
}

} // namespace velmora::platform
