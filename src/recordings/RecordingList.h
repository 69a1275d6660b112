#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

namespace tavrin::recordings {

// Whether a file name is a recording's: it ends in ".wav" in any letter case
// (recordings made on other devices often end in ".WAV"). ".wav" alone counts.
bool IsRecordingFileName(std::string_view name);

// The recording's name as the list shows it: the text between the last '/'
// and the last '.' of its path.
std::string RecordingName(std::string_view path);

// The order names are shown in: runs of digits compared as numbers, letters
// without regard to case, so Recording2 comes before Recording10 and the
// RecordingN names stand in the order they were made. Names that differ only
// in case or leading zeros still have a fixed order.
bool NaturalLess(std::string_view a, std::string_view b);

// The recordings the locations hold, in location order: within a location
// its own files, then those of each of its sub-folders (one level down, in
// natural order of the folder names; hidden ones left out), each folder's
// files in natural order of their names. A recording made into a sub-folder
// stays in the list whatever the sub-folder setting says later. There is no
// catalogue: the list is re-read from the folders, and the view is rebuilt
// only when what was read differs from what it shows.
class RecordingList {
public:
    explicit RecordingList(platform::FileSystem& fileSystem) : files(fileSystem) {}

    // Re-reads every location. True when the list differs from the stored
    // one, which it then replaces; the list starts empty, so the first
    // refresh that finds anything reports a change. A location that cannot be
    // listed contributes nothing.
    [[nodiscard]] bool refresh(const std::vector<std::string>& locations);
    const std::vector<std::string>& paths() const { return stored; }

private:
    // Adds the folder's recordings to `found`; collects its sub-folders' names when asked.
    void addFolder(const std::string& folder, std::vector<std::string>& found, std::vector<std::string>* subFolders);

    platform::FileSystem& files;
    std::vector<std::string> stored;
};

// The names the rows show for `paths`: the recording's name, followed by its
// folder in brackets ("Recording1 (Meetings)") where the name occurs more
// than once (letter case aside) and the recording lies in a sub-folder of
// one of `locations`.
std::vector<std::string> RowNames(const std::vector<std::string>& paths, const std::vector<std::string>& locations);

}  // namespace tavrin::recordings
