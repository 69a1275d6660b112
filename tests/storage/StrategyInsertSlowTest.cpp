#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "SlowMediaRig.h"
#include "storage/StrategyInsertSlow.h"
#include "storage/StrategySelectSlow.h"

namespace tavrin::storage {
namespace {

using namespace slowtest;
using model::kGsm;
using model::kPcm16;
using model::kPcm8;

TEST(StrategyInsertSlow, InsertedAudioPushesTheRestBackAndPlaybackGoesOnAfterIt) {
    for (const auto& format : {kPcm8, kPcm16, kGsm}) {
        SCOPED_TRACE(format.name);
        SlowRig rig;
        constexpr std::uint32_t capacity = 500'000;
        rig.memory.setAvailablePhysical(capacity + 2 * kTwice);
        const Bytes audio = Pattern(format.BlockBytes() * 3000, 1);
        const Bytes fresh = Pattern(format.BlockBytes() * 700, 2);
        const std::uint32_t block = 1000;
        const std::uint32_t p = block * format.BlockBytes();
        ASSERT_EQ(rig.SelectFile(model::WavFile(format, audio)), Status::Ok);
        ASSERT_TRUE(rig.ctx.SeekToSample(block));
        ASSERT_TRUE(rig.ctx.Insert());
        EXPECT_EQ(rig.OnDisk(), model::WavFile(format, audio)) << "untouched while inserting";
        EXPECT_EQ(rig.ctx.SpaceLeft(), capacity - (audio.size() - p)) << "the buffer less the tail it holds";
        ASSERT_EQ(rig.Record(fresh, format.PieceBytes()), Status::Ok);
        EXPECT_EQ(rig.ctx.CurrentWriteSample(), block + 700);
        EXPECT_EQ(rig.ctx.DataSize(), audio.size() + fresh.size());
        ASSERT_EQ(rig.ctx.End(), Status::Ok);
        EXPECT_TRUE(rig.Is(rig.ctx.selectSlow.get()));
        EXPECT_EQ(rig.OnDisk(), model::WavFile(format, Cat(Cat(Slice(audio, 0, p), fresh), Slice(audio, p, audio.size()))));
        EXPECT_EQ(rig.ctx.CurrentReadSample(), block + 700);
        EXPECT_EQ(rig.Play(format.PieceBytes()), Slice(audio, p, audio.size())) << "what was at p comes next";
        ASSERT_EQ(rig.ctx.Close(), Status::Ok);
        rig.ExpectNothingHeld();
    }
}

TEST(StrategyInsertSlow, InsertingNothingLeavesTheFileAsItWas) {
    SlowRig rig;
    const Bytes file = model::WavFile(kPcm16, Pattern(9000, 3));
    ASSERT_EQ(rig.SelectFile(file), Status::Ok);
    ASSERT_TRUE(rig.ctx.SeekToSample(2000));
    ASSERT_TRUE(rig.ctx.Insert());
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), file);
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 2000u);
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), file);
}

TEST(StrategyInsertSlow, TailOfFiveMillionBytesIsMovedOneMoreIsRefused) {
    const Bytes fresh = Pattern(1000, 4);
    {
        SlowRig rig;
        rig.memory.setAvailablePhysical(12'000'000);
        const Bytes audio = Pattern(5'000'000, 5);
        ASSERT_EQ(rig.SelectFile(model::WavFile(kPcm8, audio)), Status::Ok);
        ASSERT_TRUE(rig.ctx.Insert());
        ASSERT_EQ(rig.Record(fresh, 1000), Status::Ok);
        ASSERT_EQ(rig.ctx.Close(), Status::Ok);
        EXPECT_EQ(rig.OnDisk(), model::WavFile(kPcm8, Cat(fresh, audio)));
    }
    SlowRig rig;
    rig.memory.setAvailablePhysical(12'000'000);
    const Bytes file = model::WavFile(kPcm8, Pattern(5'000'001, 6));
    ASSERT_EQ(rig.SelectFile(file), Status::Ok);
    EXPECT_FALSE(rig.ctx.Insert());
    EXPECT_TRUE(rig.Is(rig.ctx.selectSlow.get()));
    EXPECT_EQ(rig.OnDisk(), file);
}

