#include "platform/portaudio/PortAudioLibrary.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <mutex>

#if TAVRIN_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif
#if TAVRIN_HAVE_JACK
#include <jack/jack.h>
#endif

namespace tavrin::platform::portaudio {
namespace {

#if TAVRIN_HAVE_ALSA
// ALSA reports every configuration it cannot open while PortAudio probes the
// devices: dozens of lines on an ordinary desktop, none of them ours to show.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif
#if TAVRIN_HAVE_JACK
// ALSA's JACK plugin, probed along with the rest, complains that no JACK
// server runs.
void QuietJack(const char*) {}
#endif

PaSampleFormat SampleFormatOf(const stream::DeviceFormat& format) { return format.sampleBytes == 1 ? paUInt8 : paInt16; }

}  // namespace

void PortAudioLibrary::Silence() {
    // Whoever chases a device problem can have the libraries' own words back.
    const char* debug = std::getenv("TAVRIN_AUDIO_DEBUG");
    if (debug && *debug) return;
#if TAVRIN_HAVE_ALSA
    snd_lib_error_set_handler(QuietAlsa);
#endif
#if TAVRIN_HAVE_JACK
    jack_set_error_function(QuietJack);
    jack_set_info_function(QuietJack);
#endif
}

std::mutex& PortAudioLibrary::Serial() {
    static std::mutex serial;
    return serial;
}

bool PortAudioLibrary::Ready() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        Silence();
        std::lock_guard lock(Serial());
        ready = Pa_Initialize() == paNoError;
    });
    return ready;
}

std::optional<PaStreamParameters> PortAudioLibrary::DefaultInput(const stream::DeviceFormat& format, double latency) {
    if (!Ready()) return std::nullopt;
    const PaDeviceIndex device = Pa_GetDefaultInputDevice();
    const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
    if (!info || info->maxInputChannels < 1) return std::nullopt;
    return PaStreamParameters{device, 1, SampleFormatOf(format), std::max(info->defaultHighInputLatency, latency),
                              nullptr};
}

std::optional<PaStreamParameters> PortAudioLibrary::DefaultOutput(const stream::DeviceFormat& format, double latency) {
    if (!Ready()) return std::nullopt;
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
    if (!info || info->maxOutputChannels < 1) return std::nullopt;
    return PaStreamParameters{device, 1, SampleFormatOf(format), std::max(info->defaultHighOutputLatency, latency),
                              nullptr};
}

DeviceResult PortAudioLibrary::ResultOf(PaError error) {
    return ResultOf(error, error == paUnanticipatedHostError ? Pa_GetLastHostErrorInfo() : nullptr);
}

DeviceResult PortAudioLibrary::ResultOf(PaError error, const PaHostErrorInfo* hostError) {
    switch (error) {
    case paNoError:
        return mmr::NoError;
    case paDeviceUnavailable:
        return mmr::Allocated;
    case paInvalidDevice:
        return mmr::BadDeviceId;
    case paNotInitialized:
        return mmr::NoDriver;
    case paInsufficientMemory:
        return mmr::NoMem;
    case paInvalidChannelCount:
    case paInvalidSampleRate:
    case paSampleFormatNotSupported:
    case paBadIODeviceCombination:
        return mmr::BadFormat;
    case paBadStreamPtr:
        return mmr::InvalidHandle;
    case paUnanticipatedHostError:
        // ALSA says "busy" for a device that another program holds open.
        if (hostError && hostError->hostApiType == paALSA && hostError->errorCode == -EBUSY) return mmr::Allocated;
        return mmr::Error;
    default:
        return mmr::Error;
    }
}

}  // namespace tavrin::platform::portaudio
