#pragma once

#include <atomic>

namespace tavrin::engine {

// A word that the engine thread writes and the UI thread polls (position,
// level, state). Each access stands alone, so relaxed order is all it needs;
// the atomic only keeps the unsynchronised read defined.
template <typename T>
class Relaxed {
public:
    constexpr Relaxed(T initial = T{}) : value(initial) {}
    Relaxed(const Relaxed&) = delete;
    Relaxed& operator=(const Relaxed&) = delete;

    operator T() const { return value.load(std::memory_order_relaxed); }
    Relaxed& operator=(T v) {
        value.store(v, std::memory_order_relaxed);
        return *this;
    }

private:
    std::atomic<T> value;
};

// A word whose change hands something over between the threads: the engine
// state, which says who owns the storage and the devices. The writer
// releases what it did before the change, the reader acquires it, so that a
// thread that sees the engine idle also sees the storage as it was left.
template <typename T>
class Handover {
public:
    constexpr Handover(T initial = T{}) : value(initial) {}
    Handover(const Handover&) = delete;
    Handover& operator=(const Handover&) = delete;

    operator T() const { return value.load(std::memory_order_acquire); }
    Handover& operator=(T v) {
        value.store(v, std::memory_order_release);
        return *this;
    }

private:
    std::atomic<T> value;
};

}  // namespace tavrin::engine
