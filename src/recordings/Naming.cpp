#include "recordings/Naming.h"

#include "settings/Settings.h"
#include "recordings/RecordingList.h"

namespace tavrin::recordings {
namespace {

constexpr std::string_view kProductCaption = "Tavrin";

// After a change of the folder's entries: tells the user when it may not survive a power cut.
void SyncFolderOf(platform::FileSystem& files, platform::Shell& shell, const std::string& path,
                  std::string_view failure, std::string_view caption) {
    if (files.syncFolder(platform::FolderOf(path))) return;
    shell.messageBox(std::string(failure), std::string(caption), platform::mb::IconExclamation);
}

}  // namespace

std::string PrepareRecordingFolder(platform::FileSystem& files, const std::string& saveLocation,
                                   const std::string& subFolder) {
    // An existing folder makes createDirectory fail, which is what it should be.
    static_cast<void>(files.createDirectory(saveLocation));
    if (subFolder.empty()) return saveLocation;
    std::string folder = saveLocation + "/" + subFolder;
    static_cast<void>(files.createDirectory(folder));
    return folder;
}

std::vector<std::string> ListedFolders(const std::vector<std::string>& locations, const std::string& subFolder) {
    std::vector<std::string> folders;
    for (const std::string& location : locations) {
        folders.push_back(location);
        if (!subFolder.empty() && !location.empty()) folders.push_back(location + "/" + subFolder);
    }
    return folders;
}

std::string NewRecordingPath(platform::FileSystem& files, const std::string& folder) {
    for (unsigned long long n = 1;; ++n) {
        std::string candidate = folder + "/Recording" + std::to_string(n) + ".wav";
        if (!files.exists(candidate)) return candidate;
    }
}

bool IsAllowedName(std::string_view name) {
    return name.find_first_of(settings::kForbiddenNameCharacters) == std::string_view::npos;
}

std::optional<std::string> RenameRecording(platform::FileSystem& files, platform::Shell& shell,
                                           const std::string& oldPath, std::string_view name) {
    const std::string caption(kRenameCaption);
    if (!IsAllowedName(name)) {
        shell.messageBox(std::string(kForbiddenCharactersMessage), caption, platform::mb::IconHand);
        return std::nullopt;
    }
    const auto slash = oldPath.rfind('/');
    const std::string folderPart = slash == std::string::npos ? std::string() : oldPath.substr(0, slash + 1);
    std::string newPath = folderPart + std::string(name) + ".wav";
    // Whatever made the move fail (a taken name, a name the file system refuses,
    // a vanished file), the user is asked for another name.
    if (!files.moveNoReplace(oldPath, newPath)) {
        shell.messageBox(std::string(kNameTakenMessage), caption, platform::mb::IconHand);
        return std::nullopt;
    }
    SyncFolderOf(files, shell, newPath, kRenameNotSavedMessage, kRenameCaption);
    return newPath;
}

bool ConfirmDelete(platform::Shell& shell, const std::string& path) {
    const std::string question = std::string(kDeleteQuestion) + "\n" + RecordingName(path);
    return shell.messageBox(question, std::string(kProductCaption),
                            platform::mb::IconExclamation | platform::mb::YesNo | platform::mb::DefButton2) ==
           platform::answer::Yes;
}

bool DeleteRecording(platform::FileSystem& files, platform::Shell& shell, const std::string& path) {
    if (files.remove(path)) {
        SyncFolderOf(files, shell, path, kDeleteNotSavedMessage, kProductCaption);
        return true;
    }
    shell.messageBox(std::string(kCantDeleteMessage), std::string(kProductCaption), platform::mb::IconHand);
    return false;
}

}  // namespace tavrin::recordings
