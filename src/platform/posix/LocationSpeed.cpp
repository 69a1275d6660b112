#include "platform/posix/LocationSpeed.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

#include "platform/FileSystem.h"

namespace tavrin::platform {
namespace {

constexpr std::uint32_t kFuseType = 0x65735546;

// Type numbers of the file systems whose data travels over a network or
// through a user-space process (linux/magic.h and the file systems' own
// sources; some are not in every kernel's headers, hence the numbers).
constexpr std::array<std::uint32_t, 18> kSlowTypes{
    0x6969,      // NFS
    0x517B,      // SMB (smbfs)
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2/3
    kFuseType,   // FUSE: sshfs, rclone, gvfs, glusterfs, …
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

std::optional<std::string> MountTypeOf(std::string_view mountInfo, unsigned major, unsigned minor) {
    const std::string device = std::to_string(major) + ":" + std::to_string(minor);
    std::istringstream lines{std::string(mountInfo)};
    for (std::string line; std::getline(lines, line);) {
        // "id parent major:minor root point options [optional fields…] - type source super-options"
        std::istringstream fields(line);
        std::string id, parent, numbers;
        if (!(fields >> id >> parent >> numbers) || numbers != device) continue;
        const auto dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream tail(line.substr(dash + 3));
        std::string type;
        if (tail >> type) return type;
    }
    return std::nullopt;
}

bool IsFastLocation(const std::string& path) {
    // A new recording's folder exists; a file path may name a file that does not yet.
    std::string probe = path;
    struct statfs fs {};
    if (statfs(probe.c_str(), &fs) != 0) {
        probe = FolderOf(path);
        if (statfs(probe.c_str(), &fs) != 0) return false;
    }
    if (IsFastFileSystemType(static_cast<std::int64_t>(fs.f_type))) return true;
    if (static_cast<std::uint32_t>(fs.f_type) != kFuseType) return false;
    struct stat st {};
    if (stat(probe.c_str(), &st) != 0) return false;
    std::ifstream in("/proc/self/mountinfo");
    std::ostringstream text;
    text << in.rdbuf();
    return MountTypeOf(text.str(), major(st.st_dev), minor(st.st_dev)) == "fuseblk";
}

}  // namespace tavrin::platform
