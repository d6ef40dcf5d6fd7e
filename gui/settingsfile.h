// The settings file as the window names it: QString names and values over
// settings/settings.h, names through the file name bytes (filenames.h),
// values as UTF-8.
#pragma once

#include "settings/settings.h"

#include <QString>

namespace velmora {

QString Ini_Read(const QString& section, const QString& key, const QString& file);
bool Ini_Write(const QString& section, const QString& key, const QString& value,
               const QString& file);

namespace gui {

// settingsFile() and appFolder() as the window's names.
QString settingsFileName();
QString appFolderName();

} // namespace gui

} // namespace velmora
