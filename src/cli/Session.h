#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliEngine.h"
#include "cli/Commands.h"

namespace tavrin::cli {

// The options every engine command takes.
struct CommonOptions {
    // --media slow|fast; auto (nothing) asks the file system of the recording.
    std::optional<platform::Media> media;
    std::optional<std::string> audioIn;
    std::optional<std::string> audioOut;
    std::optional<std::string> input;  // --input NAME: a source of the sound server
    bool realtime = false;
};

inline constexpr const char* kCommonUsage = "[--media auto|slow|fast] [--audio-in WAV] [--audio-out WAV] [--realtime]";
inline constexpr const char* kInputUsage = "[--input NAME]";

// When args[i] is a common option, takes it (and its value, moving i on) and
// answers true; a bad value leaves its text in `error`.
bool TakeCommonOption(const Arguments& args, std::size_t& i, CommonOptions& options, std::string& error);

// When args[i] is --mark-at-ms (repeatable: a mark once the capture has
// recorded so many milliseconds), takes it and its value into `marks`.
bool TakeMarkOption(const Arguments& args, std::size_t& i, std::vector<std::uint32_t>& marks, std::string& error);

// The medium of a recording at `path` (or a new one in that folder): as
// --media says, else as the shell classifies the location.
platform::Media MediaFor(CliEngine& cli, const CommonOptions& options, const std::string& path);

// Repairs `file` first when a journal says a crash left it unfinished (as
// `recover` would), telling so on stderr. False when the repair failed: the
// file must not be used then.
[[nodiscard]] bool RepairBeforeUse(const char* command, const std::string& file);

// After a capture that could not store all its audio (a full volume): says
// on stderr where the audio the file could not take is kept until recovery.
void SayWhereAudioWaits(const char* command, const std::string& file);

// A format given as a short name ("gsm", "pcm8k16"), a label or a code.
std::optional<std::uint32_t> ParseFormat(const std::string& text);
// A number within [low, high]; nullopt for anything else.
std::optional<double> ParseNumber(const std::string& text, double low, double high);

// Decides the devices of a run: a side given as a file (option, or
// TAVRIN_AUDIO_IN / TAVRIN_AUDIO_OUT) is that file, otherwise the sound card
// where this build has one. A needed side that cannot be had gives the text
// to show.
std::optional<std::string> ChooseDevices(const CommonOptions& options, bool needIn, bool needOut, DeviceSetup& setup);

// Set by Ctrl-C, SIGTERM or SIGHUP once CatchInterrupt ran, which also wakes
// the wait for the next event of `events` when given one. Atomic rather than
// a volatile flag: it is set on another thread, or where no thread could be
// made, by a handler that may run on any thread.
extern std::atomic<bool> interrupted;
void CatchInterrupt(CliEventSink* events = nullptr);
// How long a wait for events may last and still notice Ctrl-C soon: no limit
// once the signals wake the wait.
std::optional<std::chrono::milliseconds> InterruptPoll();

// Shows a failed result as the program's message boxes do; kExitFailure.
int Fail(CliEngine& cli, engine::ResultCode result);
// A recording that would not open: says why in the window's words when the
// file shows it (missing, empty, not a WAV file, stereo, another codec),
// else as Fail does; kExitFailure.
int FailToOpen(CliEngine& cli, const std::string& path, engine::ResultCode result);

// The main window's loop during a capture: prints the events, stops the
// engine when the file input is done, after `seconds` of sound-card input,
// or on Ctrl-C, and returns at the FileReady of `eventBase`.
int RunCaptureUntilFileReady(CliEngine& cli, std::uint32_t eventBase, std::optional<double> seconds,
                             const char* command);

// Handles one event as the main window does: prints it, shows an error
// event, releases a waiting sender.
void HandleEvent(CliEngine& cli, const CliEventSink::Event& event);

}  // namespace tavrin::cli
