#pragma once

#include <atomic>
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
//
// The event is built on the sending thread and read and destroyed on the UI
// thread. Qt's event queue orders the two, but with locks the thread checker
// cannot see, so the order is also stated in our own code: every event counts
// itself posted with a release once it is built, and the receiver acquires
// that count before it looks at any event, even at its type.
class EngineEvent : public QEvent {
public:
    static QEvent::Type Kind() {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }

    struct Payload {
        std::uint32_t message;
        std::uint32_t wParam;
        std::uint32_t lParam;
    };

    EngineEvent(std::uint32_t msg, std::uint32_t w, std::uint32_t l, std::shared_ptr<Delivery> sender = nullptr)
        : QEvent(Kind()), payload{msg, w, l}, delivery(std::move(sender)) {
        posted.fetch_add(1, std::memory_order_release);
    }
    ~EngineEvent() override {
        AcquirePosted();
        if (delivery) delivery->finish();
    }
    EngineEvent(const EngineEvent&) = delete;
    EngineEvent& operator=(const EngineEvent&) = delete;

    // The receiver's first step in handling any event: everything built for
    // the events posted so far is visible from here on.
    static void AcquirePosted() { static_cast<void>(posted.load(std::memory_order_acquire)); }

    // What was sent, read on the UI thread after AcquirePosted.
    const Payload payload;

private:
    std::shared_ptr<Delivery> delivery;
    inline static std::atomic<std::uint64_t> posted{0};
};

}  // namespace tavrin::app
