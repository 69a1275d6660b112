#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/WaveDevice.h"

namespace tavrin::test {

// The calls a scripted device counts and can fail.
enum class DeviceCall { Open, Prepare, Unprepare, Add, Write, Start, Pause, Restart, Reset, Close, SetVolume };

// What the scripted devices share: the call log, counting and scripted
// failures ("the 2nd prepare answers NoMem"), the accepted formats.
class DeviceScript {
public:
    // The nth call of the kind (1-based, counted over the device's life)
    // answers `result` and does nothing else.
    void fail(DeviceCall call, int nth, platform::DeviceResult result) { failures[{call, nth}] = result; }
    void setPresent(bool present) { hasDevice = present; }
    // Formats the device refuses; any other is accepted.
    void refuse(const platform::AudioFormat& format) { refused.push_back(format); }

    int count(DeviceCall call) const;
    // Every call in order: "open", "prepare", "add", "start", "reset", ...
    const std::vector<std::string>& log() const { return calls; }

protected:
    // Logs the call; returns the scripted failure, if any.
    platform::DeviceResult enter(DeviceCall call);
    bool accepts(const platform::AudioFormat& format) const;

    bool hasDevice = true;

private:
    std::map<std::pair<DeviceCall, int>, platform::DeviceResult> failures;
    std::map<DeviceCall, int> counts;
    std::vector<platform::AudioFormat> refused;
    std::vector<std::string> calls;
};

// A wave-input device that the test drives: it fills a queued buffer only
// when the test says so, with the bytes the test gives, and notifies at once
// on the calling thread.
class ScriptedWaveIn : public platform::WaveIn, public DeviceScript {
public:
    // Runs inside every successful add (a test can move its clock there to
    // make the block handling look slow).
    std::function<void(platform::WaveBuffer&)> onAdd;

    // Fills the oldest queued buffer with `bytes` (at most its length),
    // marks it done and notifies WimData. False when the device is not
    // started or nothing is queued. `peak` is what an encoding device
    // measured (WaveBuffer::peak).
    bool deliver(const std::vector<std::uint8_t>& bytes, std::int32_t peak = -1);
    // Fills the whole oldest buffer with one byte value.
    bool deliverFill(std::uint8_t value);
    // Reports that the device stopped on its own (WimFailed with `result`);
    // false when it is not open.
    bool stopOnItsOwn(platform::DeviceResult result);
    // Fills the whole oldest buffer with one 16-bit sample value.
    bool deliverSample16(std::int16_t value);

    bool isOpen() const { return open_; }
    bool isStarted() const { return started; }
    const platform::AudioFormat& openedFormat() const { return format; }
    std::size_t queuedCount() const { return queue.size(); }
    const platform::WaveBuffer* front() const { return queue.empty() ? nullptr : queue.front(); }

    bool present() override { return hasDevice; }
    bool isFormatSupported(const platform::AudioFormat& f) override { return hasDevice && accepts(f); }
    [[nodiscard]] platform::DeviceResult open(const platform::AudioFormat& f, platform::WaveSink& s) override;
    [[nodiscard]] platform::DeviceResult prepare(platform::WaveBuffer& buffer) override;
    [[nodiscard]] platform::DeviceResult unprepare(platform::WaveBuffer& buffer) override;
    [[nodiscard]] platform::DeviceResult add(platform::WaveBuffer& buffer) override;
    [[nodiscard]] platform::DeviceResult start() override;
    [[nodiscard]] platform::DeviceResult reset() override;
    [[nodiscard]] platform::DeviceResult close() override;

private:
    bool fillFront(const std::function<std::uint32_t(std::uint8_t*, std::uint32_t)>& fill, std::int32_t peak = -1);

    bool open_ = false;
    bool started = false;
    platform::AudioFormat format{};
    platform::WaveSink* sink = nullptr;
    std::deque<platform::WaveBuffer*> queue;
};

// A wave-output device that the test drives: written buffers stay queued
// until the test completes them.
class ScriptedWaveOut : public platform::WaveOut, public DeviceScript {
public:
    // Hands the oldest queued buffer back (WomDone); false when none is queued
    // or the device is paused.
    bool complete();
    // Hands the oldest queued buffer back even while paused, as a device does
    // with a buffer it had played out before the pause but reports only once
    // it has been heard.
    bool completeHeard();

    bool isOpen() const { return open_; }
    bool isPaused() const { return paused; }
    std::size_t queuedCount() const { return queue.size(); }
    const platform::AudioFormat& openedFormat() const { return format; }
    // Bytes of every buffer written, in order.
    const std::vector<std::uint8_t>& played() const { return playedBytes; }

    bool present() override { return hasDevice; }
    bool isFormatSupported(const platform::AudioFormat& f) override { return hasDevice && accepts(f); }
    [[nodiscard]] platform::DeviceResult open(const platform::AudioFormat& f, platform::WaveSink& s) override;
    [[nodiscard]] platform::DeviceResult prepare(platform::WaveBuffer& buffer) override;
    [[nodiscard]] platform::DeviceResult unprepare(platform::WaveBuffer& buffer) override;
    [[nodiscard]] platform::DeviceResult write(platform::WaveBuffer& buffer) override;
    [[nodiscard]] platform::DeviceResult pause() override;
    [[nodiscard]] platform::DeviceResult restart() override;
    [[nodiscard]] platform::DeviceResult reset() override;
    [[nodiscard]] platform::DeviceResult close() override;
    [[nodiscard]] platform::DeviceResult setVolume(std::uint32_t value) override;
    [[nodiscard]] platform::DeviceResult getVolume(std::uint32_t& value) override;

private:
    bool open_ = false;
    bool paused = false;
    std::uint32_t volume = 0xFFFFFFFF;
    platform::AudioFormat format{};
    platform::WaveSink* sink = nullptr;
    std::deque<platform::WaveBuffer*> queue;
    std::vector<std::uint8_t> playedBytes;
};

}  // namespace tavrin::test
