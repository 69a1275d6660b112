#pragma once

#include <string>
#include <vector>

namespace tavrin::cli {

// Exit statuses shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

using Arguments = std::vector<std::string>;

// One sub-command of tavrin-cli. Each command lives in its own file and
// registers itself with a static `CommandRegistration`.
struct Command {
    const char* name;
    const char* usage;    // one line: "info [--json] FILE..."
    const char* summary;  // one line of what it does
    int (*run)(const Arguments& args);
};

class CommandRegistration {
public:
    explicit CommandRegistration(const Command& command);
};

const std::vector<Command>& RegisteredCommands();

}  // namespace tavrin::cli
