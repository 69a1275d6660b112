// How long one recording can last and how much the free space holds, with
// free space, physical memory and the commit limit set by the test.
#include "engine/EngineHarness.h"
#include "wav/Formats.h"

namespace tavrin::engine::testing {
namespace {

struct CapacityCase {
    const char* name;
    std::uint32_t format;
    std::optional<std::uint64_t> free;
    std::uint64_t physical;
    std::optional<std::uint64_t> commitLimit;
    bool slow;
    std::int32_t remaining;
    std::int32_t total;
    std::uint32_t commits;  // probe attempts
};

class CapacityTest : public EngineTest, public ::testing::WithParamInterface<CapacityCase> {};

TEST_P(CapacityTest, EstimatesFollowFreeSpaceAndCommittableMemory) {
    const CapacityCase c = GetParam();
    fs.setFreeSpace(c.free);
    if (!c.free) fs.failNth(test::Fault::FreeSpace, 1, true);
    memory.setAvailablePhysical(c.physical);
    memory.setCommitLimit(c.commitLimit);
    const std::uint32_t commitsBefore = memory.commitCalls();
    EXPECT_EQ(engine->RemainingSeconds(c.format, dir.path(), c.slow ? platform::Media::Slow : platform::Media::Fast), c.remaining);
    EXPECT_EQ(memory.commitCalls() - commitsBefore, c.commits);
    EXPECT_EQ(memory.liveBlocks(), 0u) << "the probe gives back what it got";
    EXPECT_EQ(engine->TotalSeconds(c.format, dir.path()), c.total);
}

INSTANTIATE_TEST_SUITE_P(
    Capacity, CapacityTest,
    ::testing::Values(
        CapacityCase{"GsmOnFastMedia", wav::kCodeGsm, 1'625'000, 64u << 20, std::nullopt, false, 1000, 1000, 0},
        CapacityCase{"ProbeStepsDownToWhatCommits", wav::kCodePcm8k8, 10'000'000, 6'000'000, 5'200'000, true, 625,
                     1250, 3},
        CapacityCase{"NothingCommittable", wav::kCodePcm8k8, 10'000'000, 300'000, 0, true, 0, 1250, 1},
        CapacityCase{"MemoryAboveFreeSpaceIsNotProbed", wav::kCodePcm22k16, 441'000, 64u << 20, 0, true, 10, 10, 0},
        CapacityCase{"NoFreeSpace", wav::kCodePcm8k16, 0, 64u << 20, std::nullopt, true, 0, 0, 0},
        CapacityCase{"FreeSpaceQueryFails", wav::kCodePcm8k16, std::nullopt, 64u << 20, std::nullopt, false, 0, 0, 0},
        CapacityCase{"UnknownFormatBit", 0x2, 1'000'000'000, 64u << 20, std::nullopt, false, 0, 0, 0},
        // One recording is a WAV file, at most 4 GiB; all of the free space holds far more.
        CapacityCase{"FreeSpaceBeyondFourGiB", wav::kCodeGsm, 1ull << 40, 64u << 20, std::nullopt, false,
                     0xFFFFFFFFu / 1625, static_cast<std::int32_t>((1ull << 40) / 1625), 0}),
    CaseName<CapacityCase>);

TEST_F(EngineTest, WhileRecordingRemainingTimeIsTheRoomLeftInStorage) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    Fill(140);
    fs.setFreeSpace(0);
    memory.setAvailablePhysical(0);
    const auto expected = static_cast<std::int32_t>(EngineProbe(*engine).storage().SpaceLeft()) / 8000;
    EXPECT_GT(expected, 0);
    EXPECT_EQ(engine->RemainingSeconds(wav::kCodePcm8k8, dir.path(), platform::Media::Slow), expected);
    EXPECT_EQ(engine->TotalSeconds(wav::kCodePcm8k8, dir.path()), 0) << "total time looks at the disk only";
    StopCapture();
}

// On a disk far larger than a WAV file, the time left of a recording is what
// the file can still take: it counts down as the recording grows.
TEST_F(EngineTest, WhileRecordingOnALargeDiskTheTimeLeftCountsDown) {
    fs.setFreeSpace(81ull << 30);
    engine->SetStorage(dir.path(), platform::Media::Fast);  // straight into the file
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    const std::int32_t before = engine->RemainingSeconds(wav::kCodePcm8k8, dir.path(), platform::Media::Fast);
    for (int block = 0; block < 100; ++block) Fill(100);  // 20 s of 8 kHz 8-bit
    const std::int32_t after = engine->RemainingSeconds(wav::kCodePcm8k8, dir.path(), platform::Media::Fast);
    EXPECT_EQ(before, static_cast<std::int32_t>((0xFFFFFFFFu - 60) / 8000));
    EXPECT_EQ(before - after, 20);
    // The disk (less what the recording took of it) holds far more than one file can.
    EXPECT_GT(engine->TotalSeconds(wav::kCodePcm8k8, dir.path()), 20 * before);
    StopCapture();
}

TEST(CapacityRates, RatesFollowTheFormatTable) {
    EXPECT_EQ(BytesPerSecondOf(0x10), 22050u) << "22.05 kHz 8-bit is recorded though never offered";
    EXPECT_EQ(BytesPerSecondOf(wav::kCodePcm11k8), 11025u);
    EXPECT_EQ(BytesPerSecondOf(0), 2147483647u);
}

}  // namespace
}  // namespace tavrin::engine::testing
