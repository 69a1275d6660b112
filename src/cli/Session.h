#pragma once

#include <csignal>
#include <cstdint>
#include <optional>
#include <string>

#include "cli/CliEngine.h"
#include "cli/Commands.h"

namespace tavrin::cli {

// The options every engine command takes.
struct CommonOptions {
    bool slow = true;  // --media slow|fast
    std::optional<std::string> audioIn;
    std::optional<std::string> audioOut;
    std::optional<std::string> input;  // --input NAME: a source of the sound server
    bool realtime = false;
};

inline constexpr const char* kCommonUsage = "[--media slow|fast] [--audio-in WAV] [--audio-out WAV] [--realtime]";
inline constexpr const char* kInputUsage = "[--input NAME]";

// When args[i] is a common option, takes it (and its value, moving i on) and
// answers true; a bad value leaves its text in `error`.
bool TakeCommonOption(const Arguments& args, std::size_t& i, CommonOptions& options, std::string& error);

// A format given as a short name ("gsm", "pcm8k16"), a label or a code.
std::optional<std::uint32_t> ParseFormat(const std::string& text);
// A number within [low, high]; nullopt for anything else.
std::optional<double> ParseNumber(const std::string& text, double low, double high);

// Decides the devices of a run: a side given as a file (option, or
// TAVRIN_AUDIO_IN / TAVRIN_AUDIO_OUT) is that file, otherwise the sound card
// where this build has one. A needed side that cannot be had gives the text
// to show.
std::optional<std::string> ChooseDevices(const CommonOptions& options, bool needIn, bool needOut, DeviceSetup& setup);

// Set by Ctrl-C once CatchInterrupt ran.
extern volatile std::sig_atomic_t interrupted;
void CatchInterrupt();

// Shows a failed result as the program's message boxes do; kExitFailure.
int Fail(CliEngine& cli, engine::ResultCode result);

// The main window's loop during a capture: prints the events, stops the
// engine when the file input is done, after `seconds` of sound-card input,
// or on Ctrl-C, and returns at the FileReady of `eventBase`.
int RunCaptureUntilFileReady(CliEngine& cli, std::uint32_t eventBase, std::optional<double> seconds,
                             const char* command);

// Handles one event as the main window does: prints it, shows an error
// event, releases a waiting sender.
void HandleEvent(CliEngine& cli, const CliEventSink::Event& event);

}  // namespace tavrin::cli
