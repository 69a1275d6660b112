#include "platform/pulse/PulseWaveIn.h"

#include <pulse/pulseaudio.h>

#include <utility>

#include "platform/pulse/PulseStreams.h"
#include "platform/pulse/ServerQueries.h"

namespace tavrin::platform::pulse {
namespace {

void Readable(pa_stream*, std::size_t, void* user) { static_cast<PulseWaveIn*>(user)->OnReadable(); }
void StreamChanged(pa_stream*, void* user) { static_cast<PulseWaveIn*>(user)->OnStateChanged(); }

}  // namespace

PulseWaveIn::~PulseWaveIn() {
    bool open = false;
    {
        std::lock_guard lock(guard);
        open = stream != nullptr;
    }
    if (!open) return;
    static_cast<void>(reset());
    static_cast<void>(close());
}

void PulseWaveIn::SetSource(const std::string& name) {
    std::lock_guard lock(guard);
    if (name != chosenSource) presentAnswer.store(-1, std::memory_order_relaxed);
    chosenSource = name;
}

std::optional<std::string> PulseWaveIn::TakeMissingSource() {
    std::lock_guard lock(guard);
    return std::exchange(missingSource, std::nullopt);
}

bool PulseWaveIn::present() {
    std::string chosen;
    {
        std::lock_guard lock(guard);
        chosen = chosenSource;
    }
    bool found = false;
    static_cast<void>(Ask([&](PulseConnection& server) { found = SourceToRecord(server, chosen).has_value(); }));
    presentAnswer.store(found ? 1 : 0, std::memory_order_relaxed);
    return found;
}

// The server converts any rate and sample format, so every format a stream
// of ours can carry is accepted wherever there is a source to record from.
bool PulseWaveIn::isFormatSupported(const AudioFormat& format) {
    if (!stream::DeviceFormatFor(format)) return false;
    const int known = presentAnswer.load(std::memory_order_relaxed);
    return known < 0 ? present() : known == 1;
}

DeviceResult PulseWaveIn::open(const AudioFormat& format, WaveSink& waveSink) {
    std::lock_guard lock(guard);
    if (stream) return mmr::Allocated;
    const auto device = stream::DeviceFormatFor(format);
    if (!device) return mmr::BadFormat;
    auto fresh = std::make_unique<stream::CaptureStream>(*device);
    if (!fresh->ready()) return mmr::NoMem;
    auto link = std::make_unique<PulseConnection>();
    if (const DeviceResult connected = link->Connect(); connected != mmr::NoError) return connected;

    std::optional<std::string> source;
    {
        LoopLock loopLock(*link);
        source = SourceToRecord(*link, chosenSource);
    }
    if (!source) return mmr::BadDeviceId;
    missingSource.reset();
    if (!chosenSource.empty() && source->empty()) missingSource = chosenSource;

    capture = std::move(fresh);
    connection = std::move(link);
    // Before the stream exists, so its callbacks always find it.
    sink = &waveSink;
    const DeviceResult result = Connect(*device, source->empty() ? nullptr : source->c_str(), !source->empty());
    if (result != mmr::NoError) {
        Release();
        return result;
    }
    running = false;
    return mmr::NoError;
}

// Under the device's lock. A stream on a source the user chose stays on it:
// should the source go, the capture ends rather than carry on from another.
DeviceResult PulseWaveIn::Connect(const stream::DeviceFormat& device, const char* source, bool pinned) {
    LoopLock loopLock(*connection);
    stream = NewStream(*connection, device, "Recording");
    if (!stream) return connection->LastResult();
    closing = false;
    pa_stream_set_state_callback(stream, StreamChanged, this);
    pa_stream_set_read_callback(stream, Readable, this);
    const pa_buffer_attr attr = CaptureAttributes(device);
    auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED |
                                                (pinned ? PA_STREAM_DONT_MOVE : 0));
    if (pa_stream_connect_record(stream, source, &attr, flags) < 0) return connection->LastResult();
    return AwaitReady(*connection, stream);
}

DeviceResult PulseWaveIn::prepare(WaveBuffer& buffer) {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    return MarkPrepared(buffer);
}

DeviceResult PulseWaveIn::unprepare(WaveBuffer& buffer) {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    return MarkUnprepared(buffer);
}

DeviceResult PulseWaveIn::add(WaveBuffer& buffer) {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    if (const DeviceResult r = CheckQueueable(buffer); r != mmr::NoError) return r;
    if (!buffer.data && buffer.length > 0) return mmr::InvalidParam;
    return capture->buffers().Queue(buffer) ? mmr::NoError : mmr::NoMem;
}

DeviceResult PulseWaveIn::start() {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    if (!running) Cork(false);
    running = true;
    return mmr::NoError;
}

// Under the device's lock.
void PulseWaveIn::Cork(bool cork) {
    LoopLock loopLock(*connection);
    CorkStream(stream, cork);
}

DeviceResult PulseWaveIn::reset() {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    // Under the mainloop's lock the read callback cannot run, so what it left
    // in the buffers can be handed back from here.
    LoopLock loopLock(*connection);
    if (running) {
        CorkStream(stream, true);
        FlushStream(stream);
    }
    running = false;
    capture->buffers().ReturnAll(*sink);
    capture->DropPartial();
    return mmr::NoError;
}

DeviceResult PulseWaveIn::close() {
    std::lock_guard lock(guard);
    if (!stream) return mmr::InvalidHandle;
    if (capture->buffers().Outstanding() > 0) return mmr::StillPlaying;
    running = false;
    Release();
    return mmr::NoError;
}

// Under the device's lock: ends the stream and the connection.
void PulseWaveIn::Release() {
    if (connection && stream) {
        LoopLock loopLock(*connection);
        closing = true;
        EndStream(stream);
    }
    // No callback runs any more: the stream is gone, and with it the connection's thread below.
    sink = nullptr;
    stream = nullptr;
    connection.reset();
    capture.reset();
}

std::uint64_t PulseWaveIn::lostBytes() {
    std::lock_guard lock(guard);
    return capture ? capture->lostBytes() : 0;
}

void PulseWaveIn::OnReadable() noexcept {
    const std::uint32_t frameBytes = capture->format().sampleBytes;
    for (;;) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) break;
        // No data with a length is a hole in the stream: silence.
        capture->OnCapture(data, static_cast<std::uint32_t>(bytes / frameBytes));
        pa_stream_drop(stream);
    }
    Deliver();
}

// Mainloop thread: under its lock, which also keeps `reset` from handing
// buffers back at the same time.
void PulseWaveIn::Deliver() noexcept {
    if (sink) capture->buffers().DeliverDue(*sink, 0.0);
}

void PulseWaveIn::OnStateChanged() noexcept {
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED && !closing) {
        // The source went away or the server ended: what was captured comes
        // back, then the engine hears that no more will.
        capture->buffers().FinishWithFailure(ResultOf(pa_context_errno(connection->context())));
        Deliver();
    }
    connection->Signal();
}

}  // namespace tavrin::platform::pulse
