#include "platform/drives.h"

#include "platform/filenames.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <dirent.h>

namespace velmora::platform {

namespace {

std::optional<QStringList>& drivesForTest() {
    static std::optional<QStringList> instance;
    return instance;
}

// File systems that hold no user folders: the kernel's pseudo file systems, the
// layers of containers, and the read-only images that packages (snaps among
// them) are mounted from.
bool isPseudoFileSystem(const QByteArray& type) {
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

bool isAtOrBelow(const QString& root, const char* folder) {
    const QString f = QString::fromLatin1(folder);
    return root == f || root.startsWith(f + QLatin1Char('/'));
}

// Mount points below these folders are the system's, not the user's; removable
// media that the desktop mounts under /run/media/<user> are the exception.
bool isSystemFolder(const QString& root) {
    if (root.startsWith(QLatin1String("/run/media/")))
        return false;
    for (const char* prefix :
         {"/proc", "/sys", "/dev", "/run", "/snap", "/var/snap", "/var/lib/snapd"})
        if (isAtOrBelow(root, prefix))
            return true;
    return false;
}

bool isUnder(const QString& path, const QString& root) {
    if (root == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

FolderError errorFor(int number) {
    switch (number) {
    case kErrDeviceUnavailable:
        return {number, QStringLiteral("ﾃﾞﾊﾞｲｽが準備されていません。")};
    case kErrPermissionDenied:
        return {number, QStringLiteral("ｱｸｾｽが拒否されました。")};
    case kErrPathNotFound:
        return {number, QStringLiteral("ﾊﾟｽが見つかりません。")};
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
int openError(const QString& folder) {
    const QByteArray native = nameToBytes(folder);
    DIR* dir = ::opendir(native.constData());
    if (dir == nullptr)
        return errno == 0 ? EIO : errno;
    ::closedir(dir);
    return 0;
}

} // namespace

bool offersDrive(const QString& mountPoint, const QByteArray& fileSystemType) {
    return !isPseudoFileSystem(fileSystemType) && !isSystemFolder(mountPoint);
}

QStringList mountedDrives() {
    if (drivesForTest())
        return *drivesForTest();
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = QDir::cleanPath(volume.rootPath());
        if (root.isEmpty() || !offersDrive(root, volume.fileSystemType()) ||
            !QFileInfo(root).isDir())
            continue;
        roots << root;
    }
    roots << QStringLiteral("/");
    roots.removeDuplicates();
    std::sort(roots.begin(), roots.end(), [](const QString& a, const QString& b) {
        if (a == QLatin1String("/") || b == QLatin1String("/"))
            return a == QLatin1String("/") && b != QLatin1String("/");
        return a < b;
    });
    return roots;
}

void setDriveListForTest(std::optional<QStringList> drives) {
    drivesForTest() = std::move(drives);
}

QString driveOfFolder(const QString& folder, const QStringList& drives) {
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    QString best;
    for (const QString& drive : drives) {
        const QString root = QDir::cleanPath(drive);
        if (isUnder(path, root) && root.size() > best.size())
            best = drive;
    }
    return best.isEmpty() ? QStringLiteral("/") : best;
}

QString driveCurrentFolder(const QString& drive, const QStringList& drives) {
    const QString current = QDir::currentPath();
    if (driveOfFolder(current, drives) == drive)
        return current;
    return drive;
}

FolderError checkDrive(const QString& driveRoot) {
    return openFailure(openError(driveRoot), kErrDeviceUnavailable);
}

FolderError checkFolder(const QString& folder) {
    return openFailure(openError(folder), kErrPathNotFound);
}

} // namespace velmora::platform
