#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

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

// A volume that fills up before End (another program took the space) must
// never cost the audio. Every buffered change, in every format, with the
// volume able to take nothing, a little, or part of the new audio: End and
// Close report the failure, with a full volume as its cause; the file holds
// all that fitted of the change as whole blocks under an exact header, with
// the old audio after an insertion's point and the chunks after the audio
// where they belong; the journal and its spool keep the whole change. While
// the volume is still full, recovery keeps them too; once there is room, it
// writes the change out complete.
TEST(StrategyCreateSlow, AFullVolumeKeepsWhatFitsAndTheSpoolKeepsTheRest) {
    enum class Change { Record, Append, Overwrite, Insert, InsertFast };
    const std::pair<Change, const char*> changes[] = {{Change::Record, "record"},
                                                      {Change::Append, "append"},
                                                      {Change::Overwrite, "overwrite"},
                                                      {Change::Insert, "insert"},
                                                      {Change::InsertFast, "insert on fast media"}};
    for (const auto& format : {kPcm8, kPcm16, kGsm}) {
        for (auto [change, name] : changes) {
            // Insertions are buffered on fast media too.
            const bool fast = change == Change::InsertFast;
            if (fast) change = Change::Insert;
            for (const std::uint32_t limit : {0u, 301u, 3 * format.PieceBytes() + 7}) {
                SCOPED_TRACE(testing::Message() << format.name << ", " << name << ", room for " << limit);
                // More new audio than the old after the point: an overwrite outgrows the file too.
                const Bytes oldAudio = Pattern(100 * format.BlockBytes(), 20);
                const std::uint32_t at = 40;
                const std::uint32_t point = at * format.BlockBytes();  // bytes of old audio before an overwrite or insertion
                const Bytes chunks = change == Change::Record ? Bytes{} : model::kListChunk;
                const Bytes old = model::WithTrailer(model::WavFile(format, oldAudio), chunks);
                const Bytes fresh = Pattern(30 * format.PieceBytes(), 21);
                SlowRig rig;
                rig.UseJournals();
                bool started = false;
                if (change == Change::Record) {
                    started = rig.Create(format) == Status::Ok;
                } else {
                    test::WriteBytes(rig.path, old);
                    ASSERT_EQ(rig.ctx.Select(rig.path, fast ? platform::Media::Fast : platform::Media::Slow), Status::Ok);
                    ASSERT_TRUE(rig.ctx.SeekToSample(at));
                    started = change == Change::Append      ? rig.ctx.Append()
                              : change == Change::Overwrite ? rig.ctx.Overwrite()
                                                            : rig.ctx.Insert();
                }
                ASSERT_TRUE(started);
                ASSERT_EQ(rig.Record(fresh, format.PieceBytes()), Status::Ok);
                const std::size_t before = rig.Exists() ? rig.OnDisk().size() : 0;
                rig.fs.setShortWrite(limit);
                EXPECT_EQ(rig.ctx.End(), Status::FileError);
                EXPECT_EQ(rig.ctx.Close(), Status::FileError);
                EXPECT_EQ(rig.ctx.FailureCause().kind, platform::IoError::Kind::Full);
                rig.ExpectNothingHeld();

                const Bytes lead = change == Change::Record     ? Bytes{}
                                   : change == Change::Append ? oldAudio
                                                              : Slice(oldAudio, 0, point);
                const Bytes tail = change == Change::Insert ? Slice(oldAudio, point, oldAudio.size()) : Bytes{};
                const auto recording = [&](std::size_t k) {
                    const Bytes audio = Cat(Cat(lead, Slice(fresh, 0, k)), tail);
                    const Bytes pad = !chunks.empty() && audio.size() % 2 ? Bytes{0} : Bytes{};
                    return chunks.empty() ? model::WavFile(format, audio)
                                          : model::WithTrailer(model::WavFile(format, audio), Cat(pad, chunks));
                };
                // The file is the recording with the first k bytes of the new audio, k whole blocks.
                const auto isKept = [&](const Bytes& file) {
                    if (file.size() < format.HeaderBytes()) return false;
                    const std::size_t data = wav::LoadLe32(&file[format.HeaderBytes() - 4]);
                    const std::size_t k = data - std::min(data, lead.size() + tail.size());
                    return k <= fresh.size() && k % format.BlockBytes() == 0 && recording(k) == file;
                };
                const Bytes disk = rig.OnDisk();
                if (change == Change::Record && limit < format.HeaderBytes()) {
                    EXPECT_TRUE(disk.empty()) << "not even the header fits";
                } else {
                    EXPECT_TRUE(isKept(disk)) << "not the old audio, whole blocks of the new and the chunks";
                    EXPECT_GT(disk.size() + format.BlockBytes() + 1, before + limit) << "more would have fit";
                }
                const std::string spool = BufferSpoolPathFor(rig.JournalFor());
                EXPECT_TRUE(test::FileExists(rig.JournalFor()) && test::FileExists(spool)) << "the audio is kept";

                const auto stillFull = rig.Recover();
                ASSERT_EQ(stillFull.size(), 1u);
                EXPECT_FALSE(stillFull[0].repaired);
                EXPECT_TRUE(test::FileExists(rig.JournalFor()) && test::FileExists(spool))
                    << "recovery on a full volume let go of the only copy";
                EXPECT_TRUE(disk.empty() ? rig.OnDisk().empty() : isKept(rig.OnDisk())) << "still a whole recording";

                rig.fs.setShortWrite(std::nullopt);
                const auto recovered = rig.Recover();
                ASSERT_EQ(recovered.size(), 1u);
                EXPECT_TRUE(recovered[0].repaired);
                EXPECT_EQ(rig.OnDisk(), recording(fresh.size()));
                EXPECT_FALSE(test::FileExists(rig.JournalFor()) || test::FileExists(spool));
            }
        }
    }
}

