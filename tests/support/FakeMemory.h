#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/Memory.h"
#include "support/FaultPlan.h"

namespace tavrin::test {

// Memory for tests: real zero-filled blocks, a settable amount of available
// physical memory, an optional limit on the total of live commits, and
// Fault::Allocate from a fault plan (share FaultyFileSystem::plan() to sweep
// allocations and file calls together). Releasing a block that is not live,
// or with another size than it was committed with, fails the running test.
//
//   FakeMemory memory(fs.plan());
//   memory.setAvailablePhysical(64 << 20);
//   memory.setCommitLimit(8 << 20);
//   ... run the code ...
//   EXPECT_EQ(memory.liveBlocks(), 0u);
class FakeMemory : public platform::Memory {
public:
    explicit FakeMemory(std::shared_ptr<FaultPlan> plan = nullptr);
    ~FakeMemory() override;
    FakeMemory(const FakeMemory&) = delete;
    FakeMemory& operator=(const FakeMemory&) = delete;

    const std::shared_ptr<FaultPlan>& plan() const { return faults; }
    void setAvailablePhysical(std::uint64_t bytes);
    // nullopt: no limit.
    void setCommitLimit(std::optional<std::uint64_t> bytes);

    std::size_t liveBlocks() const;
    std::uint64_t liveBytes() const;
    // Every commit asked for, granted or not.
    std::uint32_t commitCalls() const;

    std::uint64_t availablePhysical() override;
    // Null for 0 bytes, beyond the commit limit or when Fault::Allocate fires.
    [[nodiscard]] void* commit(std::size_t bytes) override;
    void release(void* block, std::size_t bytes) override;

private:
    std::shared_ptr<FaultPlan> faults;
    mutable std::mutex mutex;
    std::uint64_t available = 256ull << 20;
    std::optional<std::uint64_t> limit;
    std::map<void*, std::size_t> blocks;
    std::uint64_t committed = 0;
    std::uint32_t requests = 0;
};

// The allocation granularity as a test sets it. A granularity below the page
// size still works with the POSIX mapping, which maps from the page below.
class FakeSystemInfo : public platform::SystemInfo {
public:
    explicit FakeSystemInfo(std::uint32_t bytes = 65536) : granularity(bytes) {}
    void setGranularity(std::uint32_t bytes) { granularity = bytes; }
    std::uint32_t allocationGranularity() const override { return granularity; }

private:
    std::uint32_t granularity;
};

}  // namespace tavrin::test
