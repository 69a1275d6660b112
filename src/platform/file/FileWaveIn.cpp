#include "platform/file/FileWaveIn.h"

#include <algorithm>
#include <system_error>

namespace tavrin::platform::file {

FileWaveIn::FileWaveIn(FileSystem& fileSystem) : FileWaveIn(fileSystem, Options{}) {}

FileWaveIn::FileWaveIn(FileSystem& fileSystem, Options deviceOptions)
    : files(fileSystem), options(std::move(deviceOptions)) {}

FileWaveIn::~FileWaveIn() {
    bool wasOpen = false;
    {
        std::lock_guard lock(mutex);
        wasOpen = opened;
    }
    if (wasOpen) {
        static_cast<void>(reset());
        static_cast<void>(close());
    }
}

bool FileWaveIn::Load(const std::string& path, std::string& error) {
    std::lock_guard lock(mutex);
    if (opened) {
        error = "the device is open";
        return false;
    }
    source = InputSignal::Load(files, path, error);
    return source.has_value();
}

bool FileWaveIn::Use(InputSignal signal) {
    std::lock_guard lock(mutex);
    if (opened) return false;
    source = std::move(signal);
    return true;
}

std::uint64_t FileWaveIn::delivered() const {
    std::lock_guard lock(mutex);
    return bytesOut;
}

bool FileWaveIn::isFormatSupported(const AudioFormat& f) { return source && SignalConverter::Supports(f); }

DeviceResult FileWaveIn::open(const AudioFormat& f, WaveSink& s) {
    std::lock_guard lock(mutex);
    if (!source) return mmr::BadDeviceId;
    if (opened) return mmr::Allocated;
    if (!SignalConverter::Supports(f)) return mmr::BadFormat;
    auto fresh = std::make_unique<SignalConverter>(*source, f);
    if (!fresh->ready()) return mmr::NoMem;
    try {
        worker = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return mmr::NoMem;
    }
    converter = std::move(fresh);
    format = f;
    sink = &s;
    opened = true;
    started = false;
    bytesOut = 0;
    return mmr::NoError;
}

DeviceResult FileWaveIn::prepare(WaveBuffer& buffer) {
    std::lock_guard lock(mutex);
    if (!opened) return mmr::InvalidHandle;
    return MarkPrepared(buffer);
}

DeviceResult FileWaveIn::unprepare(WaveBuffer& buffer) {
    std::lock_guard lock(mutex);
    if (!opened) return mmr::InvalidHandle;
    return MarkUnprepared(buffer);
}

DeviceResult FileWaveIn::add(WaveBuffer& buffer) {
    {
        std::lock_guard lock(mutex);
        if (!opened) return mmr::InvalidHandle;
        if (const DeviceResult r = MarkQueued(buffer); r != mmr::NoError) return r;
        buffer.bytesRecorded = 0;
        buffer.peak = -1;
        queue.push_back(&buffer);
    }
    wake.notify_one();
    return mmr::NoError;
}

DeviceResult FileWaveIn::start() {
    bool nothingToDeliver = false;
    {
        std::lock_guard lock(mutex);
        if (!opened) return mmr::InvalidHandle;
        if (!started) {
            started = true;
            // Pace from now on, counting what was delivered before a pause.
            const auto ahead = std::chrono::duration<double>(static_cast<double>(bytesOut) / format.avgBytesPerSec);
            startedAt = std::chrono::steady_clock::now() -
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(ahead);
        }
        // Less than a block to give: no delivery would ever say so.
        nothingToDeliver = options.deliverBytes && *options.deliverBytes - std::min(bytesOut, *options.deliverBytes) <
                                                       format.blockAlign;
    }
    if (nothingToDeliver && options.onHeld) options.onHeld();
    wake.notify_one();
    return mmr::NoError;
}

DeviceResult FileWaveIn::reset() {
    {
        std::unique_lock lock(mutex);
        if (!opened) return mmr::InvalidHandle;
        started = false;
        // A buffer being filled comes back first, with what it holds.
        filled.wait(lock, [this] { return !filling; });
        ReturnQueued();
    }
    wake.notify_one();
    return mmr::NoError;
}

DeviceResult FileWaveIn::close() {
    {
        std::lock_guard lock(mutex);
        if (!opened) return mmr::InvalidHandle;
        if (!queue.empty()) return mmr::StillPlaying;
        quitting = true;
    }
    wake.notify_one();
    worker.join();
    std::lock_guard lock(mutex);
    quitting = false;
    opened = false;
    started = false;
    converter.reset();
    sink = nullptr;
    return mmr::NoError;
}

bool FileWaveIn::CanDeliver() const {
    if (!opened || !started || queue.empty()) return false;
    if (!options.deliverBytes) return true;
    return *options.deliverBytes - std::min(bytesOut, *options.deliverBytes) >= format.blockAlign;
}

void FileWaveIn::Run() {
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return quitting || CanDeliver(); });
        if (quitting) return;
        if (options.realtime) {
            const WaveBuffer* next = queue.front();
            const double seconds = static_cast<double>(bytesOut + next->length) / format.avgBytesPerSec;
            const auto due = startedAt + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                             std::chrono::duration<double>(seconds));
            // Woken early by a reset, a close or a new buffer: look again.
            if (wake.wait_until(lock, due, [&] { return quitting || !CanDeliver() || queue.front() != next; })) {
                continue;
            }
        }
        DeliverFront(lock);
    }
}

// Fills the oldest buffer without holding the mutex, so that the engine can
// queue its next buffer meanwhile instead of waiting for the conversion.
void FileWaveIn::DeliverFront(std::unique_lock<std::mutex>& lock) {
    WaveBuffer* buffer = queue.front();
    queue.pop_front();
    std::uint32_t n = buffer->length - buffer->length % format.blockAlign;
    if (options.deliverBytes) {
        const std::uint64_t left = *options.deliverBytes - bytesOut;
        n = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, left - left % format.blockAlign));
    }
    filling = true;
    lock.unlock();
    const std::int32_t peak = converter->Fill(buffer->data, n);
    lock.lock();
    filling = false;
    filled.notify_all();
    buffer->bytesRecorded = n;
    buffer->peak = peak;
    buffer->flags = (buffer->flags | whdr::Done) & ~whdr::InQueue;
    bytesOut += n;
    sink->notify(mm::WimData, buffer, n);
    const bool held = options.deliverBytes && *options.deliverBytes - bytesOut < format.blockAlign;
    if (held && options.onHeld) options.onHeld();
}

void FileWaveIn::ReturnQueued() {
    while (!queue.empty()) {
        WaveBuffer* buffer = queue.front();
        queue.pop_front();
        buffer->bytesRecorded = 0;
        buffer->flags = (buffer->flags | whdr::Done) & ~whdr::InQueue;
        sink->notify(mm::WimData, buffer, 0);
    }
}

}  // namespace tavrin::platform::file
