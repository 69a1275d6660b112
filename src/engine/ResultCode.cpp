#include "engine/ResultCode.h"

#include <array>
#include <cstdio>

namespace tavrin::engine {
namespace {

constexpr std::array<std::string_view, 21> kMessages{
    "No error",
    "Can't open this audio file.\nIt may be corrupt, renamed or moved to a different folder",
    "Not enough memory for this audio format",
    "waveOutOpen",
    "wavePrepareHeader",
    "Can't start another thread",
    "Not enough storage space. Move large files elsewhere",
    "Folder missing. Did you remove storage card?",
    "Can't open file for recording",
    "Can't record in this format",
    "waveInOpen",
    "waveInAddBuffer",
    "Can't set volume on this device",
    "Audio format not supported",
    "Query only allowed in idle state",
    "Audio out reset failed",
    "Audio out unprepare failed",
    "Audio out close failed",
    "Insert aborted",
    "This recording is being changed by another program. Try again when it has finished",
    "The last change of this recording is not finished. Make room on its storage, then try again",
};

// Messages of our own, from index 0x100 on.
constexpr std::uint32_t kOwnFirst = 0x100;
constexpr std::array<std::string_view, 1> kOwnMessages{
    "This recording is read-only. It can be played but not changed",
};

}  // namespace

std::string_view MessageText(std::uint32_t index) {
    if (index < kMessages.size()) return kMessages[index];
    if (index >= kOwnFirst && index - kOwnFirst < kOwnMessages.size()) return kOwnMessages[index - kOwnFirst];
    return "UNRECOGNISED";
}

std::string CodeBoxText(std::uint32_t codeWord, std::uint32_t detailWord) {
    char text[64];
    std::snprintf(text, sizeof text, "Error code:\n0x%X\n0x%X", codeWord, detailWord);
    return text;
}

void ShowResult(platform::Shell& shell, std::uint32_t detailWord, std::uint32_t codeWord) {
    const ResultCode result(codeWord, detailWord);
    std::string caption;
    unsigned style = platform::mb::Ok;
    if (result.IsFatal()) {
        caption = kFatalCaption;
        style |= platform::mb::IconHand;
    } else if (result.IsWarning()) {
        caption = kProductName;
        style |= platform::mb::IconExclamation;
    }
    // The boxes only inform; whichever button closes them changes nothing.
    if (result.ShowsText()) shell.messageBox(std::string(MessageText(result.MessageIndex())), caption, style);
    if (result.ShowsCode()) shell.messageBox(CodeBoxText(codeWord, detailWord), caption, style);
}

}  // namespace tavrin::engine
