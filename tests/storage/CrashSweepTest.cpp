// Power cuts at every platform call of a recording and of each edit on both
// media, followed by the recovery a restart runs: what is left must be the
// old recording byte for byte, or the new one less at most its unsynced tail,
// with an exact header and the chunks it had after its audio; files the
// program was not changing stay as they were.
#include <gtest/gtest.h>


#include <functional>

#include "RecordingModel.h"
#include "storage/Journal.h"
#include "storage/MarkBook.h"
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

enum class Scenario { Record, Append, Overwrite, Insert, Cut, UndoCut };

// A cut removes three pieces from the point on.
constexpr std::uint32_t kCutPieces = 3;

// A WAV this program did not write: a LIST chunk after the audio and zero padding.
Bytes ForeignWav() {
    Bytes f = model::WavFile(model::kPcm8, Pattern(3000, 99));
    const Bytes list = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    f.insert(f.end(), list.begin(), list.end());
    f.insert(f.end(), 4096, 0);
    return f;
}

// The recording of `audio`, with `chunks` after it (word-aligned) when there are any.
Bytes Recording(const model::Format& format, const Bytes& audio, const Bytes& chunks) {
    Bytes file = model::WavFile(format, audio);
    if (chunks.empty()) return file;
    if (audio.size() % 2 != 0) file.push_back(0);
    return model::WithTrailer(file, chunks);
}

