#include "platform/pulse/ServerQueries.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "platform/pulse/PulseConnection.h"

namespace tavrin::platform::pulse {
namespace {

// What the server told one question. The callbacks run on the mainloop
// thread; each wakes the asking thread, which waits for the operation's end.
struct Answers {
    explicit Answers(PulseConnection& c) : connection(&c) {}
    PulseConnection* connection;
    std::string defaultSource;
    std::string defaultSink;
    std::vector<SoundDevice> sources;
    std::vector<SoundDevice> sinks;
};

std::string Described(const char* description, const char* name) {
    return description && *description ? description : (name ? name : "");
}

void OnServer(pa_context*, const pa_server_info* info, void* user) {
    auto* a = static_cast<Answers*>(user);
    if (info && info->default_source_name) a->defaultSource = info->default_source_name;
    if (info && info->default_sink_name) a->defaultSink = info->default_sink_name;
    a->connection->Signal();
}

void OnSource(pa_context*, const pa_source_info* info, int eol, void* user) {
    auto* a = static_cast<Answers*>(user);
    if (eol == 0 && info && info->name) {
        a->sources.push_back({info->name, Described(info->description, info->name),
                              info->monitor_of_sink != PA_INVALID_INDEX, false});
    }
    a->connection->Signal();
}

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* user) {
    auto* a = static_cast<Answers*>(user);
    if (eol == 0 && info && info->name) {
        a->sinks.push_back({info->name, Described(info->description, info->name), false, false});
    }
    a->connection->Signal();
}

Answers Defaults(PulseConnection& connection) {
    Answers a(connection);
    connection.Await(pa_context_get_server_info(connection.context(), OnServer, &a));
    return a;
}

bool SourceExists(PulseConnection& connection, const std::string& name) {
    Answers a(connection);
    connection.Await(pa_context_get_source_info_by_name(connection.context(), name.c_str(), OnSource, &a));
    return !a.sources.empty();
}

bool SinkExists(PulseConnection& connection, const std::string& name) {
    Answers a(connection);
    connection.Await(pa_context_get_sink_info_by_name(connection.context(), name.c_str(), OnSink, &a));
    return !a.sinks.empty();
}

bool Ready(PulseConnection& connection) {
    LoopLock lock(connection);
    return pa_context_get_state(connection.context()) == PA_CONTEXT_READY;
}

}  // namespace

bool Ask(const std::function<void(PulseConnection&)>& question) {
    // Each connection is a thread, a context and a handshake with the
    // server: questions share one rather than make their own. Never
    // destroyed, as the engine is not: its thread may still ask while the
    // process exits, after the destructors of statics ran.
    static std::mutex& turns = *new std::mutex;
    static std::unique_ptr<PulseConnection>& kept = *new std::unique_ptr<PulseConnection>;
    std::lock_guard turn(turns);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool fresh = !kept || !Ready(*kept);
        if (fresh) {
            kept = std::make_unique<PulseConnection>();
            if (kept->Connect() != mmr::NoError) {
                kept.reset();
                return false;
            }
        }
        LoopLock lock(*kept);
        question(*kept);
        if (pa_context_get_state(kept->context()) == PA_CONTEXT_READY) return true;
        if (fresh) return false;  // the server went away while a fresh connection asked
    }
    return false;
}

bool ServerAnswers() {
    return Ask([](PulseConnection&) {});
}

std::optional<DeviceList> QueryDevices() {
    std::optional<Answers> found;
    const bool answered = Ask([&](PulseConnection& connection) {
        pa_context* ctx = connection.context();
        Answers a(connection);
        if (connection.Await(pa_context_get_server_info(ctx, OnServer, &a)) &&
            connection.Await(pa_context_get_source_info_list(ctx, OnSource, &a)) &&
            connection.Await(pa_context_get_sink_info_list(ctx, OnSink, &a)))
            found = std::move(a);
        else
            found.reset();
    });
    if (!answered || !found) return std::nullopt;
    Answers& a = *found;
    DeviceList list{std::move(a.sources), std::move(a.sinks)};
    for (auto& d : list.sources) d.isDefault = d.name == a.defaultSource;
    for (auto& d : list.sinks) d.isDefault = d.name == a.defaultSink;
    OrderSources(list.sources);
    return list;
}

void OrderSources(std::vector<SoundDevice>& sources) {
    std::stable_partition(sources.begin(), sources.end(), [](const SoundDevice& d) { return !d.monitor; });
}

std::optional<std::string> SourceToRecord(PulseConnection& connection, const std::string& chosen) {
    if (!chosen.empty() && SourceExists(connection, chosen)) return chosen;
    const Answers defaults = Defaults(connection);
    if (defaults.defaultSource.empty() || !SourceExists(connection, defaults.defaultSource)) return std::nullopt;
    return std::string();
}

bool HasDefaultSink(PulseConnection& connection) {
    const Answers defaults = Defaults(connection);
    return !defaults.defaultSink.empty() && SinkExists(connection, defaults.defaultSink);
}

}  // namespace tavrin::platform::pulse
