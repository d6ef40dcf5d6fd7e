#include "gui/settingsfile.h"

#include "gui/filenames.h"

namespace velmora {

QString Ini_Read(const QString& section, const QString& key, const QString& file) {
    return QString::fromStdString(
        Ini_Read(section.toStdString(), key.toStdString(), gui::pathBytes(file)));
}

bool Ini_Write(const QString& section, const QString& key, const QString& value,
               const QString& file) {
    return Ini_Write(section.toStdString(), key.toStdString(), value.toStdString(),
                     gui::pathBytes(file));
}

namespace gui {

QString settingsFileName() {
    return nameFromBytes(settingsFile());
}

QString appFolderName() {
    return nameFromBytes(appFolder());
}

} // namespace gui

} // namespace velmora
