#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/stream/DeviceFormat.h"
#include "platform/stream/GsmFraming.h"
#include "platform/stream/StreamBuffers.h"

namespace tavrin::platform::pulse {

// A clock that stands still while playback is paused, so that a buffer held
// back until it has been heard is not handed back while the server plays
// nothing. Read from any thread without a lock; paused and resumed by one
// thread at a time.
class PlayClock {
public:
    double Now() const noexcept;
    void Pause() noexcept;
    void Resume() noexcept;

private:
    static double Steady() noexcept;
    std::atomic<double> behind{0};       // seconds spent paused so far
    std::atomic<double> stoppedAt{-1};   // the reading while paused; -1 while running
};

// What the playback stream's write callback does, apart from the library:
// takes as much as the queued buffers hold (never padding with silence, so
// that a buffer queued a moment late plays right after the one before),
// decodes GSM into 8 kHz 16-bit samples and applies the device's volume.
class PulsePlayback {
public:
    explicit PulsePlayback(const stream::DeviceFormat& format);

    // False when the GSM decoder could not be made.
    bool ready() const { return !gsm || gsm->ready(); }
    const stream::DeviceFormat& format() const { return deviceFormat; }
    stream::StreamBuffers& buffers() { return queue; }

    // Writes at most `frames` mono samples of the device format; returns how
    // many the buffers had. `playsAt` is when the first of them will be
    // heard, on the delivery clock (0: unknown; buffers are then due when taken).
    std::uint32_t Render(void* samples, std::uint32_t frames, double playsAt) noexcept;

    // The device's volume word: left in the low 16 bits.
    void SetVolume(std::uint32_t word) noexcept { volume.store(word, std::memory_order_relaxed); }
    // After a reset: the rest of a half-played GSM block is not played later.
    void DropPartial() noexcept;

private:
    std::uint32_t RenderPcm(std::uint8_t* out, std::uint32_t frames, double playsAt) noexcept;
    std::uint32_t RenderGsm(std::int16_t* out, std::uint32_t frames, double playsAt) noexcept;

    stream::DeviceFormat deviceFormat;
    stream::StreamBuffers queue;
    std::unique_ptr<stream::GsmFraming> gsm;
    std::atomic<std::uint32_t> volume{0xFFFFFFFFu};
};

}  // namespace tavrin::platform::pulse
