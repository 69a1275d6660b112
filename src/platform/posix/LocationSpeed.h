#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin::platform {

// Whether a file system, named by the type number statfs reports for it,
// keeps pace with recording straight into a file. Network file systems
// (NFS, SMB/CIFS, 9p, AFS, Ceph, Coda, Lustre …) and FUSE mounts (sshfs and
// the like) can stall for seconds on a busy link, so they are slow; every
// local file system — ext4, xfs, btrfs, f2fs, vfat and exFAT on a card,
// overlayfs, tmpfs and whatever else lives on this machine — is fast.
bool IsFastFileSystemType(std::int64_t type);

// The file-system type of the mount with device number major:minor in a
// /proc/self/mountinfo text ("fuse.sshfs", "fuseblk", "ext4"); nullopt when
// no line has that device.
std::optional<std::string> MountTypeOf(std::string_view mountInfo, unsigned major, unsigned minor);

// The answer for the file system that holds `path` (a folder or a file). A
// FUSE mount over a block device of this machine ("fuseblk": ntfs-3g, older
// exFAT drivers on a stick or card) is as fast as the disk under it. A path
// that cannot be looked at, nor its folder, counts as slow: the slow road
// holds the audio in memory and needs nothing of the folder until it ends.
bool IsFastLocation(const std::string& path);

}  // namespace tavrin::platform
