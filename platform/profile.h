// The private-profile routines over which the settings file is read and written.
//
// The file is plain INI text ("[section]" lines and "key=value" lines). Sections
// and keys are matched without regard to case; blanks around a value are not part
// of it; every line the routines do not change is kept as it was. Values are bytes
// (UTF-8 on this platform) and pass through unchanged.
#pragma once

#include <cstddef>
#include <string>

namespace velmora::platform {

// The value stored under key, whole, whatever its length; a missing file,
// section or key yields fallback. A file larger than any settings file (1 MiB) is
// not read at all rather than read in part.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& fallback, const std::string& file);

// Stores value under key, creating the file, the section and the key as needed.
// The new file is written beside the old one and renamed over it, so a failed write
// leaves the old file untouched. Returns non-zero on success, 0 on failure.
int WritePrivateProfileString(const std::string& section, const std::string& key,
                              const std::string& value, const std::string& file);

} // namespace velmora::platform
