#pragma once

#include <memory>
#include <mutex>

#include "platform/WaveDevice.h"
#include "platform/stream/CaptureStream.h"
#include "platform/stream/DeliveryThread.h"

namespace tavrin::platform::portaudio {

// The default input device through a PortAudio callback stream. The stream
// is opened with the device (mono, at the format's rate; GSM captured as
// 8 kHz 16-bit and encoded here) and started by `start`. The callback fills
// the queued buffers; the stream's delivery thread hands them back.
class PortAudioWaveIn final : public WaveIn {
public:
    PortAudioWaveIn() = default;
    ~PortAudioWaveIn() override;
    PortAudioWaveIn(const PortAudioWaveIn&) = delete;
    PortAudioWaveIn& operator=(const PortAudioWaveIn&) = delete;

    bool present() override;
    bool isFormatSupported(const AudioFormat& format) override;
    [[nodiscard]] DeviceResult open(const AudioFormat& format, WaveSink& sink) override;
    [[nodiscard]] DeviceResult prepare(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult unprepare(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult add(WaveBuffer& buffer) override;
    [[nodiscard]] DeviceResult start() override;
    [[nodiscard]] DeviceResult reset() override;
    [[nodiscard]] DeviceResult close() override;

    // Bytes the device captured while no buffer was queued, since it was opened.
    std::uint64_t lostBytes();

private:
    void StopStream();

    std::mutex guard;
    void* stream = nullptr;  // PaStream
    bool running = false;
    WaveSink* sink = nullptr;
    std::unique_ptr<stream::CaptureStream> capture;
    std::unique_ptr<stream::DeliveryThread> delivery;
};

}  // namespace tavrin::platform::portaudio
