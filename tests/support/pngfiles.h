// PNG files as the tests look into them: their chunks, their image data
// inflated, and pngcheck's verdict.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace velmora::testkit {

struct PngChunk {
    QByteArray type;
    QByteArray data;
    bool crcRight = false;
};

// The chunks after the signature, in file order; empty for a file without
// the signature or whose chunks run past its end.
std::vector<PngChunk> PngChunks(const QByteArray& file);

// The data of the first chunk of that type; empty when there is none.
QByteArray PngChunkData(const QByteArray& file, const char* type);

// The types of the chunks, in order, joined by spaces, runs of IDAT as one.
QString PngChunkTypes(const QByteArray& file);

// The IDAT chunks' data joined and inflated: each row's filter type byte and
// filtered bytes. Empty when the data is not one whole zlib stream.
QByteArray InflatedPngData(const QByteArray& file);

// Deflated data (zlib's stream) inflated; empty when it is not one.
QByteArray Inflated(const QByteArray& zlibStream);

// An ICC profile of `bytes` bytes whose header PNG readers accept: its size,
// version 2.1, a display profile of data in `space` ("RGB ", "CMYK"), the
// signature, D50, no tags; the rest made up.
QByteArray IccProfile(const char* space, int bytes);

// pngcheck's verdict on the file: its exit status 0 and what it printed, in
// out. pngcheck must be installed (tools/setup.sh installs it).
bool PngcheckClean(const QString& path, QString* out);

} // namespace velmora::testkit
