#include <gtest/gtest.h>

#include "SlowMediaRig.h"
#include "storage/StrategyCreateSlow.h"
#include "storage/StrategySelectSlow.h"

namespace tavrin::storage {
namespace {

using namespace slowtest;
using model::kGsm;
using model::kPcm16;
using model::kPcm8;

struct AllocationCase {
    const char* name;
    std::uint64_t freeSpace;
    std::uint64_t memory;
    std::optional<std::uint64_t> commitLimit;
    bool accepted;
    std::uint32_t capacity;
};

class BufferAllocation : public testing::TestWithParam<AllocationCase> {};

TEST_P(BufferAllocation, TakesWhatDiskAndMemoryAllowLessTheMargins) {
    const AllocationCase& c = GetParam();
    SlowRig rig;
    rig.fs.setFreeSpace(c.freeSpace);
    rig.memory.setAvailablePhysical(c.memory);
    rig.memory.setCommitLimit(c.commitLimit);
    ASSERT_EQ(rig.Create(kPcm8), c.accepted ? Status::Ok : Status::FileError);
    if (c.accepted) {
        EXPECT_EQ(rig.ctx.bufferCapacity, c.capacity);
        EXPECT_EQ(rig.memory.liveBytes(), c.capacity);
        EXPECT_EQ(rig.ctx.SpaceLeft(), c.capacity - 44);
    } else {
        EXPECT_EQ(rig.memory.liveBlocks(), 0u);
        EXPECT_FALSE(rig.Exists()) << "a refused recording leaves no file";
    }
    EXPECT_EQ(rig.ctx.Close(), Status::Ok);
    rig.ExpectNothingHeld();
}

constexpr std::uint64_t kBig = 1ull << 30;

INSTANTIATE_TEST_SUITE_P(
    Edges, BufferAllocation,
    testing::Values(AllocationCase{"MemoryExactlyFourUnits", kBig, 4 * kTwice, std::nullopt, true, 2 * kTwice},
                    AllocationCase{"MemoryOneByteShort", kBig, 4 * kTwice - 1, std::nullopt, false, 0},
                    AllocationCase{"DiskExactlyTwoUnitsAndMargin", 2 * kTwice + 10'000, kBig, std::nullopt, true,
                                   2 * kTwice},
                    AllocationCase{"DiskOneByteShort", 2 * kTwice + 9'999, kBig, std::nullopt, false, 0},
                    AllocationCase{"DiskSmallerThanMemory", 300'000, kBig, std::nullopt, true, 290'000},
                    AllocationCase{"ShrinksInSteps", kBig, 2'000'000 + 2 * kTwice, 1'200'000, true, 1'000'000},
                    AllocationCase{"NothingCommittable", kBig, 2'000'000, 1'000, false, 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(StrategyCreateSlow, SpaceLeftAfterCreateIsTheBufferLessTheHeader) {
    SlowRig rig;
    ASSERT_EQ(rig.Create(kPcm16), Status::Ok);
    EXPECT_EQ(rig.ctx.SpaceLeft(), kCapacity - 44);
    rig.path = rig.dir.file("b.wav");  // a new recording never replaces a file
    ASSERT_EQ(rig.Create(kGsm), Status::Ok);
    EXPECT_EQ(rig.ctx.SpaceLeft(), kCapacity - 60);
}

TEST(StrategyCreateSlow, TheLastByteOfTheBufferIsNeverUsed) {
    SlowRig rig;
    ASSERT_EQ(rig.Create(kPcm8), Status::Ok);
    const std::uint32_t room = kCapacity - 44;
    const Bytes audio = Pattern(room, 1);
    EXPECT_EQ(rig.ctx.WriteData(audio.data(), room), Status::FileError) << "would fill the buffer";
    EXPECT_EQ(rig.ctx.DataSize(), 0u);
    ASSERT_EQ(rig.ctx.WriteData(audio.data(), room - 1), Status::Ok);
    EXPECT_EQ(rig.ctx.SpaceLeft(), 1u);
    EXPECT_EQ(rig.ctx.WriteData(audio.data(), 1), Status::FileError);
    EXPECT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), model::WavFile(kPcm8, Slice(audio, 0, room - 1)));
}

TEST(StrategyCreateSlow, BackTrackTakesBackOnlyThisRecordingsAudio) {
    SlowRig rig;
    ASSERT_EQ(rig.Create(kPcm16), Status::Ok);
    const Bytes audio = Pattern(3200, 2);
    ASSERT_EQ(rig.Record(audio, 3200), Status::Ok);
    for (std::uint32_t n : {3201u, 0u, 100'000u}) {
        EXPECT_EQ(rig.ctx.BackTrack(n), Status::FileError) << n;
        EXPECT_EQ(rig.ctx.DataSize(), 3200u);
        EXPECT_EQ(rig.ctx.CurrentWriteSample(), 1600u);
    }
    ASSERT_EQ(rig.ctx.BackTrack(1200), Status::Ok);
    EXPECT_EQ(rig.ctx.DataSize(), 2000u);
    EXPECT_EQ(rig.ctx.CurrentWriteSample(), 1000u);
    EXPECT_EQ(rig.ctx.SpaceLeft(), kCapacity - 44 - 2000);
    ASSERT_EQ(rig.ctx.BackTrack(2000), Status::Ok);
    EXPECT_EQ(rig.ctx.BackTrack(1), Status::FileError) << "the header is not audio";
    ASSERT_EQ(rig.Record(Slice(audio, 0, 10), 10), Status::Ok);
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), model::WavFile(kPcm16, Slice(audio, 0, 10)));
}

TEST(StrategyCreateSlow, NothingReachesTheFileBeforeEnd) {
    SlowRig rig;
    ASSERT_EQ(rig.Create(kGsm), Status::Ok);
    const Bytes audio = Pattern(65 * 50, 3);
    ASSERT_EQ(rig.Record(audio, 325), Status::Ok);
    EXPECT_TRUE(rig.OnDisk().empty());
    EXPECT_EQ(rig.fs.calls(test::Fault::Write), 0u);
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), model::WavFile(kGsm, audio));
    EXPECT_EQ(rig.memory.liveBlocks(), 0u) << "the buffer goes with End";
}

