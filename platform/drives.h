// The drives of this system as the image selection dialog offers them: the
// mounted volumes that hold ordinary folders, each named by its mount point
// (bytes, as the system lists it).
//
// A folder belongs to the drive whose mount point is the longest prefix of its
// path, so "/" is the drive of everything not on a volume of its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// The mount points of the mounted volumes, sorted, "/" always first. Only
// those offersDrive accepts are listed, and no mounts of single files.
std::vector<std::string> mountedDrives();

// Whether a volume mounted there with that file system holds the user's
// folders: removable media under /media or /run/media/<user> and ordinary
// disks do; pseudo file systems (proc, sysfs, cgroups, device nodes), overlay
// layers, squashfs images, snaps and the system's own folders (/proc, /sys,
// /dev, /run) do not.
bool offersDrive(std::string_view mountPoint, std::string_view fileSystemType);

// Replaces what mountedDrives reports until cleared with std::nullopt. Tests use
// it to offer a drive that is not ready.
void setDriveListForTest(std::optional<std::vector<std::string>> drives);

// The entry of drives that holds folder: the longest mount point that is a
// prefix of the folder's absolute, cleaned path ("/" when none matches).
std::string driveOfFolder(const std::string& folder, const std::vector<std::string>& drives);

// The folder a drive change moves to: the process's current folder when it lies
// on that drive (as each drive of the classic system keeps a current folder),
// otherwise the drive's mount point.
std::string driveCurrentFolder(const std::string& drive, const std::vector<std::string>& drives);

// Why a folder cannot be listed. number follows the classic run-time error
// numbers the program reports: 68 (device unavailable) for a volume that does
// not answer or is gone, 70 (permission denied), 76 (path not found).
struct FolderError {
    int number = 0;
    std::string description; // UTF-8
    bool ok() const { return number == 0; }
};

// Opens a drive's root for listing and reports why that fails: a root this user
// may not read gives 70; any other failure (a medium that is missing, a mount
// point that is gone or does not answer) means the drive is not ready, 68.
FolderError checkDrive(const std::string& driveRoot);

// Opens a folder for listing and reports why that fails: 70 for a folder this
// user may not read, 76 for one that is not there or is no folder, 68 otherwise.
FolderError checkFolder(const std::string& folder);

inline constexpr int kErrDeviceUnavailable = 68;
inline constexpr int kErrPermissionDenied = 70;
inline constexpr int kErrPathNotFound = 76;

} // namespace velmora::platform
