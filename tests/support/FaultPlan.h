#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace tavrin::test {

// The kinds of platform call a test can make fail. The first nine are the
// calls of files, mappings and memory; the rest are the folder operations of
// the file system.
enum class Fault {
    Open,
    Read,
    Write,
    Seek,
    SetLength,
    Size,
    Map,
    Flush,
    Allocate,
    FreeSpace,
    Remove,
    Move,
    CreateDirectory,
    List,
    SyncFolder,
};
inline constexpr std::size_t kFaultKinds = static_cast<std::size_t>(Fault::SyncFolder) + 1;

const char* FaultName(Fault kind);

// Which calls fail. Shared by FaultyFileSystem (and the files and mappings it
// hands out) and FakeMemory, so that one "fail the n-th call" sweep covers
// everything an operation does. Every call of a kind is counted whether or
// not it fails; counting from "now" means from the moment a fault is armed.
// Thread-safe, since an engine thread may use the doubles too.
class FaultPlan {
public:
    // The n-th call of `kind` from now (n >= 1) fails; persistent: that call
    // and every later call of the kind fail.
    void failNth(Fault kind, std::uint32_t n, bool persistent = false);
    // The n-th call of any kind from now fails, counting all kinds together;
    // persistent: that call and every later call of any kind fail.
    void failNthCall(std::uint32_t n, bool persistent = false);
    // Disarms every fault and forgets that any fired; the counters go on.
    void resetFaults();
    // Sets every counter back to zero.
    void resetCounts();

    std::uint32_t calls(Fault kind) const;
    std::uint32_t totalCalls() const;
    bool faultFired() const { return faultsFired() > 0; }
    std::uint32_t faultsFired() const;

    // Called by the doubles before they act: counts the call and tells
    // whether it must fail.
    [[nodiscard]] bool shouldFail(Fault kind);

private:
    struct Trigger {
        bool armed = false;
        bool persistent = false;
        std::uint32_t at = 0;  // value of the counter at which the fault fires
    };
    static std::size_t Index(Fault kind) { return static_cast<std::size_t>(kind); }
    static bool Fires(const Trigger& t, std::uint32_t count);

    mutable std::mutex mutex;
    std::array<std::uint32_t, kFaultKinds> counts{};
    std::array<Trigger, kFaultKinds> kindTriggers{};
    std::uint32_t total = 0;
    Trigger anyTrigger;
    std::uint32_t fired = 0;
};

}  // namespace tavrin::test
