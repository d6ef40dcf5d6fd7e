#include "save/savelimits.h"

#include "imageio/bitmapwriter.h"
#include "imageio/pngcompress.h"
#include "platform/diskspace.h"
#include "platform/filenames.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr long long kMiB = 1LL << 20;

std::string sizeText(const imageio::Size& size) {
    return "画像 (" + std::to_string(size.width()) + " × " + std::to_string(size.height()) +
           " ﾋﾟｸｾﾙ)";
}

// PNG holds any picture with pixels that the others cannot: it is the one
// to suggest.
std::string pngSuggestion(const imageio::Size& size) {
    return formatHolds(size, SaveKind::Png) ? "PNG ﾌｧｲﾙなら保存できます。" : "";
}

std::string jpegRefusal(const imageio::Size& size) {
    return sizeText(size) + "は JPEG ﾌｧｲﾙには大きすぎます。JPEG は一辺 " +
           std::to_string(VELMORA_MAX_DIMENSION) + " ﾋﾟｸｾﾙまでです。" + pngSuggestion(size);
}

std::string bitmapRefusal(const imageio::Size& size) {
    const long long bytes = imageio::bitmapFileBytes(size.width(), size.height());
    return sizeText(size) + "の BMP ﾌｧｲﾙは " + std::to_string((bytes + kMiB - 1) / kMiB) +
           " MB になり、BMP ﾌｧｲﾙは 4 GB (4096 MB) 未満までです。" + pngSuggestion(size);
}

std::string pngRefusal(const imageio::Size& size) {
    return sizeText(size) + "は PNG ﾌｧｲﾙには大きすぎます。PNG は一辺 " +
           std::to_string(imageio::kMaxPngSide) + " ﾋﾟｸｾﾙまでです。";
}

} // namespace

bool formatHolds(const imageio::Size& size, SaveKind kind) {
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

std::string formatRefusal(const imageio::Size& size, SaveKind kind) {
    if (!size.isValid())
        return "拡大後の画像が大きすぎて、JPEG ﾌｧｲﾙにも BMP ﾌｧｲﾙにも PNG ﾌｧｲﾙにもできません。";
    if (kind != SaveKind::Bitmap && size.isEmpty())
        return std::string("画像に画素がないため、") + (kind == SaveKind::Jpeg ? "JPEG" : "PNG") +
               " ﾌｧｲﾙにできません。";
    if (formatHolds(size, kind))
        return {};
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

jpeg::Destination findDestination(const std::string& path, const std::string& source) {
    return jpeg::findDestination(path, source);
}

std::optional<SaveResult> destinationRefusal(const jpeg::Destination& destination) {
    const jpeg::DestinationWords* words = jpeg::findDestinationWords(destination.kind);
    if (words == nullptr)
        return std::nullopt;
    SaveResult refused{SaveStatus::BadDestination, words->japanese};
    refused.destination = destination.kind;
    return refused;
}

bool hasRoom(const std::string& path, long long needed, std::string* error) {
    const long long free =
        platform::freeBytes(platform::folderOf(platform::cleanPath(platform::absoluteName(path))));
    if (free < 0 || free >= needed)
        return true;
    if (error)
        *error = "保存先の空き容量が足りません (必要 " +
                 std::to_string((needed + kMiB - 1) / kMiB) + " MB、空き " +
                 std::to_string(free / kMiB) + " MB)。";
    return false;
}

} // namespace velmora
