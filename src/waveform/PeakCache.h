#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace tavrin::waveform {

// The peaks of each recording kept between runs, one small file per
// recording in the cache folder, named after the recording's path. A file
// holds the recording's size and modification time it was measured at, and
// is used only while both still match: any change to the recording (an edit,
// another program writing it) makes it measured again.
class PeakCache {
public:
    PeakCache(platform::FileSystem& fileSystem, std::string cacheFolder) : files(fileSystem), folder(std::move(cacheFolder)) {}

    // The peaks stored for the recording as `entry` shows it now; nothing when
    // none are stored, they belong to another state of it, or the file is damaged.
    std::optional<std::vector<std::uint8_t>> Load(const std::string& recording, const platform::DirectoryEntry& entry);
    // Keeps the peaks for the recording as `entry` shows it, written whole
    // under another name and renamed; false when the cache cannot be written
    // (the peaks are then measured again next time).
    [[nodiscard]] bool Store(const std::string& recording, const platform::DirectoryEntry& entry,
                             const std::vector<std::uint8_t>& peaks);
    // Where the peaks of `recording` are kept.
    std::string FileFor(const std::string& recording) const;

private:
    platform::FileSystem& files;
    std::string folder;
};

}  // namespace tavrin::waveform
