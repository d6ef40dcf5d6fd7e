// One file's enlargement, the work of both forms of the tool.
#pragma once

#include "save/save.h"
#include "tools/enlarge/request.h"

#include <QString>

#include <functional>

namespace velmora::tool {

// Reads input as the program does, enlarges it by the request's ratio and
// writes the result as output, of the given kind, through the program's own
// save on every core; progress gets the fraction of the file done as it
// grows. Returns why it failed, in the tool's words and naming the file, or
// an empty string.
QString enlargeFile(const Request& request, const QString& input, const QString& output,
                    SaveKind kind, const std::function<void(double)>& progress);

} // namespace velmora::tool
