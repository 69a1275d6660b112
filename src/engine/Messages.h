#pragma once

#include <cstdint>

#include "platform/WaveDevice.h"

// The message ids of the engine: commands the UI thread posts to the engine
// thread, device notifications that share the engine's queue, and the events
// the engine raises to the main window. The main window dispatches on exactly
// these numbers.
namespace tavrin::engine {

inline constexpr std::uint32_t kWmQuit = 0x0012;
inline constexpr std::uint32_t kWmUser = 0x0400;
inline constexpr std::uint32_t kWmApp = 0x8000;

// Commands (UI thread -> engine thread), wParam 0 unless said.
inline constexpr std::uint32_t kCmdStop = kWmUser + 0;
inline constexpr std::uint32_t kCmdPause = kWmUser + 1;
inline constexpr std::uint32_t kCmdResume = kWmUser + 2;
inline constexpr std::uint32_t kCmdSeek = kWmUser + 3;  // wParam: target block
inline constexpr std::uint32_t kCmdStartPlayback = kWmUser + 4;
inline constexpr std::uint32_t kCmdStartCapture = kWmUser + 5;
inline constexpr std::uint32_t kCmdSaveMarks = kWmUser + 6;  // marks made while playing go into the file

// Device notifications.
inline constexpr std::uint32_t kMmWomOpen = platform::mm::WomOpen;
inline constexpr std::uint32_t kMmWomClose = platform::mm::WomClose;
inline constexpr std::uint32_t kMmWomDone = platform::mm::WomDone;
inline constexpr std::uint32_t kMmWimOpen = platform::mm::WimOpen;
inline constexpr std::uint32_t kMmWimClose = platform::mm::WimClose;
inline constexpr std::uint32_t kMmWimData = platform::mm::WimData;
inline constexpr std::uint32_t kMmWimFailed = platform::mm::WimFailed;  // wParam: device result

// Events (engine -> main window).
inline constexpr std::uint32_t kEvError = kWmApp + 11;  // wParam code word, lParam device result
inline constexpr std::uint32_t kEvPlayStart = kWmApp + 12;
inline constexpr std::uint32_t kEvPlayEnd = kWmApp + 13;
inline constexpr std::uint32_t kEvPosSet = kWmApp + 14;
inline constexpr std::uint32_t kEvWaterMark = kWmApp + 15;  // dispatched by the window, never raised
inline constexpr std::uint32_t kEvPausedOn = kWmApp + 16;
inline constexpr std::uint32_t kEvPausedOff = kWmApp + 17;

// Recording events; each is raised plus the engine's `eventBase`.
inline constexpr std::uint32_t kEvFileReady = kWmApp + 20;
inline constexpr std::uint32_t kEvRecordStart = kWmApp + 21;
inline constexpr std::uint32_t kEvRecordActivated = kWmApp + 22;
inline constexpr std::uint32_t kEvRecordEnd = kWmApp + 23;
inline constexpr std::uint32_t kEvSilenceCut = kWmApp + 24;
inline constexpr std::uint32_t kEvTooSlow = kWmApp + 25;

// Values of `eventBase`: which kind of recording raises the events.
inline constexpr std::uint32_t kEventBasePlain = 0;
inline constexpr std::uint32_t kEventBaseOverwrite = 10;
inline constexpr std::uint32_t kEventBaseAppend = 20;
inline constexpr std::uint32_t kEventBaseInsert = 30;

}  // namespace tavrin::engine
