// What each status of the conversion library means, in the program's Japanese
// (shown in its message box) and in the batch tool's English. One table serves
// both, so a status added to the library is described in both or in neither.
#pragma once

#include "libvelmora/velmora.h"

namespace velmora::jpeg {

struct StatusWords {
    int status;
    const char* japanese; // UTF-8
    const char* english;
    // What the status means to any caller of the library (VelmoraStatusText).
    const char* summary;
};

#define VELMORA_STATUS_WORDS_TEXT(x) #x
#define VELMORA_STATUS_WORDS_NUMBER(x) VELMORA_STATUS_WORDS_TEXT(x)

inline constexpr StatusWords kStatusWords[] = {
    {VELMORA_OK, "", "", "VELMORA_OK: done"},
    {VELMORA_E_ARGUMENT, "変換ﾗｲﾌﾞﾗﾘへの指定が正しくありません。",
     "the JPEG encoder was given a size or quality it does not take",
     "VELMORA_E_ARGUMENT: an argument is missing or out of its range"},
    {VELMORA_E_SOURCE_UNREADABLE, "一時ﾌｧｲﾙを読み込めませんでした。",
     "the enlargement could not be computed",
     "VELMORA_E_SOURCE_UNREADABLE: the source cannot be opened or read"},
    {VELMORA_E_NOT_A_BITMAP, "一時ﾌｧｲﾙが変換できるﾋﾞｯﾄﾏｯﾌﾟではありません。",
     "the picture is not one the JPEG encoder reads",
     "VELMORA_E_NOT_A_BITMAP: the source is not a bitmap this library reads"},
    {VELMORA_E_TOO_LARGE,
     "画像が JPEG には大きすぎます。JPEG は一辺 " VELMORA_STATUS_WORDS_NUMBER(
         VELMORA_MAX_DIMENSION) " ﾋﾟｸｾﾙまでです。",
     "the result is too large for JPEG: at most " VELMORA_STATUS_WORDS_NUMBER(
         VELMORA_MAX_DIMENSION) " pixels a side",
     "VELMORA_E_TOO_LARGE: the picture or the result is too large"},
    {VELMORA_E_OUT_OF_MEMORY, "ﾒﾓﾘが足りません。", "not enough memory",
     "VELMORA_E_OUT_OF_MEMORY: not enough memory"},
    {VELMORA_E_COMPRESSION, "JPEG の圧縮に失敗しました。", "the JPEG encoder failed",
     "VELMORA_E_COMPRESSION: the JPEG encoder failed"},
    {VELMORA_E_DESTINATION,
     "保存先に書き込めません。ﾌｫﾙﾀﾞがない、書き込みが禁止されている、"
     "またはﾃﾞｨｽｸの空きが足りないことが考えられます。",
     "the file cannot be written", "VELMORA_E_DESTINATION: the destination cannot be written"},
};

#undef VELMORA_STATUS_WORDS_NUMBER
#undef VELMORA_STATUS_WORDS_TEXT

// The words for `status`, or nullptr for a status the table does not know.
constexpr const StatusWords* findStatusWords(int status) {
    for (const StatusWords& words : kStatusWords)
        if (words.status == status)
            return &words;
    return nullptr;
}

} // namespace velmora::jpeg
