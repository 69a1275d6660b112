#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace tavrin::platform::stream {

// A fixed ring between exactly one producer thread and one consumer thread.
// Neither side ever blocks, locks or allocates, so the audio callback can sit
// on either end. Each index is written by one side only; the release store of
// an index publishes the slot it passes over.
template <typename T, std::size_t Capacity>
class SpscRing {
    static_assert(Capacity > 0 && (Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    // Producer side. False when the ring is full; nothing is stored then.
    bool push(const T& value) noexcept {
        const std::size_t tail = tailIndex.load(std::memory_order_relaxed);
        if (tail - headIndex.load(std::memory_order_acquire) == Capacity) return false;
        cells[tail & (Capacity - 1)] = value;
        tailIndex.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer side. False when the ring is empty.
    bool pop(T& value) noexcept {
        const std::size_t head = headIndex.load(std::memory_order_relaxed);
        if (head == tailIndex.load(std::memory_order_acquire)) return false;
        value = cells[head & (Capacity - 1)];
        headIndex.store(head + 1, std::memory_order_release);
        return true;
    }

    // Consumer side: the oldest value, left in the ring. False when empty.
    bool peek(T& value) const noexcept {
        const std::size_t head = headIndex.load(std::memory_order_relaxed);
        if (head == tailIndex.load(std::memory_order_acquire)) return false;
        value = cells[head & (Capacity - 1)];
        return true;
    }

    // Either side; exact only while the other side stands still.
    std::size_t size() const noexcept {
        // The head first: it never passes a tail read after it.
        const std::size_t head = headIndex.load(std::memory_order_acquire);
        return tailIndex.load(std::memory_order_acquire) - head;
    }
    bool empty() const noexcept { return size() == 0; }

private:
    std::array<T, Capacity> cells{};
    // Apart, so that the two sides do not fight over one cache line.
    alignas(64) std::atomic<std::size_t> headIndex{0};
    alignas(64) std::atomic<std::size_t> tailIndex{0};
};

}  // namespace tavrin::platform::stream
