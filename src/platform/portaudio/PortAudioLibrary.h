#pragma once

#include <mutex>
#include <optional>

#include <portaudio.h>

#include "platform/WaveDevice.h"
#include "platform/stream/DeviceFormat.h"

namespace tavrin::platform::portaudio {

// The library's calls that the devices make, looked up when it is loaded.
struct PortAudioCalls {
    decltype(&Pa_Initialize) Initialize = nullptr;
    decltype(&Pa_OpenStream) OpenStream = nullptr;
    decltype(&Pa_StartStream) StartStream = nullptr;
    decltype(&Pa_AbortStream) AbortStream = nullptr;
    decltype(&Pa_CloseStream) CloseStream = nullptr;
    decltype(&Pa_IsFormatSupported) IsFormatSupported = nullptr;
    decltype(&Pa_GetStreamTime) GetStreamTime = nullptr;
    decltype(&Pa_GetDeviceInfo) GetDeviceInfo = nullptr;
    decltype(&Pa_GetDefaultInputDevice) GetDefaultInputDevice = nullptr;
    decltype(&Pa_GetDefaultOutputDevice) GetDefaultOutputDevice = nullptr;
    decltype(&Pa_GetLastHostErrorInfo) GetLastHostErrorInfo = nullptr;
};

// PortAudio for the whole process: loaded and started once, on first use,
// with the sound libraries' own diagnostics silenced, and never stopped,
// since the devices live as long as the process and may be used until it
// ends. Loaded, not linked: a program that records through the sound server
// and has played no cue yet holds neither PortAudio nor ALSA nor JACK.
class PortAudioLibrary {
public:
    // Loads and starts the library on the first call; false when it could
    // not (not installed, or it would not start).
    static bool Ready();
    // Its calls; only once Ready() said true.
    static const PortAudioCalls& Calls();
    // Held around every call that opens, probes or closes a stream: the
    // library keeps its list of open streams without a lock of its own, and
    // the two threads of the program both open and close devices.
    static std::mutex& Serial();

    // The stream parameters of the default device of a direction for a
    // format, or nothing when there is no such device. The latency asked for
    // is at least the device's own for steady streams, and at least `latency`
    // seconds.
    static std::optional<PaStreamParameters> DefaultInput(const stream::DeviceFormat& format, double latency = 0);
    static std::optional<PaStreamParameters> DefaultOutput(const stream::DeviceFormat& format, double latency = 0);

    // What a failed library call means to a wave-device caller. A device that
    // another program holds answers Allocated, so that callers retry.
    static DeviceResult ResultOf(PaError error);
    static DeviceResult ResultOf(PaError error, const PaHostErrorInfo* hostError);

private:
    static bool Load(PortAudioCalls& calls);
    static void Silence();
};

}  // namespace tavrin::platform::portaudio
