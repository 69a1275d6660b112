// tavrin-cli append, insert and overwrite: record into an existing recording
// with the real engine, at its end or at a position, from the sound card or
// a WAV file standing in for the microphone.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/Session.h"
#include "wav/WavChunkReader.h"

namespace tavrin::cli {
namespace {

constexpr double kDefaultSeconds = 5.0;

struct EditKind {
    const char* name;
    const char* usage;
    const char* summary;
    std::uint32_t eventBase;
    bool atPosition;
};

constexpr EditKind kAppend{"append",
                           "append FILE [--seconds S] [--media auto|slow|fast] [--audio-in WAV | --input NAME] [--realtime] "
                           "[--mark-at-ms MS]...",
                           "record onto the end of a recording", engine::kEventBaseAppend, false};
constexpr EditKind kInsert{"insert",
                           "insert FILE --at-ms MS [--seconds S] [--media auto|slow|fast] [--audio-in WAV | --input NAME] "
                           "[--realtime] [--mark-at-ms MS]...",
                           "record into a recording at a position, moving the rest on", engine::kEventBaseInsert,
                           true};
constexpr EditKind kOverwrite{
    "overwrite",
    "overwrite FILE --at-ms MS [--seconds S] [--media auto|slow|fast] [--audio-in WAV | --input NAME] [--realtime] "
    "[--mark-at-ms MS]...",
    "record over a recording from a position on", engine::kEventBaseOverwrite, true};

struct EditArgs {
    std::string file;
    std::optional<std::int32_t> atMs;
    double seconds = kDefaultSeconds;
    CommonOptions common;
    std::vector<std::uint32_t> markAtMs;
};

std::optional<std::string> ParseArgs(const EditKind& kind, const Arguments& args, EditArgs& a) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (TakeCommonOption(args, i, a.common, error) || TakeMarkOption(args, i, a.markAtMs, error)) {
            if (!error.empty()) return error;
            continue;
        }
        const std::string& arg = args[i];
        if ((arg == "--at-ms" && kind.atPosition) || arg == "--seconds") {
            if (i + 1 >= args.size()) return arg + " needs a value";
            const std::string& value = args[++i];
            if (arg == "--seconds") {
                const auto s = ParseNumber(value, 0.001, 4.0e6);
                if (!s) return "--seconds wants a positive number of seconds";
                a.seconds = *s;
            } else {
                const auto ms = ParseNumber(value, 0, 2147483647.0);
                if (!ms || *ms != std::floor(*ms)) return "--at-ms wants whole milliseconds";
                a.atMs = static_cast<std::int32_t>(*ms);
            }
        } else if (!arg.empty() && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else if (a.file.empty()) {
            a.file = arg;
        } else {
            return "only one FILE can be edited at a time";
        }
    }
    if (a.file.empty()) return "FILE is missing";
    if (kind.atPosition && !a.atMs) return "--at-ms is missing";
    if (a.common.audioOut) return std::string(kind.name) + " takes no --audio-out";
    return std::nullopt;
}

// Bytes of input for the asked seconds, in the recording's own format (the
// input device is opened with it), whole blocks of it.
std::optional<std::uint64_t> InputBytes(platform::FileSystem& files, const std::string& file, double seconds) {
    wav::WavChunkReader reader(files);
    if (!reader.Open(file) || reader.Parse() == wav::kParseUnusable || reader.BlockAlign() == 0) return std::nullopt;
    const auto bytes = static_cast<std::uint64_t>(std::llround(seconds * reader.AvgBytesPerSec()));
    return std::max<std::uint64_t>(bytes - bytes % reader.BlockAlign(), reader.BlockAlign());
}

engine::ResultCode StartEdit(engine::AudioEngine& engine, std::uint32_t eventBase) {
    if (eventBase == engine::kEventBaseAppend) return engine.RecordAppend();
    if (eventBase == engine::kEventBaseInsert) return engine.RecordInsert();
    return engine.RecordOverwrite();
}

int RunEdit(const EditKind& kind, const Arguments& args) {
    const auto usageError = [&](const std::string& text) {
        std::fprintf(stderr, "tavrin-cli %s: %s\nUsage: tavrin-cli %s\n", kind.name, text.c_str(), kind.usage);
        return kExitUsage;
    };
    EditArgs a;
    if (auto error = ParseArgs(kind, args, a)) return usageError(*error);
    DeviceSetup setup;
    if (auto error = ChooseDevices(a.common, true, false, setup)) return usageError(*error);
    // Reserved zeros a kill left behind must not pass for chunks of the recording.
    if (!RepairBeforeUse(kind.name, a.file)) return kExitFailure;
    platform::PosixFileSystem files;
    std::optional<platform::file::InputSignal> signal;
    if (setup.audioIn) {
        std::string error;
        signal = platform::file::InputSignal::Load(files, *setup.audioIn, error);
        if (!signal) return usageError(*setup.audioIn + ": " + error);
        // A file the engine cannot open is reported by the engine below;
        // should it open one all the same, the input holds at its start.
        setup.deliverBytes = InputBytes(files, a.file, a.seconds).value_or(0);
    }
    CliEngine& cli = MakeCliEngine(setup);
    if (signal && !cli.fileIn->Use(std::move(*signal))) return kExitFailure;
    CatchInterrupt(&cli.events);
    if (const engine::ResultCode init = cli.engine.Init(cli.events); !init.Ok()) return Fail(cli, init);

    engine::AudioFileInfo info;
    if (const engine::ResultCode opened = cli.engine.OpenFile(a.file, MediaFor(cli, a.common, a.file), info); !opened.Ok()) {
        return FailToOpen(cli, a.file, opened);
    }
    if (a.atMs) static_cast<void>(cli.engine.SetPosition(*a.atMs));
    cli.engine.MarkAtMs(a.markAtMs);
    if (const engine::ResultCode started = StartEdit(cli.engine, kind.eventBase); !started.Ok()) {
        static_cast<void>(cli.engine.CloseFile());
        return Fail(cli, started);
    }
    const int status = RunCaptureUntilFileReady(cli, kind.eventBase, a.seconds, kind.name);
    if (status != kExitOk) SayWhereAudioWaits(kind.name, a.file);
    if (const engine::ResultCode closed = cli.engine.CloseFile(); !closed.Ok()) return Fail(cli, closed);
    return status;
}

int RunAppend(const Arguments& args) { return RunEdit(kAppend, args); }
int RunInsert(const Arguments& args) { return RunEdit(kInsert, args); }
int RunOverwrite(const Arguments& args) { return RunEdit(kOverwrite, args); }

const CommandRegistration appendRegistration({kAppend.name, kAppend.usage, kAppend.summary, RunAppend});
const CommandRegistration insertRegistration({kInsert.name, kInsert.usage, kInsert.summary, RunInsert});
const CommandRegistration overwriteRegistration({kOverwrite.name, kOverwrite.usage, kOverwrite.summary,
                                                 RunOverwrite});

}  // namespace
}  // namespace tavrin::cli
