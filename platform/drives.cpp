#include "platform/drives.h"

#include "platform/filenames.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace velmora::platform {

namespace {

std::optional<std::vector<std::string>>& drivesForTest() {
    static std::optional<std::vector<std::string>> instance;
    return instance;
}

// File systems that hold no user folders: the kernel's pseudo file systems, the
// layers of containers, and the read-only images that packages (snaps among
// them) are mounted from.
bool isPseudoFileSystem(std::string_view type) {
    static const char* const kPseudo[] = {
        "proc",        "sysfs",           "devtmpfs",      "devpts",
        "cgroup",      "cgroup2",         "securityfs",    "pstore",
        "bpf",         "debugfs",         "tracefs",       "configfs",
        "fusectl",     "mqueue",          "hugetlbfs",     "autofs",
        "binfmt_misc", "efivarfs",        "rpc_pipefs",    "nsfs",
        "ramfs",       "selinuxfs",       "overlay",       "fuse-overlayfs",
        "squashfs",    "fuse.squashfuse", "fuse.snapfuse", "fuse.lxcfs",
        "fuse.portal", "fuse.gvfsd-fuse"};
    return std::any_of(std::begin(kPseudo), std::end(kPseudo),
                       [&](const char* name) { return type == name; });
}

bool isAtOrBelow(std::string_view root, std::string_view folder) {
    return root == folder ||
           (root.starts_with(folder) && root.size() > folder.size() && root[folder.size()] == '/');
}

// Mount points below these folders are the system's, not the user's; removable
// media that the desktop mounts under /run/media/<user> are the exception.
bool isSystemFolder(std::string_view root) {
    if (root.starts_with("/run/media/"))
        return false;
    for (const char* prefix :
         {"/proc", "/sys", "/dev", "/run", "/snap", "/var/snap", "/var/lib/snapd"})
        if (isAtOrBelow(root, prefix))
            return true;
    return false;
}

bool isUnder(const std::string& path, const std::string& root) {
    if (root == "/")
        return path.starts_with('/');
    return isAtOrBelow(path, root);
}

FolderError errorFor(int number) {
    switch (number) {
    case kErrDeviceUnavailable:
        return {number, "ﾃﾞﾊﾞｲｽが準備されていません。"};
    case kErrPermissionDenied:
        return {number, "ｱｸｾｽが拒否されました。"};
    case kErrPathNotFound:
        return {number, "ﾊﾟｽが見つかりません。"};
    default:
        return {};
    }
}

// What a failed open (errno `error`, 0 for none) of a drive's root or a folder
// means: no access, the path gone (reported as `missing`), or the device not
// ready.
FolderError openFailure(int error, int missing) {
    if (error == 0)
        return {};
    if (error == EACCES || error == EPERM)
        return errorFor(kErrPermissionDenied);
    if (error == ENOENT || error == ENOTDIR)
        return errorFor(missing);
    return errorFor(kErrDeviceUnavailable);
}

// 0 when the folder opens for listing, otherwise the reason from the system.
int openError(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return errno == 0 ? EIO : errno;
    ::closedir(dir);
    return 0;
}

// A field of /proc/self/mountinfo with its octal escapes ("\040" for a blank)
// turned back into bytes.
std::string unescapeMountField(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3') {
            out +=
                char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// Mounts that no user picks among drives, as the system's own listing of
// volumes leaves them out: the kernel's own folders, the early root file
// system of an initrd, and one that holds no blocks at all.
bool isListedVolume(const std::string& root, const std::string& type) {
    for (const char* prefix : {"/dev", "/proc", "/sys", "/var/run", "/var/lock"})
        if (isAtOrBelow(root, prefix))
            return false;
    if (type == "rootfs")
        return false;
    struct statvfs st {};
    return ::statvfs(root.c_str(), &st) == 0 && st.f_blocks > 0;
}

} // namespace

bool offersDrive(std::string_view mountPoint, std::string_view fileSystemType) {
    return !isPseudoFileSystem(fileSystemType) && !isSystemFolder(mountPoint);
}

std::vector<std::string> mountedDrives() {
    if (drivesForTest())
        return *drivesForTest();
    std::vector<std::string> roots;
    // Lines of mountinfo: "id parent major:minor root mountpoint options
    // [optional fields] - type source superoptions".
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string field; fields >> field;)
            f.push_back(field);
        const auto dash = std::find(f.begin(), f.end(), "-");
        if (f.size() < 5 || dash == f.end() || dash + 1 == f.end())
            continue;
        const std::string root = cleanPath(unescapeMountField(f[4]));
        const std::string& type = *(dash + 1);
        struct stat st {};
        if (root.empty() || !isListedVolume(root, type) || !offersDrive(root, type) ||
            ::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        roots.push_back(root);
    }
    roots.push_back("/");
    std::sort(roots.begin(), roots.end(), [](const std::string& a, const std::string& b) {
        if (a == "/" || b == "/")
            return a == "/" && b != "/";
        return a < b;
    });
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    return roots;
}

void setDriveListForTest(std::optional<std::vector<std::string>> drives) {
    drivesForTest() = std::move(drives);
}

std::string driveOfFolder(const std::string& folder, const std::vector<std::string>& drives) {
    const std::string path = cleanPath(absoluteName(folder));
    std::string best;
    for (const std::string& drive : drives) {
        const std::string root = cleanPath(drive);
        if (isUnder(path, root) && root.size() > best.size())
            best = drive;
    }
    return best.empty() ? "/" : best;
}

std::string driveCurrentFolder(const std::string& drive, const std::vector<std::string>& drives) {
    const std::string current = cleanPath(absoluteName("."));
    if (driveOfFolder(current, drives) == drive)
        return current;
    return drive;
}

FolderError checkDrive(const std::string& driveRoot) {
    return openFailure(openError(driveRoot), kErrDeviceUnavailable);
}

FolderError checkFolder(const std::string& folder) {
    return openFailure(openError(folder), kErrPathNotFound);
}

} // namespace velmora::platform
