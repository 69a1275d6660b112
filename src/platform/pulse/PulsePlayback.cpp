#include "platform/pulse/PulsePlayback.h"

#include <chrono>

#include "platform/stream/PlaybackStream.h"

namespace tavrin::platform::pulse {
namespace {

constexpr double kGsmBytesPerSecond =
    static_cast<double>(stream::kGsmSampleRate) * stream::kGsmBlockBytes / stream::kGsmBlockSamples;

}  // namespace

double PlayClock::Steady() noexcept {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double PlayClock::Now() const noexcept {
    const double stopped = stoppedAt.load(std::memory_order_acquire);
    if (stopped >= 0) return stopped;
    return Steady() - behind.load(std::memory_order_relaxed);
}

void PlayClock::Pause() noexcept {
    if (stoppedAt.load(std::memory_order_relaxed) >= 0) return;
    stoppedAt.store(Now(), std::memory_order_release);
}

void PlayClock::Resume() noexcept {
    const double stopped = stoppedAt.load(std::memory_order_relaxed);
    if (stopped < 0) return;
    behind.store(Steady() - stopped, std::memory_order_relaxed);
    stoppedAt.store(-1, std::memory_order_release);
}

PulsePlayback::PulsePlayback(const stream::DeviceFormat& format)
    : deviceFormat(format), queue(stream::StreamBuffers::Direction::Output, format.unitBytes) {
    if (format.gsm) gsm = std::make_unique<stream::GsmFraming>(stream::GsmFraming::Direction::Decode);
}

std::uint32_t PulsePlayback::Render(void* samples, std::uint32_t frames, double playsAt) noexcept {
    if (gsm) return RenderGsm(static_cast<std::int16_t*>(samples), frames, playsAt);
    return RenderPcm(static_cast<std::uint8_t*>(samples), frames, playsAt);
}

std::uint32_t PulsePlayback::RenderPcm(std::uint8_t* out, std::uint32_t frames, double playsAt) noexcept {
    const double bytesPerSecond = static_cast<double>(deviceFormat.sampleRate) * deviceFormat.sampleBytes;
    queue.SetPlayClock(playsAt, playsAt > 0 ? bytesPerSecond : 0.0);
    const std::uint32_t got = queue.Drain(out, frames * deviceFormat.sampleBytes);
    const std::uint32_t gain = stream::PlaybackStream::GainOf(volume.load(std::memory_order_relaxed));
    if (deviceFormat.sampleBytes == 1) {
        stream::PlaybackStream::ApplyGain(out, got, gain);
    } else {
        stream::PlaybackStream::ApplyGain(reinterpret_cast<std::int16_t*>(out), got / 2, gain);
    }
    return got / deviceFormat.sampleBytes;
}

std::uint32_t PulsePlayback::RenderGsm(std::int16_t* out, std::uint32_t frames, double playsAt) noexcept {
    const std::uint32_t decoded = gsm->Decode(out, frames, [&](std::uint8_t* block, std::uint32_t offset) {
        if (playsAt > 0) {
            queue.SetPlayClock(playsAt + offset / static_cast<double>(stream::kGsmSampleRate), kGsmBytesPerSecond);
        } else {
            queue.SetPlayClock(0, 0);
        }
        return queue.Drain(block, stream::kGsmBlockBytes) == stream::kGsmBlockBytes;
    });
    stream::PlaybackStream::ApplyGain(out, decoded, stream::PlaybackStream::GainOf(volume.load(std::memory_order_relaxed)));
    return decoded;
}

void PulsePlayback::DropPartial() noexcept {
    if (gsm) gsm->DropPartial();
}

}  // namespace tavrin::platform::pulse
