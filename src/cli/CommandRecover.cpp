// tavrin-cli recover: repairs the recordings that a crash, a kill or a power
// cut left unfinished, as the window does at start-up. Only files the
// program's journals name are touched.
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "platform/posix/PosixFileSystem.h"
#include "storage/Recovery.h"

namespace tavrin::cli {
namespace {

int RunRecover(const Arguments& args) {
    for (const auto& a : args) {
        if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "Usage: tavrin-cli recover [FOLDER|FILE]...\n");
            return kExitUsage;
        }
    }
    platform::PosixFileSystem files;
    Arguments scope;
    for (const auto& a : args) scope.push_back(platform::AbsolutePath(a));
    bool allRepaired = true;
    for (const auto& r : storage::RecoverRecordings(files, platform::StateFolder(), scope)) {
        if (!r.repaired) {
            std::fprintf(stderr, "tavrin-cli recover: could not repair %s\n", r.path.c_str());
            if (!r.audioKeptIn.empty())
                std::fprintf(stderr, "tavrin-cli recover: its audio stays in %s until there is room for it\n",
                             r.audioKeptIn.c_str());
            allRepaired = false;
            continue;
        }
        const std::uint32_t s = r.lengthMs / 1000;
        std::printf("%s\t%02u:%02u:%02u.%03u\n", r.path.c_str(), s / 3600, s / 60 % 60, s % 60, r.lengthMs % 1000);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return kExitFailure;
    return allRepaired ? kExitOk : kExitFailure;
}

const CommandRegistration registration({"recover", "recover [FOLDER|FILE]...",
                                        "repair recordings a crash left unfinished (no argument: all)", RunRecover});

}  // namespace
}  // namespace tavrin::cli
