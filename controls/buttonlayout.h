// The stored layouts of the dialogs' buttons: a small INI-like text, one
// section per button named after it, one "key = value" line per stored
// property, keys in lower case; lines starting with ';' or '#' are comments.
//
//   [Cmd_Set]
//   caption = 設定
//   enabled = false
//   font = ＭＳ Ｐゴシック, 9.75, 400, 128
//
// A font is: family, size in points, weight (100-900, 400 regular, 700 bold),
// character set, then any of the words italic, underline, strikeout. Qt fonts
// have no character set; it is read and checked (0 to 255) and then dropped.
#pragma once

#include "controls/propertybag.h"

#include <QString>

#include <optional>

namespace velmora {

// The properties of section `buttonName` (matched without regard to case) of
// a layout text, with "font" values turned into QFont and every other value
// kept as text; std::nullopt when the section is missing or a line of it
// cannot be read.
std::optional<PropertyBag> readLayoutSection(const QString& layoutText, const QString& buttonName);

} // namespace velmora
