// tavrin-cli cut: removes a stretch of a recording, in whole blocks, with
// the crash safety of every edit: after a kill the file is the old recording
// or the cut one. Marks inside the stretch go; those after it move back.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/Session.h"

namespace tavrin::cli {
namespace {

constexpr const char* kUsage = "cut FILE [--from-ms A] [--to-ms B] [--media auto|slow|fast]";

int UsageError(const std::string& why) {
    std::fprintf(stderr, "tavrin-cli cut: %s\nUsage: tavrin-cli %s\n", why.c_str(), kUsage);
    return kExitUsage;
}

struct CutArgs {
    std::string file;
    std::optional<std::uint32_t> fromMs;
    std::optional<std::uint32_t> toMs;
    CommonOptions common;
};

std::optional<std::string> ParseArgs(const Arguments& args, CutArgs& a) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (TakeCommonOption(args, i, a.common, error)) {
            if (!error.empty()) return error;
            continue;
        }
        const std::string& arg = args[i];
        if (arg == "--from-ms" || arg == "--to-ms") {
            const auto ms = i + 1 < args.size() ? ParseNumber(args[i + 1], 0, 4294967295.0) : std::nullopt;
            if (!ms || *ms != std::floor(*ms)) return arg + " wants whole milliseconds";
            ++i;
            (arg == "--from-ms" ? a.fromMs : a.toMs) = static_cast<std::uint32_t>(*ms);
        } else if (!arg.empty() && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else if (a.file.empty()) {
            a.file = arg;
        } else {
            return "only one FILE can be cut at a time";
        }
    }
    if (a.file.empty()) return "FILE is missing";
    if (a.common.audioIn || a.common.audioOut) return "cut takes no --audio-in or --audio-out";
    return std::nullopt;
}

int RunCut(const Arguments& args) {
    CutArgs a;
    if (auto error = ParseArgs(args, a)) return UsageError(*error);
    DeviceSetup setup;
    if (auto error = ChooseDevices(a.common, false, false, setup)) return UsageError(*error);
    // Reserved zeros a kill left behind must not pass for audio to move.
    if (!RepairBeforeUse("cut", a.file)) return kExitFailure;
    CliEngine& cli = MakeCliEngine(setup);
    if (const engine::ResultCode init = cli.engine.Init(cli.events); !init.Ok()) return Fail(cli, init);
    engine::AudioFileInfo info;
    const engine::ResultCode opened = cli.engine.OpenFile(a.file, MediaFor(cli, a.common, a.file), info);
    if (!opened.Ok()) return FailToOpen(cli, a.file, opened);
    const engine::AudioEngine::CutResult cut = cli.engine.CutMs(a.fromMs, a.toMs);
    static_cast<void>(cli.engine.CloseFile());
    if (cut == engine::AudioEngine::CutResult::OutsideAudio) {
        std::fprintf(stderr, "tavrin-cli cut: the range is empty or outside the audio (%u ms); nothing was cut\n",
                     static_cast<unsigned>(info.durationMs));
        return kExitFailure;
    }
    if (cut != engine::AudioEngine::CutResult::Cut) {
        std::fprintf(stderr, "tavrin-cli cut: %s could not be cut; a cut that had begun is finished by "
                     "tavrin-cli recover\n", a.file.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

const CommandRegistration registration({"cut", kUsage, "remove a stretch of a recording, moving the rest back",
                                        RunCut});

}  // namespace
}  // namespace tavrin::cli