TEST(StrategyCreateSlow, AfterEndTheRecordingPlaysFromBlockZero) {
    SlowRig rig;
    ASSERT_EQ(rig.Create(kPcm8), Status::Ok);
    const Bytes audio = Pattern(5000, 4);
    ASSERT_EQ(rig.Record(audio, 1600), Status::Ok);
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_TRUE(rig.Is(rig.ctx.selectSlow.get()));
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 0u);
    EXPECT_EQ(rig.ctx.cacheCapacity, 8u * 8000u);
    Status last = Status::Ok;
    EXPECT_EQ(rig.Play(1600, &last), audio);
    EXPECT_EQ(last, Status::EndOfData);
    EXPECT_EQ(rig.fs.calls(test::Fault::Open), 1u) << "played without opening the file again";
}

TEST(StrategyCreateSlow, NeverTakesThePlaceOfAnExistingFile) {
    SlowRig rig;
    const Bytes older(10'000, 0x55);
    test::WriteBytes(rig.path, older);
    EXPECT_EQ(rig.Create(kPcm8), Status::FileError);
    EXPECT_EQ(rig.ctx.End(), Status::Ok);
    (void)rig.ctx.Close();
    EXPECT_EQ(rig.OnDisk(), older);
    rig.ExpectNothingHeld();
}

TEST(StrategyCreateSlow, AudioThatEndCouldNotWriteIsWrittenByClose) {
    SlowRig rig;
    ASSERT_EQ(rig.Create(kPcm8), Status::Ok);
    const Bytes audio = Pattern(20'000, 6);
    ASSERT_EQ(rig.Record(audio, 1600), Status::Ok);
    rig.fs.setShortWrite(5000);  // the card fills up in the middle of the buffer
    EXPECT_EQ(rig.ctx.End(), Status::FileError);
    EXPECT_TRUE(rig.Is(rig.ctx.selectSlow.get())) << "playback position can still be asked";
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 0u);
    EXPECT_EQ(rig.memory.liveBlocks(), 1u) << "the audio is kept";
    rig.fs.setShortWrite(std::nullopt);
    EXPECT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), model::WavFile(kPcm8, audio)) << "written again from where it belongs";
    rig.ExpectNothingHeld();
}

