#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Shell.h"

namespace tavrin::recordings {

// What the documents folder is called wherever locations are shown.
inline constexpr std::string_view kPhoneName = "Phone";

// The folders recordings lie in: the documents folder first, then the root of
// every mounted storage card. Built afresh each time, because cards come and go.
class StorageLocations {
public:
    StorageLocations(platform::Shell& desktop, platform::FileSystem& fileSystem) : shell(desktop), files(fileSystem) {}

    // The documents folder (created when missing; it may still be empty when
    // the desktop has none), then the cards in the order the system lists
    // them, leaving out a card that holds the documents folder itself.
    std::vector<std::string> list();
    bool isKnown(const std::string& path) { return IsKnown(list(), path); }

    // Exact, case-sensitive comparison with every location.
    static bool IsKnown(const std::vector<std::string>& locations, const std::string& path);

private:
    platform::Shell& shell;
    platform::FileSystem& files;
};

// The paths without a trailing '/', so that a file's path is location + "/" + name.
std::string WithoutTrailingSlash(std::string path);

// "Phone" for the documents folder (the first location), the last component of
// the mount path for a card.
std::string DisplayName(const std::vector<std::string>& locations, const std::string& path);
std::vector<std::string> DisplayNames(const std::vector<std::string>& locations);
// The location shown under `name` in the current list; none when no location has that name.
std::optional<std::string> LocationOfDisplayName(const std::vector<std::string>& locations, std::string_view name);

// Whether `path` lies inside `folder` (or is it); a plain prefix would also
// take "/home/u/Documents2" for a part of "/home/u/Documents".
bool IsInside(std::string_view path, std::string_view folder);

}  // namespace tavrin::recordings
