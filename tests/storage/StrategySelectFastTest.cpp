#include <gtest/gtest.h>

#include "FastMediaRig.h"
#include "storage/StrategyCreateFast.h"
#include "storage/StrategyIdle.h"
#include "storage/StrategySelectFast.h"

namespace tavrin::storage {
namespace {

using namespace fasttest;

TEST(SelectFastTest, OpensOnlyAnExistingAcceptableFileAndLeavesItAsItWas) {
    FastRig rig;
    EXPECT_EQ(rig.ctx.Select(rig.path, platform::Media::Fast), Status::FileError);
    EXPECT_FALSE(test::FileExists(rig.path)) << "a mistyped name must not leave an empty file";
    rig.ExpectNothingHeld();

    Bytes foreign = PcmFile(8000, 8, Pattern(3000, 1));
    foreign[8] = 'X';  // "WAVX"
    EXPECT_EQ(rig.SelectFile(foreign), Status::FileError);
    EXPECT_EQ(rig.OnDisk(), foreign) << "a refused file is given back at once, not grown to the free space";
    rig.ExpectNothingHeld();
    EXPECT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), foreign);

    // Selecting only reads: however little room the volume has, the file
    // keeps its length; only an edit reserves.
    const Bytes file = PcmFile(8000, 8, Pattern(3000, 2));
    rig.fs.setFreeSpace(0);
    EXPECT_EQ(rig.SelectFile(file), Status::Ok);
    EXPECT_EQ(rig.LengthOnDisk(), file.size());
    EXPECT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), file);
    EXPECT_TRUE(rig.shell.boxes().empty());
    rig.ExpectNothingHeld();
}

// A LIST chunk of `payload` bytes (even), as tagging tools write them.
Bytes ListChunk(std::uint32_t payload) {
    Bytes chunk{'L', 'I', 'S', 'T'};
    for (int i = 0; i < 4; ++i) chunk.push_back(static_cast<std::uint8_t>(payload >> (8 * i)));
    return Cat(chunk, Pattern(payload, 77));
}

// Chunks after the audio, as other programs leave them: never played; every
// edit writes its audio over them and puts them back behind the new end,
// word-aligned, byte for byte, the RIFF size covering them. An insertion of
// odd-sized blocks ends word-aligned too.
TEST(SelectFastTest, ChunksAfterTheAudioGoBehindTheNewEnd) {
    struct Layout {
        const char* name;
        std::size_t audioBytes;
        Bytes between;  // between the audio and the chunk
        Bytes chunk;
    };
    const Layout layouts[] = {{"even audio", 500, {}, model::kListChunk},
                              {"odd audio, pad byte", 501, {0}, model::kListChunk},
                              {"odd audio, pad byte left out", 501, {}, model::kListChunk},
                              {"a chunk over several windows", 3 * kTwice + 5, {0}, ListChunk(3 * kTwice + 10)}};
    enum Edit { Append, Overwrite, Insert };
    for (const Layout& layout : layouts) {
        const Bytes audio = Pattern(layout.audioBytes, 10);
        const Bytes file = model::WithTrailer(PcmFile(8000, 8, audio), Cat(layout.between, layout.chunk));
        auto withChunk = [&](const Bytes& now) {
            return model::WithTrailer(PcmFile(8000, 8, now), Cat(now.size() % 2 ? Bytes{0} : Bytes{}, layout.chunk));
        };
        for (const std::size_t added : {300u, 301u}) {
            for (const Edit edit : {Append, Overwrite, Insert}) {
                SCOPED_TRACE(testing::Message() << layout.name << ", " << added << " bytes, edit " << edit);
                const Bytes more = Pattern(added, 11);
                FastRig rig;
                ASSERT_EQ(rig.SelectFile(file), Status::Ok);
                EXPECT_EQ(rig.Play(1600), audio) << "the chunk is not played";
                ASSERT_TRUE(rig.ctx.SeekToSample(100));
                ASSERT_TRUE(edit == Append ? rig.ctx.Append() : edit == Overwrite ? rig.ctx.Overwrite() : rig.ctx.Insert());
                ASSERT_EQ(rig.Record(more, 300), Status::Ok);
                ASSERT_EQ(rig.ctx.End(), Status::Ok);
                const Bytes now = edit == Append    ? Cat(audio, more)
                                  : edit == Overwrite ? Cat(Slice(audio, 0, 100), more)
                                                      : Cat(Cat(Slice(audio, 0, 100), more), Slice(audio, 100, audio.size()));
                EXPECT_EQ(rig.OnDisk(), withChunk(now));
                ASSERT_TRUE(rig.ctx.SeekToSample(0));  // an insertion plays on after its audio
                EXPECT_EQ(rig.Play(1600), now);
                ASSERT_TRUE(rig.ctx.Append()) << "and once more";
                ASSERT_EQ(rig.Record(more, 300), Status::Ok);
                ASSERT_EQ(rig.ctx.Close(), Status::Ok);
                EXPECT_EQ(rig.OnDisk(), withChunk(Cat(now, more)));
                rig.ExpectNothingHeld();
            }
        }
        // An edit that stores nothing, or is taken back, leaves the file as it
        // was, and the next edit still knows the chunk is there.
        SCOPED_TRACE(layout.name);
        FastRig rig;
        ASSERT_EQ(rig.SelectFile(file), Status::Ok);
        ASSERT_TRUE(rig.ctx.Append());
        rig.ctx.CancelEdit();
        ASSERT_TRUE(rig.Is(rig.ctx.selectFast.get()));
        ASSERT_TRUE(rig.ctx.Append());
        ASSERT_EQ(rig.ctx.End(), Status::Ok);
        ASSERT_TRUE(rig.ctx.SeekToSample(100));
        ASSERT_TRUE(rig.ctx.Insert());
        ASSERT_EQ(rig.ctx.End(), Status::Ok);
        EXPECT_EQ(rig.OnDisk(), file);
        const Bytes more = Pattern(301, 12);
        ASSERT_TRUE(rig.ctx.Append());
        ASSERT_EQ(rig.Record(more, 301), Status::Ok);
        ASSERT_EQ(rig.ctx.Close(), Status::Ok);
        EXPECT_EQ(rig.OnDisk(), withChunk(Cat(audio, more)));
    }
    // A pad byte after odd-sized audio is no chunk: the new audio takes its place.
    const Bytes audio = Pattern(3 * kTwice + 5, 3);
    FastRig rig;
    ASSERT_EQ(rig.SelectFile(model::WithTrailer(PcmFile(8000, 8, audio), Bytes{0})), Status::Ok);
    ASSERT_TRUE(rig.ctx.Append());
    const Bytes more = Pattern(700, 4);
    ASSERT_EQ(rig.Record(more, 700), Status::Ok);
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), PcmFile(8000, 8, Cat(audio, more)));
}

