#include "platform/pulse/PulseConnection.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

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

void OrderSources(std::vector<SoundDevice>& sources) {
    std::stable_partition(sources.begin(), sources.end(), [](const SoundDevice& d) { return !d.monitor; });
}

namespace {

struct Query {
    PulseConnection* connection = nullptr;
    std::string defaultSource;
    std::string defaultSink;
    DeviceList list;
};

void OnServer(pa_context*, const pa_server_info* info, void* user) {
    auto* q = static_cast<Query*>(user);
    if (info) {
        q->defaultSource = info->default_source_name ? info->default_source_name : "";
        q->defaultSink = info->default_sink_name ? info->default_sink_name : "";
    }
    q->connection->Signal();
}

std::string Described(const char* description, const char* name) {
    return description && *description ? description : (name ? name : "");
}

void OnSource(pa_context*, const pa_source_info* info, int eol, void* user) {
    auto* q = static_cast<Query*>(user);
    if (eol == 0 && info && info->name) {
        q->list.sources.push_back({info->name, Described(info->description, info->name),
                                   info->monitor_of_sink != PA_INVALID_INDEX, false});
    }
    if (eol != 0) q->connection->Signal();
}

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* user) {
    auto* q = static_cast<Query*>(user);
    if (eol == 0 && info && info->name) {
        q->list.sinks.push_back({info->name, Described(info->description, info->name), false, false});
    }
    if (eol != 0) q->connection->Signal();
}

}  // namespace

std::optional<DeviceList> QueryDevices() {
    PulseConnection connection;
    if (connection.Connect() != mmr::NoError) return std::nullopt;
    Query q;
    q.connection = &connection;
    LoopLock lock(connection);
    pa_context* ctx = connection.context();
    const bool asked = connection.Await(pa_context_get_server_info(ctx, OnServer, &q)) &&
                       connection.Await(pa_context_get_source_info_list(ctx, OnSource, &q)) &&
                       connection.Await(pa_context_get_sink_info_list(ctx, OnSink, &q));
    if (!asked || pa_context_get_state(ctx) != PA_CONTEXT_READY) return std::nullopt;
    for (auto& d : q.list.sources) d.isDefault = d.name == q.defaultSource;
    for (auto& d : q.list.sinks) d.isDefault = d.name == q.defaultSink;
    OrderSources(q.list.sources);
    return q.list;
}

}  // namespace tavrin::platform::pulse
