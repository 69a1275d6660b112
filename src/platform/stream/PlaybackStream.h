#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/stream/DeviceFormat.h"
#include "platform/stream/GsmFraming.h"
#include "platform/stream/StreamBuffers.h"

namespace tavrin::platform::stream {

// What the output callback does: takes the queued buffers' bytes (decoding
// GSM) into the device's samples, plays silence while paused or when nothing
// is queued, and applies the volume. Knows nothing of the audio library, so a
// test can call it with any frame counts.
class PlaybackStream {
public:
    explicit PlaybackStream(const DeviceFormat& format);

    // False when the GSM decoder could not be made.
    bool ready() const { return !gsm || gsm->ready(); }
    const DeviceFormat& format() const { return deviceFormat; }
    StreamBuffers& buffers() { return queue; }

    // The callback: writes `frames` mono samples in the device format.
    // `playsAt` is when the first of them will be heard, on the clock the
    // delivery side reads (0: not known; buffers are then due when taken).
    void OnRender(void* samples, std::uint32_t frames, double playsAt) noexcept;

    void SetPaused(bool paused) noexcept { isPaused.store(paused, std::memory_order_relaxed); }
    bool paused() const noexcept { return isPaused.load(std::memory_order_relaxed); }
    // The device's volume word: left in the low 16 bits, right in the high.
    void SetVolume(std::uint32_t word) noexcept { volume.store(word, std::memory_order_relaxed); }
    // After a reset: the rest of a half-played GSM block is not played later.
    void DropPartial() noexcept;

    // The gain (0 to 65535, 65535 = unchanged) for a volume word. The stream
    // is mono, so it follows the left half, as a device without a separate
    // right control does; the recorder always sets both halves alike.
    static std::uint32_t GainOf(std::uint32_t volumeWord) noexcept { return volumeWord & 0xFFFFu; }
    // Scales unsigned 8-bit samples around their midpoint 0x80.
    static void ApplyGain(std::uint8_t* samples, std::uint32_t count, std::uint32_t gain) noexcept;
    static void ApplyGain(std::int16_t* samples, std::uint32_t count, std::uint32_t gain) noexcept;

private:
    void RenderPcm(std::uint8_t* out, std::uint32_t frames, double playsAt) noexcept;
    void RenderGsm(std::int16_t* out, std::uint32_t frames, double playsAt) noexcept;
    void RenderSilence(void* samples, std::uint32_t frames) noexcept;

    DeviceFormat deviceFormat;
    StreamBuffers queue;
    std::unique_ptr<GsmFraming> gsm;
    std::atomic<bool> isPaused{false};
    std::atomic<std::uint32_t> volume{0xFFFFFFFFu};
};

}  // namespace tavrin::platform::stream
