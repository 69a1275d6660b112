#include <gtest/gtest.h>

#include "FastMediaRig.h"
#include "storage/Recovery.h"
#include "storage/StrategyIdle.h"
#include "storage/StrategyInsertFast.h"
#include "storage/StrategySelectFast.h"

namespace tavrin::storage {
namespace {

using namespace fasttest;

// The bytes of `audio` with `added` put in at audio offset `at`.
Bytes Inserted(const Bytes& audio, std::size_t at, const Bytes& added) {
    return Cat(Cat(Slice(audio, 0, at), added), Slice(audio, at, audio.size()));
}

TEST(InsertFastTest, PutsTheNewAudioAtThePlaybackPositionAndPlaysOnAfterIt) {
    struct Case {
        const char* what;
        bool gsm;
        std::size_t audio;
        std::uint32_t block;  // where playback stands
        std::size_t added;
    };
    const Case cases[] = {
        {"in the middle, across windows", false, 60'000, 20'000, 25'001},
        {"at block 0", false, 20'000, 0, 3'000},
        {"tail shorter than a window step", false, 20'000, 19'000, 9'000},
        {"GSM", true, 65 * 400, 123, 65 * 77},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FastRig rig;
        const Bytes audio = Pattern(c.audio, 1);
        const Bytes added = Pattern(c.added, 2);
        auto file = [&](const Bytes& a) { return c.gsm ? GsmFile(a) : PcmFile(8000, 8, a); };
        const std::size_t at = c.block * (c.gsm ? 65u : 1u);
        ASSERT_EQ(rig.SelectFile(file(audio)), Status::Ok);
        ASSERT_TRUE(rig.ctx.SeekToSample(c.block));
        ASSERT_TRUE(rig.ctx.Insert());
        EXPECT_TRUE(rig.Is(rig.ctx.insertFast.get()));
        // The disk bounds it, less the margin and the tail the buffer holds.
        EXPECT_EQ(rig.ctx.SpaceLeft(), kFastRoomyDisk - StrategyCreateSlow::kSpareDiskBytes - (c.audio - at));
        ASSERT_EQ(rig.Record(added, 1625), Status::Ok);
        EXPECT_EQ(rig.ctx.CurrentWriteSample(), c.block + (c.gsm ? c.added / 65 : c.added));
        EXPECT_EQ(rig.OnDiskPrefix(file(audio).size()), file(audio)) << "nothing reaches the file before End";

        ASSERT_EQ(rig.ctx.End(), Status::Ok);
        EXPECT_TRUE(rig.Is(rig.ctx.selectFast.get()));
        EXPECT_EQ(rig.ctx.DataSize(), c.audio + c.added);
        EXPECT_EQ(rig.ctx.CurrentReadSample(), c.block + (c.gsm ? c.added / 65 : c.added));
        const Bytes expected = Inserted(audio, at, added);
        const std::uint32_t piece = rig.ctx.AvgBytesPerSec() / 5;
        EXPECT_EQ(rig.Play(piece), Slice(expected, at + added.size(), expected.size()));
        EXPECT_EQ(rig.Play(piece), expected) << "and then the whole recording from block 0";
        ASSERT_EQ(rig.ctx.Close(), Status::Ok);
        EXPECT_EQ(rig.OnDisk(), file(expected));
        rig.ExpectNothingHeld();
    }
}

TEST(InsertFastTest, AtTheVeryEndPlaybackStartsOverAfterTheInsertedAudio) {
    FastRig rig;
    const Bytes audio = Pattern(64'000, 3);  // exactly one 8-second fill
    const Bytes added = Pattern(2'000, 4);
    ASSERT_EQ(rig.SelectFile(PcmFile(8000, 8, audio)), Status::Ok);
    Bytes piece(1600);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(rig.ctx.ReadData(piece.data(), 1600), Status::Ok);
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 64'000u);
    ASSERT_TRUE(rig.ctx.Insert());
    ASSERT_EQ(rig.Record(added, 1600), Status::Ok);
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 66'000u);
    Status last = Status::Ok;
    EXPECT_EQ(rig.Play(1600, &last), Bytes{});
    EXPECT_EQ(last, Status::EndOfData);
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 0u);
    EXPECT_EQ(rig.Play(1600), Cat(audio, added));
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), PcmFile(8000, 8, Cat(audio, added)));
}

TEST(InsertFastTest, WithNothingRecordedTheFileStaysByteForByte) {
    FastRig rig;
    const Bytes file = PcmFile(8000, 16, Pattern(40'000, 5));
    ASSERT_EQ(rig.SelectFile(file), Status::Ok);
    ASSERT_TRUE(rig.ctx.SeekToSample(7'000));
    ASSERT_TRUE(rig.ctx.Insert());
    const Bytes taken = Pattern(3'000, 6);
    ASSERT_EQ(rig.Record(taken, 3'000), Status::Ok);
    ASSERT_EQ(rig.ctx.BackTrack(3'000), Status::Ok);
    EXPECT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 7'000u);
    EXPECT_EQ(rig.ctx.DataSize(), 40'000u);
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), file);
}

TEST(InsertFastTest, TakesATailOfFiveMillionBytesButNotOneMore) {
    FastRig rig;
    rig.fs.setFreeSpace(12'000'000);
    const Bytes audio = Pattern(5'000'100, 7);
    const Bytes file = PcmFile(8000, 8, audio);
    ASSERT_EQ(rig.SelectFile(file), Status::Ok);
    ASSERT_TRUE(rig.ctx.SeekToSample(99));
    EXPECT_FALSE(rig.ctx.Insert());
    EXPECT_TRUE(rig.Is(rig.ctx.selectFast.get()));
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 99u) << "a refused insertion changes nothing";
    ASSERT_TRUE(rig.ctx.SeekToSample(100));
    ASSERT_TRUE(rig.ctx.Insert());
    const Bytes added = Pattern(1'000, 8);
    ASSERT_EQ(rig.Record(added, 1'000), Status::Ok);
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), PcmFile(8000, 8, Inserted(audio, 100, added)));
}

// An insertion is bounded like a recording, by the free space of the volume
// (less a margin) or the memory, whichever is less, and by nothing smaller:
// it holds that less the tail it moves, less the last byte.
TEST(InsertFastTest, TheBufferHoldsWhatTheDiskOrMemoryAllowLessOneByte) {
    struct Case {
        std::uint64_t freeSpace;
        std::uint64_t memory;
        std::uint32_t capacity;
    };
    for (const Case c :
         {Case{4 * kTwice + 10'000, 64u << 20, 4 * kTwice}, Case{kFastRoomyDisk, 3'000'000 + 2 * kTwice, 3'000'000}}) {
        SCOPED_TRACE(c.capacity);
        FastRig rig;
        rig.fs.setFreeSpace(c.freeSpace);
        rig.memory.setAvailablePhysical(c.memory);
        const Bytes audio = Pattern(30'000, 9);
        ASSERT_EQ(rig.SelectFile(PcmFile(22050, 16, audio)), Status::Ok);
        ASSERT_TRUE(rig.ctx.SeekToSample(14'000));
        ASSERT_TRUE(rig.ctx.Insert());
        const std::uint32_t room = c.capacity - 2'000;
        EXPECT_EQ(rig.ctx.SpaceLeft(), room);
        const Bytes added = Pattern(room - 1, 10);
        ASSERT_EQ(rig.Record(added, 8'820), Status::Ok);
        EXPECT_EQ(rig.ctx.SpaceLeft(), 1u);
        const std::uint8_t more[2] = {1, 2};
        EXPECT_EQ(rig.ctx.WriteData(more, 1), Status::FileError) << "the last byte of the buffer stays unused";
        ASSERT_EQ(rig.ctx.End(), Status::Ok);
        ASSERT_EQ(rig.ctx.Close(), Status::Ok);
        EXPECT_EQ(rig.OnDisk(), PcmFile(22050, 16, Inserted(audio, 28'000, added)));
    }
}

// --- Every platform call failing in turn -------------------------------------

// An insertion ends as the old recording or the completed insertion, byte for
// byte; when every later call failed too, the file may keep its reservation
// after one of the two.
void ExpectOldOrNew(FastFaultRun& run, const Bytes& old, const Bytes& completed, bool mustBeNew) {
    const Bytes disk = run.rig.OnDiskPrefix(completed.size() + 1);
    const bool cut = run.rig.LengthOnDisk() == disk.size();
    const bool isOld = cut ? disk == old : Slice(disk, 0, old.size()) == old;
    const bool isNew = cut ? disk == completed : Slice(disk, 0, completed.size()) == completed;
    EXPECT_TRUE(isNew || (isOld && !mustBeNew)) << "neither the old recording nor the completed insertion";
    if (!run.Persistent()) {
        EXPECT_TRUE(cut) << "the reservation is given back";
    }
}

TEST(InsertFastFaultTest, InsertStartsOrChangesNothing) {
    const Bytes audio = Pattern(5 * kTwice, 11);
    const Bytes old = PcmFile(8000, 8, audio);
    const Bytes added = Pattern(4'000, 12);
    SweepFastFaults([&](FastFaultRun& run) {
        FastRig& rig = run.rig;
        ASSERT_EQ(rig.SelectFile(old), Status::Ok);
        ASSERT_TRUE(rig.ctx.SeekToSample(kTwice + 5));  // the insertion window starts off any boundary
        ASSERT_TRUE(rig.ctx.SeekToSample(3 * kTwice + 5));
        run.Arm();
        const bool started = rig.ctx.Insert();
        const bool fired = run.Disarm();
        // A refused allocation is tried again smaller; anything else refuses.
        if (!started) {
            EXPECT_TRUE(fired);
        }
        if (!started) {
            EXPECT_TRUE(rig.Is(rig.ctx.selectFast.get()));
            EXPECT_EQ(rig.ctx.CurrentReadSample(), 3 * kTwice + 5);
        }
        if (started) {
            ASSERT_EQ(rig.Record(added, 1600), Status::Ok);
        }
        (void)rig.ctx.Close();
        const Bytes completed = PcmFile(8000, 8, Inserted(audio, 3 * kTwice + 5, added));
        ExpectOldOrNew(run, old, completed, started);
        rig.ExpectNothingHeld();
    });
}

// Also for a file with a chunk after its audio, which must end behind the
// new audio (an odd count of 65-byte blocks: after a pad byte). The insertion
// is journalled, as the program journals it: what a failure leaves is for
// recovery to finish, as after a crash.
TEST(InsertFastFaultTest, EndCompletesTheInsertionOrLeavesTheOldRecording) {
    const Bytes audio = Pattern(5 * kTwice + 9, 13);
    const Bytes oldAudio = Slice(audio, 0, audio.size() / 65 * 65);
    const Bytes added = Pattern(65 * 101, 14);
    const std::size_t at = 65 * 300;
    const Bytes newAudio = Inserted(oldAudio, at, added);
    for (const Bytes& chunk : {Bytes{}, model::kListChunk}) {
        const Bytes old = model::WithTrailer(GsmFile(oldAudio), chunk);
        const Bytes completed = model::WithTrailer(GsmFile(newAudio), chunk.empty() ? chunk : Cat(Bytes{0}, chunk));
        for (const bool viaClose : {false, true}) {
            SCOPED_TRACE(testing::Message() << (viaClose ? "Close" : "End") << ", chunk of " << chunk.size());
            SweepFastFaults([&](FastFaultRun& run) {
                FastRig& rig = run.rig;
                const std::string state = rig.dir.file("state");
                rig.ctx.journal.SetFolder(state);
                ASSERT_EQ(rig.SelectFile(old), Status::Ok);
                ASSERT_TRUE(rig.ctx.SeekToSample(300));
                ASSERT_TRUE(rig.ctx.Insert());
                ASSERT_EQ(rig.Record(added, 1625), Status::Ok);
                run.Arm();
                const Status status = viaClose ? rig.ctx.Close() : rig.ctx.End();
                run.Disarm();
                EXPECT_FALSE(rig.Is(rig.ctx.insertFast.get()));
                if (!viaClose) (void)rig.ctx.Close();
                (void)RecoverRecordings(rig.fs, state);
                ExpectOldOrNew(run, old, completed, status == Status::Ok);
                rig.ExpectNothingHeld();
            });
        }
    }
}

}  // namespace
}  // namespace tavrin::storage
