#include "platform/stream/StreamBuffers.h"

#include <algorithm>
#include <cstring>

namespace tavrin::platform::stream {
namespace {

// A buffer due further ahead than this has a clock we cannot trust behind it;
// it is handed back at once rather than held.
constexpr double kLongestHold = 2.0;

}  // namespace

StreamBuffers::StreamBuffers(Direction streamDirection, std::uint32_t unitBytes)
    : direction(streamDirection), unit(std::max<std::uint32_t>(unitBytes, 1)) {}

bool StreamBuffers::Queue(WaveBuffer& buffer) {
    if (outstanding.load(std::memory_order_relaxed) >= kMaxOutstanding) return false;
    static_cast<void>(MarkQueued(buffer));
    if (direction == Direction::Input) {
        buffer.bytesRecorded = 0;
        buffer.peak = -1;
    }
    outstanding.fetch_add(1, std::memory_order_release);
    // Cannot fail: no more than kMaxOutstanding buffers are ever out.
    static_cast<void>(queued.push(Slot{&buffer, buffer.data, buffer.length - buffer.length % unit}));
    return true;
}

bool StreamBuffers::TakeCurrent() noexcept {
    if (current.buffer) return true;
    if (failed) return false;
    if (!queued.pop(current)) return false;
    done = 0;
    peak = -1;
    return true;
}

void StreamBuffers::FinishCurrent(double dueAt) noexcept {
    static_cast<void>(finished.push(Finished{current.buffer, done, dueAt, peak}));
    current = Slot{};
    done = 0;
    peak = -1;
    completions.fetch_add(1, std::memory_order_release);
    completions.notify_one();
}

std::uint32_t StreamBuffers::Fill(const std::uint8_t* bytes, std::uint32_t count, std::int32_t bytesPeak) noexcept {
    count -= count % unit;
    std::uint32_t taken = 0;
    while (taken < count && TakeCurrent()) {
        const std::uint32_t n = std::min(count - taken, current.usable - done);
        std::memcpy(current.data + done, bytes + taken, n);
        done += n;
        taken += n;
        peak = std::max(peak, bytesPeak);
        if (done == current.usable) FinishCurrent(0);
    }
    moved.fetch_add(taken, std::memory_order_relaxed);
    return taken;
}

std::uint32_t StreamBuffers::Drain(std::uint8_t* out, std::uint32_t count) noexcept {
    count -= count % unit;
    std::uint32_t copied = 0;
    while (copied < count && TakeCurrent()) {
        const std::uint32_t n = std::min(count - copied, current.usable - done);
        std::memcpy(out + copied, current.data + done, n);
        done += n;
        copied += n;
        if (done == current.usable) {
            const double dueAt =
                clockRate > 0 ? clockAt + static_cast<double>(clockBytes + copied) / clockRate : 0.0;
            FinishCurrent(dueAt);
        }
    }
    clockBytes += copied;
    moved.fetch_add(copied, std::memory_order_relaxed);
    return copied;
}

void StreamBuffers::SetPlayClock(double firstByteAt, double bytesPerSecond) noexcept {
    clockAt = firstByteAt;
    clockRate = bytesPerSecond;
    clockBytes = 0;
}

void StreamBuffers::FinishWithFailure(DeviceResult result) noexcept {
    if (failed) return;
    failed = true;
    if (current.buffer) FinishCurrent(0);
    static_cast<void>(finished.push(Finished{nullptr, result, 0}));
    completions.fetch_add(1, std::memory_order_release);
    completions.notify_one();
}

void StreamBuffers::HandBack(WaveSink& sink, WaveBuffer* buffer, std::uint32_t bytes, std::int32_t bytesPeak) {
    if (!buffer) {
        sink.notify(mm::WimFailed, nullptr, bytes);
        return;
    }
    MarkReturned(*buffer);
    // Counted out before the sink hears of it, so that a caller reacting to
    // the last notification finds the device free to close.
    outstanding.fetch_sub(1, std::memory_order_acq_rel);
    if (direction == Direction::Input) {
        buffer->bytesRecorded = bytes;
        buffer->peak = bytesPeak;
        sink.notify(mm::WimData, buffer, bytes);
    } else {
        sink.notify(mm::WomDone, buffer, buffer->length);
    }
}

double StreamBuffers::DeliverDue(WaveSink& sink, double now) {
    Finished next;
    while (finished.peek(next)) {
        const double wait = next.dueAt - now;
        if (wait > 0 && wait <= kLongestHold) return wait;
        static_cast<void>(finished.pop(next));
        HandBack(sink, next.buffer, next.bytes, next.peak);
    }
    return 0;
}

void StreamBuffers::ReturnAll(WaveSink& sink) {
    Finished next;
    while (finished.pop(next)) HandBack(sink, next.buffer, next.bytes, next.peak);
    if (current.buffer) {
        WaveBuffer* buffer = current.buffer;
        const std::uint32_t bytes = done;
        const std::int32_t bytesPeak = peak;
        current = Slot{};
        done = 0;
        peak = -1;
        HandBack(sink, buffer, bytes, bytesPeak);
    }
    Slot slot;
    while (queued.pop(slot)) HandBack(sink, slot.buffer, 0);
}

}  // namespace tavrin::platform::stream
