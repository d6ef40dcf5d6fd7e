#include "tests/support/pngfiles.h"

#include <QProcess>
#include <QStringList>
#include <QtEndian>

#include <zlib.h>

namespace velmora::testkit {

namespace {

constexpr qsizetype kSignatureBytes = 8;
// Length and type before a chunk's data, its CRC after.
constexpr qsizetype kHeadBytes = 8;
constexpr qsizetype kCrcBytes = 4;

quint32 bigEndianAt(const QByteArray& bytes, qsizetype at) {
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

} // namespace

std::vector<PngChunk> PngChunks(const QByteArray& file) {
    if (!file.startsWith("\x89PNG\r\n\x1A\n"))
        return {};
    std::vector<PngChunk> chunks;
    for (qsizetype at = kSignatureBytes; at < file.size();) {
        if (file.size() - at < kHeadBytes + kCrcBytes)
            return {};
        const qsizetype length = bigEndianAt(file, at);
        if (length > file.size() - at - kHeadBytes - kCrcBytes)
            return {};
        PngChunk c{file.mid(at + 4, 4), file.mid(at + kHeadBytes, length)};
        const QByteArray covered = file.mid(at + 4, 4 + length);
        c.crcRight = crc32(0, reinterpret_cast<const Bytef*>(covered.constData()),
                           uInt(covered.size())) == bigEndianAt(file, at + kHeadBytes + length);
        chunks.push_back(c);
        at += kHeadBytes + length + kCrcBytes;
    }
    return chunks;
}

QByteArray PngChunkData(const QByteArray& file, const char* type) {
    for (const PngChunk& c : PngChunks(file))
        if (c.type == type)
            return c.data;
    return {};
}

QString PngChunkTypes(const QByteArray& file) {
    QStringList types;
    for (const PngChunk& c : PngChunks(file))
        if (types.isEmpty() || c.type != "IDAT" || types.last() != "IDAT")
            types << QString::fromLatin1(c.type);
    return types.join(' ');
}

QByteArray Inflated(const QByteArray& zlibStream) {
    z_stream s{};
    if (inflateInit(&s) != Z_OK)
        return {};
    QByteArray out;
    QByteArray buffer(1 << 20, '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zlibStream.constData()));
    s.avail_in = uInt(zlibStream.size());
    int status = Z_OK;
    while (status == Z_OK) {
        s.next_out = reinterpret_cast<Bytef*>(buffer.data());
        s.avail_out = uInt(buffer.size());
        status = inflate(&s, Z_NO_FLUSH);
        out.append(buffer.constData(), buffer.size() - qsizetype(s.avail_out));
    }
    const bool whole = status == Z_STREAM_END && s.avail_in == 0;
    inflateEnd(&s);
    return whole ? out : QByteArray();
}

QByteArray InflatedPngData(const QByteArray& file) {
    QByteArray stream;
    for (const PngChunk& c : PngChunks(file))
        if (c.type == "IDAT")
            stream += c.data;
    return Inflated(stream);
}

QByteArray IccProfile(const char* space, int bytes) {
    QByteArray p(bytes, '\0');
    for (int i = 132; i < bytes; ++i)
        p[i] = char(i * 13 + i / 97);
    qToBigEndian<quint32>(quint32(bytes), p.data());
    qToBigEndian<quint32>(0x02100000, p.data() + 8);
    p.replace(12, 4, "mntr");
    p.replace(16, 4, space);
    p.replace(20, 4, "XYZ ");
    p.replace(36, 4, "acsp");
    // The illuminant of the connection space, D50.
    for (const auto& [at, value] : {std::pair{68, 0xF6D6u}, {72, 0x10000u}, {76, 0xD32Du}})
        qToBigEndian<quint32>(value, p.data() + at);
    return p;
}

bool PngcheckClean(const QString& path, QString* out) {
    QProcess p;
    p.start(QStringLiteral("pngcheck"), {QStringLiteral("-v"), path});
    const bool finished = p.waitForFinished(60000);
    *out = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    return finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace velmora::testkit
