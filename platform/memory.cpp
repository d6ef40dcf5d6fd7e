#include "platform/memory.h"

#include "platform/filenames.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <mutex>
#include <sstream>
#include <string_view>
#include <vector>

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

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line);
    return result;
}

// The words of a line, split at blanks.
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> result;
    std::istringstream stream(line);
    for (std::string word; stream >> word;)
        result.push_back(word);
    return result;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n\v\f");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n\v\f") - first + 1);
}

// The parts of text between commas.
std::vector<std::string> commaParts(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, ',');)
        result.push_back(part);
    return result;
}

bool contains(const std::vector<std::string>& list, std::string_view item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// A whole non-negative number (blanks around it allowed), or kUnknown.
long long number(const std::string& text) {
    const std::vector<std::string> w = words(text);
    if (w.size() != 1)
        return kUnknown;
    const std::string& digits = w[0];
    std::size_t i = digits[0] == '+' || digits[0] == '-' ? 1 : 0;
    if (i == digits.size() || digits.find_first_not_of("0123456789", i) != std::string::npos)
        return kUnknown;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(digits.c_str(), &end, 10);
    return errno == 0 && v >= 0 ? v : kUnknown;
}

// The value after `key` in a file of "key value [unit]" lines (meminfo,
// status, memory.stat); kUnknown when the key is missing.
long long keyedValue(const std::string& text, std::string_view key) {
    for (const std::string& line : lines(text)) {
        const std::vector<std::string> f = words(line);
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

long long meminfoAvailable(const std::string& proc) {
    const long long kb = keyedValue(readFile(proc + "/meminfo"), "MemAvailable:");
    return kb < 0 ? kUnknown : kb * 1024;
}

// The address-space limit less what the process has mapped already.
long long addressSpaceHeadroom(const std::string& proc) {
    for (const std::string& line : lines(readFile(proc + "/self/limits"))) {
        if (!line.starts_with("Max address space"))
            continue;
        const std::vector<std::string> f = words(line);
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
long long groupHeadroom(const std::string& dir, bool v2) {
    const std::string limitText = readFile(dir + (v2 ? "/memory.max" : "/memory.limit_in_bytes"));
    const long long limit = number(limitText);
    if (limit < 0 || limit >= kNoLimit)
        return kUnknown; // no limit here ("max"), or no such file
    const long long usage =
        number(readFile(dir + (v2 ? "/memory.current" : "/memory.usage_in_bytes")));
    if (usage < 0)
        return kUnknown;
    const std::string stat = readFile(dir + "/memory.stat");
    // v1 counts the group's sub-groups in the "total_" figures, as its usage does.
    long long cache = v2 ? kUnknown : keyedValue(stat, "total_inactive_file");
    if (cache < 0)
        cache = std::max(0LL, keyedValue(stat, "inactive_file"));
    return std::max(0LL, limit - std::max(0LL, usage - cache));
}

// The least headroom from the process's own group up to the root of the mount.
long long hierarchyHeadroom(const std::string& mountPoint, const std::string& relative, bool v2) {
    long long best = kUnknown;
    std::string dir = cleanPath(mountPoint + '/' + relative);
    const std::string top = cleanPath(mountPoint);
    for (;;) {
        best = least(best, groupHeadroom(dir, v2));
        if (dir == top || !dir.starts_with(top))
            return best;
        const std::size_t slash = dir.rfind('/');
        dir.resize(slash == std::string::npos || slash == 0 ? 1 : slash);
    }
}

struct Mount {
    std::string root, point;
    bool v2 = false;
};

// The cgroup2 mount and the cgroup v1 mount of the memory controller, as
// /proc/self/mountinfo lists them ("... root mountpoint opts ... - type source superopts").
std::vector<Mount> memoryMounts(const std::string& proc) {
    std::vector<Mount> mounts;
    for (const std::string& line : lines(readFile(proc + "/self/mountinfo"))) {
        const std::vector<std::string> f = words(line);
        const std::size_t dash = std::size_t(std::find(f.begin(), f.end(), "-") - f.begin());
        if (dash < 5 || dash + 1 >= f.size())
            continue;
        const std::string& type = f[dash + 1];
        const std::string options = dash + 3 < f.size() ? f[dash + 3] : std::string();
        const bool v2 = type == "cgroup2";
        if (v2 || (type == "cgroup" && contains(commaParts(options), "memory")))
            mounts.push_back({f[3], f[4], v2});
    }
    return mounts;
}

long long cgroupHeadroom(const std::string& proc) {
    const std::vector<Mount> mounts = memoryMounts(proc);
    long long best = kUnknown;
    // Lines of /proc/self/cgroup: "0::/path" for v2, "N:memory[,...]:/path" for v1.
    for (const std::string& line : lines(readFile(proc + "/self/cgroup"))) {
        const std::size_t a = line.find(':');
        const std::size_t b = a == std::string::npos ? a : line.find(':', a + 1);
        if (b == std::string::npos)
            continue;
        const std::string controllers = line.substr(a + 1, b - a - 1);
        const bool v2 = line.substr(0, a) == "0" && controllers.empty();
        if (!v2 && !contains(commaParts(controllers), "memory"))
            continue;
        const std::string path = trimmed(line.substr(b + 1));
        for (const Mount& m : mounts) {
            if (m.v2 != v2)
                continue;
            // A mount of a sub-tree (a container's) shows the path below its root.
            std::string relative = path;
            if (m.root != "/")
                relative = path.starts_with(m.root) ? path.substr(m.root.size()) : std::string();
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
