#include "save/save.h"

#include "platform/bitmap.h"
#include "save/bitmapstrips.h"
#include "save/jpegsave.h"
#include "save/resultrows.h"
#include "save/rowprogress.h"
#include "save/savelimits.h"

namespace velmora {

SaveResult Save_Recipe(const Recipe& recipe, const QString& path, SaveKind kind,
                       const SaveOptions& options) {
    // The size alone decides, before any pixel is made or any file touched.
    const QSize size = Recipe_Size(recipe);
    if (const QString why = Format_Refusal(size, kind); !why.isEmpty())
        return {SaveStatus::NotInFormat, why};
    const ResultRows rows(recipe);
    RowProgress progress(options.progress);
    if (kind == SaveKind::Jpeg)
        return Write_Jpeg(rows, recipe, path, options, progress);
    QString error;
    if (options.checkRoom &&
        !Has_Room(path, platform::BitmapFileBytes(size.width(), size.height()), &error))
        return {SaveStatus::NoRoom, error};
    return Write_Bitmap_Strips(rows, path, progress);
}

} // namespace velmora
