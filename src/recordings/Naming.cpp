#include "recordings/Naming.h"

#include <algorithm>
#include <set>

#include "settings/Settings.h"
#include "recordings/RecordingList.h"

namespace tavrin::recordings {
namespace {

constexpr std::string_view kProductCaption = "Tavrin";
constexpr std::string_view kStem = "Recording";

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(x) == lower(y);
           });
}

// After a change of the folder's entries: tells the user when it may not survive a power cut.
void SyncFolderOf(platform::FileSystem& files, platform::Shell& shell, const std::string& path,
                  std::string_view failure, std::string_view caption) {
    if (files.syncFolder(platform::FolderOf(path))) return;
    shell.messageBox(std::string(failure), std::string(caption), platform::mb::IconExclamation);
}

// The name without the spaces (and tabs) typed around it.
std::string_view Trimmed(std::string_view name) {
    const auto first = name.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return name.substr(first, name.find_last_not_of(" \t") - first + 1);
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

std::string NewRecordingPath(platform::FileSystem& files, const std::string& folder,
                             const std::vector<std::string>& shown) {
    // The numbers the rows already show, whatever folder they are in.
    std::set<unsigned long long> taken;
    for (const std::string& path : shown) {
        const std::string name = RecordingName(path);
        if (name.size() <= kStem.size() || !EqualIgnoringCase(name.substr(0, kStem.size()), kStem)) continue;
        const std::string digits = name.substr(kStem.size());
        if (digits.front() == '0' || digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 19)
            continue;
        taken.insert(std::stoull(digits));
    }
    for (unsigned long long n = 1;; ++n) {
        if (taken.count(n) != 0) continue;
        std::string candidate = folder + "/" + std::string(kStem) + std::to_string(n) + ".wav";
        if (!files.exists(candidate)) return candidate;
    }
}

bool IsAllowedName(std::string_view name) {
    return name.find_first_of(settings::kForbiddenNameCharacters) == std::string_view::npos;
}

std::optional<std::string> RenameRecording(platform::FileSystem& files, platform::Shell& shell,
                                           const std::string& oldPath, std::string_view typed) {
    const std::string caption(kRenameCaption);
    const std::string_view name = Trimmed(typed);
    // An empty name would hide the file (".wav"); a long one the system refuses.
    const std::string_view refusal = name.empty()              ? kEmptyNameMessage
                                     : !IsAllowedName(name)    ? kForbiddenCharactersMessage
                                     : name.size() > kLongestName ? kNameTooLongMessage
                                                                  : std::string_view();
    if (!refusal.empty()) {
        shell.messageBox(std::string(refusal), caption, platform::mb::IconHand);
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
