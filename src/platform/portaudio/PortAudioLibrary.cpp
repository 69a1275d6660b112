#include "platform/portaudio/PortAudioLibrary.h"

#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace tavrin::platform::portaudio {
namespace {

// The libraries' sonames, as the package that provides them installs them.
constexpr const char* kPortAudio = "libportaudio.so.2";
constexpr const char* kAlsa = "libasound.so.2";
constexpr const char* kJack = "libjack.so.0";

// ALSA reports every configuration it cannot open while PortAudio probes the
// devices: dozens of lines on an ordinary desktop, none of them ours to show.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
// ALSA's JACK plugin, probed along with the rest, complains that no JACK
// server runs.
void QuietJack(const char*) {}

using AlsaHandler = void (*)(const char*, int, const char*, int, const char*, ...);
using SetAlsaHandler = int (*)(AlsaHandler);
using SetJackFunction = void (*)(void (*)(const char*));

// A call of a library PortAudio brought in, if it did.
void* LoadedCall(const char* library, const char* name) {
    void* handle = dlopen(library, RTLD_LAZY | RTLD_NOLOAD);
    return handle ? dlsym(handle, name) : nullptr;
}

template <typename Call>
bool Find(void* library, const char* name, Call& call) {
    call = reinterpret_cast<Call>(dlsym(library, name));
    return call != nullptr;
}

PortAudioCalls& LoadedCalls() {
    static PortAudioCalls calls;
    return calls;
}

PaSampleFormat SampleFormatOf(const stream::DeviceFormat& format) { return format.sampleBytes == 1 ? paUInt8 : paInt16; }

}  // namespace

bool PortAudioLibrary::Load(PortAudioCalls& calls) {
    // Never closed: the devices may be used until the process ends.
    void* library = dlopen(kPortAudio, RTLD_NOW | RTLD_LOCAL);
    if (!library) return false;
    return Find(library, "Pa_Initialize", calls.Initialize) && Find(library, "Pa_OpenStream", calls.OpenStream) &&
           Find(library, "Pa_StartStream", calls.StartStream) && Find(library, "Pa_AbortStream", calls.AbortStream) &&
           Find(library, "Pa_CloseStream", calls.CloseStream) &&
           Find(library, "Pa_IsFormatSupported", calls.IsFormatSupported) &&
           Find(library, "Pa_GetStreamTime", calls.GetStreamTime) &&
           Find(library, "Pa_GetDeviceInfo", calls.GetDeviceInfo) &&
           Find(library, "Pa_GetDefaultInputDevice", calls.GetDefaultInputDevice) &&
           Find(library, "Pa_GetDefaultOutputDevice", calls.GetDefaultOutputDevice) &&
           Find(library, "Pa_GetLastHostErrorInfo", calls.GetLastHostErrorInfo);
}

void PortAudioLibrary::Silence() {
    // Whoever chases a device problem can have the libraries' own words back.
    const char* debug = std::getenv("TAVRIN_AUDIO_DEBUG");
    if (debug && *debug) return;
    if (auto set = reinterpret_cast<SetAlsaHandler>(LoadedCall(kAlsa, "snd_lib_error_set_handler"))) set(QuietAlsa);
    if (auto set = reinterpret_cast<SetJackFunction>(LoadedCall(kJack, "jack_set_error_function"))) set(QuietJack);
    if (auto set = reinterpret_cast<SetJackFunction>(LoadedCall(kJack, "jack_set_info_function"))) set(QuietJack);
}

std::mutex& PortAudioLibrary::Serial() {
    static std::mutex serial;
    return serial;
}

bool PortAudioLibrary::Ready() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        if (!Load(LoadedCalls())) return;
        Silence();
        std::lock_guard lock(Serial());
        ready = LoadedCalls().Initialize() == paNoError;
    });
    return ready;
}

const PortAudioCalls& PortAudioLibrary::Calls() { return LoadedCalls(); }

std::optional<PaStreamParameters> PortAudioLibrary::DefaultInput(const stream::DeviceFormat& format, double latency) {
    if (!Ready()) return std::nullopt;
    const PaDeviceIndex device = Calls().GetDefaultInputDevice();
    const PaDeviceInfo* info = device == paNoDevice ? nullptr : Calls().GetDeviceInfo(device);
    if (!info || info->maxInputChannels < 1) return std::nullopt;
    return PaStreamParameters{device, 1, SampleFormatOf(format), std::max(info->defaultHighInputLatency, latency),
                              nullptr};
}

std::optional<PaStreamParameters> PortAudioLibrary::DefaultOutput(const stream::DeviceFormat& format, double latency) {
    if (!Ready()) return std::nullopt;
    const PaDeviceIndex device = Calls().GetDefaultOutputDevice();
    const PaDeviceInfo* info = device == paNoDevice ? nullptr : Calls().GetDeviceInfo(device);
    if (!info || info->maxOutputChannels < 1) return std::nullopt;
    return PaStreamParameters{device, 1, SampleFormatOf(format), std::max(info->defaultHighOutputLatency, latency),
                              nullptr};
}

DeviceResult PortAudioLibrary::ResultOf(PaError error) {
    const bool hostError = error == paUnanticipatedHostError && Calls().GetLastHostErrorInfo;
    return ResultOf(error, hostError ? Calls().GetLastHostErrorInfo() : nullptr);
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
