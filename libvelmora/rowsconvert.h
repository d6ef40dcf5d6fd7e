// What ConvertRowsToJPG does, in the library and, linked in, in the batch
// tool: the picture's rows asked for strip by strip from the caller's fill
// function by the threads that compress them.
#pragma once

#include "libvelmora/velmora.h"

#include <cstdint>

namespace velmora::jpeg {

// ConvertRowsToJPG exactly as velmora.h describes it, errno included.
std::int16_t Convert_Rows_To_Jpeg(VelmoraFillRows fill, void* context, std::int32_t width,
                                  std::int32_t height, std::int32_t bytesPerPixel,
                                  const VelmoraMarker* markers, std::int32_t markerCount,
                                  const char* destinationPath, std::int32_t quality);

} // namespace velmora::jpeg
