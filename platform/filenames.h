// File names as the system gives them: bytes, which need not be valid UTF-8.
// Every layer below the window keeps a name as those bytes (std::string), so
// that any name the system lists can be opened again; text is UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::platform {

// The length of the valid UTF-8 sequence at p (at most `left` bytes), or 0.
// Overlong forms, surrogates and code points above U+10FFFF are not valid.
int utf8SequenceLength(const unsigned char* p, std::size_t left);

// The name for the eye, as UTF-8: each byte that is not part of a valid
// UTF-8 sequence shown as U+FFFD.
std::string nameForDisplay(std::string_view name);

// A name from the command line made absolute against the current folder,
// both taken as bytes (a relative name is joined to the folder as it is).
std::string absoluteName(const std::string& name);

// The path with "." and empty parts dropped, ".." taken back against the part
// before it and no "/" at the end (but for "/" itself): "/a//b/./c/../" gives
// "/a/b". A relative path stays relative; "" stays "".
std::string cleanPath(std::string_view path);

// The folder part of a path: what comes before its last "/" ("/" for a name
// in the root, "." for a name without one).
std::string folderOf(const std::string& path);

} // namespace velmora::platform
