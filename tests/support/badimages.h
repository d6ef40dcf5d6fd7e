// Small picture files that lie: headers claiming far more pixels than the
// files hold, as a hostile or damaged download would.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QtEndian>

namespace velmora::testkit {

// A grey picture of size x size pixels, as a file of the given format.
inline QByteArray GreyFile(int size, const char* format) {
    QImage small(size, size, QImage::Format_RGB32);
    small.fill(Qt::gray);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    small.save(&buffer, format);
    return data;
}

// A 16 x 16 JPEG whose frame header claims width x height (at most 65535 each).
inline QByteArray LyingJpeg(int width, int height) {
    QByteArray data = GreyFile(16, "JPG");
    // The frame header: FF C0, length (2), precision (1), height (2), width (2).
    const qsizetype sof = data.indexOf(QByteArray("\xFF\xC0", 2));
    if (sof < 0)
        return {};
    qToBigEndian<quint16>(static_cast<quint16>(height), data.data() + sof + 5);
    qToBigEndian<quint16>(static_cast<quint16>(width), data.data() + sof + 7);
    return data;
}

// A 4 x 4 bitmap whose info header claims width x height.
inline QByteArray LyingBitmap(int width, int height) {
    QByteArray data = GreyFile(4, "BMP");
    qToLittleEndian<qint32>(width, data.data() + 18);
    qToLittleEndian<qint32>(height, data.data() + 22);
    return data;
}

} // namespace velmora::testkit
