#include "platform/folderfiles.h"

#include "platform/filenames.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace velmora::platform {

namespace {

// The names of the entries of folder whose kind (st_mode) `keep` takes.
template <typename Keep> QStringList namesIn(const QString& folder, Keep keep) {
    QStringList names;
    DIR* dir = ::opendir(nameToBytes(folder).constData());
    if (dir == nullptr)
        return names;
    // fstatat without AT_SYMLINK_NOFOLLOW follows a link to what it names;
    // looking never opens, so no entry can block the listing.
    const int fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat st {};
        if (::fstatat(fd, entry->d_name, &st, 0) == 0 && keep(st.st_mode))
            names << nameFromBytes(QByteArray(entry->d_name));
    }
    ::closedir(dir);
    return names;
}

} // namespace

QStringList regularFilesIn(const QString& folder) {
    return namesIn(folder, [](mode_t mode) { return S_ISREG(mode); });
}

QStringList foldersIn(const QString& folder) {
    return namesIn(folder, [](mode_t mode) { return S_ISDIR(mode); });
}

} // namespace velmora::platform
