#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/Shell.h"

namespace tavrin::recordings {

inline constexpr std::string_view kRenameCaption = "Tavrin  Rename";
inline constexpr std::string_view kForbiddenCharactersMessage =
    "Names must be unique and cannot contain the following characters: \\/:*?\"<.>|";
inline constexpr std::string_view kNameTakenMessage =
    "A recording with that name already exists. Enter a unique name.";
inline constexpr std::string_view kDeleteQuestion = "Permanently delete this recording?";
inline constexpr std::string_view kCantDeleteMessage = "Can't delete this recording!";

// The folder new recordings go to: the save location, created when missing,
// and the sub-folder below it when one is set. A folder that cannot be created
// is left for the recording itself to fail on, with the engine's message.
std::string PrepareRecordingFolder(platform::FileSystem& files, const std::string& saveLocation,
                                   const std::string& subFolder);

// folder + "/Recording" + n + ".wav" for the smallest n >= 1 whose file does
// not exist, so that the numbers of deleted recordings are used again.
std::string NewRecordingPath(platform::FileSystem& files, const std::string& folder);

// A name the user may give a recording: none of \ / : * ? " < . > | (the dot
// keeps the ".wav" ending ours to add, the slash keeps the file in its folder).
bool IsAllowedName(std::string_view name);

// Renames the recording at `oldPath` to `name` + ".wav" in the same folder and
// returns the new path. Never replaces an existing file. A refused name or a
// failed move is told to the user, and the recording keeps its old name.
[[nodiscard]] std::optional<std::string> RenameRecording(platform::FileSystem& files, platform::Shell& shell,
                                                         const std::string& oldPath, std::string_view name);

// Asks whether to delete the recording at `path`, naming it; true for Yes.
// No is the default answer: deleting cannot be undone.
[[nodiscard]] bool ConfirmDelete(platform::Shell& shell, const std::string& path);
// Deletes the file; tells the user when that fails.
[[nodiscard]] bool DeleteRecording(platform::FileSystem& files, platform::Shell& shell, const std::string& path);

}  // namespace tavrin::recordings
