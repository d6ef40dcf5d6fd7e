#include "platform/folderfiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace velmora::platform {

namespace {

// The names of the entries of folder whose kind (st_mode) `keep` takes.
template <typename Keep> std::vector<std::string> namesIn(const std::string& folder, Keep keep) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
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
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

} // namespace

std::vector<std::string> regularFilesIn(const std::string& folder) {
    return namesIn(folder, [](mode_t mode) { return S_ISREG(mode); });
}

std::vector<std::string> foldersIn(const std::string& folder) {
    return namesIn(folder, [](mode_t mode) { return S_ISDIR(mode); });
}

} // namespace velmora::platform