// Chunks take their room at the end of the reservation: a volume that fills
// up stops the edit with the chunks still written back whole, and "Left:"
// never promised the room they need. Chunks too large to hold refuse the edit.
TEST(SelectFastTest, ChunksAfterTheAudioKeepTheirRoomOnAFullVolume) {
    const Bytes audio = Pattern(2 * kTwice, 5);
    const Bytes chunk = ListChunk(kTwice);
    const Bytes file = model::WithTrailer(PcmFile(8000, 8, audio), chunk);
    FastRig rig;
    ASSERT_EQ(rig.SelectFile(file), Status::Ok);
    rig.fs.setFreeSpace(3 * kTwice + 10'000);
    rig.fs.setShortWrite(3 * kTwice);
    ASSERT_TRUE(rig.ctx.Append());
    const std::uint32_t left = rig.ctx.SpaceLeft();
    const Bytes more = Pattern(8 * kTwice, 6);
    std::uint32_t stored = 0;
    while (stored < more.size() && rig.ctx.WriteData(more.data() + stored, 100) == Status::Ok) stored += 100;
    EXPECT_LE(stored, left);
    EXPECT_GT(stored + kTwice + 100, left) << "the room left was all there";
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), model::WithTrailer(PcmFile(8000, 8, Cat(audio, Slice(more, 0, stored))), chunk));

    FastRig big;
    const Bytes huge = model::WithTrailer(PcmFile(8000, 8, audio), ListChunk(TrailingChunks::kMaxBytes));
    ASSERT_EQ(big.SelectFile(huge), Status::Ok);
    EXPECT_FALSE(big.ctx.Append());
    EXPECT_TRUE(big.Is(big.ctx.selectFast.get())) << "still selected";
    EXPECT_EQ(big.Play(1600), audio);
    ASSERT_EQ(big.ctx.Close(), Status::Ok);
    EXPECT_EQ(big.OnDisk(), huge);
}