// Chunks a tagging tool put after the audio: a LIST chunk of odd size with
// its pad byte, and JUNK.
const Bytes kChunksAfter = [] {
    Bytes b = {'L', 'I', 'S', 'T', 9, 0, 0, 0, 'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 'x', 0};
    const Bytes junk = {'J', 'U', 'N', 'K', 0, 4, 0, 0};
    b.insert(b.end(), junk.begin(), junk.end());
    b.insert(b.end(), 1024, 0);
    return b;
}();

// Marks a tagging tool left in the old recording, named by it.
wav::MarkList OldMarks(const model::Format& format) {
    const std::uint32_t piece = format.PieceBytes() / format.BlockBytes();
    return {{1, piece, "Intro"}, {2, 4 * piece, "Point"}, {3, 7 * piece, "Later"}};
}

wav::MarkScale ScaleOfFormat(const model::Format& format) {
    return wav::ScaleOf(format.tag, static_cast<std::uint16_t>(format.BlockBytes()));
}

// Those chunks with the old marks after them.
Bytes WithMarks(const model::Format& format, Bytes chunks) {
    const Bytes cues = wav::MarkChunks(OldMarks(format), ScaleOfFormat(format));
    chunks.insert(chunks.end(), cues.begin(), cues.end());
    return chunks;
}

// A mark made during the change: where, and whether it was in the log (its
// Add had finished) before the power went.
struct MadeMark {
    wav::Mark mark;
    bool durable = false;
};

struct Run {
    test::CrashFileSystem fs{4u << 20};
    test::FakeMemory memory;
    test::FakeSystemInfo system{4096};
    test::RecordingShell shell;
    std::uint32_t written = 0;  // bytes of new audio the context accepted before the power went
    bool finished = false;      // End returned Ok before the power went
    std::vector<MadeMark> made;  // marks made before the power went

    // With a seed, each write not synced at a power cut lands, vanishes or tears.
    explicit Run(const Bytes& old, std::optional<std::uint64_t> tearing = std::nullopt) {
        fs.setSyncLag(kSyncLag);
        memory.setAvailablePhysical(256 * 1024);  // a slow recording's buffer: room for the whole test
        fs.putFolder(kFolder);
        fs.putFolder(kState);
        fs.put(kForeign, ForeignWav());
        if (!old.empty()) fs.put(kPath, old);
        if (tearing) fs.setTearing(*tearing);
    }

    // Runs the scenario with the power going at call `crashAt` (0: never).
    void Play(Scenario scenario, const model::Format& format, bool fast, const Bytes& added, std::uint32_t point,
              std::uint32_t crashAt, bool marking = false) {
        StorageContext ctx(fs, memory, system, shell);
        ctx.journal.SetFolder(kState);
        fs.crashAt(crashAt);
        bool started = false;
        if (scenario == Scenario::Cut || scenario == Scenario::UndoCut) {
            // An undo loses the power only once the cut is made.
            const bool undo = scenario == Scenario::UndoCut;
            if (undo) fs.crashAt(0);
            const std::uint32_t from = point / format.BlockBytes();
            const std::uint32_t count = kCutPieces * format.PieceBytes() / format.BlockBytes();
            const auto keep = undo ? StorageContext::Undo::Keep : StorageContext::Undo::Forgo;
            finished = ctx.Select(kPath, fast ? platform::Media::Fast : platform::Media::Slow) == Status::Ok && ctx.Cut(from, from + count, keep) == Status::Ok;
            if (undo) fs.crashAt(crashAt);
            finished = finished && (!undo || ctx.UndoCut() == Status::Ok) && !fs.crashed();
            (void)ctx.Close();
            return;
        }
        if (scenario == Scenario::Record) {
            started = ctx.Create(kPath, format.tag, format.samplesPerSec, format.bitsPerSample, 1, fast ? platform::Media::Fast : platform::Media::Slow) == Status::Ok;
        } else if (ctx.Select(kPath, fast ? platform::Media::Fast : platform::Media::Slow) == Status::Ok && ctx.SeekToSample(point / format.BlockBytes())) {
            started = scenario == Scenario::Append    ? ctx.Append()
                      : scenario == Scenario::Overwrite ? ctx.Overwrite()
                                                        : ctx.Insert();
        }
        const std::uint32_t piece = format.PieceBytes();
        for (std::uint32_t at = 0; started && at < added.size(); at += piece) {
            if (ctx.WriteData(added.data() + at, piece) != Status::Ok) break;
            if (!fs.crashed()) written = at + piece;
            // A mark every third piece, where the recording stands.
            if (!marking || (at / piece) % 3 != 1 || fs.crashed()) continue;
            const auto mark = ctx.marks.Add(ctx.CurrentWriteSample());
            if (mark) made.push_back({*mark, !fs.crashed()});
        }
        if (started) finished = ctx.End() == Status::Ok && !fs.crashed();
        (void)ctx.Close();
        // The context goes with everything it held, then the power comes back.
    }
};

// The chunks a recording holding `k` new bytes may have after its audio.
using ChunksFor = std::function<std::vector<Bytes>(std::size_t k)>;

// True when `file` is `before`, the first k bytes of `added` and `after`,
// exactly, followed by one of the chunks `chunksFor(k)` names, for some k
// within [lowest, highest]. Only the k its header's data size names can
// fit, since every candidate carries the size of its own audio.
bool IsPrefixRecording(const model::Format& format, const Bytes& file, const Bytes& before, const Bytes& added,
                       const Bytes& after, const ChunksFor& chunksFor, std::uint32_t lowest, std::uint32_t highest,
                       std::string& why) {
    const std::size_t kept = before.size() + after.size();
    if (file.size() < format.HeaderBytes()) {
        why = "shorter than a header";
        return false;
    }
    const std::size_t dataSize = wav::LoadLe32(file.data() + format.HeaderBytes() - 4);
    const std::size_t k = dataSize - std::min(dataSize, kept);
    if (dataSize < kept || k < lowest || k > std::min<std::size_t>(highest, added.size())) {
        why = dataSize < kept ? "its header names less audio than the old"
                              : "its header names " + std::to_string(k) + " new bytes, not " +
                                    std::to_string(lowest) + " to " + std::to_string(highest);
        return false;
    }
    Bytes audio = before;
    audio.insert(audio.end(), added.begin(), added.begin() + static_cast<std::ptrdiff_t>(k));
    audio.insert(audio.end(), after.begin(), after.end());
    why = "not the recording of the audio it holds (header, bytes or chunks differ)";
    for (const Bytes& chunks : chunksFor(k)) {
        if (file == Recording(format, audio, chunks)) return true;
    }
    return false;
}

// The chunks after the audio once the change kept `k` new bytes: the old
// ones, their marks moved as the change moved their audio, with the marks
// made during it: every one in the log, and any of those the power may have
// cut from it.
std::vector<Bytes> ChunksAfterChange(const Run& run, Scenario scenario, const model::Format& format,
                                     const Bytes& oldAudio, const Bytes& chunks, std::uint32_t point, std::size_t k) {
    const wav::MarkScale scale = ScaleOfFormat(format);
    const std::uint32_t block = format.BlockBytes();
    const auto oldBlocks = static_cast<std::uint32_t>(oldAudio.size() / block);
    const auto newBlocks = static_cast<std::uint32_t>(
        (scenario == Scenario::Overwrite ? point + k : oldAudio.size() + k) / block);
    const wav::AudioEdit::Kind kind = scenario == Scenario::Insert      ? wav::AudioEdit::Kind::Insert
                                      : scenario == Scenario::Overwrite ? wav::AudioEdit::Kind::Overwrite
                                                                        : wav::AudioEdit::Kind::Append;
    const MarkChange change{kind, scenario == Scenario::Append ? oldBlocks : point / block, oldBlocks, scale};
    const wav::MarkList old = wav::MarksInChunks(chunks.data(), static_cast<std::uint32_t>(chunks.size()), scale,
                                                 oldBlocks);
    std::vector<Bytes> out;
    // An overwrite that left the audio as long as it was may not have
    // reached the medium: the old marks then stay, and none is added.
    if (kind == wav::AudioEdit::Kind::Overwrite && newBlocks == oldBlocks) out.push_back(chunks);
    for (std::size_t n = 0; n <= run.made.size(); ++n) {
        if (n < run.made.size() && run.made[n].durable) continue;  // cut only from the end, never a durable one
        wav::MarkList made;
        for (std::size_t i = 0; i < n; ++i) made.push_back(run.made[i].mark);
        out.push_back(wav::ReplaceMarkChunks(chunks.data(), static_cast<std::uint32_t>(chunks.size()),
                                             MarksAfterChange(old, change, made, newBlocks), scale));
    }
    return out;
}

// The old audio a change keeps before its new audio.
Bytes AudioBefore(Scenario scenario, const Bytes& oldAudio, std::uint32_t point) {
    if (scenario == Scenario::Record || scenario == Scenario::Append) return oldAudio;
    return Bytes(oldAudio.begin(), oldAudio.begin() + point);
}

// The new bytes that surely reached the medium: all once the change
// finished, else all but what the platform had not synced yet.
std::uint32_t SyncedNewBytes(const Run& run, const model::Format& format, const Bytes& added) {
    if (run.finished) return static_cast<std::uint32_t>(added.size());
    return run.written - std::min(run.written, kSyncLag * format.PieceBytes());
}

void CheckAfterRecovery(Run& run, Scenario scenario, const model::Format& format, const Bytes& oldAudio,
                        const Bytes& chunks, const Bytes& added, std::uint32_t point) {
    EXPECT_EQ(run.fs.contents(kForeign), ForeignWav()) << "a file not being changed was touched";
    const auto left = run.fs.list(kState).value_or(std::vector<platform::DirectoryEntry>{});
    for (const auto& e : left) ADD_FAILURE() << "recovery left " << e.name << " behind";
    const auto file = run.fs.contents(kPath);
    const Bytes old = oldAudio.empty() ? Bytes{} : Recording(format, oldAudio, chunks);
    if (!file) {
        EXPECT_EQ(scenario, Scenario::Record) << "the recording is gone";
        EXPECT_EQ(run.written, 0u) << "audio was accepted, yet no file is left";
        return;
    }
    const std::uint32_t piece = format.PieceBytes();
    if (scenario == Scenario::Cut || scenario == Scenario::UndoCut) {
        // The old recording, or the cut one: never a mixture. An undo
        // finishes at the old one.
        const bool undo = scenario == Scenario::UndoCut;
        if (*file == old) {
            EXPECT_TRUE(undo || !run.finished) << "finished, yet the old recording";
            return;
        }
        Bytes audio(oldAudio.begin(), oldAudio.begin() + point);
        audio.insert(audio.end(), oldAudio.begin() + point + kCutPieces * piece, oldAudio.end());
        const wav::MarkScale scale = ScaleOfFormat(format);
        const auto oldBlocks = static_cast<std::uint32_t>(oldAudio.size() / format.BlockBytes());
        const MarkChange change{wav::AudioEdit::Kind::Cut, point / format.BlockBytes(), oldBlocks, scale};
        const wav::MarkList marks = MarksAfterChange(
            wav::MarksInChunks(chunks.data(), static_cast<std::uint32_t>(chunks.size()), scale, oldBlocks), change, {},
            static_cast<std::uint32_t>(audio.size() / format.BlockBytes()));
        const Bytes cutChunks =
            wav::ReplaceMarkChunks(chunks.data(), static_cast<std::uint32_t>(chunks.size()), marks, scale);
        EXPECT_TRUE(*file == Recording(format, audio, cutChunks)) << "neither the old recording nor the cut one";
        EXPECT_TRUE(!undo || !run.finished) << "undone, yet the cut recording";
        return;
    }
    if (scenario != Scenario::Record && *file == old) {
        // The edit never reached the medium: only while it was within its unsynced tail.
        EXPECT_FALSE(run.finished) << "finished, yet the old recording";
        EXPECT_LE(run.written, (kSyncLag + 1) * piece) << "the old recording, though more was recorded";
        return;
    }
    const Bytes before = AudioBefore(scenario, oldAudio, point);
    // An insertion moves the old audio after its point on.
    const Bytes after = scenario == Scenario::Insert ? Bytes(oldAudio.begin() + point, oldAudio.end()) : Bytes{};
    // At most what the platform had not synced yet is lost; the block being
    // stored when the power went may or may not have made it.
    const std::uint32_t lowest = SyncedNewBytes(run, format, added);
    const std::uint32_t highest = run.finished ? lowest : run.written + piece;
    std::string why;
    const ChunksFor chunksFor = [&](std::size_t k) {
        return ChunksAfterChange(run, scenario, format, oldAudio, chunks, point, k);
    };
    EXPECT_TRUE(IsPrefixRecording(format, *file, before, added, after, chunksFor, lowest, highest, why))
        << why << " (accepted " << run.written << " bytes, " << run.made.size() << " marks made)";
}

struct Case {
    const char* name;
    Scenario scenario;
    model::Format format;
    bool fast = true;
    Bytes chunks;  // after the old recording's audio
    bool marking = false;  // marks are made while it records
};

// How the power goes: unsynced writes vanish, or each lands, vanishes or
// tears (of its sectors some land and the rest hold garbage).
enum class Power { Cut, CutAndTorn };

void Sweep(const Case& c, Power power = Power::Cut) {
    const Scenario scenario = c.scenario;
    const model::Format& format = c.format;
    // With chunks after it, 8-bit audio of odd size puts a pad byte before them.
    const std::size_t odd = format.BlockBytes() == 1 && !c.chunks.empty() ? 1 : 0;
    const Bytes oldAudio = scenario == Scenario::Record ? Bytes{} : Pattern(10 * format.PieceBytes() + odd, 1);
    const Bytes added = Pattern(kBlocks * format.PieceBytes(), 2);
    const std::uint32_t point = 4 * format.PieceBytes();
    const Bytes old = oldAudio.empty() ? Bytes{} : Recording(format, oldAudio, c.chunks);
    std::uint32_t total = 0;
    {
        Run clean(old);
        const std::uint32_t before = clean.fs.calls();
        clean.Play(scenario, format, c.fast, added, point, 0, c.marking);
        total = clean.fs.calls() - before;
        ASSERT_TRUE(clean.finished);
    }
    for (std::uint32_t n = 1; n <= total + 1; ++n) {
        SCOPED_TRACE(testing::Message() << "power lost at call " << n << " of " << total);
        // One seed per point: the whole sweep meets many.
        Run run(old, power == Power::Cut ? std::nullopt : std::optional<std::uint64_t>(n));
        run.Play(scenario, format, c.fast, added, point, n, c.marking);
        run.fs.reboot();
        // Recovery itself may lose the power at any of its calls; run again, it finishes the job.
        // With tearing, at every other call, the others at the next point.
        const std::uint32_t step = power == Power::Cut ? 1 : 2;
        for (std::uint32_t r = step == 1 ? 1 : 1 + n % 2;; r += step) {
            run.fs.crashAt(r);
            (void)RecoverRecordings(run.fs, kState);
            const bool cut = run.fs.crashed();
            run.fs.reboot();
            if (!cut) break;
        }
        const auto repaired = RecoverRecordings(run.fs, kState);
        EXPECT_TRUE(repaired.empty()) << "a second recovery found more to do";
        CheckAfterRecovery(run, scenario, format, oldAudio, c.chunks, added, point);
        if (testing::Test::HasFailure()) return;
    }
}

class CrashSweep : public testing::TestWithParam<Case> {};

TEST_P(CrashSweep, EveryPowerCutLeavesTheOldOrTheNewRecordingLessItsUnsyncedTail) {
    Sweep(GetParam());
}

// The same when unsynced writes may also tear, as a disk that writes back in
// its own order does at a power cut: recovery trusts no count it cannot
// check (see ProgressSeal), and writes again no header byte it knows.
TEST_P(CrashSweep, TornWritesKeepTheSamePromise) {
    Sweep(GetParam(), Power::CutAndTorn);
}

INSTANTIATE_TEST_SUITE_P(FastMedia, CrashSweep,
                         testing::Values(Case{"RecordPcm8", Scenario::Record, model::kPcm8, true, {}},
                                         Case{"RecordGsm", Scenario::Record, model::kGsm, true, {}},
                                         Case{"AppendPcm16", Scenario::Append, model::kPcm16, true, {}},
                                         Case{"AppendGsm", Scenario::Append, model::kGsm, true, {}},
                                         Case{"OverwritePcm8", Scenario::Overwrite, model::kPcm8, true, {}},
                                         Case{"OverwriteGsm", Scenario::Overwrite, model::kGsm, true, {}},
                                         Case{"InsertPcm8", Scenario::Insert, model::kPcm8, true, {}},
                                         Case{"InsertGsm", Scenario::Insert, model::kGsm, true, {}},
                                         Case{"AppendGsmWithChunks", Scenario::Append, model::kGsm, true, kChunksAfter},
                                         Case{"OverwritePcm16WithChunks", Scenario::Overwrite, model::kPcm16, true,
                                              kChunksAfter},
                                         Case{"InsertGsmWithChunks", Scenario::Insert, model::kGsm, true, kChunksAfter},
                                         Case{"InsertPcm8WithChunks", Scenario::Insert, model::kPcm8, true,
                                              kChunksAfter}),
                         [](const auto& param) { return std::string(param.param.name); });

// Recordings with marks, old ones moved by the change and new ones made
// during it: every mark in the log before the power went is kept where its
// audio went.
INSTANTIATE_TEST_SUITE_P(
    Marks, CrashSweep,
    testing::Values(Case{"FastRecordPcm16", Scenario::Record, model::kPcm16, true, {}, true},
                    Case{"FastAppendGsm", Scenario::Append, model::kGsm, true, WithMarks(model::kGsm, {}), true},
                    Case{"FastInsertPcm8WithList", Scenario::Insert, model::kPcm8, true,
                         WithMarks(model::kPcm8, model::kListChunk), true},
                    Case{"FastOverwritePcm16", Scenario::Overwrite, model::kPcm16, true,
                         WithMarks(model::kPcm16, kChunksAfter), true},
                    Case{"SlowRecordGsm", Scenario::Record, model::kGsm, false, {}, true},
                    Case{"SlowAppendPcm8WithList", Scenario::Append, model::kPcm8, false,
                         WithMarks(model::kPcm8, model::kListChunk), true},
                    Case{"SlowInsertGsm", Scenario::Insert, model::kGsm, false, WithMarks(model::kGsm, {}), true},
                    Case{"SlowOverwritePcm8", Scenario::Overwrite, model::kPcm8, false,
                         WithMarks(model::kPcm8, {}), true}),
    [](const auto& param) { return std::string(param.param.name); });

// Cuts: the audio after the cut and the chunks after the audio move back,
// journalled with a spool of what moves, on both media.
INSTANTIATE_TEST_SUITE_P(
    Cuts, CrashSweep,
    testing::Values(Case{"FastCutPcm8WithMarks", Scenario::Cut, model::kPcm8, true,
                         WithMarks(model::kPcm8, model::kListChunk)},
                    Case{"FastCutGsm", Scenario::Cut, model::kGsm, true, {}},
                    Case{"FastCutPcm16WithChunks", Scenario::Cut, model::kPcm16, true, kChunksAfter},
                    Case{"SlowCutPcm16WithMarks", Scenario::Cut, model::kPcm16, false,
                         WithMarks(model::kPcm16, kChunksAfter)},
                    Case{"SlowCutGsmWithMarks", Scenario::Cut, model::kGsm, false, WithMarks(model::kGsm, {})}),
    [](const auto& param) { return std::string(param.param.name); });

// Undoing a cut puts the removed audio back at the cut's start: after a power
// cut anywhere in it, the cut recording or the old one, byte for byte.
INSTANTIATE_TEST_SUITE_P(
    UndoneCuts, CrashSweep,
    testing::Values(Case{"FastUndoPcm8WithMarks", Scenario::UndoCut, model::kPcm8, true,
                         WithMarks(model::kPcm8, model::kListChunk)},
                    Case{"FastUndoGsm", Scenario::UndoCut, model::kGsm, true, {}},
                    Case{"SlowUndoPcm16WithMarks", Scenario::UndoCut, model::kPcm16, false,
                         WithMarks(model::kPcm16, kChunksAfter)},
                    Case{"SlowUndoGsmWithMarks", Scenario::UndoCut, model::kGsm, false, WithMarks(model::kGsm, {})}),
    [](const auto& param) { return std::string(param.param.name); });

// Slow media collects the audio in memory and writes it at the end; the
// spool beside the journal is what a power cut must not lose.
INSTANTIATE_TEST_SUITE_P(
    SlowMedia, CrashSweep,
    testing::Values(Case{"RecordPcm16", Scenario::Record, model::kPcm16, false, {}},
                    Case{"RecordGsm", Scenario::Record, model::kGsm, false, {}},
                    Case{"AppendPcm8WithChunks", Scenario::Append, model::kPcm8, false, model::kListChunk},
                    Case{"AppendGsm", Scenario::Append, model::kGsm, false, {}},
                    Case{"OverwritePcm16WithChunks", Scenario::Overwrite, model::kPcm16, false, model::kListChunk},
                    Case{"InsertPcm16WithChunks", Scenario::Insert, model::kPcm16, false, model::kListChunk},
                    Case{"InsertGsm", Scenario::Insert, model::kGsm, false, {}}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tavrin::storage

namespace tavrin::storage {
namespace {

class RecoveryTest : public testing::Test {
protected:
    // What a kill in the middle of a recording on fast media leaves: the
    // header current, the reserved zeros after the audio, the journal.
    void LeaveKilledRecording(const std::string& path, const Bytes& audio) { LeaveKilledRecording(fs, path, audio); }
    void LeaveKilledRecording(test::CrashFileSystem& files, const std::string& path, const Bytes& audio) {
        StorageContext ctx(files, memory, system, shell);
        ctx.journal.SetFolder(kState);
        ASSERT_EQ(ctx.Create(path, wav::kTagPcm, 8000, 8, 1, platform::Media::Fast), Status::Ok);
        ASSERT_EQ(ctx.WriteData(audio.data(), static_cast<std::uint32_t>(audio.size())), Status::Ok);
        // A kill leaves all that was stored, and nothing more happens.
        files.crashAt(1);
        (void)ctx.Close();
        files.kill();
    }

    test::CrashFileSystem fs;
    test::FakeMemory memory;
    test::FakeSystemInfo system{4096};
    test::RecordingShell shell;
};

// Recovery repairs only what a journal names, within the places it is asked about.
TEST_F(RecoveryTest, RepairsOnlyJournalledFilesInScopeAndForgetsStaleJournals) {
    fs.putFolder(kFolder);
    fs.putFolder(kState);
    fs.putFolder("/card");
    fs.put(kForeign, ForeignWav());
    const Bytes audio = Pattern(8000, 5);
    for (const std::string& path : {kPath, std::string("/card/b.wav")})
        ASSERT_NO_FATAL_FAILURE(LeaveKilledRecording(path, audio));
    fs.put(kState + "/torn.journal", Bytes{'t', 'a', 'v', 'r', 'i', 'n'});
    {
        // A recording on a card that is not inserted now: its journal waits.
        StorageContext ctx(fs, memory, system, shell);
        ctx.journal.SetFolder(kState);
        fs.putFolder("/gone");
        ASSERT_EQ(ctx.Create("/gone/c.wav", wav::kTagPcm, 8000, 8, 1, platform::Media::Fast), Status::Ok);
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
    EXPECT_EQ(ListJournals(fs, kState).size(), 1u) << "every journal settled but the card's";
    // The card is back but the file is not (deleted meanwhile): nothing to repair.
    fs.putFolder("/gone");
    EXPECT_TRUE(RecoverRecordings(fs, kState).empty());
    EXPECT_EQ(fs.list(kState)->size(), 0u);
}

// What a journal keeps beside it goes once the journal is gone, unless a
// running edit still holds it: a journal being written under its own name,
// chunks saved before their journal is in place.
TEST_F(RecoveryTest, StraysGoUnlessALiveEditHoldsThem) {
    fs.putFolder(kState);
    const std::string journal = kState + "/0123456789abcdef.journal";
    for (const char* suffix : {".new", ".trailer", ".buffer", ".insert", ".spool"}) fs.put(journal + suffix, {1});
    auto held = fs.open(journal + ".trailer", platform::OpenMode::ReadWrite, false);
    auto writing = fs.open(journal + ".new", platform::OpenMode::ReadWrite, false);
    ASSERT_TRUE(held && held->tryLock() && writing && writing->tryLock());
    EXPECT_TRUE(RecoverRecordings(fs, kState).empty());
    EXPECT_TRUE(fs.contents(journal + ".trailer") && fs.contents(journal + ".new")) << "a live edit's file went";
    EXPECT_EQ(fs.list(kState)->size(), 2u) << "strays of no journal stayed";
    held.reset();
    writing.reset();
    (void)RecoverRecordings(fs, kState);
    EXPECT_EQ(fs.list(kState)->size(), 0u);
}

// A disk that kept a new recording's length but none of its bytes leaves a
// header's worth of zeros: recovery writes the header, however long the file.
TEST_F(RecoveryTest, ANewRecordingWhoseHeaderNeverLandedGetsItAtAnyLength) {
    fs.putFolder(kFolder);
    fs.putFolder(kState);
    const Bytes audio = Pattern(800, 5);
    for (const std::size_t length : {std::size_t{44}, std::size_t{44 + 800}}) {
        SCOPED_TRACE(testing::Message() << length << " bytes of zeros");
        ASSERT_NO_FATAL_FAILURE(LeaveKilledRecording(kPath, audio));
        fs.put(kPath, Bytes(length, 0));
        const auto repaired = RecoverRecordings(fs, kState);
        ASSERT_EQ(repaired.size(), 1u);
        EXPECT_TRUE(repaired[0].repaired);
        EXPECT_EQ(fs.contents(kPath), model::WavFile(model::kPcm8, {}));
        ASSERT_TRUE(fs.remove(kPath));
    }
}

// Recovery of what `leave` left, with the power cut at each of its calls and
// the writes not yet synced landing, vanishing or tearing (eight seeds): the
// next recovery knows the file and sets nothing aside, and `check` holds.
void SweepTornRecovery(const std::function<void(test::CrashFileSystem&)>& leave,
                       const std::function<void(test::CrashFileSystem&)>& check) {
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
        for (std::uint32_t cut = 1;; ++cut) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", power lost at recovery's call " << cut);
            test::CrashFileSystem files{1u << 20};
            files.putFolder(kFolder);
            files.putFolder(kState);
            leave(files);
            if (testing::Test::HasFatalFailure()) return;
            files.setTearing(seed);
            files.crashAt(cut);
            (void)RecoverRecordings(files, kState);
            const bool whole = !files.crashed();
            files.reboot();
            for (const auto& again : RecoverRecordings(files, kState)) EXPECT_EQ(again.setAside, "");
            check(files);
            if (whole || testing::Test::HasFailure()) break;
        }
    }
}

// A recovery cut short while it writes a header, and torn, leaves at most
// the counts it changed torn: the next recovery knows the file and finishes
// the repair, never setting the journal aside as if the file were another's.
TEST_F(RecoveryTest, ARecoveryTornWhileItWritesAHeaderIsFinishedByTheNext) {
    const Bytes old = model::WavFile(model::kPcm8, Pattern(4000, 3));
    const Bytes audio = Pattern(1600, 5);
    const auto leave = [&](test::CrashFileSystem& files) {
        files.put(kPath, old);
        // A kill while appending on fast media: the header current, reserved zeros after the audio.
        StorageContext ctx(files, memory, system, shell);
        ctx.journal.SetFolder(kState);
        ASSERT_EQ(ctx.Select(kPath, platform::Media::Fast), Status::Ok);
        ASSERT_TRUE(ctx.Append());
        ASSERT_EQ(ctx.WriteData(audio.data(), static_cast<std::uint32_t>(audio.size())), Status::Ok);
        files.crashAt(1);
        (void)ctx.Close();
        files.kill();
    };
    SweepTornRecovery(leave, [](test::CrashFileSystem&) {});
}

// A new recording whose journal never noted its file (the power went before
// it could) is known only by the header it holds. A recovery torn while it
// writes that header notes the file first, so that the next one still knows
// it, finishes the repair and sets nothing aside.
TEST_F(RecoveryTest, ATornRepairOfANewRecordingItsJournalNeverNamedIsFinishedByTheNext) {
    const Bytes audio = Pattern(800, 5);
    const auto leave = [&](test::CrashFileSystem& files) {
        ASSERT_NO_FATAL_FAILURE(LeaveKilledRecording(files, kPath, audio));
        // The journal as it was before the file was noted, and a file of zeros: nothing reached it.
        const std::string journal = JournalPathFor(kState, kPath);
        Bytes text = files.contents(journal).value();
        const std::string noted(text.begin(), text.end());
        ASSERT_NE(noted.rfind("\nfile "), std::string::npos);
        text.resize(noted.rfind("\nfile ") + 1);
        files.put(journal, text);
        files.put(kPath, Bytes(44 + audio.size(), 0));
    };
    SweepTornRecovery(leave, [](test::CrashFileSystem& files) {
        EXPECT_EQ(files.contents(kPath), model::WavFile(model::kPcm8, {}));
    });
}

// A recording whose repair waited (its card was out at start-up) is repaired
// when it is selected: its reserved zeros never play, nor pass for chunks
// an edit must keep.
TEST_F(RecoveryTest, SelectingAnUnfinishedRecordingRepairsItFirst) {
    fs.putFolder(kFolder);
    fs.putFolder(kState);
    const Bytes audio = Pattern(8000, 5);
    ASSERT_NO_FATAL_FAILURE(LeaveKilledRecording(kPath, audio));
    ASSERT_GT(fs.contents(kPath)->size(), 44u + 8000u);
    StorageContext ctx(fs, memory, system, shell);
    ctx.journal.SetFolder(kState);
    ASSERT_EQ(ctx.Select(kPath, platform::Media::Fast), Status::Ok);
    EXPECT_EQ(ctx.LengthInBlocks(), 8000u);
    ASSERT_TRUE(ctx.Append());
    ASSERT_EQ(ctx.WriteData(audio.data(), 1600), Status::Ok);
    ASSERT_EQ(ctx.End(), Status::Ok);
    ASSERT_EQ(ctx.Close(), Status::Ok);
    Bytes both = audio;
    both.insert(both.end(), audio.begin(), audio.begin() + 1600);
    EXPECT_EQ(fs.contents(kPath), model::WavFile(model::kPcm8, both));
}

}  // namespace
}  // namespace tavrin::storage
