// tavrin-cli recover: repairs the recordings that a crash, a kill or a power
// cut left unfinished, as the window does at start-up. Only files the
// program's journals name are touched.
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "platform/posix/PosixFileSystem.h"
#include "storage/Journal.h"
#include "storage/Recovery.h"

namespace tavrin::cli {
namespace {

// A path as one field of a line: as it is, unless a tab, a line break or
// another control character, a quote or a backslash would make the line
// ambiguous; then in double quotes with C escapes.
std::string Field(const std::string& path) {
    bool plain = true;
    for (unsigned char c : path) plain = plain && c >= 0x20 && c != 0x7F && c != '"' && c != '\\';
    if (plain) return path;
    std::string out = "\"";
    for (unsigned char c : path) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t' || c == '\n') {
            out += c == '\t' ? "\\t" : "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

int RunRecover(const Arguments& args) {
    Arguments scope;
    bool optionsDone = false;
    for (const auto& a : args) {
        if (!optionsDone && a == "--") {
            optionsDone = true;
        } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "Usage: tavrin-cli recover [--] [FOLDER|FILE]...\n");
            return kExitUsage;
        } else {
            scope.push_back(platform::AbsolutePath(a));
        }
    }
    platform::PosixFileSystem files;
    const std::string state = platform::StateFolder();
    bool allRepaired = true;
    for (const auto& r : storage::RecoverRecordings(files, state, scope)) {
        allRepaired = allRepaired && r.repaired;
        if (!r.setAside.empty()) {
            std::fprintf(stderr, "tavrin-cli recover: %s: %s; its journal is kept in %s\n", Field(r.path).c_str(),
                         r.setAside.c_str(), Field(storage::SetAsideFolder(state)).c_str());
        } else if (!r.repaired) {
            std::fprintf(stderr, "tavrin-cli recover: could not repair %s\n", Field(r.path).c_str());
            if (!r.audioKeptIn.empty())
                std::fprintf(stderr, "tavrin-cli recover: its audio stays in %s until there is room for it\n",
                             Field(r.audioKeptIn).c_str());
        } else {
            const std::uint32_t s = r.lengthMs / 1000;
            std::printf("%s\t%02u:%02u:%02u.%03u\n", Field(r.path).c_str(), s / 3600, s / 60 % 60, s % 60,
                        r.lengthMs % 1000);
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return kExitFailure;
    return allRepaired ? kExitOk : kExitFailure;
}

const CommandRegistration registration({"recover", "recover [--] [FOLDER|FILE]...",
                                        "repair recordings a crash left unfinished (no argument: all)", RunRecover});

}  // namespace
}  // namespace tavrin::cli
