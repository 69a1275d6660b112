#include "platform/posix/InstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/posix/SystemCall.h"

namespace tavrin::platform {
namespace {

constexpr std::string_view kRaise = "raise\n";

std::optional<sockaddr_un> AddressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

// The holder's socket: what a crashed holder left at `path` goes first.
int Listen(const std::string& path) {
    const auto address = AddressOf(path);
    if (!address) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        close(fd);
        return -1;
    }
    chmod(path.c_str(), S_IRUSR | S_IWUSR);  // only this user asks
    return fd;
}

// Who holds the lock, in the lines a Qt lock file holds (process, program,
// host): a recorder of an earlier version, which reads them, then sees a
// holder that lives or one that has gone, rather than a lock it cannot read.
void WriteHolder(int fd) {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const std::string lines =
        std::to_string(getpid()) + "\n" + program_invocation_short_name + "\n" + std::string(host) + "\n";
    if (ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t ignored = pwrite(fd, lines.data(), lines.size(), 0);
    }
}

}  // namespace

InstanceGuard::InstanceGuard(std::string where) : path(std::move(where)) {}

InstanceGuard::~InstanceGuard() {
    if (listening >= 0) {
        close(listening);
        unlink(path.c_str());
    }
    // The lock file stays: removing it could let two launches lock two files.
    if (lock >= 0) close(lock);
}

InstanceGuard::Outcome InstanceGuard::acquire() {
    const std::string lockPath = path + ".lock";
    lock = posix::RetryOnEintr([&] { return open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600); });
    if (lock < 0) return Outcome::Failed;
    if (posix::RetryOnEintr([&] { return flock(lock, LOCK_EX | LOCK_NB); }) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        close(lock);
        lock = -1;
        return taken ? Outcome::Taken : Outcome::Failed;
    }
    WriteHolder(lock);
    listening = Listen(path);
    return Outcome::Holder;
}

int InstanceGuard::takeRaiseRequests() {
    int count = 0;
    char message[64];
    for (ssize_t got; listening >= 0 && (got = recv(listening, message, sizeof message, 0)) >= 0;) {
        if (std::string_view(message, static_cast<std::size_t>(got)) == kRaise) ++count;
    }
    return count;
}

bool InstanceGuard::askToRaise(const std::string& path) {
    const auto address = AddressOf(path);
    if (!address) return false;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const ssize_t sent = posix::RetryOnEintr([&] {
        return sendto(fd, kRaise.data(), kRaise.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                      reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
    });
    close(fd);
    return sent == static_cast<ssize_t>(kRaise.size());
}

}  // namespace tavrin::platform
