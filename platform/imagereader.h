// Reading a BMP or JPEG picture whole, refused before decoding when it would
// not fit in the memory the process may have.
#pragma once

#include <QImage>
#include <QImageReader>
#include <QSize>
#include <QString>

namespace velmora::platform {

class ImageReader {
  public:
    enum class Failure {
        None,
        Unreadable, // missing, not a picture, damaged
        TooLarge,   // refused from its header's size: it would not fit in memory
    };

    // Opens the file and reads its header only.
    explicit ImageReader(const QString& path);

    // The picture's size as its header states it (the file may lie); invalid
    // when the header cannot be read.
    QSize size() const { return size_; }
    // Bytes that read() holds at its peak: the decoded picture, plus its
    // 32-bit copy when the file decodes into another format.
    long long bytesNeeded() const;

    // Decodes the picture as QImage::Format_RGB32. `alsoHeld` counts bytes the
    // caller needs at the same time as the picture. A picture whose header size
    // does not fit in memory with them is refused before any pixel is decoded
    // (TooLarge); the decoder's own allocation limit is set from the same figure,
    // so a header that hides its size is stopped when the pixels are allocated.
    // A file whose data ends early gives what the decoder made of it.
    bool read(QImage* picture, long long alsoHeld = 0);

    Failure failure() const { return failure_; }
    QString errorString() const { return error_; }

  private:
    bool fail(Failure why, const QString& text);

    QImageReader reader_;
    QSize size_;
    QImage::Format format_ = QImage::Format_Invalid;
    Failure failure_ = Failure::None;
    QString error_;
};

} // namespace velmora::platform
