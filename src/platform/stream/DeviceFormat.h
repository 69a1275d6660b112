#pragma once

#include <cstdint>
#include <optional>

#include "platform/WaveDevice.h"

namespace tavrin::platform::stream {

// How a wave format travels over a mono device stream. PCM goes to the device
// as it stands in the buffers; GSM is carried as 8 kHz 16-bit samples and
// coded on our side of the stream.
struct DeviceFormat {
    std::uint32_t sampleRate = 8000;
    std::uint32_t sampleBytes = 2;  // 1: unsigned 8-bit around 0x80, 2: signed 16-bit
    bool gsm = false;
    // The smallest whole piece of a buffer: one sample, or one 65-byte GSM block.
    std::uint32_t unitBytes = 2;
    friend bool operator==(const DeviceFormat&, const DeviceFormat&) = default;
};

inline constexpr std::uint32_t kGsmBlockBytes = 65;
inline constexpr std::uint32_t kGsmBlockSamples = 320;
inline constexpr std::uint32_t kGsmSampleRate = 8000;

// The device side of `format`, or nothing for a format no device stream of
// ours can carry (stereo, other sample sizes or codecs, a GSM rate other than
// 8 kHz, inconsistent block alignment).
std::optional<DeviceFormat> DeviceFormatFor(const AudioFormat& format);

}  // namespace tavrin::platform::stream
