#include "platform/stream/CaptureStream.h"

#include <algorithm>
#include <array>

namespace tavrin::platform::stream {
namespace {

constexpr std::uint32_t kSilenceChunkFrames = 256;

}  // namespace

CaptureStream::CaptureStream(const DeviceFormat& format)
    : deviceFormat(format), queue(StreamBuffers::Direction::Input, format.unitBytes) {
    if (format.gsm) gsm = std::make_unique<GsmFraming>(GsmFraming::Direction::Encode);
}

void CaptureStream::Store(const std::uint8_t* bytes, std::uint32_t count, std::int32_t peak) noexcept {
    const std::uint32_t taken = queue.Fill(bytes, count, peak);
    if (taken < count) lost.fetch_add(count - taken, std::memory_order_relaxed);
}

void CaptureStream::OnCapture(const void* samples, std::uint32_t frames) noexcept {
    if (!samples) {
        CaptureSilence(frames);
        return;
    }
    if (gsm) {
        gsm->Encode(static_cast<const std::int16_t*>(samples), frames,
                    [this](const std::uint8_t* block, std::int32_t peak) { Store(block, kGsmBlockBytes, peak); });
        return;
    }
    Store(static_cast<const std::uint8_t*>(samples), frames * deviceFormat.sampleBytes);
}

void CaptureStream::CaptureSilence(std::uint32_t frames) noexcept {
    // Zero is silence for 16-bit samples, 0x80 for unsigned 8-bit ones.
    std::array<std::int16_t, kSilenceChunkFrames> silence{};
    if (deviceFormat.sampleBytes == 1) {
        std::fill_n(reinterpret_cast<std::uint8_t*>(silence.data()), kSilenceChunkFrames, std::uint8_t{0x80});
    }
    while (frames > 0) {
        const std::uint32_t n = std::min(frames, kSilenceChunkFrames);
        OnCapture(silence.data(), n);
        frames -= n;
    }
}

void CaptureStream::DropPartial() noexcept {
    if (gsm) gsm->DropPartial();
}

}  // namespace tavrin::platform::stream
