// Room on a file system.
#pragma once

#include <string>

namespace velmora::platform {

// Bytes this process may still write on the file system that holds folder;
// -1 when that cannot be told (the folder does not exist, for example).
long long freeBytes(const std::string& folder);

// For tests: while bytes >= 0, freeBytes reports bytes for every folder; -1
// goes back to the real figure.
void setFreeBytesForTest(long long bytes);

} // namespace velmora::platform
