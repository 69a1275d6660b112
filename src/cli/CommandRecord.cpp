// tavrin-cli record: makes a recording with the real engine, a WAV file
// standing in for the microphone. The main thread plays the main window: it
// prints every engine event, stops the engine once the input has delivered
// the asked-for seconds (or on Ctrl-C) and ends at FileReady.
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "cli/CliEngine.h"
#include "cli/Commands.h"
#include "wav/Formats.h"

namespace tavrin::cli {
namespace {

constexpr const char* kUsage =
    "record FILE [--format CODE|LABEL] [--seconds S] [--audio-in WAV] [--realtime] [--voice-activation PCT] "
    "[--silence-cut PCT] [--silence-seconds S]";

struct RecordArgs {
    std::string file;
    std::uint32_t format = wav::kCodeGsm;
    std::optional<double> seconds;
    std::optional<std::string> audioIn;
    bool realtime = false;
    engine::RecordingOptions options;
    unsigned silenceSeconds = 3;
};

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

std::optional<std::uint32_t> ParseFormat(const std::string& text) {
    static const std::pair<const char*, std::uint32_t> shortNames[] = {
        {"gsm", wav::kCodeGsm},          {"pcm8k8", wav::kCodePcm8k8},     {"pcm11k8", wav::kCodePcm11k8},
        {"pcm8k16", wav::kCodePcm8k16}, {"pcm11k16", wav::kCodePcm11k16}, {"pcm22k16", wav::kCodePcm22k16}};
    for (const auto& [name, code] : shortNames)
        if (text == name) return code;
    if (auto code = wav::CodeOfLabel(text)) return code;
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || !end || *end != '\0' || text.empty() || value > 0xFFFFFFFFul) return std::nullopt;
    if (wav::FindByCode(static_cast<std::uint32_t>(value))) return static_cast<std::uint32_t>(value);
    return std::nullopt;
}

std::optional<double> ParseNumber(const std::string& text, double low, double high) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || !end || *end != '\0' || text.empty() || !(value >= low && value <= high)) return std::nullopt;
    return value;
}

std::optional<unsigned> ParsePercent(const std::string& text) {
    auto value = ParseNumber(text, 0, 100);
    if (!value || *value != std::floor(*value)) return std::nullopt;
    return static_cast<unsigned>(*value);
}

// Fills `a` from the arguments; on a usage error returns its text.
std::optional<std::string> ParseArgs(const Arguments& args, RecordArgs& a) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--format" || arg == "--seconds" || arg == "--audio-in" ||
                                arg == "--voice-activation" || arg == "--silence-cut" || arg == "--silence-seconds";
        if (takesValue && i + 1 >= args.size()) return arg + " needs a value";
        const std::string value = takesValue ? args[++i] : std::string();
        if (arg == "--format") {
            auto code = ParseFormat(value);
            if (!code) return "unknown format '" + value + "'";
            a.format = *code;
        } else if (arg == "--seconds") {
            a.seconds = ParseNumber(value, 0.001, 4.0e6);
            if (!a.seconds) return "--seconds wants a positive number of seconds";
        } else if (arg == "--audio-in") {
            a.audioIn = value;
        } else if (arg == "--realtime") {
            a.realtime = true;
        } else if (arg == "--voice-activation" || arg == "--silence-cut") {
            auto percent = ParsePercent(value);
            if (!percent) return arg + " wants a whole percentage from 0 to 100";
            if (arg == "--voice-activation") {
                a.options.voiceActivation = true;
                a.options.activationPercent = *percent;
            } else {
                a.options.silenceCut = true;
                a.options.silencePercent = *percent;
            }
        } else if (arg == "--silence-seconds") {
            // Below a second the cut would take back nothing and end the recording.
            auto s = ParseNumber(value, 1, 3600);
            if (!s || *s != std::floor(*s)) return "--silence-seconds wants whole seconds from 1 to 3600";
            a.silenceSeconds = static_cast<unsigned>(*s);
        } else if (!arg.empty() && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else if (a.file.empty()) {
            a.file = arg;
        } else {
            return "only one FILE can be recorded at a time";
        }
    }
    if (a.file.empty()) return "FILE is missing";
    a.options.silenceMs = a.silenceSeconds * 1000;
    return std::nullopt;
}

