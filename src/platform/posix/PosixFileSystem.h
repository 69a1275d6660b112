#pragma once

#include <cstdint>

#include "platform/FileSystem.h"

namespace tavrin::platform {

// Files, mappings and folders on a Linux file system.
//
// Only regular files are opened: a FIFO or device that happens to carry a
// recording's name would otherwise block the caller or be mapped. Growing a
// file reserves its blocks, so that stores through a mapping cannot meet a
// full disk (which would end the process with SIGBUS rather than fail a call).
class PosixFileSystem : public FileSystem {
public:
    [[nodiscard]] std::unique_ptr<File> open(const std::string& path, OpenMode mode, bool writeThrough) override;
    [[nodiscard]] std::optional<std::uint64_t> freeSpace(const std::string& folder) override;
    // True when the name is taken, even by a dangling symbolic link.
    [[nodiscard]] bool exists(const std::string& path) override;
    [[nodiscard]] bool isDirectory(const std::string& path) override;
    [[nodiscard]] bool remove(const std::string& path) override;
    // Atomic where the file system allows; otherwise a hard link and an
    // unlink. Never replaces: when neither is possible the move fails.
    [[nodiscard]] bool moveNoReplace(const std::string& from, const std::string& to) override;
    [[nodiscard]] bool moveReplacing(const std::string& from, const std::string& to) override;
    // False as well when the folder already exists.
    [[nodiscard]] bool createDirectory(const std::string& path) override;
    // fsync of the folder; a file system that cannot sync folders (EINVAL)
    // has nothing more to make durable and counts as success.
    [[nodiscard]] bool syncFolder(const std::string& folder) override;
    // Entries sorted by name; entries that cannot be examined are left out.
    [[nodiscard]] std::optional<std::vector<DirectoryEntry>> list(const std::string& folder) override;
    [[nodiscard]] std::optional<std::vector<DirectoryEntry>> listNames(const std::string& folder) override;
    [[nodiscard]] std::optional<DirectoryEntry> entry(const std::string& path) override;
    // The kernel's boot id.
    [[nodiscard]] std::string systemRun() override;

private:
    static std::optional<std::vector<DirectoryEntry>> listEntries(const std::string& folder, bool details);
};

namespace posix {

// The call that reserves a file's blocks when it grows: fallocate(2) in
// mode 0, answering -1 with errno set on failure. Replaceable by tests only,
// because a full disk or a file system without reservation cannot be
// summoned on demand. Answers the call it replaces, to be put back after.
using SpaceReserver = int (*)(int descriptor, std::int64_t offset, std::int64_t length);
SpaceReserver ReplaceSpaceReserverForTest(SpaceReserver reserver);

}  // namespace posix

}  // namespace tavrin::platform
