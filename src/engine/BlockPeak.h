#pragma once

#include <cstdint>

#include "platform/WaveDevice.h"

namespace tavrin::engine {

// The level of one captured or played block: the largest sample magnitude,
// on the format's full scale (127 for 8-bit PCM, 32767 otherwise). GSM is
// decoded into `scratch` (room for 1600 samples) with the engine's one level
// decoder, so only the engine thread may measure GSM.
std::int32_t BlockPeakOf(const platform::AudioFormat& format, const std::uint8_t* data, std::uint32_t bytes,
                         std::int16_t* scratch);
// The level of a captured buffer: what its device measured before encoding
// it, when it did (see WaveBuffer::peak); otherwise BlockPeakOf its first
// `bytes`.
std::int32_t CapturedPeakOf(const platform::AudioFormat& format, const platform::WaveBuffer& buffer,
                            std::uint32_t bytes, std::int16_t* scratch);

// 127 for 8-bit PCM, 32767 for 16-bit PCM and GSM.
std::int32_t FullScaleOf(const platform::AudioFormat& format);

}  // namespace tavrin::engine
