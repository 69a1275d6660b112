#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/FileSystem.h"
#include "platform/WaveDevice.h"
#include "platform/file/InputSignal.h"
#include "platform/file/SignalConverter.h"

namespace tavrin::platform::file {

// A microphone made of a WAV file. It fills queued buffers from its own
// thread, like a sound card, in whatever format it was opened with, and
// carries on with silence after the end of the file.
class FileWaveIn : public WaveIn {
public:
    struct Options {
        // Deliver at the pace of the audio instead of as fast as buffers come back.
        bool realtime = false;
        // Deliver this many bytes in all, then hold the queued buffers back
        // until the device is reset. The last buffer may be partly filled.
        std::optional<std::uint64_t> deliverBytes;
        // Called on the device thread once the last of `deliverBytes` went out.
        std::function<void()> onHeld;
    };

    explicit FileWaveIn(FileSystem& files);
    FileWaveIn(FileSystem& files, Options options);
    ~FileWaveIn() override;
    FileWaveIn(const FileWaveIn&) = delete;
    FileWaveIn& operator=(const FileWaveIn&) = delete;

    // Takes the WAV file to play into the microphone; `error` tells why not.
    [[nodiscard]] bool Load(const std::string& path, std::string& error);
    // Takes a signal already read; false while the device is open.
    [[nodiscard]] bool Use(InputSignal signal);
    const InputSignal* signal() const { return source ? &*source : nullptr; }
    // Bytes delivered since the device was opened.
    std::uint64_t delivered() const;

    bool present() override { return source.has_value(); }
    bool isFormatSupported(const AudioFormat& format) override;
    [[nodiscard]] DeviceResult open(const AudioFormat& format, WaveSink& sink) override;
    [[nodiscard]] DeviceResult prepare(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult unprepare(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult add(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult start() override;
    [[nodiscard]] DeviceResult reset() override;
    [[nodiscard]] DeviceResult close() override;

private:
    void Run();
    bool CanDeliver() const;
    void DeliverFront(std::unique_lock<std::mutex>& lock);
    void ReturnQueued();

    FileSystem& files;
    Options options;
    std::optional<InputSignal> source;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable filled;
    bool filling = false;  // the device thread is converting into a buffer
    std::thread worker;
    bool opened = false;
    bool started = false;
    bool quitting = false;
    AudioFormat format{};
    WaveSink* sink = nullptr;
    std::unique_ptr<SignalConverter> converter;
    std::deque<WaveBuffer*> queue;
    std::uint64_t bytesOut = 0;
    std::chrono::steady_clock::time_point startedAt{};
};

}  // namespace tavrin::platform::file
