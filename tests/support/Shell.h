#pragma once

// Running commands through /bin/sh from the process tests.

#include <string>

namespace tavrin::test {

// `s` as one word for the shell, whatever it holds.
std::string Quote(const std::string& s);

struct ShellRun {
    bool started = false;  // false: no shell could be started
    int status = -1;       // the exit status; -1 when ended by a signal
    std::string out;       // what the command printed on standard output
};

// Runs `command` and waits for it, collecting its standard output.
ShellRun Shell(const std::string& command);

}  // namespace tavrin::test
