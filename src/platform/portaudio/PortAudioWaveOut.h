#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/WaveDevice.h"
#include "platform/stream/DeliveryThread.h"
#include "platform/stream/PlaybackStream.h"

namespace tavrin::platform::portaudio {

// The default output device through a PortAudio callback stream: mono at the
// format's rate, GSM decoded here into 8 kHz 16-bit. The stream starts with
// the first buffer written; a buffer comes back (WomDone) once it has been
// heard, as far as the device can tell.
class PortAudioWaveOut final : public WaveOut {
public:
    explicit PortAudioWaveOut(stream::ThreadMaker makeThread = stream::MakeThread) : threads(std::move(makeThread)) {}
    ~PortAudioWaveOut() override;
    PortAudioWaveOut(const PortAudioWaveOut&) = delete;
    PortAudioWaveOut& operator=(const PortAudioWaveOut&) = delete;

    bool present() override;
    bool isFormatSupported(const AudioFormat& format) override;
    [[nodiscard]] DeviceResult open(const AudioFormat& format, WaveSink& sink) override;
    [[nodiscard]] DeviceResult prepare(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult unprepare(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult write(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult pause() override;
    [[nodiscard]] DeviceResult restart() override;
    [[nodiscard]] DeviceResult reset() override;
    [[nodiscard]] DeviceResult close() override;
    // Kept while the device is closed and applied to every stream, as the
    // volume of a sound card is.
    [[nodiscard]] DeviceResult setVolume(std::uint32_t volume) override;
    [[nodiscard]] DeviceResult getVolume(std::uint32_t& volume) override;

    // Bytes the device has taken from the buffers since it was opened.
    std::uint64_t bytesTaken();

private:
    DeviceResult StartStream();
    void StopStream();
    double StreamTime();

    stream::ThreadMaker threads;
    std::mutex guard;
    void* stream = nullptr;  // PaStream
    std::atomic<void*> clockStream{nullptr};
    bool running = false;
    bool paused = false;
    WaveSink* sink = nullptr;
    std::atomic<std::uint32_t> volume{0xFFFFFFFFu};
    std::unique_ptr<stream::PlaybackStream> playback;
    std::unique_ptr<stream::DeliveryThread> delivery;
};

}  // namespace tavrin::platform::portaudio
