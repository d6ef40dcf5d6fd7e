#include "dialogs/folders.h"

#include "gui/filenames.h"
#include "gui/settingsfile.h"

#include <QDir>
#include <QStandardPaths>

#include <dirent.h>

namespace velmora {

bool Folder_Exists(const QString& folder) {
    // Every failure (no such folder, not a folder, no permission) counts as
    // finding no entry.
    const QByteArray native = gui::nameToBytes(Add_Separator(folder));
    DIR* dir = ::opendir(native.constData());
    if (dir == nullptr)
        return false;
    const bool found = ::readdir(dir) != nullptr;
    ::closedir(dir);
    return found;
}

QString Add_Separator(const QString& folder) {
    QString result = folder;
    while (result.endsWith(QLatin1Char(' ')))
        result.chop(1);
    if (!result.endsWith(QLatin1Char('/')))
        result += QLatin1Char('/');
    return result;
}

QString joinPath(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString startFolderFor(const QString& programFolder, bool installed, const QString& picturesFolder,
                       const QString& homeFolder) {
    // An installed program's own folder is a bin folder full of programs, no
    // place to look for pictures.
    if (!installed)
        return programFolder;
    if (!picturesFolder.isEmpty() && Folder_Exists(picturesFolder))
        return picturesFolder;
    return homeFolder;
}

QString startFolder() {
    // The pictures folder comes from the user's XDG folders (XDG_PICTURES_DIR).
    return startFolderFor(gui::appFolderName(), isInstalledProgram(appFolder()),
                          QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
                          QDir::homePath());
}

} // namespace velmora