TEST(SelectFastTest, PlaysEveryByteToTheEndThenStartsOver) {
    struct Case {
        const char* what;
        bool gsm;
        std::uint32_t rate;
        std::uint16_t bits;
        std::size_t audio;
    };
    const Case cases[] = {
        {"shorter than one fill", false, 8000, 8, 10'000},
        {"several fills, odd end", false, 8000, 8, 150'001},
        {"fills longer than a window", false, 22050, 16, 400'000},
        {"GSM", true, 8000, 0, 65 * 700},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FastRig rig;
        const Bytes audio = Pattern(c.audio, 3);
        ASSERT_EQ(rig.SelectFile(c.gsm ? GsmFile(audio) : PcmFile(c.rate, c.bits, audio)), Status::Ok);
        const std::uint32_t piece = rig.ctx.AvgBytesPerSec() / 5;  // 200 ms, as the engine asks
        Status last = Status::Ok;
        EXPECT_EQ(rig.Play(piece, &last), audio);
        EXPECT_EQ(last, Status::EndOfData);
        EXPECT_EQ(rig.ctx.CurrentReadSample(), 0u);
        Bytes again(piece);
        ASSERT_EQ(rig.ctx.ReadData(again.data(), piece), Status::Ok);
        EXPECT_EQ(again, Slice(audio, 0, piece));
        EXPECT_EQ(rig.ctx.Close(), Status::Ok);
        rig.ExpectNothingHeld();
    }
}

TEST(SelectFastTest, SeekingPlaysFromTheBlockAndRefusesTheLength) {
    FastRig rig;
    const Bytes audio = Pattern(60'000, 4);
    ASSERT_EQ(rig.SelectFile(PcmFile(8000, 16, audio)), Status::Ok);
    Bytes piece(3200);
    ASSERT_EQ(rig.ctx.ReadData(piece.data(), 3200), Status::Ok);
    EXPECT_FALSE(rig.ctx.SeekToSample(30'000));
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 1600u) << "a refused seek leaves playback where it was";
    ASSERT_TRUE(rig.ctx.SeekToSample(12'345));
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 12'345u);
    ASSERT_EQ(rig.ctx.ReadData(piece.data(), 3200), Status::Ok);
    EXPECT_EQ(piece, Slice(audio, 24'690, 24'690 + 3200));
}

TEST(SelectFastTest, OverwriteDiscardsEverythingAfterThePlaybackPosition) {
    for (std::uint32_t played : {0u, 3u}) {
        SCOPED_TRACE(played);
        FastRig rig;
        const Bytes audio = Pattern(50'000, 5);
        ASSERT_EQ(rig.SelectFile(PcmFile(8000, 8, audio)), Status::Ok);
        Bytes piece(1600);
        for (std::uint32_t i = 0; i < played; ++i) ASSERT_EQ(rig.ctx.ReadData(piece.data(), 1600), Status::Ok);
        ASSERT_TRUE(rig.ctx.Overwrite());
        EXPECT_TRUE(rig.Is(rig.ctx.createFast.get()));
        EXPECT_EQ(rig.ctx.DataSize(), played * 1600);
        EXPECT_EQ(rig.ctx.CurrentWriteSample(), played * 1600);
        const Bytes fresh = Pattern(20'000, 6);
        ASSERT_EQ(rig.Record(fresh, 1600), Status::Ok);
        ASSERT_EQ(rig.ctx.End(), Status::Ok);
        ASSERT_EQ(rig.ctx.Close(), Status::Ok);
        EXPECT_EQ(rig.OnDisk(), PcmFile(8000, 8, Cat(Slice(audio, 0, played * 1600), fresh)));
    }
}

TEST(SelectFastTest, OverwriteAtBlockZeroEndedAtOnceLeavesAnEmptyRecording) {
    FastRig rig;
    ASSERT_EQ(rig.SelectFile(PcmFile(8000, 8, Pattern(30'000, 7))), Status::Ok);
    ASSERT_TRUE(rig.ctx.Overwrite());
    EXPECT_EQ(rig.ctx.DataSize(), 0u);
    EXPECT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), PcmFile(8000, 8, {}));
}

TEST(SelectFastTest, AppendThenEndPlaysTheWholeRecordingFromBlockZero) {
    struct Case {
        bool gsm;
        std::size_t old;
        std::size_t added;
    };
    for (const Case c : {Case{false, 20'001, 30'000}, Case{true, 65 * 40, 65 * 300}}) {
        SCOPED_TRACE(c.gsm);
        FastRig rig;
        const Bytes audio = Pattern(c.old, 8);
        const Bytes added = Pattern(c.added, 9);
        auto file = [&](const Bytes& a) { return c.gsm ? GsmFile(a) : PcmFile(8000, 8, a); };
        ASSERT_EQ(rig.SelectFile(file(audio)), Status::Ok);
        Bytes piece(325);
        ASSERT_EQ(rig.ctx.ReadData(piece.data(), 325), Status::Ok);
        ASSERT_TRUE(rig.ctx.Append());
        EXPECT_TRUE(rig.Is(rig.ctx.createFast.get()));
        ASSERT_EQ(rig.Record(added, 1625), Status::Ok);
        ASSERT_EQ(rig.ctx.End(), Status::Ok);
        EXPECT_TRUE(rig.Is(rig.ctx.selectFast.get()));
        EXPECT_EQ(rig.ctx.CurrentReadSample(), 0u);
        EXPECT_EQ(rig.Play(rig.ctx.AvgBytesPerSec() / 5), Cat(audio, added));
        ASSERT_EQ(rig.ctx.Close(), Status::Ok);
        EXPECT_EQ(rig.OnDisk(), file(Cat(audio, added)));
    }
}

// --- Every platform call failing in turn -------------------------------------

// The file as it was, or (when every later call failed too and the file could
// not be cut back) the file as it was followed by the unused reservation.
void ExpectUnchanged(FastFaultRun& run, const Bytes& before) {
    const Bytes disk = run.rig.OnDiskPrefix(before.size() + 1);
    if (!run.Persistent() || run.rig.LengthOnDisk() == before.size()) {
        EXPECT_EQ(disk, before);
    } else {
        EXPECT_EQ(Slice(disk, 0, before.size()), before);
    }
}

TEST(SelectFastFaultTest, SelectAndCloseNeverChangeTheFile) {
    const Bytes audio = Pattern(5 * kTwice, 10);
    const Bytes file = PcmFile(8000, 8, audio);
    SweepFastFaults([&](FastFaultRun& run) {
        FastRig& rig = run.rig;
        test::WriteBytes(rig.path, file);
        run.Arm();
        const Status status = rig.ctx.Select(rig.path, platform::Media::Fast);
        const bool fired = run.Disarm();
        EXPECT_EQ(status, fired ? Status::FileError : Status::Ok);
        if (status == Status::Ok) {
            EXPECT_EQ(rig.Play(1600), audio);
        }
        (void)rig.ctx.Close();
        ExpectUnchanged(run, file);
        rig.ExpectNothingHeld();
    });
}

TEST(SelectFastFaultTest, FailedPlaybackGivesTheFileBackUnchanged) {
    const Bytes audio = Pattern(200'000, 11);
    const Bytes file = PcmFile(8000, 8, audio);
    SweepFastFaults([&](FastFaultRun& run) {
        FastRig& rig = run.rig;
        ASSERT_EQ(rig.SelectFile(file), Status::Ok);
        Bytes piece(1600);
        for (int i = 0; i < 40; ++i) ASSERT_EQ(rig.ctx.ReadData(piece.data(), 1600), Status::Ok);
        run.Arm();
        const Status status = rig.ctx.ReadData(piece.data(), 1600);  // the next fill, across many windows
        const bool fired = run.Disarm();
        EXPECT_EQ(status, fired ? Status::FileError : Status::Ok);
        if (status == Status::Ok) {
            EXPECT_EQ(piece, Slice(audio, 40 * 1600, 41 * 1600));
        }
        EXPECT_EQ(rig.ctx.Close(), Status::Ok) << "a failed read has already given the file back";
        ExpectUnchanged(run, file);
        rig.ExpectNothingHeld();
    });
}

// Also for a file with a chunk after its audio, which a started edit puts
// behind the new end.
TEST(SelectFastFaultTest, RefusedAppendOrOverwriteGivesTheFileBack) {
    const Bytes audio = Pattern(3 * kTwice + 77, 12);
    const Bytes added = Pattern(5'000, 13);
    auto recording = [](const Bytes& a, const Bytes& chunk) {
        return chunk.empty() ? PcmFile(8000, 8, a)
                             : model::WithTrailer(PcmFile(8000, 8, a), Cat(a.size() % 2 ? Bytes{0} : Bytes{}, chunk));
    };
    for (const Bytes& chunk : {Bytes{}, model::kListChunk}) {
        const Bytes file = recording(audio, chunk);
        for (const bool append : {true, false}) {
            SCOPED_TRACE(testing::Message() << (append ? "Append" : "Overwrite") << ", chunk of " << chunk.size());
            SweepFastFaults([&](FastFaultRun& run) {
                FastRig& rig = run.rig;
                ASSERT_EQ(rig.SelectFile(file), Status::Ok);
                ASSERT_TRUE(rig.ctx.SeekToSample(1000));  // the window is elsewhere than the end
                run.Arm();
                const bool started = append ? rig.ctx.Append() : rig.ctx.Overwrite();
                const bool fired = run.Disarm();
                EXPECT_EQ(started, !fired);
                if (!started) {
                    // Chunks that cannot be held refuse the edit before the file is let go.
                    const bool selected = !chunk.empty() && rig.Is(rig.ctx.selectFast.get());
                    EXPECT_TRUE(rig.Is(rig.ctx.idle.get()) || selected);
                    if (selected) {
                        EXPECT_EQ(rig.ctx.Close(), Status::Ok);
                    }
                    ExpectUnchanged(run, file);
                    rig.ExpectNothingHeld();
                    return;
                }
                ASSERT_EQ(rig.Record(added, 1600), Status::Ok);
                ASSERT_EQ(rig.ctx.Close(), Status::Ok);
                EXPECT_EQ(rig.OnDisk(), recording(Cat(append ? audio : Slice(audio, 0, 1000), added), chunk));
            });
        }
    }
}

}  // namespace
}  // namespace tavrin::storage
