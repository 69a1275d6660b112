#include "platform/stream/DeliveryThread.h"

#include <chrono>
#include <system_error>

namespace tavrin::platform::stream {

DeliveryThread::DeliveryThread(StreamBuffers& streamBuffers, WaveSink& waveSink, std::mutex& deviceGuard,
                               std::function<double()> clock)
    : buffers(streamBuffers), sink(waveSink), guard(deviceGuard), now(std::move(clock)) {}

DeliveryThread::~DeliveryThread() { Stop(); }

bool MakeThread(std::thread& worker, std::function<void()> body) {
    try {
        worker = std::thread(std::move(body));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool DeliveryThread::Start(const ThreadMaker& make) { return make(worker, [this] { Run(); }); }

void DeliveryThread::Stop() {
    if (!worker.joinable()) return;
    quitting.store(true, std::memory_order_release);
    Wake();
    buffers.Completions().fetch_add(1, std::memory_order_release);
    buffers.Completions().notify_all();
    worker.join();
}

void DeliveryThread::Wake() {
    {
        std::lock_guard lock(holdMutex);
        woken = true;
    }
    holdWake.notify_all();
}

void DeliveryThread::Run() {
    auto& completions = buffers.Completions();
    for (;;) {
        // Read the count before looking, so that a buffer finished after the
        // look still ends the wait below.
        const std::uint32_t seen = completions.load(std::memory_order_acquire);
        if (quitting.load(std::memory_order_acquire)) return;
        double hold = 0;
        {
            std::lock_guard lock(guard);
            hold = buffers.DeliverDue(sink, now());
        }
        if (hold > 0) {
            Hold(hold);
            continue;
        }
        completions.wait(seen, std::memory_order_acquire);
    }
}

void DeliveryThread::Hold(double seconds) {
    std::unique_lock lock(holdMutex);
    holdWake.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return woken; });
    woken = false;
}

}  // namespace tavrin::platform::stream
