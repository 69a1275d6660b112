#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// What the programs ask the sound server rather than stream to it: whether it
// answers, its sources and sinks, and where a stream would go.
namespace tavrin::platform::pulse {

class PulseConnection;

// Whether a sound server answers now. Where none does (a bare ALSA system)
// the programs use the sound card through PortAudio instead.
bool ServerAnswers();

// Asks `question` under the mainloop's lock on the one connection kept for
// questions (streams make their own). It is made at the first question and
// made again when the server went away since (restarted, or gone at the last
// question); a question the server could not finish because it went away
// meanwhile is asked once more on a fresh connection. False when no server
// answers. Any thread may ask; questions take turns.
bool Ask(const std::function<void(PulseConnection&)>& question);

// A source or sink as the desktop shows it.
struct SoundDevice {
    std::string name;         // the server's stable name, kept in the settings
    std::string description;  // what the desktop's mixer shows
    bool monitor = false;     // a source that hears an output
    bool isDefault = false;
    friend bool operator==(const SoundDevice&, const SoundDevice&) = default;
};

struct DeviceList {
    std::vector<SoundDevice> sources;  // monitors of outputs last
    std::vector<SoundDevice> sinks;
};

// Asks the server for its sources and sinks now; nothing when none answers.
std::optional<DeviceList> QueryDevices();

// Puts the real inputs first and the monitors of outputs after them, each
// group in the server's order.
void OrderSources(std::vector<SoundDevice>& sources);

// Under the mainloop's lock: the source a recording takes - `chosen` when the
// server has it, "" for the default when it has a default source, nothing
// when there is no source at all.
std::optional<std::string> SourceToRecord(PulseConnection& connection, const std::string& chosen);
// Under the mainloop's lock: whether the server has a default sink.
bool HasDefaultSink(PulseConnection& connection);

}  // namespace tavrin::platform::pulse