int UsageError(const std::string& text) {
    std::fprintf(stderr, "tavrin-cli record: %s\nUsage: tavrin-cli %s\n", text.c_str(), kUsage);
    return kExitUsage;
}

// Bytes of input to deliver: the asked seconds, or the input file's length
// rounded up to whole 200 ms buffers; whole blocks of the format either way.
std::uint64_t InputBytes(const RecordArgs& a, const platform::file::InputSignal& signal) {
    const wav::WaveFormat& format = wav::FindByCode(a.format)->format;
    const std::uint64_t blockSize = format.avgBytesPerSec / 5;
    if (!a.seconds) {
        const std::uint64_t buffers = (signal.frames() * 5 + signal.samplesPerSec() - 1) / signal.samplesPerSec();
        return std::max<std::uint64_t>(buffers, 1) * blockSize;
    }
    const auto bytes = static_cast<std::uint64_t>(std::llround(*a.seconds * format.avgBytesPerSec));
    return std::max<std::uint64_t>(bytes - bytes % format.blockAlign, format.blockAlign);
}

// The main window's loop: prints the events, stops the engine when the input
// is done or the user interrupts, and returns at FileReady.
int RunUntilFileReady(CliEngine& cli) {
    bool stopAsked = false;
    for (;;) {
        const auto event = cli.events.Next(std::chrono::milliseconds(100));
        if (interrupted && !stopAsked) {
            std::fprintf(stderr, "Interrupted: stopping\n");
            stopAsked = cli.engine.Stop();
        }
        if (!event) continue;
        if (event->message == kEvInputHeld) {
            if (!stopAsked) stopAsked = cli.engine.Stop();
            continue;
        }
        std::fprintf(stderr, "%s\n", EventName(event->message).c_str());
        if (event->message == engine::kEvError) engine::ShowResult(cli.shell, event->lParam, event->wParam);
        cli.events.Handled(*event);
        if (event->message == engine::kEvFileReady) {
            if (stopAsked) return kExitOk;
            // The engine stops a capture by itself only when storing failed.
            std::fprintf(stderr, "tavrin-cli record: the recording ended early: storing the audio failed\n");
            return kExitFailure;
        }
    }
}

int RunRecord(const Arguments& args) {
    RecordArgs a;
    if (auto error = ParseArgs(args, a)) return UsageError(*error);
    if (!a.audioIn) return UsageError("no sound-card input is available yet; give the microphone as --audio-in WAV");
    platform::PosixFileSystem files;
    if (files.exists(a.file)) return UsageError(a.file + " already exists; recordings never replace a file");
    std::string error;
    auto signal = platform::file::InputSignal::Load(files, *a.audioIn, error);
    if (!signal) return UsageError(*a.audioIn + ": " + error);

    const std::uint64_t inputBytes = InputBytes(a, *signal);
    CliEngine& cli = MakeCliEngine({a.realtime, inputBytes, nullptr});
    if (!cli.waveIn.Use(std::move(*signal))) return kExitFailure;
    std::signal(SIGINT, OnInterrupt);

    if (const engine::ResultCode init = cli.engine.Init(cli.events); !init.Ok()) {
        engine::ShowResult(cli.shell, init.Detail(), init.Code());
        return kExitFailure;
    }
    static_cast<void>(cli.engine.SetFormat(a.format));
    cli.engine.SetStorage(platform::FolderOf(a.file), true);
    cli.engine.SetRecordingOptions(a.options);
    if (const engine::ResultCode started = cli.engine.RecordStart(a.file); !started.Ok()) {
        engine::ShowResult(cli.shell, started.Detail(), started.Code());
        return kExitFailure;
    }
    return RunUntilFileReady(cli);
}

const CommandRegistration registration({"record", kUsage, "record FILE from a WAV file used as the microphone",
                                        RunRecord});

}  // namespace
}  // namespace tavrin::cli
