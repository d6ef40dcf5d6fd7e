// The file a JPEG or a bitmap is written into: a uniquely named temporary
// file beside the destination, renamed over the destination at the end, so
// that a failure never leaves a partial file or destroys the one it was to
// replace. Where it may go is destination.h's to say: a regular file or a
// new name, through any symbolic links; never a directory or a special file.
#pragma once

#include "outputfile/bytesink.h"
#include "outputfile/destination.h"

#include <sys/types.h>

#include <string>

namespace velmora::jpeg {

class OutputFile : public ByteSink {
  public:
    // flushToDisk: fsync before the rename, so that a crash right after it
    // cannot leave the name on an empty file.
    explicit OutputFile(bool flushToDisk = true) : flushToDisk_(flushToDisk) {}
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes the temporary file unless commit() succeeded.
    ~OutputFile() override;

    // Creates the temporary file in the folder of the file that destination
    // names (the end of its links): without a name until commit() where the
    // file system allows it, so that a killed process leaves nothing, else
    // under a short hidden name of its own. The name is short, so that a
    // destination name of any allowed length can be written. A new destination
    // gets the permissions of a new file (0666 & ~umask), a replaced one keeps
    // its permission bits. False if the destination is refused (refusal()
    // says why) or the folder cannot be written.
    // source, when not empty, is the file the picture is read from, which is
    // refused as the destination under any of its names.
    bool create(const std::string& destination, const std::string& source = {});
    // The same for a destination already found (findDestination): its file,
    // kind and permission bits are taken as they are, not looked up again.
    bool create(const Destination& destination);
    bool write(const unsigned char* data, std::size_t size) override;
    // fsync (unless not asked for), close, rename over the destination; what
    // is there by then is looked at again and refused as create() refuses.
    bool commit();
    // errno of the first failure (ENOSPC: the disk is full), 0 if none.
    int error() const { return error_; }
    // The kind of destination that create() or commit() refused; New or
    // RegularFile when none was refused.
    DestinationKind refusal() const { return refusal_; }

  private:
    bool fail();
    bool refuse(const Destination& found);
    bool giveName(int fd);

    int fd_ = -1;
    std::string path_; // the file's temporary name; empty while it has none
    std::string destination_;
    int error_ = 0;
    DestinationKind refusal_ = DestinationKind::New;
    bool flushToDisk_ = true;
    off_t written_ = 0;
    off_t handedToDisk_ = 0;
};

} // namespace velmora::jpeg
