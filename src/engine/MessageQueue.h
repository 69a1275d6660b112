#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/WaveDevice.h"

namespace tavrin::engine {

// One message of the engine thread's queue: a command from the UI thread or a
// device notification.
struct Message {
    std::uint32_t id = 0;
    // The seek command's target block; a device notification's byte count.
    std::uint32_t value = 0;
    // The buffer a device notification is about, if any.
    platform::WaveBuffer* buffer = nullptr;
};

// The engine thread's queue. Commands and device notifications share it, so
// they are handled in the order they arrived. The ring is sized once, so
// that the devices' delivery threads post without allocating; a message that
// finds it full is dropped and counted.
class MessageQueue {
public:
    // Four buffers in flight and their close notifications are the devices'
    // share; the rest is room for commands while the engine thread waits on
    // a sent event.
    static constexpr std::size_t kCapacity = 1024;

    MessageQueue();

    // False (and counted) when the queue was full.
    bool post(const Message& message) noexcept;
    // Blocks until a message is there.
    Message wait();
    // The next message, if one is waiting; never blocks.
    std::optional<Message> tryTake();
    // Drops every waiting message with this id; returns how many went.
    std::size_t discard(std::uint32_t id);
    std::size_t size() const;
    // Messages dropped because the queue was full, over its life.
    std::size_t overflows() const;

private:
    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Message> ring;
    std::size_t head = 0;
    std::size_t count = 0;
    std::size_t overflowed = 0;
};

}  // namespace tavrin::engine
