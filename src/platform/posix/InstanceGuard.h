#pragma once

#include <string>

namespace tavrin::platform {

// One program per user, made of two things beside each other in the user's
// runtime folder: an exclusive lock (flock) on `path` + ".lock", which a
// killed or crashed holder lets go of at once, and a datagram socket at
// `path`, on which later launches ask the holder to come forward. A datagram
// needs no connection to accept and no reply: the holder's event loop reads
// whatever came whenever the socket is readable.
class InstanceGuard {
public:
    enum class Outcome {
        Holder,  // this process holds the lock and listens
        Taken,   // another process holds it
        Failed,  // the lock file could not be made or locked
    };

    explicit InstanceGuard(std::string path);
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    [[nodiscard]] Outcome acquire();
    // The holder's socket (non-blocking) to watch for reading; -1 when it
    // could not be made, and the holder then simply cannot be asked.
    int socket() const { return listening; }
    // Reads every message that has come, without waiting: how many asked to
    // come forward.
    int takeRaiseRequests();

    // Asks the holder at `path` to come forward, without waiting. False when
    // nobody listens there (a holder still starting or already gone).
    static bool askToRaise(const std::string& path);

private:
    std::string path;
    int lock = -1;
    int listening = -1;
};

}  // namespace tavrin::platform
