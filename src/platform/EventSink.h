#pragma once

#include <cstdint>

namespace tavrin::platform {

// Where the engine reports to the main window: window messages WM_APP + n with
// two parameters. `post` queues the event and returns at once; `send` returns
// only after the receiver has handled it, so the receiver must never wait for
// the sender.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void post(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) = 0;
    virtual void send(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) = 0;
};

}  // namespace tavrin::platform
