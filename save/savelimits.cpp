#include "save/savelimits.h"

#include "imageio/bitmapwriter.h"
#include "platform/diskspace.h"
#include "platform/filenames.h"

#include <QFileInfo>

#include <algorithm>

namespace velmora {

namespace {

constexpr long long kMiB = 1LL << 20;

QString sizeText(const QSize& size) {
    return QStringLiteral("画像 (%1 × %2 ﾋﾟｸｾﾙ)").arg(size.width()).arg(size.height());
}

QString jpegRefusal(const QSize& size) {
    QString text = sizeText(size) + QStringLiteral("は JPEG ﾌｧｲﾙには大きすぎます。JPEG は一辺 %1 "
                                                   "ﾋﾟｸｾﾙまでです。")
                                        .arg(VELMORA_MAX_DIMENSION);
    if (formatHolds(size, SaveKind::Bitmap))
        text += QStringLiteral("BMP ﾌｧｲﾙなら保存できます。");
    return text;
}

QString bitmapRefusal(const QSize& size) {
    const long long bytes = imageio::bitmapFileBytes(size.width(), size.height());
    QString text = sizeText(size) + QStringLiteral("の BMP ﾌｧｲﾙは %1 MB になり、BMP ﾌｧｲﾙは 4 GB "
                                                   "(4096 MB) 未満までです。")
                                        .arg((bytes + kMiB - 1) / kMiB);
    if (formatHolds(size, SaveKind::Jpeg))
        text += QStringLiteral("JPEG ﾌｧｲﾙなら保存できます。");
    return text;
}

} // namespace

bool formatHolds(const QSize& size, SaveKind kind) {
    if (kind == SaveKind::Jpeg)
        return std::max(size.width(), size.height()) <= VELMORA_MAX_DIMENSION;
    return imageio::bitmapFileBytes(size.width(), size.height()) < imageio::kMaxBitmapFileBytes;
}

QString formatRefusal(const QSize& size, SaveKind kind) {
    if (!size.isValid())
        return QStringLiteral("拡大後の画像が大きすぎて、JPEG ﾌｧｲﾙにも BMP ﾌｧｲﾙにもできません。");
    if (kind == SaveKind::Jpeg && size.isEmpty())
        return QStringLiteral("画像に画素がないため、JPEG ﾌｧｲﾙにできません。");
    if (formatHolds(size, kind))
        return QString();
    return kind == SaveKind::Jpeg ? jpegRefusal(size) : bitmapRefusal(size);
}

jpeg::Destination findDestination(const QString& path) {
    return jpeg::findDestination(platform::nameToBytes(path).toStdString());
}

std::optional<SaveResult> destinationRefusal(const jpeg::Destination& destination) {
    const jpeg::DestinationWords* words = jpeg::findDestinationWords(destination.kind);
    if (words == nullptr)
        return std::nullopt;
    SaveResult refused{SaveStatus::BadDestination, QString::fromUtf8(words->japanese)};
    refused.destination = destination.kind;
    return refused;
}

bool hasRoom(const QString& path, long long needed, QString* error) {
    const long long free = platform::freeBytes(QFileInfo(path).absolutePath());
    if (free < 0 || free >= needed)
        return true;
    if (error)
        *error = QStringLiteral("保存先の空き容量が足りません (必要 %1 MB、空き %2 MB)。")
                     .arg((needed + kMiB - 1) / kMiB)
                     .arg(free / kMiB);
    return false;
}

} // namespace velmora
