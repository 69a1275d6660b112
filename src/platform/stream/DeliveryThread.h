#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/WaveDevice.h"
#include "platform/stream/StreamBuffers.h"

namespace tavrin::platform::stream {

// Starts `body` on `worker`; false when no thread could be made. The devices
// take one so that a test can refuse them their thread.
using ThreadMaker = std::function<bool(std::thread& worker, std::function<void()> body)>;
bool MakeThread(std::thread& worker, std::function<void()> body);

// The thread of one open device stream that hands finished buffers back to
// the sink, so that the audio callback never calls out of the device. It
// sleeps until the callback counts a finished buffer, and holds a played
// buffer back until it has been heard.
class DeliveryThread {
public:
    // `guard` is the device's lock: deliveries and the caller's operations
    // take turns under it. `now` reads the clock the output buffers' due
    // times are on.
    DeliveryThread(StreamBuffers& buffers, WaveSink& sink, std::mutex& guard, std::function<double()> now);
    ~DeliveryThread();
    DeliveryThread(const DeliveryThread&) = delete;
    DeliveryThread& operator=(const DeliveryThread&) = delete;

    // False when no thread could be made.
    [[nodiscard]] bool Start(const ThreadMaker& make = MakeThread);
    // Ends and joins the thread. The caller must not hold `guard`.
    void Stop();
    // Cuts a wait for a held buffer short (after a reset there is none).
    void Wake();

private:
    void Run();
    void Hold(double seconds);

    StreamBuffers& buffers;
    WaveSink& sink;
    std::mutex& guard;
    std::function<double()> now;
    std::thread worker;
    std::atomic<bool> quitting{false};
    std::mutex holdMutex;
    std::condition_variable holdWake;
    bool woken = false;
};

}  // namespace tavrin::platform::stream
