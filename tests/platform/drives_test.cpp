// Drives as the mounted volumes a user would pick: which one holds a folder,
// and which volumes are offered at all.
#include "platform/drives.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace velmora;

TEST(Drives, driveOfAFolderIsTheLongestMountPointAbove) {
    const std::vector<std::string> drives = {"/", "/mnt", "/mnt/usb", "/mnt/usb2"};
    EXPECT_EQ(platform::driveOfFolder("/mnt/usb/pics", drives), "/mnt/usb");
    EXPECT_EQ(platform::driveOfFolder("/mnt/usb2", drives), "/mnt/usb2");
    EXPECT_EQ(platform::driveOfFolder("/mnt/usbstick", drives), "/mnt");
    EXPECT_EQ(platform::driveOfFolder("/home", drives), "/");
    const std::vector<std::string> mounted = platform::mountedDrives();
    ASSERT_FALSE(mounted.empty());
    EXPECT_EQ(mounted.front(), "/");
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
        EXPECT_EQ(platform::offersDrive(mountPoint, fileSystem), offered)
            << mountPoint << " " << fileSystem;
}
