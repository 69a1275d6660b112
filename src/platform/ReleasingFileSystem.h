#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace tavrin::platform {

// A file system whose files on removable media hold nothing open between
// two operations: each read, write, size or length change opens the file
// again by its path, at the position it had, and lets go of it at once. A
// storage card can so be ejected while a recording on it is merely
// selected, which the system refuses ("target is busy") while anything holds
// a file there open. A mapping holds its file for as long as it lives.
//
// Files elsewhere, and every folder operation, go straight to `inner`.
class ReleasingFileSystem : public FileSystem {
public:
    // `releases` tells, for a path, whether its files are let go of.
    ReleasingFileSystem(FileSystem& inner, std::function<bool(const std::string& path)> releases);

    [[nodiscard]] std::unique_ptr<File> open(const std::string& path, OpenMode mode, bool writeThrough) override;
    [[nodiscard]] std::optional<std::uint64_t> freeSpace(const std::string& folder) override;
    [[nodiscard]] bool exists(const std::string& path) override;
    [[nodiscard]] bool isDirectory(const std::string& path) override;
    [[nodiscard]] bool remove(const std::string& path) override;
    [[nodiscard]] bool moveNoReplace(const std::string& from, const std::string& to) override;
    [[nodiscard]] bool moveReplacing(const std::string& from, const std::string& to) override;
    [[nodiscard]] bool createDirectory(const std::string& path) override;
    [[nodiscard]] bool syncFolder(const std::string& folder) override;
    [[nodiscard]] std::optional<std::vector<DirectoryEntry>> list(const std::string& folder) override;
    [[nodiscard]] std::optional<std::vector<DirectoryEntry>> listNames(const std::string& folder) override;
    [[nodiscard]] std::optional<DirectoryEntry> entry(const std::string& path) override;
    [[nodiscard]] std::string systemRun() override { return inner.systemRun(); }

private:
    FileSystem& inner;
    std::function<bool(const std::string&)> releases;
};

}  // namespace tavrin::platform
