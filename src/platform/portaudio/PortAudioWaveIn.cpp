#include "platform/portaudio/PortAudioWaveIn.h"

#include "platform/portaudio/PortAudioLibrary.h"

namespace tavrin::platform::portaudio {
namespace {

// Half the length of a recorder's buffer: room enough for a busy machine to
// be late now and then without a gap, and still well inside the 200 ms in
// which the recorder answers a buffer.
constexpr double kStreamLatency = 0.1;

int CaptureCallback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                    PaStreamCallbackFlags, void* userData) noexcept {
    static_cast<stream::CaptureStream*>(userData)->OnCapture(input, static_cast<std::uint32_t>(frames));
    return paContinue;
}

}  // namespace

PortAudioWaveIn::~PortAudioWaveIn() {
    if (!stream) return;
    static_cast<void>(reset());
    static_cast<void>(close());
}

bool PortAudioWaveIn::present() { return PortAudioLibrary::DefaultInput(stream::DeviceFormat{}).has_value(); }

bool PortAudioWaveIn::isFormatSupported(const AudioFormat& format) {
    const auto device = stream::DeviceFormatFor(format);
    if (!device) return false;
    const auto params = PortAudioLibrary::DefaultInput(*device);
    if (!params) return false;
    std::lock_guard lock(PortAudioLibrary::Serial());
    return PortAudioLibrary::Calls().IsFormatSupported(&*params, nullptr, device->sampleRate) == paFormatIsSupported;
}

DeviceResult PortAudioWaveIn::open(const AudioFormat& format, WaveSink& waveSink) {
    std::lock_guard lock(guard);
    if (stream) return mmr::Allocated;
    const auto device = stream::DeviceFormatFor(format);
    if (!device) return mmr::BadFormat;
    if (!PortAudioLibrary::Ready()) return mmr::NoDriver;
    const auto params = PortAudioLibrary::DefaultInput(*device, kStreamLatency);
    if (!params) return mmr::BadDeviceId;
    auto fresh = std::make_unique<stream::CaptureStream>(*device);
    if (!fresh->ready()) return mmr::NoMem;

    PaStream* opened = nullptr;
    std::unique_lock serial(PortAudioLibrary::Serial());
    const PaError error = PortAudioLibrary::Calls().OpenStream(&opened, &*params, nullptr, device->sampleRate, paFramesPerBufferUnspecified,
                                        paNoFlag, CaptureCallback, fresh.get());
    const DeviceResult result = PortAudioLibrary::ResultOf(error);
    serial.unlock();
    if (result != mmr::NoError) return result;
    auto thread = std::make_unique<stream::DeliveryThread>(fresh->buffers(), waveSink, guard, [] { return 0.0; });
    if (!thread->Start()) {
        std::lock_guard closing(PortAudioLibrary::Serial());
        static_cast<void>(PortAudioLibrary::Calls().CloseStream(opened));
        return mmr::NoMem;
    }
    stream = opened;
    running = false;
    sink = &waveSink;
    capture = std::move(fresh);
    delivery = std::move(thread);
    return mmr::NoError;
}

DeviceResult PortAudioWaveIn::prepare(WaveBuffer& buffer) {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    return MarkPrepared(buffer);
}

DeviceResult PortAudioWaveIn::unprepare(WaveBuffer& buffer) {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    return MarkUnprepared(buffer);
}

DeviceResult PortAudioWaveIn::add(WaveBuffer& buffer) {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    if (const DeviceResult r = CheckQueueable(buffer); r != mmr::NoError) return r;
    if (!buffer.data && buffer.length > 0) return mmr::InvalidParam;
    return capture->buffers().Queue(buffer) ? mmr::NoError : mmr::NoMem;
}

DeviceResult PortAudioWaveIn::start() {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    if (running) return mmr::NoError;
    const PaError error = PortAudioLibrary::Calls().StartStream(stream);
    if (error != paNoError) return PortAudioLibrary::ResultOf(error);
    running = true;
    return mmr::NoError;
}

// Under the lock. Once the stream has stopped the callback no longer runs,
// and what it left in the buffers may be handed back from here.
void PortAudioWaveIn::StopStream() {
    if (running) static_cast<void>(PortAudioLibrary::Calls().AbortStream(stream));
    running = false;
}

DeviceResult PortAudioWaveIn::reset() {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    StopStream();
    capture->buffers().ReturnAll(*sink);
    capture->DropPartial();
    return mmr::NoError;
}

DeviceResult PortAudioWaveIn::close() {
    std::unique_lock lock(guard);
    if (!stream) return mmr::InvalidHandle;
    if (capture->buffers().Outstanding() > 0) return mmr::StillPlaying;
    StopStream();
    PaError error = paNoError;
    {
        std::lock_guard serial(PortAudioLibrary::Serial());
        error = PortAudioLibrary::Calls().CloseStream(stream);
    }
    stream = nullptr;
    sink = nullptr;
    auto thread = std::move(delivery);
    auto finished = std::move(capture);
    // The delivery thread takes the lock to deliver; it must be free while we wait for it.
    lock.unlock();
    thread->Stop();
    return error == paNoError ? mmr::NoError : PortAudioLibrary::ResultOf(error);
}

std::uint64_t PortAudioWaveIn::lostBytes() {
    std::lock_guard lock(guard);
    return capture ? capture->lostBytes() : 0;
}

}  // namespace tavrin::platform::portaudio
