#pragma once

#include <cstdint>
#include <string>

namespace tavrin::ui {

// What the recording options page asks of the engine: the two estimates it
// shows for a format and a save location, in seconds, and the microphone's
// level while the page is open and nothing records.
class RecordingProbe {
public:
    virtual ~RecordingProbe() = default;
    // How much audio the free space of the location holds.
    virtual std::int32_t totalSeconds(std::uint32_t formatBit, const std::string& folder) = 0;
    // How long one recording can last there, held in memory until it ends.
    virtual std::int32_t singleSeconds(std::uint32_t formatBit, const std::string& folder) = 0;

    // Opens the input device in the format to measure its level, storing
    // nothing; false when there is no meter to show (no device, or a capture runs).
    virtual bool startLevelMonitor(std::uint32_t /*formatBit*/) { return false; }
    // 0..100, measured as a recording's level is.
    virtual std::uint32_t monitorLevelPercent() { return 0; }
    // Closes the input device again.
    virtual void stopLevelMonitor() {}
};

}  // namespace tavrin::ui
