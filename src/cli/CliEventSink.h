#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "platform/EventSink.h"

namespace tavrin::cli {

// The main window of the command-line tools: events from the engine thread
// are queued here and handled by the main thread, which plays the part of the
// user-interface thread. A send waits until the main thread has handled it.
class CliEventSink : public platform::EventSink {
public:
    struct Event {
        std::uint32_t message = 0;
        std::uint32_t wParam = 0;
        std::uint32_t lParam = 0;
        std::uint64_t ticket = 0;  // non-zero: a sender waits for Handled
    };

    void post(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override;
    void send(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override;

    // The next event, waiting at most `limit` (no limit: until one comes or
    // Wake); nullopt when none came.
    std::optional<Event> Next(std::optional<std::chrono::milliseconds> limit);
    // Ends the current or the next wait of Next without an event.
    void Wake();
    // Releases the sender of `event` (nothing for a posted one).
    void Handled(const Event& event);

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Event> events;
    std::uint64_t lastTicket = 0;
    std::uint64_t handledTicket = 0;
    bool woken = false;
};

// The name of an engine event as the tools print it ("RecordStart",
// "InsertFileReady", ...); empty for an id that is not an engine event.
std::string EventName(std::uint32_t message);

}  // namespace tavrin::cli
