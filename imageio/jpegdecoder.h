// Decoding a JPEG file with libjpeg, strictly: a file that libjpeg reports any
// error or warning for (damaged entropy data, a file that ends early) gives no
// picture at all.
#pragma once

#include "imageio/metadata.h"

#include "imageio/picture.h"

#include <atomic>
#include <memory>
#include <string>

namespace velmora::imageio {

// What the decoder keeps at most of the segments that hold a part of a
// whole: a larger set is damaged or hostile, and left out.
inline constexpr long long kMaxExtendedXmpBytes = 4LL << 20;
inline constexpr long long kMaxIptcBytes = 4LL << 20;

class SourceFile;

class JpegDecoder {
  public:
    // Reads from file, from its current position; the file must outlive the decoder.
    explicit JpegDecoder(SourceFile* file);
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // Reads the markers up to the first scan; false (errorString()) when the
    // file is no JPEG or its header is damaged.
    bool readHeader();

    // The size as stored (before any EXIF turn).
    Size size() const { return size_; }
    // The payload of the first APP1 segment that starts "Exif\0\0", those six
    // bytes included (what a JPEG writer puts back in an APP1 marker); empty
    // when there is none.
    std::string exif() const { return metadata_.exif; }
    // The ICC profile, put together from its APP2 "ICC_PROFILE" chunks in
    // their sequence order; empty when there is none or the chunks do not make
    // one profile (a number missing, repeated or out of range).
    std::string iccProfile() const { return metadata_.iccProfile; }
    // Everything a saved file keeps of the file's metadata: the EXIF block and
    // the ICC profile above, the first XMP segment, and every extended XMP
    // and every Photoshop (IPTC) segment in file order, each kind only while
    // it stays within kMaxExtendedXmpBytes or kMaxIptcBytes in all (over
    // that the kind is left out whole: a part of it would be damaged data).
    // Only these segments are kept while the header is read; every other
    // APPn segment is skipped.
    const SourceMetadata& metadata() const { return metadata_; }
    // Bytes libjpeg needs beside the picture: a file of several scans
    // (progressive) keeps every coefficient of the image until its last scan.
    long long workingBytes() const { return workingBytes_; }

    // The decoded size at 1/denominator (1, 2, 4 or 8) of the stored size.
    Size scaledSize(int denominator) const;

    // Decodes at 1/denominator, turned by orientation (1 to 8, see
    // orientation.h), into `upright`: a picture of the turned scaledSize(),
    // whose every pixel is written when true comes back.
    // libjpeg's own allocations are held to memoryLimit bytes (0: no limit).
    // While *cancel is true the decode stops at its next read of the file.
    bool decode(int denominator, int orientation, const Picture& upright, long long memoryLimit,
                const std::atomic<bool>* cancel);

    std::string errorString() const { return error_; }
    // Whether the last decode stopped because it was cancelled.
    bool cancelled() const;

    // libjpeg's objects (in the .cpp file).
    struct State;

  private:
    std::unique_ptr<State> state_;
    Size size_;
    SourceMetadata metadata_;
    long long workingBytes_ = 0;
    std::string error_;
};

} // namespace velmora::imageio
