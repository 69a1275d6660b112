#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Shell.h"

namespace tavrin::platform {

// The shell of the command-line tools: boxes become lines on stderr and are
// answered as if the user took the first button.
class StderrShell : public Shell {
public:
    // Prints "caption: text" (line breaks of the text kept) and answers Ok, or Yes for a question.
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override;
    // $XDG_DOCUMENTS_DIR, else the documents folder of the user's
    // user-dirs.dirs (as desktop programs use), else ~/Documents.
    std::string documentsFolder() override;
    // Mount points directly under /media/<user>/ or /run/media/<user>/.
    std::vector<std::string> storageCards() override;
    // Decided by the type of the file system that holds the path.
    bool isFastMedia(const std::string& path) override;
};

// The storage cards of the user running the program: mount points directly
// under /media/<user>/ or /run/media/<user>/, in the order the system lists them.
std::vector<std::string> MountedStorageCards();
// A field of /proc/self/mounts with its octal escapes ("\040" for a space) decoded.
std::string DecodeMountField(std::string_view field);
// The storage-card mount points in a /proc/self/mounts text, in its order.
std::vector<std::string> CardMountPoints(std::string_view mounts, const std::string& user);
// Where the desktop program keeps its settings: "Korvel Software/Tavrin.conf"
// in $XDG_CONFIG_HOME, else in ~/.config.
std::string DesktopSettingsFile();
// The XDG_DOCUMENTS_DIR of a user-dirs.dirs text, with $HOME expanded; nullopt when absent.
std::optional<std::string> DocumentsDirOf(std::string_view userDirs, const std::string& home);

}  // namespace tavrin::platform
