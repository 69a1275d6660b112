#pragma once

#include <functional>

namespace tavrin::platform {

// SIGTERM (the session ending, a shutdown), SIGHUP (the terminal or the
// session going away) and SIGINT (Ctrl-C) would end the process at once and
// lose the recording in progress. Once caught, each of them only writes a
// byte into a pipe; the program's main loop watches the pipe's reading end
// and ends the way closing the window does, after saving.
//
// Returns the reading end (non-blocking; the same pipe on every call), or -1
// when no pipe could be made, in which case the signals keep their default.
int CatchTerminationSignals();
// Empties the pipe without waiting; the number of signals that arrived since
// the last call.
int TakeTerminationSignals(int readEnd);
// For a program without an event loop: calls `onSignal` on a thread of its
// own whenever signals have come through the pipe of `readEnd` (several at
// once may make one call). The thread sleeps until then and lasts as long as
// the process, so `onSignal` may only touch what does too. False when no
// thread could be made.
[[nodiscard]] bool CallOnTerminationSignals(int readEnd, std::function<void()> onSignal);
// Gives the three signals their default action again.
void RestoreTerminationSignals();

}  // namespace tavrin::platform
