#pragma once

#include <cstdint>

namespace tavrin::engine {

// Format and length of a recording, as OpenFile and GetFileInfo report them.
// For GSM the rate is in bytes per second and the bits are those of one
// 65-byte block, so rate × 8 / bits still gives blocks per second.
struct AudioFileInfo {
    std::uint32_t isGsm = 0;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint16_t bits = 0;
    std::uint32_t durationMs = 0;
    friend bool operator==(const AudioFileInfo&, const AudioFileInfo&) = default;
};

}  // namespace tavrin::engine