TEST(StrategyCreateSlow, AudioThatCannotBeWrittenAtAllIsReportedAndTheFileStaysEmpty) {
    SlowRig rig;
    ASSERT_EQ(rig.Create(kPcm8), Status::Ok);
    const Bytes audio = Pattern(20'000, 7);
    ASSERT_EQ(rig.Record(audio, 1600), Status::Ok);
    rig.fs.setShortWrite(5000);
    EXPECT_EQ(rig.ctx.End(), Status::FileError);
    EXPECT_EQ(rig.ctx.Close(), Status::FileError);
    EXPECT_TRUE(rig.OnDisk().empty()) << "as it was before End, not a header over half the audio";
    rig.ExpectNothingHeld();
}

TEST(StrategyCreateSlow, AnAppendThatCannotBeWrittenLeavesTheOldRecording) {
    SlowRig rig;
    const Bytes old = model::WavFile(kPcm16, Pattern(4000, 8));
    ASSERT_EQ(rig.SelectFile(old), Status::Ok);
    ASSERT_TRUE(rig.ctx.Append());
    ASSERT_EQ(rig.Record(Pattern(9000, 9), 3200), Status::Ok);
    // The audio reaches the file, but its length cannot be checked.
    rig.fs.failNth(test::Fault::Size, 1, true);
    EXPECT_EQ(rig.ctx.End(), Status::FileError);
    EXPECT_GT(rig.OnDisk().size(), old.size());
    // At Close nothing can be written any more: the appended audio is cut off again.
    rig.fs.failNth(test::Fault::Write, 1, true);
    EXPECT_EQ(rig.ctx.Close(), Status::FileError);
    rig.fs.resetFaults();
    EXPECT_EQ(rig.OnDisk(), old);
}

// Create, three blocks, End and Close with each platform call failing in
// turn. The file is then absent, empty (as a recording that never reached
// End), or the complete recording; only when every call from some point on
// fails may the audio stand under a header that could not be finished.
TEST(StrategyCreateSlowFaults, CreateRecordEndClose) {
    for (const auto& format : {kPcm8, kGsm}) {
        SCOPED_TRACE(format.name);
        const Bytes audio = Pattern(3 * format.PieceBytes(), 10);
        const Bytes complete = model::WavFile(format, audio);

        SweepFaults([&](FaultRun& run) {
            SlowRig& rig = run.rig;
            run.Arm();
            const Status created = rig.Create(format);
            const Status recorded = rig.Record(audio, format.PieceBytes());
            const Status ended = rig.ctx.End();
            const Status closed = rig.ctx.Close();
            run.Disarm();
            EXPECT_TRUE(rig.ctx.IsIdle());
            if (created != Status::Ok) {
                EXPECT_NE(recorded, Status::Ok);
            }
            const Bytes disk = rig.Exists() ? rig.OnDisk() : Bytes{};
            const bool whole = created == Status::Ok && recorded == Status::Ok && closed == Status::Ok;
            if (whole) {
                EXPECT_EQ(disk, complete);
            } else if (!run.Persistent()) {
                EXPECT_TRUE(disk.empty()) << disk.size() << " bytes";
            } else if (!disk.empty()) {
                ASSERT_EQ(disk.size(), complete.size());
                EXPECT_EQ(Slice(disk, format.HeaderBytes(), disk.size()), audio) << "the audio itself is whole";
            }
            if (!run.Persistent() && created == Status::Ok && recorded == Status::Ok) {
                EXPECT_EQ(closed, Status::Ok) << "a single failure at End is repaired by Close";
            }
            if (ended == Status::Ok && created == Status::Ok) {
                EXPECT_EQ(disk, complete);
            }
        });
    }
}

// An existing recording, Append, two blocks, End, Close: the old recording or
// the extended one, never anything in between unless nothing can be repaired.
// With and without a chunk after the audio, which stays behind it.
TEST(StrategyCreateSlowFaults, AppendRecordEndClose) {
    for (const Bytes& after : {Bytes{}, model::kListChunk}) {
        SCOPED_TRACE(after.size());
        const Bytes oldAudio = Pattern(5000, 11);
        const Bytes added = Pattern(3200, 12);
        const Bytes old = model::WithTrailer(model::WavFile(kPcm16, oldAudio), after);
        const Bytes extended = model::WithTrailer(model::WavFile(kPcm16, Cat(oldAudio, added)), after);
        SweepFaults([&](FaultRun& run) {
            SlowRig& rig = run.rig;
            ASSERT_EQ(rig.SelectFile(old), Status::Ok);
            run.Arm();
            const bool appended = rig.ctx.Append();
            Status closed = Status::FileError;
            if (appended) {
                static_cast<void>(rig.Record(added, 1600));
                static_cast<void>(rig.ctx.End());
                closed = rig.ctx.Close();
            }
            run.Disarm();
            EXPECT_TRUE(rig.ctx.IsIdle());
            const Bytes disk = rig.OnDisk();
            if (closed == Status::Ok) {
                EXPECT_EQ(disk, extended);
            } else if (!run.Persistent()) {
                EXPECT_EQ(disk, old);
            } else {
                // Nothing could be undone, but the old audio is still all there.
                ASSERT_GE(disk.size(), 44 + oldAudio.size());
                EXPECT_EQ(Slice(disk, 44, 44 + oldAudio.size()), oldAudio);
            }
        });
    }
}

}  // namespace
}  // namespace tavrin::storage
