// tavrin-cli capacity: how long one more recording in a folder can last, and
// how much audio its free space holds, as the recording options show them.
#include <cstdio>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/Session.h"
#include "wav/Formats.h"

namespace tavrin::cli {
namespace {

constexpr const char* kUsage = "capacity [--format CODE|LABEL] FOLDER";

std::string Duration(std::int32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

int UsageError(const std::string& text) {
    std::fprintf(stderr, "tavrin-cli capacity: %s\nUsage: tavrin-cli %s\n", text.c_str(), kUsage);
    return kExitUsage;
}

int RunCapacity(const Arguments& args) {
    std::uint32_t format = wav::kCodeGsm;
    std::optional<std::string> folder;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--format") {
            if (i + 1 >= args.size()) return UsageError("--format needs a value");
            const auto code = ParseFormat(args[++i]);
            if (!code) return UsageError("unknown format '" + args[i] + "'");
            format = *code;
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "'");
        } else if (!folder) {
            folder = arg;
        } else {
            return UsageError("only one FOLDER at a time");
        }
    }
    if (!folder) return UsageError("FOLDER is missing");
    CliEngine& cli = MakeCliEngine({});
    if (!cli.files.isDirectory(*folder)) {
        std::fprintf(stderr, "tavrin-cli capacity: %s is not a folder\n", folder->c_str());
        return kExitFailure;
    }
    // As the recording options ask: memory bounds a recording only where it is held there.
    const std::int32_t single = cli.engine.RemainingSeconds(format, *folder, MediaFor(cli, {}, *folder));
    const std::int32_t total = cli.engine.TotalSeconds(format, *folder);
    std::printf("Single recording time: %s (%d s)\n", Duration(single).c_str(), single);
    std::printf("Total recording time: %s (%d s)\n", Duration(total).c_str(), total);
    return kExitOk;
}

const CommandRegistration registration({"capacity", kUsage,
                                        "how long a recording in FOLDER can last, and how much fits", RunCapacity});

}  // namespace
}  // namespace tavrin::cli
