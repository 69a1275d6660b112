#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/WaveDevice.h"

namespace tavrin::test {

// A device sink that writes down every notification, with a copy of the
// bytes the buffer held at that moment, and lets a test wait for them.
class SinkLog : public platform::WaveSink {
public:
    struct Entry {
        std::uint32_t message = 0;
        platform::WaveBuffer* buffer = nullptr;
        std::uint32_t bytes = 0;
        std::vector<std::uint8_t> data;  // WimData: the recorded bytes
        std::int32_t peak = -1;          // the buffer's measured peak then
    };

    void notify(std::uint32_t message, platform::WaveBuffer* buffer, std::uint32_t bytes) noexcept override {
        Entry entry{message, buffer, bytes, {}, buffer ? buffer->peak : -1};
        if (message == platform::mm::WimData && buffer) entry.data.assign(buffer->data, buffer->data + bytes);
        {
            std::lock_guard lock(mutex);
            log.push_back(std::move(entry));
        }
        changed.notify_all();
    }

    std::vector<Entry> entries() const {
        std::lock_guard lock(mutex);
        return log;
    }
    // One notification, without copying the whole log.
    Entry at(std::size_t index) const {
        std::lock_guard lock(mutex);
        return log.at(index);
    }
    std::size_t size() const {
        std::lock_guard lock(mutex);
        return log.size();
    }
    // Waits until at least `count` notifications came; false after `seconds`.
    bool waitFor(std::size_t count, double seconds) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return log.size() >= count; });
    }

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<Entry> log;
};

}  // namespace tavrin::test
