#include "platform/pulse/PulseConnection.h"

#include <pulse/pulseaudio.h>

namespace tavrin::platform::pulse {
namespace {

void ContextChanged(pa_context*, void* user) { static_cast<PulseConnection*>(user)->Signal(); }

bool Settled(pa_context_state_t state) { return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state); }

}  // namespace

PulseConnection::~PulseConnection() {
    if (ctx) {
        Lock();
        pa_context_set_state_callback(ctx, nullptr, nullptr);
        pa_context_disconnect(ctx);
        pa_context_unref(ctx);
        Unlock();
    }
    if (mainloop) {
        if (running) pa_threaded_mainloop_stop(mainloop);
        pa_threaded_mainloop_free(mainloop);
    }
}

DeviceResult PulseConnection::Connect() {
    mainloop = pa_threaded_mainloop_new();
    if (!mainloop) return mmr::NoMem;
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Tavrin");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "tavrin");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "tavrin");
    ctx = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(mainloop), "Tavrin", props);
    pa_proplist_free(props);
    if (!ctx) return mmr::NoMem;
    pa_context_set_state_callback(ctx, ContextChanged, this);
    // A recorder must never start a sound server of its own: without one the
    // sound card is reached another way.
    if (pa_context_connect(ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return mmr::NoDriver;
    Lock();
    if (pa_threaded_mainloop_start(mainloop) < 0) {
        Unlock();
        return mmr::NoMem;
    }
    running = true;
    while (!Settled(pa_context_get_state(ctx))) Wait();
    const bool ready = pa_context_get_state(ctx) == PA_CONTEXT_READY;
    Unlock();
    return ready ? mmr::NoError : mmr::NoDriver;
}

void PulseConnection::Lock() { pa_threaded_mainloop_lock(mainloop); }
void PulseConnection::Unlock() { pa_threaded_mainloop_unlock(mainloop); }
void PulseConnection::Wait() { pa_threaded_mainloop_wait(mainloop); }
void PulseConnection::Signal() { pa_threaded_mainloop_signal(mainloop, 0); }

bool PulseConnection::Await(pa_operation* operation) {
    if (!operation) return false;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) Wait();
    pa_operation_unref(operation);
    return true;
}

DeviceResult PulseConnection::LastResult() const { return ctx ? ResultOf(pa_context_errno(ctx)) : mmr::NoDriver; }

DeviceResult ResultOf(int error) {
    switch (error) {
        case PA_OK:
            return mmr::NoError;
        case PA_ERR_NOENTITY:
        case PA_ERR_KILLED:
            return mmr::BadDeviceId;
        case PA_ERR_ACCESS:
        case PA_ERR_BUSY:
        case PA_ERR_EXIST:
            return mmr::Allocated;
        case PA_ERR_CONNECTIONREFUSED:
        case PA_ERR_CONNECTIONTERMINATED:
        case PA_ERR_NOTSUPPORTED:
        case PA_ERR_VERSION:
            return mmr::NoDriver;
        case PA_ERR_INVALID:
        case PA_ERR_TOOLARGE:
            return mmr::InvalidParam;
        default:
            return mmr::Error;
    }
}

}  // namespace tavrin::platform::pulse
