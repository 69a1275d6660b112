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

}  // namespace tavrin::engine
