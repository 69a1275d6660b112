#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include <QEvent>

namespace tavrin::app {

// Lets a thread that sent an event wait until the window is done with it.
class Delivery {
public:
    void finish() {
        {
            const std::lock_guard lock(mutex);
            finished = true;
        }
        done.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex);
        done.wait(lock, [this] { return finished; });
    }

private:
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};

// An application message (WM_APP + n) on its way to the main window from
// another thread. A sent one carries the sender's Delivery and finishes it
// when it is destroyed: after it was handled, or when Qt drops it undelivered
// at the end of the program, so that the sender is never left waiting.
class EngineEvent : public QEvent {
public:
    static QEvent::Type Kind() {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }

    EngineEvent(std::uint32_t msg, std::uint32_t w, std::uint32_t l, std::shared_ptr<Delivery> sender = nullptr)
        : QEvent(Kind()), message(msg), wParam(w), lParam(l), delivery(std::move(sender)) {}
    ~EngineEvent() override {
        if (delivery) delivery->finish();
    }
    EngineEvent(const EngineEvent&) = delete;
    EngineEvent& operator=(const EngineEvent&) = delete;

    const std::uint32_t message;
    const std::uint32_t wParam;
    const std::uint32_t lParam;

private:
    std::shared_ptr<Delivery> delivery;
};

}  // namespace tavrin::app
