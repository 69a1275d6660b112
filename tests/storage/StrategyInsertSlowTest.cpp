#include <gtest/gtest.h>

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
        const Bytes audio = Pattern(format.BlockBytes() * 3000, 1);
        const Bytes fresh = Pattern(format.BlockBytes() * 700, 2);
        const std::uint32_t block = 1000;
        const std::uint32_t p = block * format.BlockBytes();
        ASSERT_EQ(rig.SelectFile(model::WavFile(format, audio)), Status::Ok);
        ASSERT_TRUE(rig.ctx.SeekToSample(block));
        ASSERT_TRUE(rig.ctx.Insert());
        EXPECT_EQ(rig.OnDisk().size(), format.HeaderBytes() + audio.size() + kInsertAreaBytes)
            << "lengthened by the whole area while inserting";
        EXPECT_EQ(rig.ctx.SpaceLeft(), kInsertAreaBytes);
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
        const Bytes audio = Pattern(5'000'000, 5);
        ASSERT_EQ(rig.SelectFile(model::WavFile(kPcm8, audio)), Status::Ok);
        ASSERT_TRUE(rig.ctx.Insert());
        ASSERT_EQ(rig.Record(fresh, 1000), Status::Ok);
        ASSERT_EQ(rig.ctx.Close(), Status::Ok);
        EXPECT_EQ(rig.OnDisk(), model::WavFile(kPcm8, Cat(fresh, audio)));
    }
    SlowRig rig;
    const Bytes file = model::WavFile(kPcm8, Pattern(5'000'001, 6));
    ASSERT_EQ(rig.SelectFile(file), Status::Ok);
    EXPECT_FALSE(rig.ctx.Insert());
    EXPECT_TRUE(rig.Is(rig.ctx.selectSlow.get()));
    EXPECT_EQ(rig.OnDisk(), file);
}

TEST(StrategyInsertSlow, AnInsertionHoldsAtMostOneByteLessThanTheArea) {
    SlowRig rig;
    const Bytes audio = Pattern(2000, 7);
    ASSERT_EQ(rig.SelectFile(model::WavFile(kPcm16, audio)), Status::Ok);
    ASSERT_TRUE(rig.ctx.Insert());
    const Bytes fresh = Pattern(kInsertAreaBytes, 8);
    EXPECT_EQ(rig.ctx.WriteData(fresh.data(), kInsertAreaBytes), Status::FileError);
    ASSERT_EQ(rig.ctx.WriteData(fresh.data(), kInsertAreaBytes - 1), Status::Ok);
    EXPECT_EQ(rig.ctx.SpaceLeft(), 1u);
    EXPECT_EQ(rig.ctx.WriteData(fresh.data(), 1), Status::FileError);
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), model::WavFile(kPcm16, Cat(Slice(fresh, 0, kInsertAreaBytes - 1), audio)));
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

// Insert in the middle, two blocks, End, Close with each call failing in turn:
// the file ends as the completed insertion or as the old recording, byte for
// byte. Only when every later call fails too may the header or the length
// stay wrong; the old audio is never harmed.
TEST(StrategyInsertSlowFaults, InsertRecordEndClose) {
    for (const auto& format : {kPcm16, kGsm}) {
        SCOPED_TRACE(format.name);
        const Bytes audio = Pattern(format.BlockBytes() * 2000, 11);
        const Bytes fresh = Pattern(2 * format.PieceBytes(), 12);
        const std::uint32_t p = 500 * format.BlockBytes();
        const Bytes old = model::WavFile(format, audio);
        const Bytes inserted =
            model::WavFile(format, Cat(Cat(Slice(audio, 0, p), fresh), Slice(audio, p, audio.size())));
        SweepFaults([&](FaultRun& run) {
            SlowRig& rig = run.rig;
            ASSERT_EQ(rig.SelectFile(old), Status::Ok);
            ASSERT_TRUE(rig.ctx.SeekToSample(500));
            run.Arm();
            const bool inserting = rig.ctx.Insert();
            Status ended = Status::FileError;
            Status closed = Status::FileError;
            if (inserting) {
                EXPECT_EQ(rig.Record(fresh, format.PieceBytes()), Status::Ok);
                ended = rig.ctx.End();
            }
            closed = rig.ctx.Close();
            run.Disarm();
            EXPECT_TRUE(rig.ctx.IsIdle());
            const Bytes disk = rig.OnDisk();
            if (ended == Status::Ok) {
                EXPECT_EQ(disk, inserted);
            } else if (!run.Persistent()) {
                EXPECT_EQ(disk, old);
                EXPECT_EQ(closed, Status::Ok) << "a single failure leaves nothing owing at Close";
            } else if (disk != inserted) {
                // Nothing could be repaired, yet the old audio stands where it stood.
                ASSERT_GE(disk.size(), old.size());
                EXPECT_EQ(Slice(disk, format.HeaderBytes(), old.size()), audio);
            }
        });
    }
}

}  // namespace
}  // namespace tavrin::storage
