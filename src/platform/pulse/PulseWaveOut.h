#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/WaveDevice.h"
#include "platform/stream/DeliveryThread.h"
#include "platform/pulse/PulseConnection.h"
#include "platform/pulse/PulsePlayback.h"

struct pa_stream;

namespace tavrin::platform::pulse {

// The loudspeaker through the desktop's sound server: a playback stream to
// the default sink, mono at the format's rate, GSM decoded here. The stream
// starts with the first buffer written; pause and restart cork and uncork it.
// A buffer comes back (WomDone) once it has been heard, by the server's own
// account of its latency, on a clock that stands still while paused.
class PulseWaveOut final : public WaveOut {
public:
    PulseWaveOut() = default;
    ~PulseWaveOut() override;
    PulseWaveOut(const PulseWaveOut&) = delete;
    PulseWaveOut& operator=(const PulseWaveOut&) = delete;

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

    // Mainloop thread, or under the mainloop's lock.
    void OnWritable() noexcept;
    void OnStateChanged() noexcept;
    void Signal() noexcept;

private:
    DeviceResult Connect(const stream::DeviceFormat& device);
    void Cork(bool cork);
    void Release();

    std::mutex guard;
    std::atomic<std::uint32_t> volume{0xFFFFFFFFu};
    std::unique_ptr<PulseConnection> connection;
    pa_stream* stream = nullptr;
    bool started = false;   // uncorked once, by the first write
    bool paused = false;
    bool failed = false;    // under the mainloop's lock: the stream ended on its own
    bool closing = false;   // under the mainloop's lock
    WaveSink* sink = nullptr;
    PlayClock clock;
    std::unique_ptr<PulsePlayback> playback;
    std::unique_ptr<stream::DeliveryThread> delivery;
};

}  // namespace tavrin::platform::pulse
