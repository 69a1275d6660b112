#include "platform/posix/TerminationSignals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>

namespace tavrin::platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

int pipeEnds[2] = {-1, -1};

// Runs in whatever thread the signal lands on, between any two instructions:
// only write(2), which is async-signal-safe, and errno kept as it was.
extern "C" void OnTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t ignored = write(pipeEnds[1], &byte, 1);
    errno = saved;
}

}  // namespace

int CatchTerminationSignals() {
    if (pipeEnds[0] < 0 && pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeEnds[0] = pipeEnds[1] = -1;
        return -1;
    }
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) sigaction(signal, &action, nullptr);
    return pipeEnds[0];
}

int TakeTerminationSignals(int readEnd) {
    int count = 0;
    char bytes[64];
    for (ssize_t got; (got = read(readEnd, bytes, sizeof bytes)) > 0;) count += static_cast<int>(got);
    return count;
}

bool CallOnTerminationSignals(int readEnd, std::function<void()> onSignal) {
    try {
        std::thread([readEnd, onSignal = std::move(onSignal)] {
            for (;;) {
                pollfd watched{readEnd, POLLIN, 0};
                if (poll(&watched, 1, -1) < 0 && errno != EINTR) return;
                if (TakeTerminationSignals(readEnd) > 0) onSignal();
            }
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void RestoreTerminationSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) sigaction(signal, &action, nullptr);
}

}  // namespace tavrin::platform
