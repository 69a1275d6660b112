#include "support/RecordingEventSink.h"

#include <algorithm>

namespace tavrin::test {

void RecordingEventSink::post(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
    record({message, wParam, lParam, false});
}

void RecordingEventSink::send(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
    const Event event{message, wParam, lParam, true};
    if (onSend) onSend(event);
    record(event);
}

void RecordingEventSink::record(const Event& event) {
    {
        std::lock_guard lock(mutex);
        recorded.push_back(event);
    }
    arrived.notify_all();
}

std::vector<RecordingEventSink::Event> RecordingEventSink::events() const {
    std::lock_guard lock(mutex);
    return recorded;
}

std::vector<std::uint32_t> RecordingEventSink::ids() const {
    std::lock_guard lock(mutex);
    std::vector<std::uint32_t> out;
    for (const auto& e : recorded) out.push_back(e.message);
    return out;
}

void RecordingEventSink::clear() {
    std::lock_guard lock(mutex);
    recorded.clear();
}

bool RecordingEventSink::waitFor(std::uint32_t message, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, limit, [&] {
        return std::any_of(recorded.begin(), recorded.end(), [&](const Event& e) { return e.message == message; });
    });
}

}  // namespace tavrin::test
