#pragma once

#include <cstdint>

#include "platform/WaveDevice.h"
#include "platform/file/InputSignal.h"

struct gsm_state;

namespace tavrin::platform::file {

// Turns the input signal into the bytes a device of `target` format would
// deliver: mixed to mono, resampled linearly, converted to 8 or 16 bits, or
// encoded as GSM (160-sample frame pairs packed into 65-byte blocks). Silence
// follows the end of the signal. A signal already in the target format passes
// through byte for byte.
class SignalConverter {
public:
    SignalConverter(const InputSignal& signal, const AudioFormat& target);
    ~SignalConverter();
    SignalConverter(const SignalConverter&) = delete;
    SignalConverter& operator=(const SignalConverter&) = delete;

    // The formats a converter can produce: PCM mono 8 or 16 bits at 1 kHz to
    // 192 kHz, and GSM at 8 kHz.
    static bool Supports(const AudioFormat& format);

    // False when the GSM encoder could not be made.
    bool ready() const;
    // Writes the next `bytes` of audio (a whole number of blocks). Returns
    // the largest magnitude of the samples GSM encoded (see WaveBuffer::peak);
    // -1 for PCM.
    std::int32_t Fill(std::uint8_t* out, std::uint32_t bytes);

private:
    std::int32_t NextSample();
    std::int32_t FillGsm(std::uint8_t* out, std::uint32_t bytes);

    const InputSignal& signal;
    AudioFormat format;
    bool passThrough = false;
    std::uint64_t produced = 0;  // output samples, or bytes when passing through
    gsm_state* encoder = nullptr;
};

}  // namespace tavrin::platform::file
