// How much memory this process may still use.
#pragma once

#include <cstddef>
#include <string>

namespace velmora::platform {

// Where the figures are read. The program reads the live system; tests point
// proc at a folder of fake files, whose mountinfo names fake control-group
// folders in turn.
struct MemorySources {
    std::string proc = "/proc";
};

// Bytes the process can still have without being refused or killed: the least
// of what the machine can give without swapping (MemAvailable), what each
// control group the process is in allows beyond what it uses (cgroup v2
// memory.max - memory.current, cgroup v1 memory.limit_in_bytes -
// memory.usage_in_bytes, at every level up to the group's root, less the file
// cache the group could drop first), and what the address-space limit leaves
// (its limit less VmSize). 0 when a source says nothing is left; -1 when no
// source could be read.
long long availableMemoryBytes(const MemorySources& sources);
// The same from the sources in force (the live system unless a test set others).
long long availableMemoryBytes();

// What one new allocation may take: a share of availableMemoryBytes(), leaving
// room for everything else the process runs; -1 when the figure is unknown.
long long memoryBudgetBytes();
// Whether the process may take `bytes` more (within memoryBudgetBytes()). True
// when the figure is unknown, so that an unreadable /proc refuses nothing.
bool fitsInMemory(long long bytes);

// Replaces the sources that availableMemoryBytes() reads; a default
// MemorySources goes back to the live system.
void setMemorySources(const MemorySources& sources);

// A mapping of memory of its own for a large buffer about to be written whole:
// whole huge pages (its start on a 2 MiB boundary) that the system is asked to
// back with huge pages, so that it is faulted in with a few dozen traps rather
// than one for each 4 KiB page. Zero-filled. address is null when refused.
struct HugeMapping {
    void* address = nullptr;
    std::size_t length = 0;
};
HugeMapping mapHugePages(std::size_t bytes);
// Gives a mapping from mapHugePages back to the system.
void unmapHugePages(const HugeMapping& mapping);

} // namespace velmora::platform
