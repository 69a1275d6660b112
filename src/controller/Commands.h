#pragma once

#include <cstdint>
#include <string>

#include "engine/Messages.h"

namespace tavrin::controller {

// Command identifiers of the soft keys and the menu.
namespace cmd {
inline constexpr std::uint32_t Record = 3;
inline constexpr std::uint32_t Menu = 4;  // the right soft key
inline constexpr std::uint32_t Options = 5;
inline constexpr std::uint32_t Delete = 6;
inline constexpr std::uint32_t Play = 7;
inline constexpr std::uint32_t Stop = 8;
inline constexpr std::uint32_t Rename = 18;
inline constexpr std::uint32_t Pause = 19;  // also Resume
inline constexpr std::uint32_t FF = 20;
inline constexpr std::uint32_t REW = 21;
inline constexpr std::uint32_t Append = 35;
inline constexpr std::uint32_t Insert = 36;
inline constexpr std::uint32_t Overwrite = 37;
inline constexpr std::uint32_t Speed = 38;   // the next playback speed, round from the fastest to the slowest
inline constexpr std::uint32_t Export = 39;  // a copy of the recording in a format to send
inline constexpr std::uint32_t Mark = 40;    // a mark at the place recorded or heard
inline constexpr std::uint32_t NextMark = 41;
inline constexpr std::uint32_t PreviousMark = 42;
inline constexpr std::uint32_t CutToHere = 43;        // removes the audio from the start to the place
inline constexpr std::uint32_t CutFromHere = 44;      // removes the audio from the place to the end
inline constexpr std::uint32_t CutBetweenMarks = 45;  // removes the audio between the marks around the place
inline constexpr std::uint32_t UndoCut = 46;          // puts back what the last cut removed
}  // namespace cmd

// Requests a state sends to its own window; they come back to the state that
// is current by then.
inline constexpr std::uint32_t kRequestPlay = engine::kWmApp + 1;
inline constexpr std::uint32_t kRequestRecordAppend = engine::kWmApp + 2;
inline constexpr std::uint32_t kRequestRecordInsert = engine::kWmApp + 3;
inline constexpr std::uint32_t kRequestRecordOverwrite = engine::kWmApp + 4;
// Action pressed on a list row; the window turns it into OnActivateRecording.
inline constexpr std::uint32_t kActivateRow = engine::kWmApp + 6;

// Menu item flags.
namespace mf {
inline constexpr std::uint32_t Enabled = 0;
inline constexpr std::uint32_t Grayed = 0x1;
inline constexpr std::uint32_t Separator = 0x800;
}  // namespace mf

// One item of the soft-key menu; separators have command 0 and no caption.
struct MenuItem {
    std::uint32_t flags = mf::Enabled;
    std::uint32_t command = 0;
    std::string caption;
    friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

}  // namespace tavrin::controller
