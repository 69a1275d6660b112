#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "SlowMediaRig.h"
#include "storage/StrategySelectSlow.h"

namespace tavrin::storage {
namespace {

using namespace slowtest;
using model::kGsm;
using model::kPcm16;
using model::kPcm8;

TEST(StrategySelectSlow, PlaybackEndsWithTheRemainingBytesAndStartsOverAtBlockZero) {
    SlowRig rig;
    const Bytes audio = Pattern(100'000, 1);  // more than one 64,000-byte fill, not a whole number of pieces
    ASSERT_EQ(rig.SelectFile(model::WavFile(kPcm8, audio)), Status::Ok);
    Bytes piece(1600);
    for (std::uint32_t i = 0; i < 62; ++i) {
        ASSERT_EQ(rig.ctx.ReadData(piece.data(), 1600), Status::Ok) << i;
        // The position is that of the next piece, not the end of the last fill.
        EXPECT_EQ(rig.ctx.CurrentReadSample(), (i + 1) * 1600);
    }
    std::fill(piece.begin(), piece.end(), 0xEE);
    ASSERT_EQ(rig.ctx.ReadData(piece.data(), 1600), Status::EndOfData);
    EXPECT_EQ(Slice(piece, 0, 800), Slice(audio, 99'200, 100'000));
    EXPECT_EQ(Slice(piece, 800, 1600), Bytes(800, 0xEE));
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 0u);
    EXPECT_EQ(rig.Play(1600), audio) << "the next playback starts from the beginning";
}

TEST(StrategySelectSlow, FileShorterThanOneFillPlaysCompletely) {
    SlowRig rig;
    const Bytes audio = Pattern(5'000, 2);
    ASSERT_EQ(rig.SelectFile(model::WavFile(kPcm16, audio)), Status::Ok);
    Status last = Status::Ok;
    EXPECT_EQ(rig.Play(3200, &last), audio);
    EXPECT_EQ(last, Status::EndOfData);
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 0u);
}

TEST(StrategySelectSlow, AudioEndingOnAFillBoundaryEndsWithAnEmptyPiece) {
    SlowRig rig;
    const Bytes audio = Pattern(2 * 13'000, 3);  // two GSM fills of eight seconds
    ASSERT_EQ(rig.SelectFile(model::WavFile(kGsm, audio)), Status::Ok);
    Status last = Status::Ok;
    EXPECT_EQ(rig.Play(325, &last), audio);
    EXPECT_EQ(last, Status::EndOfData);
}

TEST(StrategySelectSlow, PiecesThatDoNotDivideTheFillLoseNothing) {
    // 48 kHz stereo: eight seconds exceed the read cache, so a fill is not a
    // whole number of 200 ms pieces; a piece then spans two fills.
    SlowRig rig;
    const Bytes audio = Pattern(3'000'000, 4);
    Bytes file = model::WavFile(kPcm16, audio);
    wav::StoreLe16(&file[22], 2);
    wav::StoreLe32(&file[24], 48'000);
    wav::StoreLe32(&file[28], 192'000);
    wav::StoreLe16(&file[32], 4);
    ASSERT_EQ(rig.SelectFile(file), Status::Ok);
    EXPECT_EQ(rig.ctx.cacheCapacity, kReadCacheBytes);
    EXPECT_EQ(rig.Play(38'400), audio);
    EXPECT_EQ(rig.Play(2'000'000), audio) << "a piece larger than a fill";
}

TEST(StrategySelectSlow, AFailedReadIsReportedAndSkipsNothing) {
    SlowRig rig;
    const Bytes audio = Pattern(100'000, 5);
    ASSERT_EQ(rig.SelectFile(model::WavFile(kPcm8, audio)), Status::Ok);
    Bytes piece(1600);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(rig.ctx.ReadData(piece.data(), 1600), Status::Ok);
    rig.fs.failNth(test::Fault::Read, 1);
    EXPECT_EQ(rig.ctx.ReadData(piece.data(), 1600), Status::FileError);
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 64'000u);
    EXPECT_EQ(rig.Play(1600), Slice(audio, 64'000, 100'000));
}

TEST(StrategySelectSlow, OverwriteCutsTheFileAtThePlaybackPositionAtEndNotBefore) {
    SlowRig rig;
    const Bytes audio = Pattern(10'000, 6);
    ASSERT_EQ(rig.SelectFile(model::WavFile(kPcm16, audio)), Status::Ok);
    Bytes piece(3200);
    ASSERT_EQ(rig.ctx.ReadData(piece.data(), 3200), Status::Ok);
    ASSERT_EQ(rig.ctx.ReadData(piece.data(), 3200), Status::Ok);
    ASSERT_TRUE(rig.ctx.Overwrite());
    // Until audio is written the file is the old recording: an Overwrite
    // whose device then fails to start must leave it whole.
    EXPECT_EQ(rig.OnDisk(), model::WavFile(kPcm16, audio));
    EXPECT_EQ(rig.ctx.DataSize(), 6400u);
    EXPECT_EQ(rig.ctx.CurrentWriteSample(), 3200u);
    const Bytes fresh = Pattern(1000, 7);
    ASSERT_EQ(rig.Record(fresh, 1000), Status::Ok);
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), model::WavFile(kPcm16, Cat(Slice(audio, 0, 6400), fresh)));
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 0u);
}

TEST(StrategySelectSlow, OverwriteAtBlockZeroEmptiesTheRecording) {
    SlowRig rig;
    ASSERT_EQ(rig.SelectFile(model::WavFile(kGsm, Pattern(650, 8))), Status::Ok);
    ASSERT_TRUE(rig.ctx.Overwrite());
    EXPECT_EQ(rig.ctx.DataSize(), 0u);
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), model::WavFile(kGsm, {}));
}

TEST(StrategySelectSlow, RefusedEditsLeaveTheRecordingWhole) {
    const Bytes file = model::WavFile(kPcm8, Pattern(9'000, 9));
    for (const bool overwrite : {true, false}) {
        SlowRig rig;
        ASSERT_EQ(rig.SelectFile(file), Status::Ok);
        ASSERT_TRUE(rig.ctx.SeekToSample(4'000));
        rig.memory.setAvailablePhysical(4 * kTwice - 1);
        EXPECT_FALSE(overwrite ? rig.ctx.Overwrite() : rig.ctx.Append());
        EXPECT_TRUE(rig.ctx.IsIdle());
        EXPECT_EQ(rig.OnDisk(), file) << "no memory, no cut";
        rig.ExpectNothingHeld();
    }
}

// Chunks after the audio, as other programs leave them: Append and Overwrite
// write them back behind the new end, word-aligned, byte for byte; an
// insertion, which moves them as they stand, is refused where it could put
// them off their word (blocks of odd size) and moves them otherwise.
TEST(StrategySelectSlow, ChunksAfterTheAudioGoBehindTheNewEnd) {
    struct Layout {
        const char* name;
        std::size_t audioBytes;
        Bytes between;  // between the audio and the chunk
    };
    const Layout layouts[] = {{"even audio", 500, {}}, {"odd audio, pad byte", 501, {0}},
                              {"odd audio, pad byte left out", 501, {}}};
    for (const Layout& layout : layouts) {
        const Bytes audio = Pattern(layout.audioBytes, 10);
        const Bytes file = model::WithTrailer(model::WavFile(kPcm8, audio), Cat(layout.between, model::kListChunk));
        for (const std::size_t added : {300u, 301u}) {
            for (const bool append : {true, false}) {
                SCOPED_TRACE(testing::Message() << layout.name << ", " << added << (append ? " appended" : " over"));
                const Bytes more = Pattern(added, 11);
                SlowRig rig;
                ASSERT_EQ(rig.SelectFile(file), Status::Ok);
                ASSERT_TRUE(rig.ctx.SeekToSample(100));
                ASSERT_TRUE(append ? rig.ctx.Append() : rig.ctx.Overwrite());
                ASSERT_EQ(rig.Record(more, 300), Status::Ok);
                ASSERT_EQ(rig.ctx.End(), Status::Ok);
                const Bytes now = Cat(append ? audio : Slice(audio, 0, 100), more);
                const Bytes pad = now.size() % 2 ? Bytes{0} : Bytes{};
                const Bytes expected = model::WithTrailer(model::WavFile(kPcm8, now), Cat(pad, model::kListChunk));
                EXPECT_EQ(rig.OnDisk(), expected);
                EXPECT_EQ(rig.Play(1600), now) << "the chunk is not played";
                ASSERT_TRUE(rig.ctx.Append()) << "and once more";
                ASSERT_EQ(rig.Record(more, 300), Status::Ok);
                ASSERT_EQ(rig.ctx.Close(), Status::Ok);
                const Bytes twice = Cat(now, more);
                const Bytes pad2 = twice.size() % 2 ? Bytes{0} : Bytes{};
                EXPECT_EQ(rig.OnDisk(), model::WithTrailer(model::WavFile(kPcm8, twice), Cat(pad2, model::kListChunk)));
            }
        }
        // An insertion of odd size moves the chunk to a word boundary again.
        SlowRig rig;
        ASSERT_EQ(rig.SelectFile(file), Status::Ok);
        ASSERT_TRUE(rig.ctx.SeekToSample(100));
        ASSERT_TRUE(rig.ctx.Insert());
        const Bytes more = Pattern(301, 11);
        ASSERT_EQ(rig.Record(more, 301), Status::Ok);
        EXPECT_EQ(rig.ctx.Close(), Status::Ok);
        const Bytes now = Cat(Cat(Slice(audio, 0, 100), more), Slice(audio, 100, audio.size()));
        const Bytes pad = now.size() % 2 ? Bytes{0} : Bytes{};
        EXPECT_EQ(rig.OnDisk(), model::WithTrailer(model::WavFile(kPcm8, now), Cat(pad, model::kListChunk)));
    }
    SlowRig rig;
    const Bytes audio = Pattern(1000, 12);
    const Bytes more = Pattern(400, 13);
    ASSERT_EQ(rig.SelectFile(model::WithTrailer(model::WavFile(kPcm16, audio), model::kListChunk)), Status::Ok);
    ASSERT_TRUE(rig.ctx.SeekToSample(100));
    ASSERT_TRUE(rig.ctx.Insert());
    ASSERT_EQ(rig.Record(more, 400), Status::Ok);
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    const Bytes inserted = Cat(Cat(Slice(audio, 0, 200), more), Slice(audio, 200, 1000));
    EXPECT_EQ(rig.OnDisk(), model::WithTrailer(model::WavFile(kPcm16, inserted), model::kListChunk));
}

// A pad byte after odd-sized audio is no chunk: the new audio takes its place.
TEST(StrategySelectSlow, AppendAfterAPadByteLeavesNoPadInsideTheAudio) {
    SlowRig rig;
    const Bytes audio = Pattern(501, 13);
    const Bytes more = Pattern(300, 14);
    ASSERT_EQ(rig.SelectFile(model::WithTrailer(model::WavFile(kPcm8, audio), Bytes{0})), Status::Ok);
    ASSERT_TRUE(rig.ctx.Append());
    ASSERT_EQ(rig.Record(more, 300), Status::Ok);
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), model::WavFile(kPcm8, Cat(audio, more)));
}

// A recording near 4 GiB: the buffer of an edit ends where the file must, so
// that SpaceLeft tells the truth and what was recorded is all written.
TEST(StrategySelectSlow, AnEditNeverTakesTheFilePast32Bits) {
    constexpr std::uint32_t kRoom = 100'000;
    const std::uint32_t length = std::numeric_limits<std::uint32_t>::max() - kRoom;
    for (const bool append : {true, false}) {
        SCOPED_TRACE(append ? "Append" : "Overwrite");
        SlowRig rig;
        Bytes header = model::WavFile(kPcm8, {});
        wav::StoreLe32(&header[4], length - 8);
        wav::StoreLe32(&header[40], length - 44);
        test::WriteBytes(rig.path, header);
        std::filesystem::resize_file(rig.path, length);  // sparse: no disk is used
        ASSERT_EQ(rig.ctx.Select(rig.path, platform::Media::Slow), Status::Ok);
        ASSERT_TRUE(rig.ctx.SeekToSample(length - 44 - 10));
        ASSERT_TRUE(append ? rig.ctx.Append() : rig.ctx.Overwrite());
        const std::uint32_t start = append ? length : length - 10;
        EXPECT_LE(rig.ctx.SpaceLeft(), std::numeric_limits<std::uint32_t>::max() - start);
        const Bytes piece = Pattern(4'000, 15);
        std::uint32_t recorded = 0;
        while (rig.ctx.SpaceLeft() >= piece.size() && rig.ctx.WriteData(piece.data(), 4'000) == Status::Ok)
            recorded += 4'000;
        EXPECT_GT(recorded, kRoom - 2 * kTwice - 8'000);
        EXPECT_EQ(rig.ctx.End(), Status::Ok) << "the recorded audio is written, not dropped";
        EXPECT_EQ(std::filesystem::file_size(rig.path), std::uint64_t{start} + recorded);
        EXPECT_EQ(rig.ctx.DataSize(), start + recorded - 44);
        EXPECT_EQ(rig.ctx.Close(), Status::Ok);
        std::filesystem::remove(rig.path);
    }
}

TEST(StrategySelectSlow, AFileWhoseHeaderWasRefusedIsNeitherPlayedNorEdited) {
    SlowRig rig;
    Bytes file = model::WavFile(kPcm8, Pattern(3000, 15));
    std::copy_n("LIST", 4, file.begin() + 36);  // the data header is something else
    ASSERT_EQ(rig.SelectFile(file), Status::FileError);
    Bytes piece(1600);
    EXPECT_EQ(rig.ctx.ReadData(piece.data(), 1600), Status::FileError);
    EXPECT_FALSE(rig.ctx.Insert());
    EXPECT_FALSE(rig.ctx.Overwrite());
    EXPECT_TRUE(rig.ctx.IsIdle());
    EXPECT_EQ(rig.OnDisk(), file);
    rig.ExpectNothingHeld();
}

// Selecting, with each call failing in turn: Ok or FileError, the file never changes.
TEST(StrategySelectSlowFaults, Select) {
    const Bytes file = model::WavFile(kGsm, Pattern(1300, 12));
    SweepFaults([&](FaultRun& run) {
        SlowRig& rig = run.rig;
        test::WriteBytes(rig.path, file);
        run.Arm();
        const Status selected = rig.ctx.Select(rig.path, platform::Media::Slow);
        Status closed = Status::Ok;
        Bytes played;
        if (selected == Status::Ok) played = rig.Play(325);
        closed = rig.ctx.Close();
        run.Disarm();
        EXPECT_TRUE(selected == Status::Ok || selected == Status::FileError);
        if (selected == Status::Ok && !run.Fired()) {
            EXPECT_EQ(played, Slice(file, 60, file.size()));
        }
        EXPECT_EQ(closed, Status::Ok);
        EXPECT_EQ(rig.OnDisk(), file);
    });
}

// Overwrite in the middle, a block, End, Close: the old recording, the cut one
// with its header finished, or the new one.
// With and without a chunk after the audio, which goes wherever the audio ends.
TEST(StrategySelectSlowFaults, OverwriteRecordEndClose) {
    for (const Bytes& after : {Bytes{}, model::kListChunk}) {
        SCOPED_TRACE(after.size());
        const Bytes audio = Pattern(8000, 13);
        const Bytes fresh = Pattern(1600, 14);
        const Bytes old = model::WithTrailer(model::WavFile(kPcm8, audio), after);
        const Bytes cut = model::WithTrailer(model::WavFile(kPcm8, Slice(audio, 0, 3200)), after);
        const Bytes result = model::WithTrailer(model::WavFile(kPcm8, Cat(Slice(audio, 0, 3200), fresh)), after);
        SweepFaults([&](FaultRun& run) {
            SlowRig& rig = run.rig;
            ASSERT_EQ(rig.SelectFile(old), Status::Ok);
            ASSERT_TRUE(rig.ctx.SeekToSample(3200));
            run.Arm();
            const bool overwriting = rig.ctx.Overwrite();
            Status closed = Status::FileError;
            if (overwriting) {
                static_cast<void>(rig.Record(fresh, 1600));
                static_cast<void>(rig.ctx.End());
                closed = rig.ctx.Close();
            }
            run.Disarm();
            EXPECT_TRUE(rig.ctx.IsIdle());
            const Bytes disk = rig.OnDisk();
            if (!overwriting) {
                EXPECT_EQ(disk, old);
            } else if (closed == Status::Ok) {
                EXPECT_EQ(disk, result);
            } else if (!run.Persistent()) {
                EXPECT_EQ(disk, cut);
            } else {
                ASSERT_GE(disk.size(), 44u + 3200u);
                EXPECT_EQ(Slice(disk, 44, 44 + 3200), Slice(audio, 0, 3200)) << "audio before the cut is whole";
            }
        });
    }
}

}  // namespace
}  // namespace tavrin::storage