// A new recording on slow media is an empty file until it ends. Killed,
// its audio is in the spool; a user who deletes the empty file meanwhile
// must not lose it: recovery makes the file again from the spool.
TEST(StrategyCreateSlow, AKilledRecordingWhoseEmptyFileWasDeletedIsWrittenFromItsSpool) {
    for (const auto& format : {kPcm8, kGsm}) {
        SCOPED_TRACE(format.name);
        SlowRig rig;
        rig.UseJournals();
        const Bytes audio = Pattern(5 * format.PieceBytes(), 30);
        auto killed = std::make_unique<StorageContext>(rig.fs, rig.memory, rig.system, rig.shell);
        killed->journal.SetFolder(rig.ctx.journal.Folder());
        ASSERT_EQ(killed->Create(rig.path, format.tag, format.samplesPerSec, format.bitsPerSample, 1, platform::Media::Slow), Status::Ok);
        for (std::size_t at = 0; at < audio.size(); at += format.PieceBytes())
            ASSERT_EQ(killed->WriteData(audio.data() + at, format.PieceBytes()), Status::Ok);
        killed.reset();  // lets go of everything as a killed process does
        ASSERT_TRUE(rig.OnDisk().empty());
        ASSERT_TRUE(std::filesystem::remove(rig.path));
        const auto recovered = rig.Recover();
        ASSERT_EQ(recovered.size(), 1u);
        EXPECT_TRUE(recovered[0].repaired);
        EXPECT_EQ(rig.OnDisk(), model::WavFile(format, audio));
    }
}

// A medium that takes no write at all at End (a network folder gone
// read-only, say): the recording stays as it was, the journal's spool keeps
// the appended audio, and recovery writes it once the medium takes writes again.
TEST(StrategyCreateSlow, AnAppendThatCannotBeWrittenLeavesTheOldRecordingAndItsSpool) {
    SlowRig rig;
    rig.UseJournals();
    const Bytes oldAudio = Pattern(4000, 8);
    const Bytes added = Pattern(9000, 9);
    const Bytes old = model::WavFile(kPcm16, oldAudio);
    ASSERT_EQ(rig.SelectFile(old), Status::Ok);
    ASSERT_TRUE(rig.ctx.Append());
    ASSERT_EQ(rig.Record(added, 3200), Status::Ok);
    rig.fs.failNth(test::Fault::Write, 1, true);
    EXPECT_EQ(rig.ctx.End(), Status::FileError);
    EXPECT_EQ(rig.ctx.Close(), Status::FileError);
    rig.fs.resetFaults();
    EXPECT_EQ(rig.OnDisk(), old);
    const auto recovered = rig.Recover();
    ASSERT_EQ(recovered.size(), 1u);
    EXPECT_TRUE(recovered[0].repaired);
    EXPECT_EQ(rig.OnDisk(), model::WavFile(kPcm16, Cat(oldAudio, added)));
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
