#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Shell.h"

namespace tavrin::recordings {

inline constexpr std::string_view kRenameCaption = "Tavrin  Rename";
inline constexpr std::string_view kForbiddenCharactersMessage =
    "Names must be unique and cannot contain the following characters: \\/:*?\"<.>|";
inline constexpr std::string_view kNameTakenMessage =
    "A recording with that name already exists. Enter a unique name.";
inline constexpr std::string_view kEmptyNameMessage = "Enter a name for the recording.";
inline constexpr std::string_view kNameTooLongMessage = "That name is too long. Enter a shorter name.";
// The longest name a recording can have: its file name, ".wav" included, is
// at most 255 bytes on the file systems of disks and cards.
inline constexpr std::size_t kLongestName = 255 - 4;
inline constexpr std::string_view kDeleteQuestion = "Permanently delete this recording?";
inline constexpr std::string_view kCantDeleteMessage = "Can't delete this recording!";
// The change was made but the medium did not confirm it: after a power cut
// the old name, or the deleted recording, may be back.
inline constexpr std::string_view kRenameNotSavedMessage =
    "The recording was renamed, but the storage did not confirm the new name. "
    "If the power fails now, the recording may keep its old name.";
inline constexpr std::string_view kDeleteNotSavedMessage =
    "The recording was deleted, but the storage did not confirm it. "
    "If the power fails now, the recording may come back.";

// The folder new recordings go to: the save location, created when missing,
// and the sub-folder below it when one is set. A folder that cannot be created
// is left for the recording itself to fail on, with the engine's message.
std::string PrepareRecordingFolder(platform::FileSystem& files, const std::string& saveLocation,
                                   const std::string& subFolder);

// folder + "/Recording" + n + ".wav" for the smallest n >= 1 whose file does
// not exist, so that the numbers of deleted recordings are used again, and
// whose name no recording in `shown` has (letter case aside): a new row never
// repeats the name of one in another folder.
std::string NewRecordingPath(platform::FileSystem& files, const std::string& folder,
                             const std::vector<std::string>& shown = {});

// A name the user may give a recording: none of \ / : * ? " < . > | (the dot
// keeps the ".wav" ending ours to add, the slash keeps the file in its folder).
bool IsAllowedName(std::string_view name);

// Renames the recording at `oldPath` to `name` + ".wav" in the same folder and
// returns the new path; spaces around the name are left out. Never replaces
// an existing file. A name that is empty (or only spaces), too long or has a
// forbidden character is refused, as is a failed move, and the user is told
// which; the recording then keeps its old name. The
// folder is then synced so that the new name survives a power cut; when that
// fails the user is told, and the rename stands.
[[nodiscard]] std::optional<std::string> RenameRecording(platform::FileSystem& files, platform::Shell& shell,
                                                         const std::string& oldPath, std::string_view name);

// Asks whether to delete the recording at `path`, naming it; true for Yes.
// No is the default answer: deleting cannot be undone.
[[nodiscard]] bool ConfirmDelete(platform::Shell& shell, const std::string& path);
// Deletes the file; tells the user when that fails, or when the folder could
// not be synced afterwards (the file is gone all the same: true).
[[nodiscard]] bool DeleteRecording(platform::FileSystem& files, platform::Shell& shell, const std::string& path);

}  // namespace tavrin::recordings
