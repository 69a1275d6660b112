#include "platform/pulse/PulseWaveOut.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <array>

#include "platform/pulse/PulseStreams.h"
#include "platform/pulse/ServerQueries.h"

namespace tavrin::platform::pulse {
namespace {

void Writable(pa_stream*, std::size_t, void* user) { static_cast<PulseWaveOut*>(user)->OnWritable(); }
void StreamChanged(pa_stream*, void* user) { static_cast<PulseWaveOut*>(user)->OnStateChanged(); }
void TimingKnown(pa_stream*, int, void* user) { static_cast<PulseWaveOut*>(user)->Signal(); }

}  // namespace

PulseWaveOut::~PulseWaveOut() {
    bool open = false;
    {
        std::lock_guard lock(guard);
        open = stream != nullptr;
    }
    if (!open) return;
    static_cast<void>(reset());
    static_cast<void>(close());
}

bool PulseWaveOut::present() {
    bool found = false;
    return Ask([&](PulseConnection& server) { found = HasDefaultSink(server); }) && found;
}

bool PulseWaveOut::isFormatSupported(const AudioFormat& format) {
    return stream::DeviceFormatFor(format).has_value() && present();
}

DeviceResult PulseWaveOut::open(const AudioFormat& format, WaveSink& waveSink) {
    std::lock_guard lock(guard);
    if (stream) return mmr::Allocated;
    const auto device = stream::DeviceFormatFor(format);
    if (!device) return mmr::BadFormat;
    auto fresh = std::make_unique<PulsePlayback>(*device);
    if (!fresh->ready()) return mmr::NoMem;
    fresh->SetVolume(volume.load(std::memory_order_relaxed));
    auto link = std::make_unique<PulseConnection>();
    if (const DeviceResult connected = link->Connect(); connected != mmr::NoError) return connected;

    playback = std::move(fresh);
    connection = std::move(link);
    if (const DeviceResult result = Connect(*device); result != mmr::NoError) {
        Release();
        return result;
    }
    auto thread =
        std::make_unique<stream::DeliveryThread>(playback->buffers(), waveSink, guard, [this] { return clock.Now(); });
    if (!thread->Start()) {
        Release();
        return mmr::NoMem;
    }
    delivery = std::move(thread);
    sink = &waveSink;
    started = false;
    paused = false;
    clock.Resume();
    return mmr::NoError;
}

// Under the device's lock.
DeviceResult PulseWaveOut::Connect(const stream::DeviceFormat& device) {
    LoopLock loopLock(*connection);
    stream = NewStream(*connection, device, "Playback");
    if (!stream) return connection->LastResult();
    failed = false;
    closing = false;
    pa_stream_set_state_callback(stream, StreamChanged, this);
    pa_stream_set_write_callback(stream, Writable, this);
    const pa_buffer_attr attr = PlaybackAttributes(device);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED |
                                                      PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_playback(stream, nullptr, &attr, flags, nullptr, nullptr) < 0) {
        return connection->LastResult();
    }
    const DeviceResult ready = AwaitReady(*connection, stream);
    // The sink's latency known before the first buffer is taken, so that
    // even that one comes back only once heard.
    if (ready == mmr::NoError) connection->Await(pa_stream_update_timing_info(stream, TimingKnown, this));
    return ready;
}

DeviceResult PulseWaveOut::prepare(WaveBuffer& buffer) {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    return MarkPrepared(buffer);
}

DeviceResult PulseWaveOut::unprepare(WaveBuffer& buffer) {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    return MarkUnprepared(buffer);
}

DeviceResult PulseWaveOut::write(WaveBuffer& buffer) {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    if (const DeviceResult r = CheckQueueable(buffer); r != mmr::NoError) return r;
    if (!buffer.data && buffer.length > 0) return mmr::InvalidParam;
    if (!playback->buffers().Queue(buffer)) return mmr::NoMem;
    // The server asks for data only as it makes room; what it asked for
    // while nothing was queued is given now.
    LoopLock loopLock(*connection);
    OnWritable();
    if (!started && !paused) {
        CorkStream(stream, false);
        started = true;
    }
    return mmr::NoError;
}

