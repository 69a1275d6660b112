#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/stream/DeviceFormat.h"
#include "platform/stream/GsmFraming.h"
#include "platform/stream/StreamBuffers.h"

namespace tavrin::platform::stream {

// What the input callback does with the samples a device stream delivers:
// PCM goes into the queued buffers as it comes, GSM is encoded first. Knows
// nothing of the audio library, so a test can call it with any frame counts.
class CaptureStream {
public:
    explicit CaptureStream(const DeviceFormat& format);

    // False when the GSM encoder could not be made.
    bool ready() const { return !gsm || gsm->ready(); }
    const DeviceFormat& format() const { return deviceFormat; }
    StreamBuffers& buffers() { return queue; }

    // The callback: `frames` mono samples in the device format; null input
    // (the device had nothing) counts as silence.
    void OnCapture(const void* samples, std::uint32_t frames) noexcept;
    // After a reset: a half-collected GSM block is not carried into the next capture.
    void DropPartial() noexcept;
    // Bytes that arrived while no buffer was queued.
    std::uint64_t lostBytes() const { return lost.load(std::memory_order_relaxed); }

private:
    void Store(const std::uint8_t* bytes, std::uint32_t count, std::int32_t peak = -1) noexcept;
    void CaptureSilence(std::uint32_t frames) noexcept;

    DeviceFormat deviceFormat;
    StreamBuffers queue;
    std::unique_ptr<GsmFraming> gsm;
    std::atomic<std::uint64_t> lost{0};
};

}  // namespace tavrin::platform::stream
