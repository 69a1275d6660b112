#include "speed/SonicSpeedStage.h"

#include <sonic.h>

#include "engine/AudioEngine.h"
#include "wav/Formats.h"

namespace tavrin::speed {
namespace {

// The most samples one piece decodes to: a whole engine block of GSM.
constexpr std::size_t kMostSamples =
    (engine::kBlockBytes / wav::kGsmBlockBytes + 1) * wav::kGsmSamplesPerBlock;

}  // namespace

SonicSpeedStage::~SonicSpeedStage() { Release(); }

void SonicSpeedStage::Release() {
    if (stream) sonicDestroyStream(stream);
    stream = nullptr;
}

std::optional<platform::AudioFormat> SonicSpeedStage::Start(const platform::AudioFormat& recording) {
    const bool gsm = recording.formatTag == wav::kTagGsm;
    if (recording.channels < 1 || recording.channels > 2 || recording.samplesPerSec == 0) return std::nullopt;
    auto fresh = std::make_unique<wav::SampleDecoder>(recording.formatTag, recording.bitsPerSample);
    if (!fresh->Usable() || (gsm && recording.channels != 1)) return std::nullopt;
    if (!stream || rate != recording.samplesPerSec || channels != recording.channels) {
        Release();
        stream = sonicCreateStream(static_cast<int>(recording.samplesPerSec), recording.channels);
        if (!stream) return std::nullopt;
        rate = recording.samplesPerSec;
        channels = recording.channels;
    } else {
        Drain();
    }
    decoder = std::move(fresh);
    samples.resize(kMostSamples);
    const auto align = static_cast<std::uint16_t>(2 * channels);
    return platform::AudioFormat{platform::kFormatTagPcm, recording.channels, rate, rate * align, align, 16, 0, 0};
}

void SonicSpeedStage::SetSpeed(std::uint32_t hundredths) {
    if (stream) sonicSetSpeed(stream, static_cast<float>(hundredths) / 100.0f);
}

bool SonicSpeedStage::Put(const std::uint8_t* data, std::uint32_t bytes) {
    if (!stream || !decoder) return false;
    const std::uint32_t decoded = decoder->Decode(data, bytes, samples.data());
    const int frames = static_cast<int>(decoded) / channels;
    return frames == 0 || sonicWriteShortToStream(stream, samples.data(), frames) != 0;
}

void SonicSpeedStage::Flush() {
    if (stream) static_cast<void>(sonicFlushStream(stream));
}

std::uint32_t SonicSpeedStage::Take(std::uint8_t* out, std::uint32_t capacity) {
    if (!stream) return 0;
    const auto frameBytes = static_cast<std::uint32_t>(2 * channels);
    const int most = static_cast<int>(capacity / frameBytes);
    if (most == 0) return 0;
    // The device blocks are aligned for 16-bit samples and filled in whole frames.
    const int got = sonicReadShortFromStream(stream, reinterpret_cast<short*>(out), most);
    return got > 0 ? static_cast<std::uint32_t>(got) * frameBytes : 0;
}

void SonicSpeedStage::Clear() {
    Drain();
    if (decoder) decoder->Reset();
}

// Empties the stream: what it held belongs to another place in the recording.
void SonicSpeedStage::Drain() {
    if (!stream) return;
    static_cast<void>(sonicFlushStream(stream));
    const int most = static_cast<int>(samples.size()) / channels;
    while (most > 0 && sonicReadShortFromStream(stream, samples.data(), most) > 0) {
    }
}

}  // namespace tavrin::speed