// Under the device's lock.
void PulseWaveOut::Cork(bool cork) {
    LoopLock loopLock(*connection);
    CorkStream(stream, cork);
}

DeviceResult PulseWaveOut::pause() {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    if (paused) return mmr::NoError;
    paused = true;
    clock.Pause();
    if (started) Cork(true);
    return mmr::NoError;
}

DeviceResult PulseWaveOut::restart() {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    if (!paused) return mmr::NoError;
    paused = false;
    clock.Resume();
    if (started || playback->buffers().Outstanding() > 0) {
        Cork(false);
        started = true;
    }
    delivery->Wake();
    return mmr::NoError;
}

DeviceResult PulseWaveOut::reset() {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    {
        // Under the mainloop's lock the write callback cannot run.
        LoopLock loopLock(*connection);
        FlushStream(stream);
        playback->buffers().ReturnAll(*sink);
        playback->DropPartial();
    }
    paused = false;
    clock.Resume();
    delivery->Wake();
    return mmr::NoError;
}

DeviceResult PulseWaveOut::close() {
    std::unique_lock lock(guard);
    if (!stream) return mmr::InvalidHandle;
    if (playback->buffers().Outstanding() > 0) return mmr::StillPlaying;
    auto thread = std::move(delivery);
    WaveSink* closedSink = sink;
    sink = nullptr;
    // The delivery thread takes the lock to deliver; it must be free while we wait for it.
    lock.unlock();
    thread->Stop();
    lock.lock();
    Release();
    closedSink->notify(mm::WomClose, nullptr, 0);
    return mmr::NoError;
}

// Under the device's lock: ends the stream and the connection.
void PulseWaveOut::Release() {
    if (connection && stream) {
        LoopLock loopLock(*connection);
        closing = true;
        EndStream(stream);
    }
    stream = nullptr;
    connection.reset();
    playback.reset();
}

DeviceResult PulseWaveOut::setVolume(std::uint32_t value) {
    std::lock_guard lock(guard);
    volume.store(value, std::memory_order_relaxed);
    if (playback) playback->SetVolume(value);
    return mmr::NoError;
}

DeviceResult PulseWaveOut::getVolume(std::uint32_t& value) {
    value = volume.load(std::memory_order_relaxed);
    return mmr::NoError;
}

void PulseWaveOut::OnWritable() noexcept {
    const std::uint32_t frameBytes = playback->format().sampleBytes;
    if (failed) {
        // Nothing will play any more: the buffers come back at once, so
        // that playback runs to its end instead of waiting for ever.
        std::array<std::int16_t, 1024> scratch;
        while (playback->Render(scratch.data(), static_cast<std::uint32_t>(scratch.size()), 0) > 0) {
        }
        return;
    }
    std::size_t wanted = pa_stream_writable_size(stream);
    if (wanted == static_cast<std::size_t>(-1)) return;
    // Until the server has told its latency (the first writes of a stream)
    // the buffered data is taken to play at once: a buffer then comes back
    // no earlier than its own length after it was taken, never before.
    double playsAt = clock.Now();
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream, &latency, &negative) == 0 && !negative) {
        playsAt += static_cast<double>(latency) / 1e6;
    }
    const double rate = playback->format().sampleRate;
    while (wanted >= frameBytes) {
        void* data = nullptr;
        std::size_t room = wanted;
        if (pa_stream_begin_write(stream, &data, &room) < 0 || !data) return;
        room = std::min(room, wanted);
        const std::uint32_t frames = playback->Render(data, static_cast<std::uint32_t>(room / frameBytes), playsAt);
        if (frames == 0) {
            pa_stream_cancel_write(stream);
            return;
        }
        pa_stream_write(stream, data, std::size_t{frames} * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
        wanted -= std::size_t{frames} * frameBytes;
        playsAt += frames / rate;
    }
}

void PulseWaveOut::Signal() noexcept { connection->Signal(); }

void PulseWaveOut::OnStateChanged() noexcept {
    if (pa_stream_get_state(stream) == PA_STREAM_FAILED && !closing && !failed) {
        failed = true;
        OnWritable();
    }
    connection->Signal();
}

}  // namespace tavrin::platform::pulse
