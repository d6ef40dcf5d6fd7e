// The picture formats other than BMP and JPEG (PNG, TIFF, WebP, GIF, ...), read
// through Qt's image plugins: the one piece of the picture files that still
// needs Qt, kept behind a plain interface.
#pragma once

#include "imageio/picture.h"

#include <memory>
#include <string>

namespace velmora::imageio {

class SourceFile;

class QtFormatReader {
  public:
    // Reads from file, from its current position; the file must outlive the
    // reader. Only the header is read here.
    explicit QtFormatReader(SourceFile* file);
    ~QtFormatReader();
    QtFormatReader(const QtFormatReader&) = delete;
    QtFormatReader& operator=(const QtFormatReader&) = delete;

    // The size the header states; invalid when it cannot be read.
    Size size() const;
    // Bytes a read holds at its peak for a picture of `pixels` pixels: the
    // 32-bit picture, plus the picture in its own format when it decodes into
    // another one (an unknown format counts as 32 bits).
    long long bytesNeeded(long long pixels) const;
    // Decodes the picture into 32-bit words, Qt's decoders held to what the
    // memory budget leaves beside alsoHeld. False with error set on failure.
    bool read(Picture* picture, long long alsoHeld, std::string* error);
    // Whether no plugin knows the file's format.
    bool notAPicture() const;
    // Whether a plugin knows the file's content as a picture it reads.
    bool canRead() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace velmora::imageio
