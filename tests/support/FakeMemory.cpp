#include "support/FakeMemory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace tavrin::test {
namespace {

// Page-aligned like the real commit, so that alignment assumptions show up here too.
constexpr std::size_t kAlignment = 4096;

}  // namespace

FakeMemory::FakeMemory(std::shared_ptr<FaultPlan> plan)
    : faults(plan ? std::move(plan) : std::make_shared<FaultPlan>()) {}

FakeMemory::~FakeMemory() {
    for (auto& [block, bytes] : blocks) std::free(block);
}

void FakeMemory::setAvailablePhysical(std::uint64_t bytes) {
    std::lock_guard lock(mutex);
    available = bytes;
}

void FakeMemory::setCommitLimit(std::optional<std::uint64_t> bytes) {
    std::lock_guard lock(mutex);
    limit = bytes;
}

std::size_t FakeMemory::liveBlocks() const {
    std::lock_guard lock(mutex);
    return blocks.size();
}

std::uint64_t FakeMemory::liveBytes() const {
    std::lock_guard lock(mutex);
    return committed;
}

std::uint32_t FakeMemory::commitCalls() const {
    std::lock_guard lock(mutex);
    return requests;
}

std::uint64_t FakeMemory::availablePhysical() {
    std::lock_guard lock(mutex);
    return available;
}

void* FakeMemory::commit(std::size_t bytes) {
    std::lock_guard lock(mutex);
    ++requests;
    if (faults->shouldFail(Fault::Allocate) || bytes == 0) return nullptr;
    if (limit && committed + bytes > *limit) return nullptr;
    const std::size_t rounded = (bytes + kAlignment - 1) / kAlignment * kAlignment;
    void* block = std::aligned_alloc(kAlignment, rounded);
    if (!block) return nullptr;
    std::memset(block, 0, rounded);
    blocks[block] = bytes;
    committed += bytes;
    return block;
}

void FakeMemory::release(void* block, std::size_t bytes) {
    std::lock_guard lock(mutex);
    const auto it = blocks.find(block);
    if (it == blocks.end()) {
        ADD_FAILURE() << "FakeMemory: release of a block that is not committed";
        return;
    }
    if (it->second != bytes) {
        ADD_FAILURE() << "FakeMemory: block of " << it->second << " bytes released as " << bytes;
    }
    committed -= it->second;
    std::free(block);
    blocks.erase(it);
}

}  // namespace tavrin::test
