#include "platform/posix/LocationSpeed.h"

#include <sys/vfs.h>

#include <algorithm>
#include <array>

#include "platform/FileSystem.h"

namespace tavrin::platform {
namespace {

// Type numbers of the file systems whose data travels over a network or
// through a user-space process (linux/magic.h and the file systems' own
// sources; some are not in every kernel's headers, hence the numbers).
constexpr std::array<std::uint32_t, 18> kSlowTypes{
    0x6969,      // NFS
    0x517B,      // SMB (smbfs)
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2/3
    0x65735546,  // FUSE: sshfs, rclone, gvfs, glusterfs, …
    0x01021997,  // 9p (v9fs)
    0x5346414F,  // OpenAFS
    0x6B414653,  // kAFS
    0x00C36400,  // Ceph
    0x73757245,  // Coda
    0x564C,      // NCP (NetWare)
    0x0BD00BD0,  // Lustre
    0x47504653,  // GPFS
    0x013111A8,  // IBRIX
    0x19830326,  // BeeGFS
    0xAAD7AAEA,  // PanFS
    0x7C7C6673,  // shared folders of a Parallels guest
    0xBACBACBC,  // shared folders of a VMware guest
};

}  // namespace

bool IsFastFileSystemType(std::int64_t type) {
    // statfs reports the type in a signed word; CIFS's number has its top bit set.
    const auto word = static_cast<std::uint32_t>(type);
    return std::find(kSlowTypes.begin(), kSlowTypes.end(), word) == kSlowTypes.end();
}

bool IsFastLocation(const std::string& path) {
    struct statfs fs {};
    // A new recording's folder exists; a file path may name a file that does not yet.
    if (statfs(path.c_str(), &fs) != 0 && statfs(FolderOf(path).c_str(), &fs) != 0) return false;
    return IsFastFileSystemType(static_cast<std::int64_t>(fs.f_type));
}

}  // namespace tavrin::platform
