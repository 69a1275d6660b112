#pragma once

#include <cstdint>
#include <string>

namespace tavrin::ui {

// The two estimates the recording options page shows for a format and a
// save location, in seconds.
class RecordingTimes {
public:
    virtual ~RecordingTimes() = default;
    // How much audio the free space of the location holds.
    virtual std::int32_t totalSeconds(std::uint32_t formatBit, const std::string& folder) = 0;
    // How long one recording can last there, held in memory until it ends.
    virtual std::int32_t singleSeconds(std::uint32_t formatBit, const std::string& folder) = 0;
};

}  // namespace tavrin::ui
