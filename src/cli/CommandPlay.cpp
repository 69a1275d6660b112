// tavrin-cli play: plays a recording with the real engine, from and to given
// positions, into the sound card or a WAV file standing in for the speaker.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/Session.h"

namespace tavrin::cli {
namespace {

constexpr const char* kUsage =
    "play FILE [--from-ms MS] [--to-ms MS] [--speed X] [--media auto|slow|fast] [--audio-out WAV] [--realtime]";

constexpr const char* kSpeedChoices = "--speed takes one of 0.5, 0.75, 1, 1.25, 1.5, 1.75, 2, 2.5, 3";

struct PlayArgs {
    std::string file;
    std::optional<std::int32_t> fromMs;
    std::optional<std::uint32_t> toMs;
    // Hundredths of the recording's speed; set: playback goes through the speed stage.
    std::optional<std::uint32_t> speed;
    CommonOptions common;
};

std::optional<std::string> ParseArgs(const Arguments& args, PlayArgs& a) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (TakeCommonOption(args, i, a.common, error)) {
            if (!error.empty()) return error;
            continue;
        }
        const std::string& arg = args[i];
        if (arg == "--speed") {
            if (i + 1 >= args.size()) return std::string(kSpeedChoices);
            const auto x = ParseNumber(args[++i], 0.5, 3.0);
            const auto hundredths = x ? static_cast<std::uint32_t>(std::lround(*x * 100)) : 0u;
            if (!x || !engine::IsSpeedStep(hundredths) || std::abs(*x * 100 - hundredths) > 1e-6) {
                return std::string(kSpeedChoices);
            }
            a.speed = hundredths;
        } else if (arg == "--from-ms" || arg == "--to-ms") {
            if (i + 1 >= args.size()) return arg + " needs a value";
            const auto ms = ParseNumber(args[++i], 0, 2147483647.0);
            if (!ms || *ms != static_cast<double>(static_cast<std::int64_t>(*ms))) {
                return arg + " wants whole milliseconds";
            }
            if (arg == "--from-ms") a.fromMs = static_cast<std::int32_t>(*ms);
            else a.toMs = static_cast<std::uint32_t>(*ms);
        } else if (!arg.empty() && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else if (a.file.empty()) {
            a.file = arg;
        } else {
            return "only one FILE can be played at a time";
        }
    }
    if (a.file.empty()) return "FILE is missing";
    if (a.common.audioIn) return "play takes no --audio-in";
    return std::nullopt;
}

int UsageError(const std::string& text) {
    std::fprintf(stderr, "tavrin-cli play: %s\nUsage: tavrin-cli %s\n", text.c_str(), kUsage);
    return kExitUsage;
}

// Whether playback has reached `toMs`. A file takes exactly the stretch asked
// for; a sound card stops once reading has passed it.
bool PassedEnd(CliEngine& cli, std::optional<std::uint32_t> toMs) {
    if (!toMs) return false;
    if (cli.fileOut) return cli.fileOut->LimitReached();
    return cli.engine.GetPositionMs() > *toMs;
}

// How long the loop may sleep before playback can have reached `toMs`. A
// speaker file wakes the loop itself when it has; a sound card's position is
// looked at when it should have passed `toMs`, then at most every 10 ms.
std::optional<std::chrono::milliseconds> WaitForEnd(CliEngine& cli, std::optional<std::uint32_t> toMs,
                                                    std::uint32_t speed) {
    const auto poll = InterruptPoll();
    if (!toMs || cli.fileOut) return poll;
    const std::uint32_t at = cli.engine.GetPositionMs();
    const std::uint64_t left = *toMs > at ? *toMs - at : 0;
    const auto wait = std::chrono::milliseconds(std::max<std::uint64_t>(10, left * engine::kNormalSpeed / speed));
    return poll ? std::min(wait, *poll) : wait;
}

// The main window's loop during playback: prints the events, stops once
// playback has reached `toMs` (or on Ctrl-C) and returns at PlayEnd.
bool RunUntilPlayEnd(CliEngine& cli, std::optional<std::uint32_t> toMs, std::uint32_t speed) {
    bool stopAsked = false;
    bool failed = false;
    for (;;) {
        const auto event = cli.events.Next(stopAsked ? InterruptPoll() : WaitForEnd(cli, toMs, speed));
        const bool passed = PassedEnd(cli, toMs);
        if ((interrupted || passed) && !stopAsked) stopAsked = cli.engine.Stop();
        if (!event) continue;
        if (event->message == engine::kEvError) failed = true;
        HandleEvent(cli, *event);
        if (event->message == engine::kEvPlayEnd) return !failed;
    }
}

int RunPlay(const Arguments& args) {
    PlayArgs a;
    if (auto error = ParseArgs(args, a)) return UsageError(*error);
    DeviceSetup setup;
    if (auto error = ChooseDevices(a.common, false, true, setup)) return UsageError(*error);
    setup.changeSpeed = a.speed.has_value();
    if (!RepairBeforeUse("play", a.file)) return kExitFailure;
    CliEngine& cli = MakeCliEngine(setup);
    CatchInterrupt(&cli.events);
    if (const engine::ResultCode init = cli.engine.Init(cli.events); !init.Ok()) return Fail(cli, init);
    const std::uint32_t speed = a.speed.value_or(engine::kNormalSpeed);
    cli.engine.SetPlaybackSpeed(speed);

    engine::AudioFileInfo info;
    if (const engine::ResultCode opened = cli.engine.OpenFile(a.file, MediaFor(cli, a.common, a.file), info); !opened.Ok()) {
        return FailToOpen(cli, a.file, opened);
    }
    if (a.fromMs) {
        static_cast<void>(cli.engine.SetPosition(*a.fromMs));
        // The seek is reported at once, before playback starts.
        if (auto event = cli.events.Next(std::chrono::milliseconds(0))) HandleEvent(cli, *event);
    }
    if (a.toMs && cli.fileOut) {
        // From where the seek landed (whole blocks), so the file holds from..to,
        // which lasts less at a higher speed.
        const std::uint32_t from = cli.engine.GetPositionMs();
        const std::uint64_t stretch = *a.toMs > from ? *a.toMs - from : 0;
        cli.fileOut->SetPlayLimit(static_cast<std::uint32_t>(stretch * engine::kNormalSpeed / speed));
        cli.fileOut->SetOnLimitReached([&events = cli.events] { events.Wake(); });
    }
    if (const engine::ResultCode started = cli.engine.PlayStart(); !started.Ok()) return Fail(cli, started);
    const bool clean = RunUntilPlayEnd(cli, a.toMs, speed);
    if (const engine::ResultCode closed = cli.engine.CloseFile(); !closed.Ok()) return Fail(cli, closed);
    return clean ? kExitOk : kExitFailure;
}

const CommandRegistration registration({"play", kUsage, "play a recording into the sound card or a WAV file",
                                        RunPlay});

}  // namespace
}  // namespace tavrin::cli
