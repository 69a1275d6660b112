// tavrin-cli: the recorder's engine and storage driven from a shell, without
// the GUI. Every sub-command is registered by its own file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace tavrin::cli {
namespace {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

constexpr std::size_t kHelpWidth = 79;

// The words of a usage line, a bracketed option with its value kept whole.
std::vector<std::string> UsageWords(const char* usage) {
    std::vector<std::string> words;
    std::string word;
    int depth = 0;
    for (const char* p = usage; *p; ++p) {
        if (*p == ' ' && depth == 0) {
            if (!word.empty()) words.push_back(word);
            word.clear();
            continue;
        }
        if (*p == '[') ++depth;
        if (*p == ']' && depth > 0) --depth;
        word += *p;
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

// `usage` folded into lines of at most kHelpWidth columns; the lines after
// the first start under the command's first argument.
void PrintUsage(std::FILE* out, const Command& c) {
    const std::size_t indent = 2 + std::strlen(c.name) + 1;
    std::string line = "  ";
    for (const std::string& word : UsageWords(c.usage)) {
        const bool first = line.size() <= indent;
        if (!first && line.size() + 1 + word.size() > kHelpWidth) {
            std::fprintf(out, "%s\n", line.c_str());
            line.assign(indent, ' ');
            line += word;
            continue;
        }
        if (line.size() > 2 && line.back() != ' ') line += ' ';
        line += word;
    }
    std::fprintf(out, "%s\n", line.c_str());
}

void PrintHelp(std::FILE* out) {
    std::fprintf(out,
                 "Usage: tavrin-cli COMMAND [OPTIONS]\n"
                 "       tavrin-cli --help | --version\n\nCommands:\n");
    auto commands = RegisteredCommands();
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return std::strcmp(a.name, b.name) < 0; });
    int nameWidth = 0;
    for (const auto& c : commands) nameWidth = std::max(nameWidth, static_cast<int>(std::strlen(c.name)));
    for (const auto& c : commands) std::fprintf(out, "  %-*s  %s\n", nameWidth, c.name, c.summary);
    std::fprintf(out, "\nOptions of each command:\n");
    for (const auto& c : commands) PrintUsage(out, c);
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
    if (name == "--version") {
        std::printf("tavrin-cli %s\n", TAVRIN_VERSION);
        return kExitOk;
    }
    for (const auto& c : RegisteredCommands()) {
        if (name == c.name) return c.run(Arguments(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "tavrin-cli: unknown command '%s'\n", name.c_str());
    PrintHelp(stderr);
    return kExitUsage;
}
