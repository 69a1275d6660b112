#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "platform/WaveDevice.h"

namespace tavrin::test {

// Counts what a gate let through and wakes whoever waits for a count.
class GateCounter {
public:
    void add();
    std::uint64_t value() const;
    // True once the count reached `count`; false when `limit` passed first.
    bool waitFor(std::uint64_t count, std::chrono::milliseconds limit) const;

private:
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::uint64_t counted = 0;
};

// Stands between the engine and a real input device and passes the engine's
// buffers on only as the test releases them, so that a device which delivers
// as fast as it can still fills an exact number of blocks at an exact moment.
// Buffers keep their order; a reset hands back those held here as empty.
class GatedWaveIn : public platform::WaveIn, private platform::WaveSink {
public:
    explicit GatedWaveIn(platform::WaveIn& device) : inner(device) {}

    // Lets `buffers` more of the engine's buffers through to the device.
    void release(std::uint32_t buffers);
    // Buffers the device filled and handed back, over the gate's life.
    const GateCounter& filled() const { return filledCount; }

    bool present() override { return inner.present(); }
    bool isFormatSupported(const platform::AudioFormat& format) override { return inner.isFormatSupported(format); }
    [[nodiscard]] platform::DeviceResult open(const platform::AudioFormat& format, platform::WaveSink& sink) override;
    [[nodiscard]] platform::DeviceResult prepare(platform::WaveBuffer& buffer) override {
        return inner.prepare(buffer);
    }
    [[nodiscard]] platform::DeviceResult unprepare(platform::WaveBuffer& buffer) override {
        return inner.unprepare(buffer);
    }
    [[nodiscard]] platform::DeviceResult add(platform::WaveBuffer& buffer) override;
    [[nodiscard]] platform::DeviceResult start() override { return inner.start(); }
    [[nodiscard]] platform::DeviceResult reset() override;
    [[nodiscard]] platform::DeviceResult close() override { return inner.close(); }

private:
    void notify(std::uint32_t message, platform::WaveBuffer* buffer, std::uint32_t bytes) noexcept override;

    platform::WaveIn& inner;
    platform::WaveSink* owner = nullptr;
    std::mutex mutex;
    std::uint32_t credits = 0;
    std::deque<platform::WaveBuffer*> held;
    GateCounter filledCount;
};

// The same for an output device: written buffers reach the device only as the
// test releases them (or all of them once the gate is opened).
class GatedWaveOut : public platform::WaveOut {
public:
    explicit GatedWaveOut(platform::WaveOut& device) : inner(device) {}

    void release(std::uint32_t buffers);
    // Every buffer goes through from now on, those held first.
    void openGate();
    // Closes the gate again for the next playback.
    void closeGate();
    // Buffers the engine has written, over the gate's life.
    const GateCounter& written() const { return writtenCount; }

    bool present() override { return inner.present(); }
    bool isFormatSupported(const platform::AudioFormat& format) override { return inner.isFormatSupported(format); }
    [[nodiscard]] platform::DeviceResult open(const platform::AudioFormat& format, platform::WaveSink& sink) override;
    [[nodiscard]] platform::DeviceResult prepare(platform::WaveBuffer& buffer) override {
        return inner.prepare(buffer);
    }
    [[nodiscard]] platform::DeviceResult unprepare(platform::WaveBuffer& buffer) override {
        return inner.unprepare(buffer);
    }
    [[nodiscard]] platform::DeviceResult write(platform::WaveBuffer& buffer) override;
    [[nodiscard]] platform::DeviceResult pause() override { return inner.pause(); }
    [[nodiscard]] platform::DeviceResult restart() override { return inner.restart(); }
    [[nodiscard]] platform::DeviceResult reset() override;
    [[nodiscard]] platform::DeviceResult close() override { return inner.close(); }
    [[nodiscard]] platform::DeviceResult setVolume(std::uint32_t volume) override { return inner.setVolume(volume); }
    [[nodiscard]] platform::DeviceResult getVolume(std::uint32_t& volume) override { return inner.getVolume(volume); }

private:
    void PassHeld();  // with `mutex` held

    platform::WaveOut& inner;
    platform::WaveSink* owner = nullptr;
    std::mutex mutex;
    std::uint32_t credits = 0;
    bool gateOpen = false;
    std::deque<platform::WaveBuffer*> held;
    GateCounter writtenCount;
};

}  // namespace tavrin::test
