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
#include <algorithm>
#include <optional>
#include <string>

#include "cli/CliEngine.h"
#include "cli/Commands.h"
#include "cli/Session.h"
#include "platform/posix/StderrShell.h"
#include "settings/IniStore.h"
#include "settings/Settings.h"
#include "wav/Formats.h"

namespace tavrin::cli {
namespace {

constexpr const char* kUsage =
    "record FILE [--format CODE|LABEL] [--seconds S] [--voice-activation PCT|off] [--silence-cut PCT|off] "
    "[--silence-seconds S] [--time-limit MINUTES|off] [--media auto|slow|fast] [--audio-in WAV | --input NAME] "
    "[--audio-out WAV] [--realtime] [--mark-at-ms MS]...";

struct RecordArgs {
    std::string file;
    std::uint32_t format = wav::kCodeGsm;
    std::optional<double> seconds;
    CommonOptions common;
    engine::RecordingOptions options;
    unsigned silenceSeconds = 3;
    std::optional<unsigned> timeLimitMinutes;
    std::vector<std::uint32_t> markAtMs;
};

// What the window would record with: the recording options of the desktop
// program's settings file, when there is one; the program's defaults otherwise.
void TakeStoredOptions(platform::FileSystem& files, RecordArgs& a) {
    settings::RecordingOptions stored;
    const std::string path = platform::DesktopSettingsFile();
    std::uint32_t size = 0;
    if (auto file = files.open(path, platform::OpenMode::ReadOnly, false); file && file->size(size)) {
        std::string text(size, '\0');
        std::uint32_t got = 0;
        if (file->read(text.data(), size, got)) {
            text.resize(got);
            settings::IniStore store(text);
            settings::Settings read(store);
            read.readSettings();
            stored = read.recordingOptions();
        }
    }
    a.options = {stored.voiceActivated, stored.voiceActivationLevel, stored.silenceCut, stored.silenceCutLevel,
                 stored.silenceMilliseconds()};
    a.silenceSeconds = stored.silenceSeconds;
    if (stored.timeLimitOn) a.timeLimitMinutes = stored.timeLimitMinutes;
}

std::optional<unsigned> ParsePercent(const std::string& text) {
    auto value = ParseNumber(text, 0, 100);
    if (!value || *value != std::floor(*value)) return std::nullopt;
    return static_cast<unsigned>(*value);
}

// Fills `a` from the arguments; on a usage error returns its text.
std::optional<std::string> ParseArgs(const Arguments& args, RecordArgs& a) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (TakeCommonOption(args, i, a.common, error) || TakeMarkOption(args, i, a.markAtMs, error)) {
            if (!error.empty()) return error;
            continue;
        }
        const std::string& arg = args[i];
        const bool takesValue = arg == "--format" || arg == "--seconds" || arg == "--voice-activation" ||
                                arg == "--silence-cut" || arg == "--silence-seconds" || arg == "--time-limit";
        if (takesValue && i + 1 >= args.size()) return arg + " needs a value";
        const std::string value = takesValue ? args[++i] : std::string();
        if (arg == "--format") {
            auto code = ParseFormat(value);
            if (!code) return "unknown format '" + value + "'";
            a.format = *code;
        } else if (arg == "--seconds") {
            a.seconds = ParseNumber(value, 0.001, 4.0e6);
            if (!a.seconds) return "--seconds wants a positive number of seconds";
        } else if ((arg == "--voice-activation" || arg == "--silence-cut") && value == "off") {
            (arg == "--voice-activation" ? a.options.voiceActivation : a.options.silenceCut) = false;
        } else if (arg == "--voice-activation" || arg == "--silence-cut") {
            auto percent = ParsePercent(value);
            if (!percent) return arg + " wants a whole percentage from 0 to 100, or off";
            if (arg == "--voice-activation") {
                a.options.voiceActivation = true;
                a.options.activationPercent = *percent;
            } else {
                a.options.silenceCut = true;
                a.options.silencePercent = *percent;
            }
        } else if (arg == "--time-limit" && value == "off") {
            a.timeLimitMinutes.reset();
        } else if (arg == "--time-limit") {
            auto minutes = ParseNumber(value, settings::kMinTimeLimitMinutes, settings::kMaxTimeLimitMinutes);
            if (!minutes || *minutes != std::floor(*minutes)) return "--time-limit wants whole minutes from 1 to 600, or off";
            a.timeLimitMinutes = static_cast<unsigned>(*minutes);
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
    // The limit ends the recording as the window's does: after so much of
    // the microphone (of a sound card: so much time).
    if (a.timeLimitMinutes) a.seconds = std::min(a.seconds.value_or(1.0e9), *a.timeLimitMinutes * 60.0);
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

int RunRecord(const Arguments& args) {
    platform::PosixFileSystem files;
    RecordArgs a;
    TakeStoredOptions(files, a);
    if (auto error = ParseArgs(args, a)) return UsageError(*error);
    DeviceSetup setup;
    if (auto error = ChooseDevices(a.common, true, false, setup)) return UsageError(*error);
    if (files.exists(a.file)) return UsageError(a.file + " already exists; recordings never replace a file");
    std::optional<platform::file::InputSignal> signal;
    if (setup.audioIn) {
        std::string error;
        signal = platform::file::InputSignal::Load(files, *setup.audioIn, error);
        if (!signal) return UsageError(*setup.audioIn + ": " + error);
        setup.deliverBytes = InputBytes(a, *signal);
    }
    CliEngine& cli = MakeCliEngine(setup);
    if (signal && !cli.fileIn->Use(std::move(*signal))) return kExitFailure;
    CatchInterrupt(&cli.events);

    if (const engine::ResultCode init = cli.engine.Init(cli.events); !init.Ok()) return Fail(cli, init);
    static_cast<void>(cli.engine.SetFormat(a.format));
    const std::string folder = platform::FolderOf(a.file);
    cli.engine.SetStorage(folder, MediaFor(cli, a.common, folder));
    cli.engine.SetRecordingOptions(a.options);
    cli.engine.MarkAtMs(a.markAtMs);
    if (const engine::ResultCode started = cli.engine.RecordStart(a.file); !started.Ok()) return Fail(cli, started);
    const int status = RunCaptureUntilFileReady(cli, engine::kEventBasePlain, a.seconds, "record");
    if (status != kExitOk) SayWhereAudioWaits("record", a.file);
    // Closing lets go of the finished recording; on fast media that is also
    // when the file is cut to its audio.
    if (const engine::ResultCode closed = cli.engine.CloseFile(); !closed.Ok()) return Fail(cli, closed);
    return status;
}

const CommandRegistration registration({"record", kUsage, "record FILE from the microphone or a WAV file",
                                        RunRecord});

}  // namespace
}  // namespace tavrin::cli
