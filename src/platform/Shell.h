#pragma once

#include <string>
#include <vector>

#include "platform/Media.h"

namespace tavrin::platform {

// Message box styles and answers, with the values callers have always used.
namespace mb {
inline constexpr unsigned Ok = 0x0;
inline constexpr unsigned OkCancel = 0x1;
inline constexpr unsigned YesNo = 0x4;
inline constexpr unsigned IconHand = 0x10;
inline constexpr unsigned IconQuestion = 0x20;
inline constexpr unsigned IconExclamation = 0x30;
inline constexpr unsigned IconAsterisk = 0x40;
inline constexpr unsigned DefButton2 = 0x100;
inline constexpr unsigned IconMask = 0xF0;
inline constexpr unsigned ButtonMask = 0xF;
}  // namespace mb

namespace answer {
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
}  // namespace answer

// What the recorder asks of the desktop: modal notices, the documents folder,
// the mounted storage cards and how fast a location is.
class Shell {
public:
    virtual ~Shell() = default;
    // Shows a modal box and returns the button chosen (answer::…).
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned style) = 0;
    // The user's documents folder, created when missing; empty when there is none.
    virtual std::string documentsFolder() = 0;
    // Mount points of the storage cards, in the order the system lists them.
    virtual std::vector<std::string> storageCards() = 0;
    // Whether recordings at `path` (a folder or a recording in it) are written
    // straight into their file while recording, rather than collected in
    // memory and written when they end: true on the machine's own disks and
    // cards, false on network and FUSE file systems.
    virtual bool isFastMedia(const std::string& path) = 0;
};

// How a recording at `path` is written, as the shell classifies its location.
inline Media MediaOf(Shell& shell, const std::string& path) {
    return shell.isFastMedia(path) ? Media::Fast : Media::Slow;
}

}  // namespace tavrin::platform
