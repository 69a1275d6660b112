#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/WaveDevice.h"
#include "platform/stream/SpscRing.h"

namespace tavrin::platform::stream {

// The queue of caller buffers behind one device stream, shared by three
// threads without a lock between the first two:
//  - the caller queues buffers (`Queue`);
//  - the audio callback fills or drains them (`Fill`, `Drain`), and passes a
//    finished one on through a second ring;
//  - the delivery side hands finished buffers back to the sink
//    (`DeliverDue`, `ReturnAll`), one thread at a time under the device's lock
//    (the sound server's device: under its mainloop's lock, from the callback).
// The callback never touches a WaveBuffer itself, only the bytes it points to;
// flags and byte counts are written on the delivery side.
class StreamBuffers {
public:
    enum class Direction { Input, Output };
    // More than the two buffers the recorder keeps queued, and few enough
    // that both rings are small fixed arrays.
    static constexpr std::size_t kMaxOutstanding = 16;

    StreamBuffers(Direction direction, std::uint32_t unitBytes);
    StreamBuffers(const StreamBuffers&) = delete;
    StreamBuffers& operator=(const StreamBuffers&) = delete;

    // --- Caller (under the device's lock) --------------------------------------
    // Marks the buffer queued and hands it to the callback; false, and nothing
    // changed, when kMaxOutstanding buffers are out already.
    [[nodiscard]] bool Queue(WaveBuffer& buffer);
    // Buffers queued and not yet handed back.
    std::size_t Outstanding() const { return outstanding.load(std::memory_order_acquire); }

    // --- Audio callback ---------------------------------------------------------
    // Input: copies whole units of `bytes` into the queued buffers in order. A
    // buffer that cannot take another unit is finished. Returns the bytes
    // taken; the rest found no buffer and is lost. `peak` (when not -1) is the
    // largest magnitude of the samples `bytes` encode; a buffer hands back the
    // largest of those it took as its `peak`.
    std::uint32_t Fill(const std::uint8_t* bytes, std::uint32_t count, std::int32_t peak = -1) noexcept;
    // Output: copies whole units out of the queued buffers in order (bytes
    // after a buffer's last whole unit are skipped). Returns the bytes copied.
    std::uint32_t Drain(std::uint8_t* out, std::uint32_t count) noexcept;
    // Output: the time at which the first byte the next Drain hands out will
    // be heard, on the clock of `DeliverDue`; a buffer finished by that Drain
    // is due when its last byte is heard. Input buffers are due at once.
    void SetPlayClock(double firstByteAt, double bytesPerSecond) noexcept;
    // Input: the device has failed. The buffer in progress is finished with
    // what it holds, and the delivery side reports the failure (WimFailed,
    // `result`) after handing it back; nothing is filled afterwards.
    void FinishWithFailure(DeviceResult result) noexcept;
    // Bytes filled or drained so far; readable from any thread.
    std::uint64_t BytesMoved() const noexcept { return moved.load(std::memory_order_relaxed); }
    // Counts every finished buffer; the delivery thread waits on it.
    std::atomic<std::uint32_t>& Completions() noexcept { return completions; }

    // --- Delivery (one thread at a time, under the device's lock) -------------
    // (or, from the callback's own thread, under a lock that keeps the callback
    // and ReturnAll apart).
    // Hands the finished buffers whose time has come by `now` to the sink, in
    // order. Returns how long until the next finished one is due (0: none
    // waiting).
    double DeliverDue(WaveSink& sink, double now);
    // Only while the callback is not running: hands back every buffer still
    // held, in order - finished ones, the one in progress (input: with the
    // bytes it holds), then the untouched ones (input: empty).
    void ReturnAll(WaveSink& sink);

private:
    struct Slot {
        WaveBuffer* buffer = nullptr;
        std::uint8_t* data = nullptr;
        std::uint32_t usable = 0;  // whole units only
    };
    struct Finished {
        WaveBuffer* buffer = nullptr;  // null: the failure report, its result in `bytes`
        std::uint32_t bytes = 0;
        double dueAt = 0;
        std::int32_t peak = -1;
    };

    bool TakeCurrent() noexcept;
    void FinishCurrent(double dueAt) noexcept;
    void HandBack(WaveSink& sink, WaveBuffer* buffer, std::uint32_t bytes, std::int32_t peak = -1);

    const Direction direction;
    const std::uint32_t unit;
    std::atomic<std::size_t> outstanding{0};
    SpscRing<Slot, kMaxOutstanding> queued;
    SpscRing<Finished, kMaxOutstanding * 2> finished;  // room for the failure report too
    std::atomic<std::uint32_t> completions{0};
    std::atomic<std::uint64_t> moved{0};

    // Callback side only.
    Slot current{};
    bool failed = false;
    std::uint32_t done = 0;  // bytes of `current` filled or drained
    std::int32_t peak = -1;  // of what `current` took so far
    double clockAt = 0;
    double clockRate = 0;
    std::uint64_t clockBytes = 0;  // bytes drained since the last SetPlayClock
};

}  // namespace tavrin::platform::stream
