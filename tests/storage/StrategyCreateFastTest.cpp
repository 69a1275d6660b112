#include <gtest/gtest.h>

#include <limits>

#include "FastMediaRig.h"
#include "storage/StrategyCreateFast.h"
#include "storage/StrategyIdle.h"
#include "storage/StrategySelectFast.h"

namespace tavrin::storage {
namespace {

using namespace fasttest;

// About a minute of audio (8,000 bytes a second) in whole windows.
constexpr std::uint32_t kMinuteStep = (60 * 8000 + kTwice - 1) / kTwice * kTwice;

TEST(CreateFastTest, ReservesAboutAMinuteAheadNeverTheWholeVolume) {
    struct Case {
        std::uint64_t freeSpace;
        Status status;
        std::uint32_t fileLimit;
        std::uint64_t spaceLeft;
    };
    const Case cases[] = {
        {2 * kTwice + 10'000, Status::Ok, 2 * kTwice, 2 * kTwice - 44},
        {2 * kTwice + 9'999, Status::FileError, 0, 0},
        // The last of a nearly full volume, in whole windows.
        {6 * kTwice + 10'000 + kTwice - 1, Status::Ok, 6 * kTwice, 6 * kTwice - 44},
        // The room on the volume, not only the reservation.
        {kFastRoomyDisk, Status::Ok, kMinuteStep, kFastRoomyDisk - 10'000 - 44},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.freeSpace);
        FastRig rig;
        rig.fs.setFreeSpace(c.freeSpace);
        ASSERT_EQ(rig.CreatePcm(), c.status);
        if (c.status == Status::Ok) {
            EXPECT_EQ(rig.ctx.fileLimit, c.fileLimit);
            EXPECT_EQ(rig.LengthOnDisk(), c.fileLimit) << "reserved before the first byte of audio";
            EXPECT_EQ(rig.ctx.SpaceLeft(), c.spaceLeft);
        } else {
            EXPECT_FALSE(test::FileExists(rig.path)) << "refused for space, so no file is made";
        }
        (void)rig.ctx.Close();
        EXPECT_TRUE(rig.shell.boxes().empty());
        rig.ExpectNothingHeld();
    }
}

TEST(CreateFastTest, ReservationGrowsAheadOfTheWritePointAndTheHeaderFollowsEveryBlock) {
    FastRig rig;
    ASSERT_EQ(rig.CreatePcm(), Status::Ok);
    const Bytes audio = Pattern(1600 * (3 * kMinuteStep / 1600), 21);
    std::uint32_t grown = 0;
    for (std::size_t at = 0; at < audio.size(); at += 1600) {
        const std::uint32_t before = rig.ctx.fileLimit;
        ASSERT_EQ(rig.ctx.WriteData(audio.data() + at, 1600), Status::Ok);
        if (rig.ctx.fileLimit != before) ++grown;
        const std::size_t end = 44 + at + 1600;
        EXPECT_GE(rig.ctx.fileLimit, end + kMinuteStep / 2) << "always half a step ahead";
        EXPECT_LE(rig.ctx.fileLimit, end + 2 * kMinuteStep) << "never more than a step and a half of zeros";
        // What a crash would leave is a playable recording of every block so far.
        if (at % (40 * 1600) == 0) {
            ASSERT_EQ(rig.OnDiskPrefix(end), PcmFile(8000, 8, Slice(audio, 0, at + 1600))) << "at " << at;
        }
    }
    EXPECT_GE(grown, 3u);
    EXPECT_GT(rig.fs.syncRequests(), 0) << "durability is asked for, off the writing thread";
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_EQ(rig.LengthOnDisk(), 44 + audio.size()) << "the reserved tail goes at End";
    EXPECT_EQ(rig.OnDisk(), PcmFile(8000, 8, audio));
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), PcmFile(8000, 8, audio));
}

TEST(CreateFastTest, AFullVolumeRefusingTheNextStepStopsTheRecordingWithEverythingKept) {
    for (const bool gsm : {false, true}) {
        SCOPED_TRACE(gsm);
        FastRig rig;
        ASSERT_EQ(gsm ? rig.CreateGsm() : rig.CreatePcm(), Status::Ok);
        const std::uint32_t first = rig.ctx.fileLimit;
        rig.fs.setShortWrite(0);  // another program filled the disk meanwhile
        const std::uint32_t piece = gsm ? 325 : 1600;
        const Bytes audio = Pattern(2 * first, 22);
        std::size_t stored = 0;
        while (rig.ctx.WriteData(audio.data() + stored, piece) == Status::Ok) stored += piece;
        EXPECT_EQ(rig.ctx.fileLimit, first) << "the refused step leaves the reservation as it was";
        EXPECT_GT(stored + piece, first - (gsm ? 60u : 44u) - 1) << "the whole reservation was used";
        EXPECT_EQ(rig.ctx.SpaceLeft(), first - (gsm ? 60u : 44u) - stored);
        ASSERT_EQ(rig.ctx.Close(), Status::Ok);
        const Bytes kept = Slice(audio, 0, stored);
        EXPECT_EQ(rig.OnDisk(), gsm ? GsmFile(kept) : PcmFile(8000, 8, kept));
    }
}

TEST(CreateFastTest, EmptyRecordingIsCutBackToItsHeaderAtClose) {
    struct Case {
        bool gsm;
        std::uint32_t rate;
        std::uint16_t bits;
    };
    for (const Case c : {Case{false, 8000, 8}, Case{false, 22050, 16}, Case{true, 8000, 0}}) {
        FastRig rig;
        ASSERT_EQ(c.gsm ? rig.CreateGsm() : rig.CreatePcm(c.rate, c.bits), Status::Ok);
        EXPECT_EQ(rig.LengthOnDisk(), rig.ctx.fileLimit);
        EXPECT_EQ(rig.ctx.Close(), Status::Ok);
        EXPECT_EQ(rig.OnDisk(), c.gsm ? GsmFile({}) : PcmFile(c.rate, c.bits, {}));
        EXPECT_TRUE(rig.Is(rig.ctx.idle.get()));
        rig.ExpectNothingHeld();
    }
}

TEST(CreateFastTest, WritesAcrossWindowBoundariesLandAtTheirOffsets) {
    // Pieces smaller than, equal to and larger than one window step, so that
    // boundaries fall inside pieces, at their ends and several times in one.
    for (std::size_t piece : {1000u, 3001u, kTwice, 8820u, 2 * kTwice + 7}) {
        SCOPED_TRACE(piece);
        FastRig rig;
        const Bytes audio = Pattern(5 * kTwice + 123, static_cast<std::uint32_t>(piece));
        ASSERT_EQ(rig.CreatePcm(), Status::Ok);
        ASSERT_EQ(rig.Record(audio, piece), Status::Ok);
        EXPECT_EQ(rig.ctx.CurrentWriteSample(), audio.size());
        ASSERT_EQ(rig.ctx.End(), Status::Ok);
        const Bytes expected = PcmFile(8000, 8, audio);
        EXPECT_EQ(rig.OnDisk(), expected) << "finished and cut at End";
        ASSERT_EQ(rig.ctx.Close(), Status::Ok);
        EXPECT_EQ(rig.OnDisk(), expected);
    }
}

TEST(CreateFastTest, SpaceLeftFallsWithEachWriteAndRisesWithEachBackTrack) {
    FastRig rig;
    ASSERT_EQ(rig.CreatePcm(), Status::Ok);
    const std::uint32_t room = rig.ctx.SpaceLeft();
    const Bytes audio = Pattern(3 * kTwice, 1);
    ASSERT_EQ(rig.Record(Slice(audio, 0, 20'000), 20'000), Status::Ok);
    EXPECT_EQ(rig.ctx.SpaceLeft(), room - 20'000);
    ASSERT_EQ(rig.ctx.BackTrack(15'000), Status::Ok);  // back across a window boundary
    EXPECT_EQ(rig.ctx.SpaceLeft(), room - 5'000);
    EXPECT_EQ(rig.ctx.CurrentWriteSample(), 5'000u);
    EXPECT_EQ(rig.ctx.DataSize(), 5'000u);

    EXPECT_EQ(rig.ctx.BackTrack(5'001), Status::FileError) << "only audio can be taken back";
    EXPECT_EQ(rig.ctx.BackTrack(0), Status::FileError) << "nothing lies at the end of the data";
    EXPECT_EQ(rig.ctx.SpaceLeft(), room - 5'000);

    const Bytes more = Pattern(4'000, 2);
    ASSERT_EQ(rig.Record(more, 4'000), Status::Ok);
    EXPECT_EQ(rig.ctx.SpaceLeft(), room - 9'000);
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), PcmFile(8000, 8, Cat(Slice(audio, 0, 5'000), more)));
}

TEST(CreateFastTest, TheLastReservedByteIsNeverWritten) {
    FastRig rig;
    rig.fs.setFreeSpace(2 * kTwice + 10'000);
    ASSERT_EQ(rig.CreatePcm(), Status::Ok);
    const Bytes audio = Pattern(rig.ctx.fileLimit - 44 - 1, 3);
    ASSERT_EQ(rig.Record(audio, 1000), Status::Ok);
    EXPECT_EQ(rig.ctx.SpaceLeft(), 1u);
    const std::uint8_t one = 0x55;
    EXPECT_EQ(rig.ctx.WriteData(&one, 1), Status::FileError);
    EXPECT_EQ(rig.ctx.DataSize(), audio.size()) << "the refused write leaves the recording as it was";
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), PcmFile(8000, 8, audio));
}

TEST(CreateFastTest, AfterEndTheRecordingPlaysFromBlockZeroOnTheSameFile) {
    FastRig rig;
    ASSERT_EQ(rig.CreatePcm(8000, 16), Status::Ok);
    const Bytes audio = Pattern(70'000, 4);  // more than one 8-second fill of 16,000 bytes a second
    ASSERT_EQ(rig.Record(audio, 3200), Status::Ok);
    const std::uint32_t opens = rig.fs.calls(test::Fault::Open);
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_TRUE(rig.Is(rig.ctx.selectFast.get()));
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 0u);
    EXPECT_EQ(rig.ctx.LengthInBlocks(), audio.size() / 2);
    EXPECT_EQ(rig.Play(3200), audio);
    EXPECT_EQ(rig.fs.calls(test::Fault::Open), opens) << "played without opening the file again";
    EXPECT_EQ(rig.OnDisk(), PcmFile(8000, 16, audio)) << "cut back at End, before playing";
}

TEST(CreateFastTest, NeverTakesThePlaceOfAnExistingFile) {
    FastRig rig;
    const Bytes old = PcmFile(8000, 8, Pattern(500, 5));
    test::WriteBytes(rig.path, old);
    EXPECT_EQ(rig.CreatePcm(), Status::FileError);
    (void)rig.ctx.Close();
    EXPECT_EQ(rig.OnDisk(), old);
    rig.ExpectNothingHeld();
}

// Lengthens files only as far as the test's disk allows, while answering as if
// the whole length had been granted: lets a test reserve gigabytes.
class ShallowFile : public platform::File {
public:
    ShallowFile(std::unique_ptr<platform::File> real, std::uint32_t cap) : inner(std::move(real)), limit(cap) {}
    bool read(void* d, std::uint32_t n, std::uint32_t& got) override { return inner->read(d, n, got); }
    bool write(const void* s, std::uint32_t n, std::uint32_t& w) override { return inner->write(s, n, w); }
    bool seek(std::uint32_t offset) override { return inner->seek(offset); }
    bool tryLock() override { return inner->tryLock(); }
    std::optional<platform::FileIdentity> identity() override { return inner->identity(); }
    std::uint32_t tell() const override { return inner->tell(); }
    bool size(std::uint32_t& bytes) override { return inner->size(bytes); }
    bool setLength(std::uint32_t length) override {
        asked = length;
        return inner->setLength(std::min(length, limit));
    }
    std::unique_ptr<platform::Mapping> map(std::uint32_t offset, std::uint32_t length, bool writable) override {
        return inner->map(offset, length, writable);
    }
    bool sync() override { return inner->sync(); }
    void syncSoon() override { inner->syncSoon(); }
    static inline std::uint32_t asked = 0;

private:
    std::unique_ptr<platform::File> inner;
    std::uint32_t limit;
};

class ShallowFileSystem : public test::FaultyFileSystem {
public:
    std::unique_ptr<platform::File> open(const std::string& path, platform::OpenMode mode, bool wt) override {
        auto file = FaultyFileSystem::open(path, mode, wt);
        return file ? std::make_unique<ShallowFile>(std::move(file), 1u << 20) : nullptr;
    }
};

TEST(CreateFastTest, FreeSpaceBeyondFourGigabytesIsCappedToThirtyTwoBits) {
    test::TempDir dir;
    ShallowFileSystem fs;
    test::FakeMemory memory;
    test::FakeSystemInfo system(kGranularity);
    test::RecordingShell shell;
    StorageContext ctx(fs, memory, system, shell);
    fs.setFreeSpace(std::uint64_t{10} << 30);
    const std::string path = dir.file("big.wav");
    ASSERT_EQ(ctx.Create(path, wav::kTagPcm, 8000, 8, 1, platform::Media::Fast), Status::Ok);
    EXPECT_EQ(ctx.fileLimit, kMinuteStep) << "a step, however large the volume";
    EXPECT_EQ(ShallowFile::asked, ctx.fileLimit);
    EXPECT_EQ(ctx.SpaceLeft(), std::numeric_limits<std::uint32_t>::max());
    const Bytes audio = Pattern(40'000, 6);
    ASSERT_EQ(ctx.WriteData(audio.data(), 40'000), Status::Ok);
    ASSERT_EQ(ctx.Close(), Status::Ok);
    EXPECT_EQ(test::ReadBytes(path), PcmFile(8000, 8, audio));
}

// --- Every platform call failing in turn -------------------------------------

TEST(CreateFastFaultTest, CreateLeavesNoFileWhenItFails) {
    SweepFastFaults([](FastFaultRun& run) {
        FastRig& rig = run.rig;
        run.Arm();
        const Status status = rig.CreatePcm();
        const bool fired = run.Disarm();
        EXPECT_EQ(status, fired ? Status::FileError : Status::Ok);
        if (status == Status::Ok) {
            EXPECT_EQ(rig.LengthOnDisk(), rig.ctx.fileLimit);
        }
        if (fired && !run.Persistent()) {
            EXPECT_FALSE(test::FileExists(rig.path));
        }
        (void)rig.ctx.Close();
        if (status == Status::Ok) {
            EXPECT_EQ(rig.OnDisk(), PcmFile(8000, 8, {}));
        }
        EXPECT_TRUE(rig.Is(rig.ctx.idle.get()));
        EXPECT_TRUE(rig.shell.boxes().empty());
        rig.ExpectNothingHeld();
    });
}

TEST(CreateFastFaultTest, FailedWriteKeepsTheAudioBeforeIt) {
    const Bytes before = Pattern(3 * kTwice + 100, 7);
    const Bytes block = Pattern(8'820, 8);  // longer than a window step: crosses a boundary
    SweepFastFaults([&](FastFaultRun& run) {
        FastRig& rig = run.rig;
        ASSERT_EQ(rig.CreatePcm(), Status::Ok);
        ASSERT_EQ(rig.Record(before, 3000), Status::Ok);
        run.Arm();
        const Status status = rig.ctx.WriteData(block.data(), static_cast<std::uint32_t>(block.size()));
        const bool fired = run.Disarm();
        EXPECT_EQ(status, fired ? Status::FileError : Status::Ok);
        EXPECT_EQ(rig.ctx.End(), status) << "End reports a recording that lost its file";
        (void)rig.ctx.Close();
        const Bytes disk = rig.OnDiskPrefix(64 << 10);
        ASSERT_GE(disk.size(), 44 + before.size());
        EXPECT_EQ(Slice(disk, 44, 44 + before.size()), before) << "audio written before the failure stays";
        if (!run.Persistent()) {
            // Given up with a header that describes what reached the medium.
            EXPECT_EQ(disk, PcmFile(8000, 8, status == Status::Ok ? Cat(before, block) : before));
        }
        rig.ExpectNothingHeld();
    });
}

TEST(CreateFastFaultTest, EndFinishesTheHeaderOrSaysItDidNot) {
    const Bytes audio = Pattern(3 * kTwice + 321, 9);
    SweepFastFaults([&](FastFaultRun& run) {
        FastRig& rig = run.rig;
        ASSERT_EQ(rig.CreatePcm(), Status::Ok);
        ASSERT_EQ(rig.Record(audio, 4000), Status::Ok);
        run.Arm();
        const Status status = rig.ctx.End();
        run.Disarm();
        EXPECT_TRUE(rig.Is(rig.ctx.selectFast.get()));
        (void)rig.ctx.Close();
        const Bytes disk = rig.OnDiskPrefix(64 << 10);
        ASSERT_GE(disk.size(), 44 + audio.size());
        EXPECT_EQ(Slice(disk, 44, 44 + audio.size()), audio);
        // One failing call is worked around: the header is finished through the file.
        if (status == Status::Ok || !run.Persistent()) {
            EXPECT_EQ(disk, PcmFile(8000, 8, audio));
        }
        rig.ExpectNothingHeld();
    });
}

TEST(CreateFastFaultTest, CloseCutsTheFileBackOrReportsThatItCouldNot) {
    const Bytes audio = Pattern(2 * kTwice, 11);
    SweepFastFaults([&](FastFaultRun& run) {
        FastRig& rig = run.rig;
        ASSERT_EQ(rig.CreatePcm(), Status::Ok);
        ASSERT_EQ(rig.Record(audio, 4000), Status::Ok);
        run.Arm();
        const Status status = rig.ctx.Close();
        run.Disarm();
        EXPECT_TRUE(rig.Is(rig.ctx.idle.get()));
        const Bytes expected = PcmFile(8000, 8, audio);
        const Bytes disk = rig.OnDiskPrefix(64 << 10);
        // One failing call is worked around (the header through the file, the
        // cut through a second handle); the status may still tell of it.
        if (status == Status::Ok || !run.Persistent()) {
            EXPECT_EQ(disk, expected);
        }
        ASSERT_GE(disk.size(), expected.size());
        EXPECT_EQ(Slice(disk, 44, expected.size()), audio);
        rig.ExpectNothingHeld();
    });
}

}  // namespace
}  // namespace tavrin::storage
