#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "engine/MessageQueue.h"
#include "engine/Messages.h"
#include "engine/Relaxed.h"
#include "platform/WaveDevice.h"

namespace tavrin::engine {

// The engine-queue message of a monitor buffer that came back filled; wParam
// is the monitor's run, lParam the buffer.
inline constexpr std::uint32_t kMonitorData = kWmUser + 0x40;

// The microphone's level while nothing records: the input device runs with
// two 200 ms buffers of its own, each filled buffer is measured on the engine
// thread as a recorded block is, and goes back to the device. Nothing is
// stored. The UI thread starts and stops it and reads the level.
//
// The device is the engine's one input device: the monitor runs only while
// no capture does (the engine refuses a start otherwise), and a capture
// start stops it first.
class LevelMonitor final : private platform::WaveSink {
public:
    LevelMonitor(platform::WaveIn& input, MessageQueue& engineQueue) : waveIn(input), queue(engineQueue) {}
    ~LevelMonitor() override;
    LevelMonitor(const LevelMonitor&) = delete;
    LevelMonitor& operator=(const LevelMonitor&) = delete;

    // UI thread. False, with the device closed, when it cannot be opened.
    [[nodiscard]] bool Start(const platform::AudioFormat& format);
    // UI thread. Closes the device; the level drops to 0.
    void Stop();
    bool Running() const;
    // Percent of full scale of the last buffer, as GetLevelPercent reports a recording's.
    unsigned LevelPercent() const;

    // Engine thread: a monitor buffer came back from the device during the
    // run numbered `run` (the message's wParam).
    void OnData(platform::WaveBuffer* buffer, std::uint32_t run);

private:
    void notify(std::uint32_t message, platform::WaveBuffer* buffer, std::uint32_t bytes) noexcept override;
    void CloseDevice();  // with `device` held

    platform::WaveIn& waveIn;
    MessageQueue& queue;
    // Serialises the engine thread's requeue with the UI thread's stop, so
    // that no buffer goes back to a device being closed.
    mutable std::mutex device;
    bool open = false;
    // Counts the starts. A buffer handed back by the stop of one run may
    // reach the engine thread after the next run queued it again: only the
    // notifications of the current run are measured.
    std::atomic<std::uint32_t> runs{0};
    platform::AudioFormat format{};
    Relaxed<std::int32_t> peak{0};
    Relaxed<std::int32_t> fullScale{32767};
    std::array<platform::WaveBuffer, 2> headers{};
    // 200 ms of the largest format, and the GSM decoder's scratch.
    alignas(4) std::uint8_t blocks[2][8820]{};
    std::int16_t scratch[1600]{};
};

}  // namespace tavrin::engine
