// Drives as the mounted volumes a user would pick: which one holds a folder,
// and which volumes are offered at all.
#include "platform/drives.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace velmora;

TEST(Drives, driveOfAFolderIsTheLongestMountPointAbove) {
    const QStringList drives = {QStringLiteral("/"), QStringLiteral("/mnt"),
                                QStringLiteral("/mnt/usb"), QStringLiteral("/mnt/usb2")};
    EXPECT_EQ(platform::driveOfFolder(QStringLiteral("/mnt/usb/pics"), drives),
              QStringLiteral("/mnt/usb"));
    EXPECT_EQ(platform::driveOfFolder(QStringLiteral("/mnt/usb2"), drives),
              QStringLiteral("/mnt/usb2"));
    EXPECT_EQ(platform::driveOfFolder(QStringLiteral("/mnt/usbstick"), drives),
              QStringLiteral("/mnt"));
    EXPECT_EQ(platform::driveOfFolder(QStringLiteral("/home"), drives), QStringLiteral("/"));
    const QStringList mounted = platform::mountedDrives();
    ASSERT_FALSE(mounted.isEmpty());
    EXPECT_EQ(mounted.first(), QStringLiteral("/"));
}

// Removable media under /run/media/<user> were once left out with the rest of /run.
TEST(Drives, onlyTheUsersVolumesAreOffered) {
    const std::vector<std::tuple<const char*, const char*, bool>> volumes = {
        {"/media/alice/USB", "vfat", true},        {"/run/media/alice/写真", "exfat", true},
        {"/run/media/alice/DVD", "iso9660", true}, {"/mnt/nas", "nfs4", true},
        {"/run/user/1000", "tmpfs", false},        {"/run/media", "tmpfs", false},
        {"/sys/fs/cgroup", "cgroup2", false},      {"/var/lib/docker/o/merged", "overlay", false},
        {"/media/cdrom-image", "squashfs", false}, {"/snap/core22/1122", "squashfs", false},
        {"/snap/firefox/common", "ext4", false},   {"/var/snap/lxd/common/ns", "nsfs", false}};
    for (const auto& [mountPoint, fileSystem, offered] : volumes)
        EXPECT_EQ(platform::offersDrive(QString::fromUtf8(mountPoint), fileSystem), offered)
            << mountPoint << " " << fileSystem;
}
