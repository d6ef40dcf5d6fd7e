#include "platform/drives.h"

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

// File systems that hold no user folders.
bool isPseudoFileSystem(const QByteArray& type) {
    static const char* const kPseudo[] = {
        "proc",      "sysfs",  "devtmpfs",    "devpts",   "cgroup",     "cgroup2", "securityfs",
        "pstore",    "bpf",    "debugfs",     "tracefs",  "configfs",   "fusectl", "mqueue",
        "hugetlbfs", "autofs", "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs"};
    return std::any_of(std::begin(kPseudo), std::end(kPseudo),
                       [&](const char* name) { return type == name; });
}

// Mount points below these folders are the system's, not the user's.
bool isSystemFolder(const QString& root) {
    for (const char* prefix : {"/proc", "/sys", "/dev", "/run"}) {
        const QString p = QString::fromLatin1(prefix);
        if (root == p || root.startsWith(p + QLatin1Char('/')))
            return true;
    }
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
        return {number, QStringLiteral("デバイスが準備されていません。")};
    case kErrPermissionDenied:
        return {number, QStringLiteral("アクセスが拒否されました。")};
    case kErrPathNotFound:
        return {number, QStringLiteral("パスが見つかりません。")};
    default:
        return {};
    }
}

// 0 when the folder opens for listing, otherwise the reason from the system.
int openError(const QString& folder) {
    const QByteArray native = QFile::encodeName(folder);
    DIR* dir = ::opendir(native.constData());
    if (dir == nullptr)
        return errno == 0 ? EIO : errno;
    ::closedir(dir);
    return 0;
}

} // namespace

QStringList MountedDrives() {
    if (drivesForTest())
        return *drivesForTest();
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = QDir::cleanPath(volume.rootPath());
        if (root.isEmpty() || isPseudoFileSystem(volume.fileSystemType()) || isSystemFolder(root) ||
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

void SetDriveListForTest(std::optional<QStringList> drives) {
    drivesForTest() = std::move(drives);
}

QString DriveOfFolder(const QString& folder, const QStringList& drives) {
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    QString best;
    for (const QString& drive : drives) {
        const QString root = QDir::cleanPath(drive);
        if (isUnder(path, root) && root.size() > best.size())
            best = drive;
    }
    return best.isEmpty() ? QStringLiteral("/") : best;
}

QString DriveCurrentFolder(const QString& drive, const QStringList& drives) {
    const QString current = QDir::currentPath();
    if (DriveOfFolder(current, drives) == drive)
        return current;
    return drive;
}

FolderError CheckDrive(const QString& driveRoot) {
    const int error = openError(driveRoot);
    if (error == 0)
        return {};
    if (error == EACCES || error == EPERM)
        return errorFor(kErrPermissionDenied);
    return errorFor(kErrDeviceUnavailable);
}

FolderError CheckFolder(const QString& folder) {
    const int error = openError(folder);
    if (error == 0)
        return {};
    if (error == EACCES || error == EPERM)
        return errorFor(kErrPermissionDenied);
    if (error == ENOENT || error == ENOTDIR)
        return errorFor(kErrPathNotFound);
    return errorFor(kErrDeviceUnavailable);
}

} // namespace velmora::platform
