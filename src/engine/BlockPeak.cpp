#include "engine/BlockPeak.h"

#include <algorithm>

#include "wav/Formats.h"
#include "wav/GsmLevel.h"

namespace tavrin::engine {
namespace {

std::int32_t Peak16(const std::uint8_t* data, std::uint32_t bytes) {
    std::int32_t peak = 0;
    for (std::uint32_t i = 0; i + 1 < bytes; i += 2) {
        const auto sample = static_cast<std::int16_t>(wav::LoadLe16(data + i));
        peak = std::max<std::int32_t>(peak, sample < 0 ? -sample : sample);
    }
    return peak;
}

std::int32_t Peak8(const std::uint8_t* data, std::uint32_t bytes) {
    std::int32_t peak = 0;
    for (std::uint32_t i = 0; i < bytes; ++i) {
        peak = std::max<std::int32_t>(peak, data[i] < 128 ? 128 - data[i] : data[i] - 128);
    }
    return peak;
}

}  // namespace

std::int32_t BlockPeakOf(const platform::AudioFormat& format, const std::uint8_t* data, std::uint32_t bytes,
                         std::int16_t* scratch) {
    if (format.formatTag == platform::kFormatTagGsm) return wav::GsmBufferPeak(data, scratch);
    return format.bitsPerSample == 16 ? Peak16(data, bytes) : Peak8(data, bytes);
}

std::int32_t CapturedPeakOf(const platform::AudioFormat& format, const platform::WaveBuffer& buffer,
                            std::uint32_t bytes, std::int16_t* scratch) {
    if (buffer.peak >= 0) return buffer.peak;
    return BlockPeakOf(format, buffer.data, bytes, scratch);
}

std::int32_t FullScaleOf(const platform::AudioFormat& format) {
    return format.formatTag != platform::kFormatTagGsm && format.bitsPerSample == 8 ? 127 : 32767;
}

}  // namespace tavrin::engine
