#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/WaveDevice.h"
#include "platform/stream/CaptureStream.h"
#include "platform/pulse/PulseConnection.h"

struct pa_stream;

namespace tavrin::platform::pulse {

// The microphone through the desktop's sound server: a record stream, mono at
// the format's rate (GSM captured as 8 kHz 16-bit and encoded here), from the
// chosen source or the desktop's default. The server hands over 200 ms at a
// time, so a capture wakes this process about five times a second. The
// stream's read callback copies into the queued buffers and hands the full
// ones back itself: the mainloop thread is the library's, not a real-time
// one, and may take the sink's short lock, which saves a thread that would
// wake for every block only to pass it on.
class PulseWaveIn final : public WaveIn {
public:
    PulseWaveIn() = default;
    ~PulseWaveIn() override;
    PulseWaveIn(const PulseWaveIn&) = delete;
    PulseWaveIn& operator=(const PulseWaveIn&) = delete;

    // The server's name of the source to record from; empty for the
    // desktop's default. Takes effect at the next open.
    void SetSource(const std::string& name);
    // Set when the last open could not find the chosen source and recorded
    // from the default instead: the missing source's name, handed out once.
    std::optional<std::string> TakeMissingSource();

    bool present() override;
    bool isFormatSupported(const AudioFormat& format) override;
    [[nodiscard]] DeviceResult open(const AudioFormat& format, WaveSink& sink) override;
    [[nodiscard]] DeviceResult prepare(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult unprepare(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult add(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult start() override;
    [[nodiscard]] DeviceResult reset() override;
    [[nodiscard]] DeviceResult close() override;

    // Bytes the server delivered while no buffer was queued, since the device was opened.
    std::uint64_t lostBytes();

    // Mainloop thread only.
    void OnReadable() noexcept;
    void OnStateChanged() noexcept;

private:
    void Deliver() noexcept;
    DeviceResult Connect(const stream::DeviceFormat& device, const char* source, bool pinned);
    void Cork(bool cork);
    void Release();

    std::mutex guard;
    std::string chosenSource;
    std::optional<std::string> missingSource;
    std::atomic<int> presentAnswer{-1};  // what present() last found: -1 unknown, 0 no, 1 yes

    std::unique_ptr<PulseConnection> connection;
    pa_stream* stream = nullptr;
    bool running = false;
    bool closing = false;  // under the mainloop's lock: the end of the stream is ours, not a failure
    WaveSink* sink = nullptr;  // set before the stream exists, cleared after it is gone
    std::unique_ptr<stream::CaptureStream> capture;
};

}  // namespace tavrin::platform::pulse
