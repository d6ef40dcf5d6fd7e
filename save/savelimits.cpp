#include "save/savelimits.h"

#include "gui/filenames.h"
#include "imageio/bitmapwriter.h"
#include "imageio/pngcompress.h"
#include "platform/diskspace.h"

#include <QFileInfo>

#include <algorithm>

namespace velmora {

namespace {

constexpr long long kMiB = 1LL << 20;

QString sizeText(const QSize& size) {
    return QStringLiteral("画像 (%1 × %2 ﾋﾟｸｾﾙ)").arg(size.width()).arg(size.height());
}

// PNG holds any picture with pixels that the others cannot: it is the one
// to suggest.
QString pngSuggestion(const QSize& size) {
    return formatHolds(size, SaveKind::Png) ? QStringLiteral("PNG ﾌｧｲﾙなら保存できます。")
                                            : QString();
}

QString jpegRefusal(const QSize& size) {
    return sizeText(size) +
           QStringLiteral("は JPEG ﾌｧｲﾙには大きすぎます。JPEG は一辺 %1 ﾋﾟｸｾﾙまでです。")
               .arg(VELMORA_MAX_DIMENSION) +
           pngSuggestion(size);
}

QString bitmapRefusal(const QSize& size) {
    const long long bytes = imageio::bitmapFileBytes(size.width(), size.height());
    return sizeText(size) +
           QStringLiteral("の BMP ﾌｧｲﾙは %1 MB になり、BMP ﾌｧｲﾙは 4 GB (4096 MB) 未満までです。")
               .arg((bytes + kMiB - 1) / kMiB) +
           pngSuggestion(size);
}

QString pngRefusal(const QSize& size) {
    return sizeText(size) + QStringLiteral("は PNG ﾌｧｲﾙには大きすぎます。PNG は一辺 %1 "
                                           "ﾋﾟｸｾﾙまでです。")
                                .arg(imageio::kMaxPngSide);
}

} // namespace

bool formatHolds(const QSize& size, SaveKind kind) {
    switch (kind) {
    case SaveKind::Jpeg:
        return std::max(size.width(), size.height()) <= VELMORA_MAX_DIMENSION;
    case SaveKind::Png:
        return !size.isEmpty() &&
               std::max<long long>(size.width(), size.height()) <= imageio::kMaxPngSide;
    case SaveKind::Bitmap:
        break;
    }
    return imageio::bitmapFileBytes(size.width(), size.height()) < imageio::kMaxBitmapFileBytes;
}

QString formatRefusal(const QSize& size, SaveKind kind) {
    if (!size.isValid())
        return QStringLiteral("拡大後の画像が大きすぎて、JPEG ﾌｧｲﾙにも BMP ﾌｧｲﾙにも PNG "
                              "ﾌｧｲﾙにもできません。");
    if (kind != SaveKind::Bitmap && size.isEmpty())
        return QStringLiteral("画像に画素がないため、%1 ﾌｧｲﾙにできません。")
            .arg(kind == SaveKind::Jpeg ? QStringLiteral("JPEG") : QStringLiteral("PNG"));
    if (formatHolds(size, kind))
        return QString();
    switch (kind) {
    case SaveKind::Jpeg:
        return jpegRefusal(size);
    case SaveKind::Png:
        return pngRefusal(size);
    case SaveKind::Bitmap:
        break;
    }
    return bitmapRefusal(size);
}

jpeg::Destination findDestination(const QString& path, const QString& source) {
    return jpeg::findDestination(gui::nameToBytes(path).toStdString(),
                                 gui::nameToBytes(source).toStdString());
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
    const long long free = platform::freeBytes(gui::pathBytes(QFileInfo(path).absolutePath()));
    if (free < 0 || free >= needed)
        return true;
    if (error)
        *error = QStringLiteral("保存先の空き容量が足りません (必要 %1 MB、空き %2 MB)。")
                     .arg((needed + kMiB - 1) / kMiB)
                     .arg(free / kMiB);
    return false;
}

} // namespace velmora
