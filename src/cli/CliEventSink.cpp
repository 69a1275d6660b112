#include "cli/CliEventSink.h"

#include <string>

#include "engine/Messages.h"

namespace tavrin::cli {

void CliEventSink::post(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
    {
        std::lock_guard lock(mutex);
        events.push_back({message, wParam, lParam, 0});
    }
    changed.notify_all();
}

void CliEventSink::send(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
    std::unique_lock lock(mutex);
    const std::uint64_t ticket = ++lastTicket;
    events.push_back({message, wParam, lParam, ticket});
    changed.notify_all();
    changed.wait(lock, [&] { return handledTicket >= ticket; });
}

std::optional<CliEventSink::Event> CliEventSink::Next(std::optional<std::chrono::milliseconds> limit) {
    std::unique_lock lock(mutex);
    const auto ready = [&] { return !events.empty() || woken; };
    if (limit) {
        changed.wait_for(lock, *limit, ready);
    } else {
        changed.wait(lock, ready);
    }
    woken = false;
    if (events.empty()) return std::nullopt;
    Event event = events.front();
    events.pop_front();
    return event;
}

void CliEventSink::Wake() {
    {
        std::lock_guard lock(mutex);
        woken = true;
    }
    changed.notify_all();
}

void CliEventSink::Handled(const Event& event) {
    if (event.ticket == 0) return;
    {
        std::lock_guard lock(mutex);
        if (event.ticket > handledTicket) handledTicket = event.ticket;
    }
    changed.notify_all();
}

std::string EventName(std::uint32_t message) {
    using namespace engine;
    switch (message) {
        case kEvError: return "Error";
        case kEvPlayStart: return "PlayStart";
        case kEvPlayEnd: return "PlayEnd";
        case kEvPosSet: return "PosSet";
        case kEvWaterMark: return "WaterMark";
        case kEvPausedOn: return "PausedOn";
        case kEvPausedOff: return "PausedOff";
        default: break;
    }
    if (message < kEvFileReady || message > kEvTooSlow + kEventBaseInsert) return "";
    static const char* const kinds[] = {"", "Overwrite", "Append", "Insert"};
    static const char* const names[] = {"FileReady", "RecordStart", "RecordActivated", "RecordEnd", "SilenceCut",
                                        "TooSlow"};
    const std::uint32_t offset = message - kEvFileReady;
    if (offset % 10 > 5) return "";
    return std::string(kinds[offset / 10]) + names[offset % 10];
}

}  // namespace tavrin::cli
