#include "dialogs/folders.h"

#include <QFile>

#include <dirent.h>

namespace velmora {

bool Folder_Exists(const QString& folder) {
    // Every failure (no such folder, not a folder, no permission) counts as
    // finding no entry.
    const QByteArray native = QFile::encodeName(Add_Separator(folder));
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

QString Join_Path(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

} // namespace velmora
