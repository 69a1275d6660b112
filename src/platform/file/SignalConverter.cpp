#include "platform/file/SignalConverter.h"

#include <gsm.h>

#include <algorithm>
#include <cstring>

namespace tavrin::platform::file {
namespace {

constexpr std::uint32_t kGsmBlockBytes = 65;
constexpr std::uint32_t kGsmFrameSamples = 160;
// The first frame of a block fills 32 bytes and half of the 33rd.
constexpr std::uint32_t kGsmFirstFrameBytes = 32;

bool IsGsm(const AudioFormat& f) { return f.formatTag == kFormatTagGsm; }

}  // namespace

bool SignalConverter::Supports(const AudioFormat& f) {
    if (IsGsm(f)) return f.channels == 1 && f.samplesPerSec == 8000 && f.blockAlign == kGsmBlockBytes;
    return f.formatTag == kFormatTagPcm && f.channels == 1 && (f.bitsPerSample == 8 || f.bitsPerSample == 16) &&
           f.samplesPerSec >= 1000 && f.samplesPerSec <= 192000 && f.blockAlign == f.bitsPerSample / 8;
}

SignalConverter::SignalConverter(const InputSignal& source, const AudioFormat& target)
    : signal(source), format(target) {
    if (IsGsm(format)) {
        encoder = gsm_create();
        int on = 1;
        if (encoder && gsm_option(encoder, GSM_OPT_WAV49, &on) < 0) {
            gsm_destroy(encoder);
            encoder = nullptr;
        }
        return;
    }
    passThrough = signal.channels() == 1 && signal.samplesPerSec() == format.samplesPerSec &&
                  signal.bitsPerSample() == format.bitsPerSample;
}

SignalConverter::~SignalConverter() {
    if (encoder) gsm_destroy(encoder);
}

bool SignalConverter::ready() const { return !IsGsm(format) || encoder != nullptr; }

// Linear interpolation between the two source frames around the output
// sample's time; exact integer positions, so equal rates copy the samples.
std::int32_t SignalConverter::NextSample() {
    if (signal.samplesPerSec() == format.samplesPerSec) return signal.MonoAt(produced++);
    const std::uint64_t at = produced++ * signal.samplesPerSec();
    const std::uint64_t index = at / format.samplesPerSec;
    const auto fraction = static_cast<std::int64_t>(at % format.samplesPerSec);
    const std::int32_t s0 = signal.MonoAt(index);
    if (fraction == 0) return s0;
    const std::int32_t s1 = signal.MonoAt(index + 1);
    return s0 + static_cast<std::int32_t>((s1 - s0) * fraction / format.samplesPerSec);
}

std::int32_t SignalConverter::Fill(std::uint8_t* out, std::uint32_t bytes) {
    if (IsGsm(format)) return FillGsm(out, bytes);
    if (passThrough) {
        const std::uint64_t available = produced < signal.dataBytes() ? signal.dataBytes() - produced : 0;
        const auto copied = static_cast<std::uint32_t>(std::min<std::uint64_t>(available, bytes));
        std::memcpy(out, signal.data() + produced, copied);
        std::memset(out + copied, format.bitsPerSample == 8 ? 128 : 0, bytes - copied);
        produced += bytes;
        return -1;
    }
    if (format.bitsPerSample == 8) {
        // An arithmetic shift floors, so 8-bit sources come back unchanged.
        for (std::uint32_t i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>((NextSample() >> 8) + 128);
        return -1;
    }
    for (std::uint32_t i = 0; i + 1 < bytes; i += 2) {
        const auto word = static_cast<std::uint16_t>(static_cast<std::int16_t>(NextSample()));
        out[i] = static_cast<std::uint8_t>(word);
        out[i + 1] = static_cast<std::uint8_t>(word >> 8);
    }
    return -1;
}

std::int32_t SignalConverter::FillGsm(std::uint8_t* out, std::uint32_t bytes) {
    gsm_signal frames[2 * kGsmFrameSamples];
    std::int32_t peak = 0;
    for (std::uint32_t block = 0; block + kGsmBlockBytes <= bytes; block += kGsmBlockBytes) {
        for (auto& sample : frames) sample = static_cast<gsm_signal>(NextSample());
        if (!encoder) {
            std::memset(out + block, 0, kGsmBlockBytes);
            continue;
        }
        peak = std::max(peak, PeakOf(frames, 2 * kGsmFrameSamples));
        gsm_encode(encoder, frames, out + block);
        gsm_encode(encoder, frames + kGsmFrameSamples, out + block + kGsmFirstFrameBytes);
    }
    return peak;
}

}  // namespace tavrin::platform::file
