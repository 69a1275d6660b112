#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/EventSink.h"

namespace tavrin::test {

// Records every event posted or sent to it, in order. A send is handled on
// the sender's thread (running `onSend` first), so it returns once recorded.
// Safe to use from an engine thread while the test waits for an event.
class RecordingEventSink : public platform::EventSink {
public:
    struct Event {
        std::uint32_t message = 0;
        std::uint32_t wParam = 0;
        std::uint32_t lParam = 0;
        bool sent = false;
        friend bool operator==(const Event&, const Event&) = default;
    };

    // Runs inside every send, before it returns: a test looks at the engine
    // while the sender waits.
    std::function<void(const Event&)> onSend;

    void post(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override;
    void send(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override;

    std::vector<Event> events() const;
    // The message ids only, in order.
    std::vector<std::uint32_t> ids() const;
    void clear();
    // Waits until an event with this id has arrived; false after `limit`
    // (a guard against a hung test, not a timing assumption).
    bool waitFor(std::uint32_t message, std::chrono::milliseconds limit = std::chrono::seconds(60));

private:
    void record(const Event& event);

    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Event> recorded;
};

}  // namespace tavrin::test
