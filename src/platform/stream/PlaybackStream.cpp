#include "platform/stream/PlaybackStream.h"

#include <cstring>

namespace tavrin::platform::stream {
namespace {

constexpr std::uint32_t kUnityGain = 0xFFFF;
constexpr std::uint8_t kSilence8 = 0x80;
constexpr double kGsmBytesPerSecond = static_cast<double>(kGsmSampleRate) * kGsmBlockBytes / kGsmBlockSamples;

}  // namespace

PlaybackStream::PlaybackStream(const DeviceFormat& format)
    : deviceFormat(format), queue(StreamBuffers::Direction::Output, format.unitBytes) {
    if (format.gsm) gsm = std::make_unique<GsmFraming>(GsmFraming::Direction::Decode);
}

void PlaybackStream::OnRender(void* samples, std::uint32_t frames, double playsAt) noexcept {
    if (paused()) {
        RenderSilence(samples, frames);
        return;
    }
    if (gsm) {
        RenderGsm(static_cast<std::int16_t*>(samples), frames, playsAt);
    } else {
        RenderPcm(static_cast<std::uint8_t*>(samples), frames, playsAt);
    }
}

void PlaybackStream::RenderPcm(std::uint8_t* out, std::uint32_t frames, double playsAt) noexcept {
    const std::uint32_t bytes = frames * deviceFormat.sampleBytes;
    const double bytesPerSecond = static_cast<double>(deviceFormat.sampleRate) * deviceFormat.sampleBytes;
    queue.SetPlayClock(playsAt, playsAt > 0 ? bytesPerSecond : 0.0);
    const std::uint32_t got = queue.Drain(out, bytes);
    const std::uint32_t gain = GainOf(volume.load(std::memory_order_relaxed));
    if (deviceFormat.sampleBytes == 1) {
        std::memset(out + got, kSilence8, bytes - got);
        ApplyGain(out, got, gain);
    } else {
        std::memset(out + got, 0, bytes - got);
        // The device takes native 16-bit samples, and the buffers hold them
        // little-endian, as this machine does.
        ApplyGain(reinterpret_cast<std::int16_t*>(out), got / 2, gain);
    }
}

void PlaybackStream::RenderGsm(std::int16_t* out, std::uint32_t frames, double playsAt) noexcept {
    const std::uint32_t decoded = gsm->Decode(out, frames, [&](std::uint8_t* block, std::uint32_t offset) {
        if (playsAt > 0) {
            queue.SetPlayClock(playsAt + offset / static_cast<double>(kGsmSampleRate), kGsmBytesPerSecond);
        } else {
            queue.SetPlayClock(0, 0);
        }
        return queue.Drain(block, kGsmBlockBytes) == kGsmBlockBytes;
    });
    ApplyGain(out, decoded, GainOf(volume.load(std::memory_order_relaxed)));
}

void PlaybackStream::RenderSilence(void* samples, std::uint32_t frames) noexcept {
    std::memset(samples, deviceFormat.sampleBytes == 1 ? kSilence8 : 0, std::size_t{frames} * deviceFormat.sampleBytes);
}

void PlaybackStream::DropPartial() noexcept {
    if (gsm) gsm->DropPartial();
}

void PlaybackStream::ApplyGain(std::uint8_t* samples, std::uint32_t count, std::uint32_t gain) noexcept {
    if (gain >= kUnityGain) return;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::int32_t centred = std::int32_t{samples[i]} - kSilence8;
        samples[i] = static_cast<std::uint8_t>(kSilence8 + centred * static_cast<std::int32_t>(gain) /
                                                               static_cast<std::int32_t>(kUnityGain));
    }
}

void PlaybackStream::ApplyGain(std::int16_t* samples, std::uint32_t count, std::uint32_t gain) noexcept {
    if (gain >= kUnityGain) return;
    for (std::uint32_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::int16_t>(std::int64_t{samples[i]} * gain / kUnityGain);
    }
}

}  // namespace tavrin::platform::stream
