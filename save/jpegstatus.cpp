#include "save/jpegstatus.h"

#include "libvelmora/statuswords.h"

namespace velmora {

QString Jpeg_Status_Text(int status) {
    if (const jpeg::StatusWords* words = jpeg::FindStatusWords(status))
        return QString::fromUtf8(words->japanese);
    return QStringLiteral("変換ﾗｲﾌﾞﾗﾘがｴﾗｰ %1 を返しました。").arg(status);
}

} // namespace velmora
