#include "platform/posix/PosixMemory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tavrin::platform {
namespace {

TEST(PosixMemory, CommitGivesZeroedWritableMemory) {
    PosixMemory memory;
    EXPECT_EQ(memory.commit(0), nullptr);
    constexpr std::size_t bytes = 3 * 65536 + 5;
    auto* block = static_cast<std::uint8_t*>(memory.commit(bytes));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[bytes - 1], 0);
    std::memset(block, 0xA5, bytes);
    EXPECT_EQ(block[bytes / 2], 0xA5);
    memory.release(block, bytes);
}

TEST(PosixMemory, CommitBeyondTheAddressSpaceFails) {
    PosixMemory memory;
    EXPECT_EQ(memory.commit(~std::size_t{0} - 65535), nullptr);
}

TEST(PosixMemory, AvailablePhysicalIsReported) { EXPECT_GT(PosixMemory().availablePhysical(), 0u); }

TEST(PosixMemory, MemAvailableOfMeminfoText) {
    struct Case {
        const char* text;
        std::optional<std::uint64_t> bytes;
    };
    const Case cases[] = {
        {"MemTotal:       16318412 kB\nMemFree:         1234 kB\nMemAvailable:   8000000 kB\n", 8000000ull * 1024},
        {"MemAvailable: 1 kB\n", 1024},
        {"MemTotal: 5 kB\nMemFree: 3 kB\n", std::nullopt},
        {"XMemAvailable: 5 kB\n", std::nullopt},
        {"MemAvailable:\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(MemAvailableOf(c.text), c.bytes) << c.text;
}

TEST(PosixSystemInfo, GranularityIsAMultipleOfThePageSize) {
    EXPECT_EQ(PosixSystemInfo().allocationGranularity(), 65536u);
}

}  // namespace
}  // namespace tavrin::platform
