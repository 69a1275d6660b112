#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace tavrin::engine {

// One message of the engine thread's queue: a command from the UI thread or a
// device notification. For device notifications `wParam` is the byte count
// and `lParam` the buffer.
struct Message {
    std::uint32_t id = 0;
    std::uint32_t wParam = 0;
    std::uintptr_t lParam = 0;
};

// The engine thread's queue. Commands and device notifications share it, so
// they are handled in the order they arrived. The storage is a ring that only
// grows, so a running capture posts and takes without allocating.
class MessageQueue {
public:
    MessageQueue();

    void post(const Message& message) noexcept;
    // Blocks until a message is there.
    Message wait();
    // The next message, if one is waiting; never blocks.
    std::optional<Message> tryTake();
    // Drops every waiting message with this id; returns how many went.
    std::size_t discard(std::uint32_t id);
    std::size_t size() const;

private:
    void grow();

    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Message> ring;
    std::size_t head = 0;
    std::size_t count = 0;
};

}  // namespace tavrin::engine
