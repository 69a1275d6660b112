#include "platform/portaudio/PortAudioWaveOut.h"

#include "platform/portaudio/PortAudioLibrary.h"

namespace tavrin::platform::portaudio {
namespace {

// Half the length of a recorder's buffer: room enough for a busy machine to
// be late now and then without a gap, and still well inside the 200 ms in
// which the recorder answers a buffer.
constexpr double kStreamLatency = 0.1;

int PlaybackCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo* time,
                     PaStreamCallbackFlags, void* userData) noexcept {
    const double playsAt = time ? time->outputBufferDacTime : 0.0;
    static_cast<stream::PlaybackStream*>(userData)->OnRender(output, static_cast<std::uint32_t>(frames), playsAt);
    return paContinue;
}

}  // namespace

PortAudioWaveOut::~PortAudioWaveOut() {
    if (!stream) return;
    static_cast<void>(reset());
    static_cast<void>(close());
}

bool PortAudioWaveOut::present() { return PortAudioLibrary::DefaultOutput(stream::DeviceFormat{}).has_value(); }

bool PortAudioWaveOut::isFormatSupported(const AudioFormat& format) {
    const auto device = stream::DeviceFormatFor(format);
    if (!device) return false;
    const auto params = PortAudioLibrary::DefaultOutput(*device);
    if (!params) return false;
    std::lock_guard lock(PortAudioLibrary::Serial());
    return PortAudioLibrary::Calls().IsFormatSupported(nullptr, &*params, device->sampleRate) == paFormatIsSupported;
}

double PortAudioWaveOut::StreamTime() {
    // The delivery thread asks between the caller's operations; the stream
    // it reads from is closed only after that thread has ended.
    void* current = clockStream.load(std::memory_order_acquire);
    return current ? PortAudioLibrary::Calls().GetStreamTime(current) : 0.0;
}

DeviceResult PortAudioWaveOut::open(const AudioFormat& format, WaveSink& waveSink) {
    std::lock_guard lock(guard);
    if (stream) return mmr::Allocated;
    const auto device = stream::DeviceFormatFor(format);
    if (!device) return mmr::BadFormat;
    if (!PortAudioLibrary::Ready()) return mmr::NoDriver;
    const auto params = PortAudioLibrary::DefaultOutput(*device, kStreamLatency);
    if (!params) return mmr::BadDeviceId;
    auto fresh = std::make_unique<stream::PlaybackStream>(*device);
    if (!fresh->ready()) return mmr::NoMem;
    fresh->SetVolume(volume.load(std::memory_order_relaxed));

    PaStream* opened = nullptr;
    std::unique_lock serial(PortAudioLibrary::Serial());
    const PaError error = PortAudioLibrary::Calls().OpenStream(&opened, nullptr, &*params, device->sampleRate, paFramesPerBufferUnspecified,
                                        paNoFlag, PlaybackCallback, fresh.get());
    serial.unlock();  // taken again below to close a stream that cannot be served
    if (error != paNoError) return PortAudioLibrary::ResultOf(error);
    clockStream.store(opened, std::memory_order_release);
    auto thread = std::make_unique<stream::DeliveryThread>(fresh->buffers(), waveSink, guard, [this] { return StreamTime(); });
    if (!thread->Start(threads)) {
        clockStream.store(nullptr, std::memory_order_release);
        std::lock_guard closing(PortAudioLibrary::Serial());
        static_cast<void>(PortAudioLibrary::Calls().CloseStream(opened));
        return mmr::NoMem;
    }
    stream = opened;
    running = false;
    paused = false;
    sink = &waveSink;
    playback = std::move(fresh);
    delivery = std::move(thread);
    return mmr::NoError;
}

DeviceResult PortAudioWaveOut::prepare(WaveBuffer& buffer) {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    return MarkPrepared(buffer);
}

DeviceResult PortAudioWaveOut::unprepare(WaveBuffer& buffer) {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    return MarkUnprepared(buffer);
}

// Under the lock.
DeviceResult PortAudioWaveOut::StartStream() {
    if (running || paused) return mmr::NoError;
    const PaError error = PortAudioLibrary::Calls().StartStream(stream);
    if (error != paNoError) return PortAudioLibrary::ResultOf(error);
    running = true;
    return mmr::NoError;
}

DeviceResult PortAudioWaveOut::write(WaveBuffer& buffer) {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    if (const DeviceResult r = CheckQueueable(buffer); r != mmr::NoError) return r;
    if (!buffer.data && buffer.length > 0) return mmr::InvalidParam;
    // Started first: a buffer the device cannot play is not taken.
    if (const DeviceResult started = StartStream(); started != mmr::NoError) return started;
    return playback->buffers().Queue(buffer) ? mmr::NoError : mmr::NoMem;
}

DeviceResult PortAudioWaveOut::pause() {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    paused = true;
    playback->SetPaused(true);
    return mmr::NoError;
}

DeviceResult PortAudioWaveOut::restart() {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    paused = false;
    playback->SetPaused(false);
    return playback->buffers().Outstanding() > 0 ? StartStream() : mmr::NoError;
}

// Under the lock. Aborting drops what the device still holds, as a reset must.
void PortAudioWaveOut::StopStream() {
    if (running) static_cast<void>(PortAudioLibrary::Calls().AbortStream(stream));
    running = false;
}

DeviceResult PortAudioWaveOut::reset() {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    StopStream();
    playback->buffers().ReturnAll(*sink);
    playback->DropPartial();
    paused = false;
    playback->SetPaused(false);
    delivery->Wake();
    return mmr::NoError;
}

DeviceResult PortAudioWaveOut::close() {
    std::unique_lock lock(guard);
    if (!stream) return mmr::InvalidHandle;
    if (playback->buffers().Outstanding() > 0) return mmr::StillPlaying;
    StopStream();
    WaveSink* closing = sink;
    void* closingStream = stream;
    stream = nullptr;
    sink = nullptr;
    auto thread = std::move(delivery);
    auto finished = std::move(playback);
    // The delivery thread takes the lock to deliver, and reads the stream's
    // clock: free the one and keep the other until it has ended.
    lock.unlock();
    thread->Stop();
    clockStream.store(nullptr, std::memory_order_release);
    PaError error = paNoError;
    {
        std::lock_guard serial(PortAudioLibrary::Serial());
        error = PortAudioLibrary::Calls().CloseStream(closingStream);
    }
    closing->notify(mm::WomClose, nullptr, 0);
    return error == paNoError ? mmr::NoError : PortAudioLibrary::ResultOf(error);
}

std::uint64_t PortAudioWaveOut::bytesTaken() {
    std::lock_guard lock(guard);
    return playback ? playback->buffers().BytesMoved() : 0;
}

DeviceResult PortAudioWaveOut::setVolume(std::uint32_t value) {
    std::lock_guard lock(guard);
    volume.store(value, std::memory_order_relaxed);
    if (playback) playback->SetVolume(value);
    return mmr::NoError;
}

DeviceResult PortAudioWaveOut::getVolume(std::uint32_t& value) {
    value = volume.load(std::memory_order_relaxed);
    return mmr::NoError;
}

}  // namespace tavrin::platform::portaudio
