#pragma once

#include <cstdint>

#include "platform/WaveDevice.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_operation;

namespace tavrin::platform::pulse {

// One connection to the sound server, on a mainloop thread of its own. Every
// stream makes its own, so a server that was restarted between two
// recordings is simply found again by the next one; questions share one
// that is kept (see Ask).
class PulseConnection {
public:
    PulseConnection() = default;
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Connects (never starting a server) and waits until the server has
    // answered. NoDriver when no server answers.
    [[nodiscard]] DeviceResult Connect();

    pa_threaded_mainloop* loop() const { return mainloop; }
    pa_context* context() const { return ctx; }

    // The mainloop's lock: held around every call into the library from
    // outside the mainloop thread. Callbacks run with it held.
    void Lock();
    void Unlock();
    // Under the lock: waits for a callback's Signal.
    void Wait();
    void Signal();
    // Under the lock: waits until `operation` has completed, then lets it go.
    // False when there was no operation to wait for.
    bool Await(pa_operation* operation);

    // The device result for the context's last error.
    DeviceResult LastResult() const;

private:
    pa_threaded_mainloop* mainloop = nullptr;
    pa_context* ctx = nullptr;
    bool running = false;
};

// Holds a connection's mainloop lock for a scope.
class LoopLock {
public:
    explicit LoopLock(PulseConnection& connection) : c(connection) { c.Lock(); }
    ~LoopLock() { c.Unlock(); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    PulseConnection& c;
};

// What a library error code means to a wave-device caller.
DeviceResult ResultOf(int pulseError);

}  // namespace tavrin::platform::pulse