// An insertion is bounded like an Append, by the free space of the volume
// and the memory, not by a fixed area: it holds what its buffer has beside
// the tail it moves, less the last byte. A tail that would take half the
// buffer leaves too little to record and is refused.
TEST(StrategyInsertSlow, AnInsertionHoldsWhatTheBufferHasBesideTheTail) {
    struct Case {
        const char* name;
        std::uint64_t disk;
        std::uint32_t capacity;
    };
    const Case cases[] = {{"memory bounds it", kRoomyDisk, kCapacity},
                          {"the disk bounds it", 3 * kTwice + StrategyCreateSlow::kSpareDiskBytes, 3 * kTwice},
                          {"well past the old insert area", kRoomyDisk, 3'000'000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SlowRig rig;
        rig.fs.setFreeSpace(c.disk);
        rig.memory.setAvailablePhysical(std::uint64_t{c.capacity} + 2 * kTwice);
        const Bytes audio = Pattern(2000, 7);
        ASSERT_EQ(rig.SelectFile(model::WavFile(kPcm16, audio)), Status::Ok);
        ASSERT_TRUE(rig.ctx.SeekToSample(200));
        ASSERT_TRUE(rig.ctx.Insert());
        const std::uint32_t room = c.capacity - 1600;
        EXPECT_EQ(rig.ctx.SpaceLeft(), room);
        const Bytes fresh = Pattern(room, 8);
        EXPECT_EQ(rig.ctx.WriteData(fresh.data(), room), Status::FileError);
        ASSERT_EQ(rig.ctx.WriteData(fresh.data(), room - 1), Status::Ok);
        EXPECT_EQ(rig.ctx.SpaceLeft(), 1u);
        ASSERT_EQ(rig.ctx.End(), Status::Ok);
        EXPECT_EQ(rig.OnDisk(),
                  model::WavFile(kPcm16, Cat(Cat(Slice(audio, 0, 400), Slice(fresh, 0, room - 1)), Slice(audio, 400, 2000))));
        ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    }
    SlowRig rig;
    rig.memory.setAvailablePhysical(std::uint64_t{3 * kTwice} + 2 * kTwice);
    const Bytes file = model::WavFile(kPcm16, Pattern(3 * kTwice / 2, 9));
    ASSERT_EQ(rig.SelectFile(file), Status::Ok);
    EXPECT_FALSE(rig.ctx.Insert()) << "a tail of half the buffer";
    EXPECT_TRUE(rig.Is(rig.ctx.selectSlow.get()));
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), file);
    rig.ExpectNothingHeld();
}

TEST(StrategyInsertSlow, BackTrackTakesBackInsertedAudioOnly) {
    SlowRig rig;
    const Bytes audio = Pattern(4000, 9);
    ASSERT_EQ(rig.SelectFile(model::WavFile(kPcm8, audio)), Status::Ok);
    ASSERT_TRUE(rig.ctx.SeekToSample(1000));
    ASSERT_TRUE(rig.ctx.Insert());
    const Bytes fresh = Pattern(3000, 10);
    ASSERT_EQ(rig.Record(fresh, 1600), Status::Ok);
    EXPECT_EQ(rig.ctx.BackTrack(3001), Status::FileError);
    ASSERT_EQ(rig.ctx.BackTrack(1000), Status::Ok);
    EXPECT_EQ(rig.ctx.DataSize(), 6000u);
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(),
              model::WavFile(kPcm8, Cat(Cat(Slice(audio, 0, 1000), Slice(fresh, 0, 2000)), Slice(audio, 1000, 4000))));
}

// Insert in the middle, two blocks, End, Close with each call failing in turn,
// journalled as the program journals it. A single failure leaves the old
// recording (the insertion refused) or the completed one (End's failure made
// good by Close). When every later call fails too, the file may be left
// half-written, but never beyond what the next start's recovery mends: it
// then holds the recording with a prefix of the insertion (whole blocks; none
// or all of it included). A format a case: a sweep takes seconds under the
// sanitizers.
class StrategyInsertSlowFaults : public testing::TestWithParam<model::Format> {};

TEST_P(StrategyInsertSlowFaults, InsertRecordEndClose) {
    const model::Format& format = GetParam();
    const Bytes audio = Pattern(format.BlockBytes() * 2000, 11);
    const Bytes fresh = Pattern(2 * format.PieceBytes(), 12);
    const std::uint32_t p = 500 * format.BlockBytes();
    const Bytes old = model::WavFile(format, audio);
    const auto insertedUpTo = [&](std::size_t k) {
        return model::WavFile(format, Cat(Cat(Slice(audio, 0, p), Slice(fresh, 0, k)), Slice(audio, p, audio.size())));
    };
    const Bytes inserted = insertedUpTo(fresh.size());
    SweepFaults([&](FaultRun& run) {
        SlowRig& rig = run.rig;
        rig.UseJournals();
        ASSERT_EQ(rig.SelectFile(old), Status::Ok);
        ASSERT_TRUE(rig.ctx.SeekToSample(500));
        run.Arm();
        const bool inserting = rig.ctx.Insert();
        if (inserting) {
            EXPECT_EQ(rig.Record(fresh, format.PieceBytes()), Status::Ok);
            (void)rig.ctx.End();
        }
        const Status closed = rig.ctx.Close();
        run.Disarm();
        EXPECT_TRUE(rig.ctx.IsIdle());
        if (closed == Status::Ok) {
            EXPECT_EQ(rig.OnDisk(), inserting ? inserted : old);
        } else {
            EXPECT_TRUE(run.Persistent()) << "a single failure is made good by Close";
        }
        (void)rig.Recover();
        const Bytes disk = rig.OnDisk();
        bool prefix = false;
        for (std::size_t k = 0; k <= fresh.size() && !prefix; k += format.BlockBytes()) prefix = disk == insertedUpTo(k);
        EXPECT_TRUE(prefix) << disk.size() << " bytes after recovery";
    });
}

INSTANTIATE_TEST_SUITE_P(Formats, StrategyInsertSlowFaults, testing::Values(kPcm16, kGsm), [](const auto& param) {
    std::string name;
    for (const char c : std::string(param.param.name))
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    return name;
});

}  // namespace
}  // namespace tavrin::storage
