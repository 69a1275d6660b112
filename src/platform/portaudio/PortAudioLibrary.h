#pragma once

#include <mutex>
#include <optional>

#include <portaudio.h>

#include "platform/WaveDevice.h"
#include "platform/stream/DeviceFormat.h"

namespace tavrin::platform::portaudio {

// PortAudio for the whole process: started once, on first use, with the
// sound libraries' own diagnostics silenced, and never stopped, since the
// devices live as long as the process and may be used until it ends.
class PortAudioLibrary {
public:
    // Starts the library on the first call; false when it could not start.
    static bool Ready();
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
    static void Silence();
};

}  // namespace tavrin::platform::portaudio
