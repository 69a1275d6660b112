#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/WaveDevice.h"

struct gsm_state;

namespace tavrin::platform::file {

// A loudspeaker made of a WAV file: every buffer played is appended to the
// file in the device's format (GSM is decoded to 8 kHz 16-bit), and the header
// is finished when the device closes. Buffers are played on the device's own
// thread, as fast as they come or at the pace of the audio.
class FileWaveOut : public WaveOut {
public:
    FileWaveOut(FileSystem& files, std::string path, bool realtime = false);
    ~FileWaveOut() override;
    FileWaveOut(const FileWaveOut&) = delete;
    FileWaveOut& operator=(const FileWaveOut&) = delete;

    bool present() override { return true; }
    bool isFormatSupported(const AudioFormat& format) override;
    [[nodiscard]] DeviceResult open(const AudioFormat& format, WaveSink& sink) override;
    [[nodiscard]] DeviceResult prepare(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult unprepare(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult write(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult pause() override;
    [[nodiscard]] DeviceResult restart() override;
    [[nodiscard]] DeviceResult reset() override;
    [[nodiscard]] DeviceResult close() override;
    [[nodiscard]] DeviceResult setVolume(std::uint32_t volume) override;
    [[nodiscard]] DeviceResult getVolume(std::uint32_t& volume) override;

    // From the next open on: at most `milliseconds` of audio reach the file
    // (whole blocks); later buffers come back unwritten. Nothing: no limit.
    // A speaker cut off exactly where the listener asked, which a stop
    // chosen by the read position cannot do.
    void SetPlayLimit(std::optional<std::uint32_t> milliseconds);
    // Whether the limit has been played; readable from any thread.
    bool LimitReached() const { return limitReached.load(std::memory_order_acquire); }
    // Called on the device's own thread once the limit has been played, so
    // that whoever waits for it needs not look again and again.
    void SetOnLimitReached(std::function<void()> call);

private:
    void Run();
    bool CanPlay() const { return !paused && !queue.empty(); }
    void PlayFront();
    bool Append(const std::uint8_t* data, std::uint32_t bytes);
    bool FinishHeader();

    FileSystem& files;
    std::string path;
    bool realtime;

    std::mutex mutex;
    std::condition_variable wake;
    std::thread worker;
    bool opened = false;
    bool paused = false;
    bool quitting = false;
    bool failed = false;  // a write to the file went wrong
    std::uint32_t volume = 0xFFFFFFFF;
    AudioFormat format{};
    WaveSink* sink = nullptr;
    std::function<void()> onLimitReached;
    std::unique_ptr<File> output;
    gsm_state* decoder = nullptr;
    std::vector<std::int16_t> decoded;
    std::deque<WaveBuffer*> queue;
    std::uint32_t dataBytes = 0;
    std::uint64_t bytesPlayed = 0;  // device-format bytes, for pacing
    std::optional<std::uint32_t> limitMs;
    std::uint64_t limitLeft = 0;  // device-format bytes still to write under the limit
    std::atomic<bool> limitReached{false};
    std::chrono::steady_clock::time_point startedAt{};
};

}  // namespace tavrin::platform::file
