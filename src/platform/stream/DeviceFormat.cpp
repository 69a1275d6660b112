#include "platform/stream/DeviceFormat.h"

namespace tavrin::platform::stream {
namespace {

// Wider than any rate a recording uses, narrower than what would make a
// 200 ms buffer absurd.
constexpr std::uint32_t kMinRate = 1000;
constexpr std::uint32_t kMaxRate = 192000;

}  // namespace

std::optional<DeviceFormat> DeviceFormatFor(const AudioFormat& f) {
    if (f.channels != 1) return std::nullopt;
    if (f.formatTag == kFormatTagGsm) {
        if (f.samplesPerSec != kGsmSampleRate || f.blockAlign != kGsmBlockBytes) return std::nullopt;
        return DeviceFormat{kGsmSampleRate, 2, true, kGsmBlockBytes};
    }
    if (f.formatTag != kFormatTagPcm) return std::nullopt;
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16) return std::nullopt;
    const std::uint32_t bytes = f.bitsPerSample / 8u;
    if (f.blockAlign != bytes || f.samplesPerSec < kMinRate || f.samplesPerSec > kMaxRate) return std::nullopt;
    return DeviceFormat{f.samplesPerSec, bytes, false, bytes};
}

}  // namespace tavrin::platform::stream
