// Power cuts at every platform call of a recording and of each edit on fast
// media, followed by the recovery a restart runs: what is left must be the
// old recording byte for byte, or the new one less at most its unsynced tail,
// with an exact header; files the program was not changing stay as they were.
#include <gtest/gtest.h>


#include "RecordingModel.h"
#include "storage/Journal.h"
#include "storage/Recovery.h"
#include "storage/StorageContext.h"
#include "support/CrashFileSystem.h"
#include "support/FakeMemory.h"
#include "support/RecordingShell.h"

namespace tavrin::storage {
namespace {

using model::Bytes;
using model::Pattern;

const std::string kFolder = "/rec";
const std::string kState = "/state";
const std::string kPath = "/rec/a.wav";
const std::string kForeign = "/rec/foreign.wav";
constexpr std::uint32_t kBlocks = 14;   // 2.8 s of audio in 200 ms blocks
constexpr std::uint32_t kSyncLag = 5;   // the platform syncs about once a second

enum class Scenario { Record, Append, Overwrite, Insert };

// A WAV this program did not write: a LIST chunk after the audio and zero padding.
Bytes ForeignWav() {
    Bytes f = model::WavFile(model::kPcm8, Pattern(3000, 99));
    const Bytes list = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    f.insert(f.end(), list.begin(), list.end());
    f.insert(f.end(), 4096, 0);
    return f;
}

// Chunks another program put after the audio of the recording being edited,
// as tagging tools do: a LIST chunk of odd size with its pad byte, and JUNK.
const Bytes kChunksAfter = [] {
    Bytes b = {'L', 'I', 'S', 'T', 9, 0, 0, 0, 'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 'x', 0};
    const Bytes junk = {'J', 'U', 'N', 'K', 0, 4, 0, 0};
    b.insert(b.end(), junk.begin(), junk.end());
    b.insert(b.end(), 1024, 0);
    return b;
}();

// The recording of `audio` with `chunks` behind it, word-aligned.
Bytes WithChunks(const model::Format& format, const Bytes& audio, const Bytes& chunks) {
    if (chunks.empty()) return model::WavFile(format, audio);
    Bytes after = chunks;
    if (audio.size() % 2 != 0) after.insert(after.begin(), 0);
    return model::WithTrailer(model::WavFile(format, audio), after);
}

struct Run {
    test::CrashFileSystem fs{4u << 20};
    test::FakeMemory memory;
    test::FakeSystemInfo system{4096};
    test::RecordingShell shell;
    std::uint32_t written = 0;  // bytes of new audio the context accepted before the power went
    bool finished = false;      // End returned Ok before the power went

    explicit Run(const Bytes& old) {
        fs.setSyncLag(kSyncLag);
        (void)fs.createDirectory(kFolder);
        (void)fs.createDirectory(kState);
        fs.put(kForeign, ForeignWav());
        if (!old.empty()) fs.put(kPath, old);
    }

    // Runs the scenario with the power going at call `crashAt` (0: never).
    void Play(Scenario scenario, const model::Format& format, const Bytes& added, std::uint32_t point,
              std::uint32_t crashAt) {
        StorageContext ctx(fs, memory, system, shell);
        ctx.journalFolder = kState;
        fs.crashAt(crashAt);
        bool started = false;
        if (scenario == Scenario::Record) {
            started = ctx.Create(kPath, format.tag, format.samplesPerSec, format.bitsPerSample, 1, true) == Status::Ok;
        } else if (ctx.Select(kPath, false) == Status::Ok && ctx.SeekToSample(point / format.BlockBytes())) {
            started = scenario == Scenario::Append    ? ctx.Append()
                      : scenario == Scenario::Overwrite ? ctx.Overwrite()
                                                        : ctx.Insert();
        }
        const std::uint32_t piece = format.PieceBytes();
        for (std::uint32_t at = 0; started && at < added.size(); at += piece) {
            if (ctx.WriteData(added.data() + at, piece) != Status::Ok) break;
            if (!fs.crashed()) written = at + piece;
        }
        if (started) finished = ctx.End() == Status::Ok && !fs.crashed();
        (void)ctx.Close();
        // The context goes with everything it held, then the power comes back.
    }
};

// True when `file` is `before`, the first k bytes of `added` and `after`,
// exactly, with `chunks` behind them, for some k within [lowest, highest].
bool IsPrefixRecording(const model::Format& format, const Bytes& file, const Bytes& before, const Bytes& added,
                       const Bytes& after, const Bytes& chunks, std::uint32_t lowest, std::uint32_t highest,
                       std::string& why) {
    const std::size_t kept = format.HeaderBytes() + before.size() + after.size() + chunks.size();
    if (file.size() < kept) {
        why = "shorter than the audio kept by the edit";
        return false;
    }
    const std::size_t rest = file.size() - kept;
    // Odd-sized audio has a pad byte before the chunks: the size alone cannot tell.
    for (const std::size_t k : {rest, rest - 1}) {
        if (k > rest || (k != rest && chunks.empty()) || k > added.size()) continue;
        Bytes audio = before;
        audio.insert(audio.end(), added.begin(), added.begin() + static_cast<std::ptrdiff_t>(k));
        audio.insert(audio.end(), after.begin(), after.end());
        if (file != WithChunks(format, audio, chunks)) continue;
        if (k >= lowest && k <= highest) return true;
        why = "holds " + std::to_string(k) + " new bytes, outside [" + std::to_string(lowest) + ", " +
              std::to_string(highest) + "]";
        return false;
    }
    why = "not the recording of the audio it holds (header or bytes differ)";
    return false;
}

void CheckAfterRecovery(Run& run, Scenario scenario, const model::Format& format, const Bytes& oldAudio,
                        const Bytes& chunks, const Bytes& added, std::uint32_t point) {
    EXPECT_EQ(run.fs.contents(kForeign), ForeignWav()) << "a file not being changed was touched";
    EXPECT_TRUE(run.fs.list(kState)->empty()) << "recovery left a journal or one of its files behind";
    const auto file = run.fs.contents(kPath);
    const Bytes old = oldAudio.empty() ? Bytes{} : WithChunks(format, oldAudio, chunks);
    if (!file) {
        EXPECT_EQ(scenario, Scenario::Record) << "the recording is gone";
        EXPECT_EQ(run.written, 0u) << "audio was accepted, yet no file is left";
        return;
    }
    const std::uint32_t piece = format.PieceBytes();
    if (scenario != Scenario::Record && *file == old) {
        // The edit never reached the medium: only while it was within its unsynced tail.
        EXPECT_FALSE(run.finished) << "finished, yet the old recording";
        EXPECT_LE(run.written, (kSyncLag + 1) * piece) << "the old recording, though more was recorded";
        return;
    }
    const Bytes before = scenario == Scenario::Record   ? Bytes{}
                         : scenario == Scenario::Append ? oldAudio
                                                        : Bytes(oldAudio.begin(), oldAudio.begin() + point);
    // An insertion moves the old audio after its point on.
    const Bytes after = scenario == Scenario::Insert ? Bytes(oldAudio.begin() + point, oldAudio.end()) : Bytes{};
    // At most what the platform had not synced yet is lost; the block being
    // stored when the power went may or may not have made it.
    const std::uint32_t lowest = run.finished ? static_cast<std::uint32_t>(added.size())
                                              : run.written - std::min(run.written, kSyncLag * piece);
    const std::uint32_t highest = run.finished ? lowest : run.written + piece;
    std::string why;
    EXPECT_TRUE(IsPrefixRecording(format, *file, before, added, after, chunks, lowest, highest, why))
        << why << " (accepted " << run.written << " bytes)";
}

void Sweep(Scenario scenario, const model::Format& format, const Bytes& chunks) {
    const Bytes oldAudio = scenario == Scenario::Record ? Bytes{} : Pattern(10 * format.PieceBytes(), 1);
    const Bytes added = Pattern(kBlocks * format.PieceBytes(), 2);
    const std::uint32_t point = 4 * format.PieceBytes();
    const Bytes old = oldAudio.empty() ? Bytes{} : WithChunks(format, oldAudio, chunks);
    std::uint32_t total = 0;
    {
        Run clean(old);
        const std::uint32_t before = clean.fs.calls();
        clean.Play(scenario, format, added, point, 0);
        total = clean.fs.calls() - before;
        ASSERT_TRUE(clean.finished);
    }
    for (std::uint32_t n = 1; n <= total + 1; ++n) {
        SCOPED_TRACE(testing::Message() << "power lost at call " << n << " of " << total);
        Run run(old);
        run.Play(scenario, format, added, point, n);
        run.fs.reboot();
        // Recovery itself may lose the power at any of its calls; run again, it finishes the job.
        for (std::uint32_t r = 1;; ++r) {
            run.fs.crashAt(r);
            (void)RecoverRecordings(run.fs, kState);
            const bool cut = run.fs.crashed();
            run.fs.reboot();

            if (!cut) break;
        }
        const auto repaired = RecoverRecordings(run.fs, kState);
        EXPECT_TRUE(repaired.empty()) << "a second recovery found more to do";
        CheckAfterRecovery(run, scenario, format, oldAudio, chunks, added, point);
        if (testing::Test::HasFailure()) return;
    }
}

struct Case {
    const char* name;
    Scenario scenario;
    model::Format format;
    bool chunksAfter = false;  // a file from another program, with chunks after its audio
};

class CrashSweep : public testing::TestWithParam<Case> {};

TEST_P(CrashSweep, EveryPowerCutLeavesTheOldOrTheNewRecordingLessItsUnsyncedTail) {
    Sweep(GetParam().scenario, GetParam().format, GetParam().chunksAfter ? kChunksAfter : Bytes{});
}

INSTANTIATE_TEST_SUITE_P(FastMedia, CrashSweep,
                         testing::Values(Case{"RecordPcm8", Scenario::Record, model::kPcm8},
                                         Case{"RecordGsm", Scenario::Record, model::kGsm},
                                         Case{"AppendPcm16", Scenario::Append, model::kPcm16},
                                         Case{"AppendGsm", Scenario::Append, model::kGsm},
                                         Case{"OverwritePcm8", Scenario::Overwrite, model::kPcm8},
                                         Case{"OverwriteGsm", Scenario::Overwrite, model::kGsm},
                                         Case{"InsertPcm8", Scenario::Insert, model::kPcm8},
                                         Case{"InsertGsm", Scenario::Insert, model::kGsm},
                                         Case{"AppendGsmChunksAfter", Scenario::Append, model::kGsm, true},
                                         Case{"OverwritePcm16ChunksAfter", Scenario::Overwrite, model::kPcm16, true},
                                         Case{"InsertGsmChunksAfter", Scenario::Insert, model::kGsm, true},
                                         Case{"InsertPcm8ChunksAfter", Scenario::Insert, model::kPcm8, true}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tavrin::storage

namespace tavrin::storage {
namespace {

// Recovery repairs only what a journal names, within the places it is asked about.
TEST(RecoveryTest, RepairsOnlyJournalledFilesInScopeAndForgetsStaleJournals) {
    test::CrashFileSystem fs;
    test::FakeMemory memory;
    test::FakeSystemInfo system{4096};
    test::RecordingShell shell;
    ASSERT_TRUE(fs.createDirectory(kFolder));
    ASSERT_TRUE(fs.createDirectory(kState));
    ASSERT_TRUE(fs.createDirectory("/card"));
    fs.put(kForeign, ForeignWav());
    const Bytes audio = Pattern(8000, 5);
    // Two recordings killed mid-way: header current, reserved zeros after the audio.
    for (const std::string& path : {kPath, std::string("/card/b.wav")}) {
        StorageContext ctx(fs, memory, system, shell);
        ctx.journalFolder = kState;
        ASSERT_EQ(ctx.Create(path, wav::kTagPcm, 8000, 8, 1, true), Status::Ok);
        ASSERT_EQ(ctx.WriteData(audio.data(), 8000), Status::Ok);
        const Bytes killed = fs.contents(path).value();  // a kill leaves all that was stored
        fs.crashAt(1);
        (void)ctx.Close();
        fs.reboot();
        fs.put(path, killed);
    }
    fs.put(kState + "/torn.journal", Bytes{'t', 'a', 'v', 'r', 'i', 'n'});
    {
        // A recording on a card that is not inserted now: its journal waits.
        StorageContext ctx(fs, memory, system, shell);
        ctx.journalFolder = kState;
        ASSERT_TRUE(fs.createDirectory("/gone"));
        ASSERT_EQ(ctx.Create("/gone/c.wav", wav::kTagPcm, 8000, 8, 1, true), Status::Ok);
        fs.crashAt(1);
        (void)ctx.Close();
        fs.reboot();
        ASSERT_TRUE(fs.remove("/gone/c.wav"));
        ASSERT_TRUE(fs.remove("/gone"));
    }
    fs.put(kState + "/other.journal", fs.contents(JournalPathFor(kState, kPath)).value());
    EXPECT_GT(fs.contents(kPath)->size(), 44u + 8000u) << "the reservation is still there";

    const auto first = RecoverRecordings(fs, kState, {"/card/"});
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].path, "/card/b.wav");
    EXPECT_EQ(first[0].lengthMs, 1000u);
    EXPECT_TRUE(first[0].repaired);
    EXPECT_EQ(fs.contents("/card/b.wav"), model::WavFile(model::kPcm8, audio));
    EXPECT_FALSE(fs.contents(kState + "/torn.journal")) << "a torn journal names nothing";
    EXPECT_NE(fs.contents(kPath), model::WavFile(model::kPcm8, audio)) << "out of scope";

    const auto rest = RecoverRecordings(fs, kState);
    ASSERT_EQ(rest.size(), 1u) << "the other journal named the same file: one repair";
    EXPECT_EQ(rest[0].path, kPath);
    EXPECT_EQ(fs.contents(kPath), model::WavFile(model::kPcm8, audio));
    EXPECT_EQ(fs.contents(kForeign), ForeignWav());
    EXPECT_TRUE(RecoverRecordings(fs, kState).empty()) << "nothing left to do";
    EXPECT_EQ(fs.list(kState)->size(), 1u) << "every journal settled but the card's";
    // The card is back but the file is not (deleted meanwhile): nothing to repair.
    ASSERT_TRUE(fs.createDirectory("/gone"));
    EXPECT_TRUE(RecoverRecordings(fs, kState).empty());
    EXPECT_EQ(fs.list(kState)->size(), 0u);
}

}  // namespace
}  // namespace tavrin::storage
