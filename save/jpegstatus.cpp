#include "save/jpegstatus.h"

#include "libvelmora/velmora.h"

namespace velmora {

QString Jpeg_Status_Text(int status) {
    switch (status) {
    case VELMORA_E_ARGUMENT:
        return QStringLiteral("変換ライブラリーへの指定が正しくありません。");
    case VELMORA_E_SOURCE_UNREADABLE:
        return QStringLiteral("一時ファイルを読み込めませんでした。");
    case VELMORA_E_NOT_A_BITMAP:
        return QStringLiteral("一時ファイルが変換できるビットマップではありません。");
    case VELMORA_E_TOO_LARGE:
        return QStringLiteral("画像が JPEG には大きすぎます。JPEG は一辺 %1 ピクセルまでです。")
            .arg(VELMORA_MAX_DIMENSION);
    case VELMORA_E_OUT_OF_MEMORY:
        return QStringLiteral("メモリーが足りません。");
    case VELMORA_E_COMPRESSION:
        return QStringLiteral("JPEG の圧縮に失敗しました。");
    case VELMORA_E_DESTINATION:
        return QStringLiteral("保存先に書き込めません。フォルダーがない、書き込みが禁止されている、"
                              "またはディスクの空きが足りないことが考えられます。");
    default:
        return QStringLiteral("変換ライブラリーがエラー %1 を返しました。").arg(status);
    }
}

} // namespace velmora
