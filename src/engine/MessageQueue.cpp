#include "engine/MessageQueue.h"

namespace tavrin::engine {

MessageQueue::MessageQueue() : ring(kCapacity) {}

bool MessageQueue::post(const Message& message) noexcept {
    {
        std::lock_guard lock(mutex);
        if (count == ring.size()) {
            ++overflowed;
            return false;
        }
        ring[(head + count) % ring.size()] = message;
        ++count;
    }
    arrived.notify_one();
    return true;
}

Message MessageQueue::wait() {
    std::unique_lock lock(mutex);
    arrived.wait(lock, [this] { return count > 0; });
    Message m = ring[head];
    head = (head + 1) % ring.size();
    --count;
    return m;
}

std::optional<Message> MessageQueue::tryTake() {
    std::lock_guard lock(mutex);
    if (count == 0) return std::nullopt;
    Message m = ring[head];
    head = (head + 1) % ring.size();
    --count;
    return m;
}

std::size_t MessageQueue::discard(std::uint32_t id) {
    std::lock_guard lock(mutex);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Message m = ring[(head + i) % ring.size()];
        if (m.id != id) ring[(head + kept++) % ring.size()] = m;
    }
    const std::size_t dropped = count - kept;
    count = kept;
    return dropped;
}

std::size_t MessageQueue::size() const {
    std::lock_guard lock(mutex);
    return count;
}

std::size_t MessageQueue::overflows() const {
    std::lock_guard lock(mutex);
    return overflowed;
}

}  // namespace tavrin::engine
