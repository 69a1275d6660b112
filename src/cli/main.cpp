// tavrin-cli: the recorder's engine and storage driven from a shell, without
// the GUI. Every sub-command is registered by its own file.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/Commands.h"

namespace tavrin::cli {
namespace {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

void PrintHelp(std::FILE* out) {
    std::fprintf(out, "Usage: tavrin-cli COMMAND [OPTIONS]\n\nCommands:\n");
    auto commands = RegisteredCommands();
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return std::strcmp(a.name, b.name) < 0; });
    for (const auto& c : commands) std::fprintf(out, "  %-48s %s\n", c.usage, c.summary);
}

}  // namespace

CommandRegistration::CommandRegistration(const Command& command) { Registry().push_back(command); }

const std::vector<Command>& RegisteredCommands() { return Registry(); }

}  // namespace tavrin::cli

int main(int argc, char** argv) {
    using namespace tavrin::cli;
    if (argc < 2) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintHelp(stdout);
        return kExitOk;
    }
    for (const auto& c : RegisteredCommands()) {
        if (name == c.name) return c.run(Arguments(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "tavrin-cli: unknown command '%s'\n", name.c_str());
    PrintHelp(stderr);
    return kExitUsage;
}
