// What a save refuses before anything is written: a picture its format
// cannot hold, a destination that is not a file to replace, and a destination
// whose disk has no room for the file.
#pragma once

#include "outputfile/destination.h"
#include "save/save.h"

#include <string>

#include <optional>

namespace velmora {

// Whether a file of this kind can hold a picture of this size: a JPEG at most
// VELMORA_MAX_DIMENSION pixels a side, a bitmap file under 4 GiB, a PNG of
// 1 to imageio::kMaxPngSide pixels a side.
bool formatHolds(const imageio::Size& size, SaveKind kind);

// Why a picture of this size (recipeSize's) cannot be saved as kind, in
// Japanese, naming the limit and, when PNG can hold the picture, suggesting
// it; empty when it can be saved. A bitmap may have no pixels (a header
// alone); a JPEG or PNG may not.
std::string formatRefusal(const imageio::Size& size, SaveKind kind);

// What is at path (outputfile/destination.h), looked at without opening it.
jpeg::Destination findDestination(const std::string& path, const std::string& source = {});

// The refusal of a destination that is neither a new name nor a regular file
// (links followed), with its reason in Japanese; none for one that may be
// written, and none for one that cannot be looked at, whose writer then fails
// with the system's reason.
std::optional<SaveResult> destinationRefusal(const jpeg::Destination& destination);

// Whether the disk that holds path's folder has room for `needed` bytes; when
// it has not, error says so in Japanese. A disk whose room cannot be told is
// taken to have enough.
bool hasRoom(const std::string& path, long long needed, std::string* error);

} // namespace velmora
