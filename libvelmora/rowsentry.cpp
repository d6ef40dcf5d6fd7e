// ConvertRowsToJPG: rows made by the caller as they are needed in, the JPEG
// file out.

#include "velmora.h"

#include "rowsconvert.h"

extern "C" VELMORA_API int16_t ConvertRowsToJPG(VelmoraFillRows fill, void* context, int32_t width,
                                                int32_t height, int32_t bytesPerPixel,
                                                const VelmoraMarker* markers, int32_t markerCount,
                                                const char* destinationPath, int32_t quality) {
    return velmora::jpeg::Convert_Rows_To_Jpeg(fill, context, width, height, bytesPerPixel, markers,
                                               markerCount, destinationPath, quality);
}
