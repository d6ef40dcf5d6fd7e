// What a file written over `path` would replace, found without opening it:
// every writer (the conversion library, the bitmap writer, the program's save
// and the batch tool) asks here before it writes anything, and writes only
// where this says it may.
//
// The rules, as cp and editors keep them:
//   - Nothing there: a new file at path.
//   - A regular file: replaced (atomically, by the writer).
//   - A symbolic link, or a chain of them, to a regular file: written through.
//     The file at the end of the chain is replaced and the links stay.
//   - A symbolic link to nothing: refused and left as it is, as GNU cp
//     refuses ("not writing through dangling symlink"); a file created at the
//     place it names could be anywhere the link's owner chose.
//   - Anything else that exists (a directory, a device, a FIFO, a socket,
//     after following links): refused and left as it is. Nothing is ever
//     opened to find this out, so a FIFO cannot block the caller.
//   - The very file the writer reads its picture from, under any name (the
//     same path, ./, a symbolic or a hard link): refused and left as it is,
//     so that no input is ever lost to its own output.
#pragma once

#include <sys/types.h>

#include <string>

namespace velmora::jpeg {

enum class DestinationKind {
    New,         // nothing there yet
    RegularFile, // a regular file to replace
    Directory,
    Device, // a character or block device
    Fifo,
    Socket,
    OtherSpecial, // any other kind of file that is not a regular one
    DanglingLink, // a symbolic link whose chain ends nowhere
    Source,       // the writer's own input file
    Unreachable,  // cannot be looked at: error says why (no such folder, no
                  // permission, a name too long, a loop of links)
};

struct Destination {
    DestinationKind kind = DestinationKind::Unreachable;
    // The file a writer puts in place: path itself, or the end of its links.
    std::string file;
    // The existing regular file's permission bits, kept by the writer.
    mode_t mode = 0;
    // Why it cannot be written, as an errno value: the system's for
    // Unreachable; EISDIR for a directory, ENOENT for a dangling link and
    // EEXIST for the other refusals. 0 when it can be written.
    int error = 0;
};

// Looks at path (lstat, then the end of any chain of links) without opening
// anything; source, when not empty, names the file the picture is read from.
Destination findDestination(const std::string& path, const std::string& source = {});

// Whether a writer may put a file at the destination.
inline bool writable(DestinationKind kind) {
    return kind == DestinationKind::New || kind == DestinationKind::RegularFile;
}

// Why a destination of this kind is refused, in the program's Japanese and
// the batch tool's English (both UTF-8), to follow the file's name; null for
// the kinds that are written and for Unreachable, whose reason is the
// system's error.
struct DestinationWords {
    DestinationKind kind;
    const char* japanese;
    const char* english;
};

inline constexpr DestinationWords kDestinationWords[] = {
    {DestinationKind::Directory, "保存先はﾌｫﾙﾀﾞで、通常のﾌｧｲﾙではありません。", "Is a directory"},
    {DestinationKind::Device, "保存先はﾃﾞﾊﾞｲｽで、通常のﾌｧｲﾙではありません。",
     "it is a device, not a regular file"},
    {DestinationKind::Fifo, "保存先は FIFO (名前付きﾊﾟｲﾌﾟ) で、通常のﾌｧｲﾙではありません。",
     "it is a FIFO, not a regular file"},
    {DestinationKind::Socket, "保存先はｿｹｯﾄで、通常のﾌｧｲﾙではありません。",
     "it is a socket, not a regular file"},
    {DestinationKind::OtherSpecial, "保存先は通常のﾌｧｲﾙではありません。",
     "it is not a regular file"},
    {DestinationKind::DanglingLink, "保存先はﾘﾝｸ先のないｼﾝﾎﾞﾘｯｸﾘﾝｸです。",
     "it is a symbolic link to a file that does not exist"},
    {DestinationKind::Source, "保存先は元の画像ﾌｧｲﾙそのものです。別の名前を付けてください。",
     "it is the input file itself"},
};

constexpr const DestinationWords* findDestinationWords(DestinationKind kind) {
    for (const DestinationWords& words : kDestinationWords)
        if (words.kind == kind)
            return &words;
    return nullptr;
}

} // namespace velmora::jpeg
