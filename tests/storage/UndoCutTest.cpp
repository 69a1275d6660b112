// Undoing a cut, on both media and in every format family, with and without
// chunks after the audio: the recording comes back byte for byte, the audio
// kept for it lives in the state folder only while the cut may be undone,
// and a file changed since the cut never takes it back.
#include <gtest/gtest.h>

#include "RecordingModel.h"
#include "storage/Journal.h"
#include "storage/Recovery.h"
#include "storage/StorageContext.h"
#include "support/CrashFileSystem.h"
#include "support/FakeMemory.h"
#include "support/RecordingShell.h"
#include "wav/Marks.h"

namespace tavrin::storage {
namespace {

using model::Bytes;
using model::Pattern;
using Undo = StorageContext::Undo;

const std::string kCutPath = "/rec/a.wav";
const std::string kOther = "/rec/b.wav";
const std::string kCutState = "/state";

enum class Span { ToHere, FromHere, Middle };
enum class After { Nothing, ListAndMarks, MarksOnly };

struct CutCase {
    std::string name;
    model::Format format;
    bool fast;
    Span span;
    After after;
};

void PrintTo(const CutCase& c, std::ostream* out) { *out << c.name; }

wav::MarkScale ScaleOf(const model::Format& f) {
    return wav::ScaleOf(f.tag, static_cast<std::uint16_t>(f.BlockBytes()));
}

// A recording of ten pieces (8-bit audio one byte odd, so that a pad byte
// stands before its chunks) with marks before, inside and after the cuts.
Bytes OldRecording(const model::Format& f, After after) {
    const std::uint32_t piece = f.PieceBytes() / f.BlockBytes();
    const Bytes audio = Pattern(10 * f.PieceBytes() + (f.BlockBytes() == 1 ? 1 : 0), 5);
    Bytes file = model::WavFile(f, audio);
    if (after == After::Nothing) return file;
    Bytes chunks = after == After::ListAndMarks ? model::kListChunk : Bytes{};
    const wav::MarkList marks = {{1, piece, "Intro"}, {2, 4 * piece, "Edge"}, {3, 5 * piece, "Inside"},
                                 {4, 7 * piece, "Mark 4"}, {5, 9 * piece, "Late"}};
    const Bytes cues = wav::MarkChunks(marks, ScaleOf(f));
    chunks.insert(chunks.end(), cues.begin(), cues.end());
    if (audio.size() % 2 != 0) file.push_back(0);
    return model::WithTrailer(file, chunks);
}

class UndoCut : public testing::TestWithParam<CutCase> {
protected:
    test::CrashFileSystem fs{8u << 20};
    test::FakeMemory memory;
    test::FakeSystemInfo system{4096};
    test::RecordingShell shell;

    void SetUp() override {
        memory.setAvailablePhysical(1u << 20);
        fs.putFolder("/rec");
        fs.putFolder(kCutState);
    }
    std::size_t StateFiles() { return fs.list(kCutState).value_or(std::vector<platform::DirectoryEntry>{}).size(); }
};

TEST_P(UndoCut, PutsBackTheRecordingByteForByte) {
    const CutCase& c = GetParam();
    const std::uint32_t piece = c.format.PieceBytes() / c.format.BlockBytes();
    const Bytes old = OldRecording(c.format, c.after);
    fs.put(kCutPath, old);
    StorageContext ctx(fs, memory, system, shell);
    ctx.journal.SetFolder(kCutState);
    ASSERT_EQ(ctx.Select(kCutPath, c.fast ? platform::Media::Fast : platform::Media::Slow), Status::Ok);
    const std::uint32_t length = ctx.LengthInBlocks();
    const std::uint32_t from = c.span == Span::ToHere ? 0 : 4 * piece;
    const std::uint32_t to = c.span == Span::FromHere ? length : 7 * piece;
    const std::size_t marksBefore = ctx.marks.Marks().size();

    ASSERT_EQ(ctx.Cut(from, to, Undo::Keep), Status::Ok);
    ASSERT_EQ(ctx.LengthInBlocks(), length - (to - from));
    EXPECT_TRUE(ctx.CanUndoCut());
    EXPECT_EQ(StateFiles(), 1u) << "the removed audio is not kept beside the journal's name";
    ASSERT_EQ(ctx.UndoCut(), Status::Ok);

    EXPECT_TRUE(fs.contents(kCutPath) == old) << "the undone cut is not the old recording";
    EXPECT_EQ(ctx.LengthInBlocks(), length);
    EXPECT_EQ(ctx.CurrentReadSample(), from) << "the place is not where the audio came back";
    EXPECT_EQ(ctx.marks.Marks().size(), marksBefore) << "marks were not read back";
    EXPECT_FALSE(ctx.CanUndoCut()) << "a cut undone twice";
    EXPECT_EQ(StateFiles(), 0u) << "the undo left files in the state folder";
    (void)ctx.Close();
}

std::vector<CutCase> AllCutCases() {
    std::vector<CutCase> cases;
    static const char* const kSpans[] = {"ToHere", "FromHere", "Middle"};
    static const char* const kAfter[] = {"", "WithListAndMarks", "WithMarks"};
    for (const bool fast : {true, false})
        for (const model::Format& f : {model::kPcm8, model::kPcm16, model::kGsm})
            for (const Span span : {Span::ToHere, Span::FromHere, Span::Middle})
                for (const After after : {After::Nothing, After::ListAndMarks, After::MarksOnly}) {
                    // Every span once with each kind of chunks, and each medium.
                    if (span != Span::Middle && after == After::MarksOnly) continue;
                    const std::string name = std::string(fast ? "Fast" : "Slow") +
                                             (f.IsGsm() ? "Gsm" : f.bitsPerSample == 8 ? "Pcm8" : "Pcm16") +
                                             kSpans[static_cast<int>(span)] + kAfter[static_cast<int>(after)];
                    cases.push_back({name, f, fast, span, after});
                }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(BothMedia, UndoCut, testing::ValuesIn(AllCutCases()),
                         [](const auto& param) { return param.param.name; });

// What ends the chance to undo: the kept audio goes at once, and UndoCut
// then leaves the file as it is.
enum class Ending { Close, SelectOther, Append, Insert, Overwrite, Mark, AnotherCut, CutWithoutKeeping, Create };

struct EndingCase {
    const char* name;
    Ending ending;
};

class UndoCutEnds : public testing::TestWithParam<EndingCase> {
protected:
    test::CrashFileSystem fs{8u << 20};
    test::FakeMemory memory;
    test::FakeSystemInfo system{4096};
    test::RecordingShell shell;
};

TEST_P(UndoCutEnds, TheKeptAudioGoesAndTheFileStaysAsTheLastChangeLeftIt) {
    memory.setAvailablePhysical(1u << 20);
    fs.putFolder("/rec");
    fs.putFolder(kCutState);
    const model::Format f = model::kPcm16;
    fs.put(kCutPath, OldRecording(f, After::ListAndMarks));
    fs.put(kOther, OldRecording(f, After::Nothing));
    StorageContext ctx(fs, memory, system, shell);
    ctx.journal.SetFolder(kCutState);
    const std::uint32_t piece = f.PieceBytes() / f.BlockBytes();
    ASSERT_EQ(ctx.Select(kCutPath, platform::Media::Fast), Status::Ok);
    ASSERT_EQ(ctx.Cut(2 * piece, 3 * piece, Undo::Keep), Status::Ok);
    ASSERT_TRUE(ctx.CanUndoCut());
    const Bytes added = Pattern(f.PieceBytes(), 9);
    const auto record = [&](bool began) {
        ASSERT_TRUE(began);
        ASSERT_EQ(ctx.WriteData(added.data(), f.PieceBytes()), Status::Ok);
        ASSERT_EQ(ctx.End(), Status::Ok);
    };
    switch (GetParam().ending) {
        case Ending::Close: ASSERT_EQ(ctx.Close(), Status::Ok); break;
        case Ending::SelectOther: ASSERT_EQ(ctx.Select(kOther, platform::Media::Fast), Status::Ok); break;
        case Ending::Append: record(ctx.Append()); break;
        case Ending::Insert: record(ctx.Insert()); break;
        case Ending::Overwrite: record(ctx.Overwrite()); break;
        case Ending::Mark:
            ASSERT_TRUE(ctx.marks.Add(1));
            ASSERT_TRUE(ctx.SaveMarks());
            break;
        case Ending::AnotherCut: ASSERT_EQ(ctx.Cut(0, 1, Undo::Keep), Status::Ok); break;
        case Ending::CutWithoutKeeping: ASSERT_EQ(ctx.Cut(0, 1), Status::Ok); break;
        case Ending::Create:
            ASSERT_EQ(ctx.Create("/rec/c.wav", wav::kTagPcm, 8000, 16, 1, platform::Media::Slow), Status::Ok);
            ASSERT_EQ(ctx.Close(), Status::Ok);
            break;
    }
    const std::size_t kept = GetParam().ending == Ending::AnotherCut ? 1 : 0;
    EXPECT_EQ(ctx.CanUndoCut(), kept == 1);
    EXPECT_EQ(fs.list(kCutState)->size(), kept) << "the kept audio outlived the chance to undo";
    if (GetParam().ending == Ending::Close || GetParam().ending == Ending::Create) {
        ASSERT_EQ(ctx.Select(kCutPath, platform::Media::Fast), Status::Ok);
    }
    const Bytes before = fs.contents(kCutPath).value();
    if (kept == 0) {
        EXPECT_EQ(ctx.UndoCut(), Status::FileError);
        EXPECT_TRUE(fs.contents(kCutPath) == before) << "an undo that may not be changed the file";
    }
    (void)ctx.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Events, UndoCutEnds,
    testing::Values(EndingCase{"Close", Ending::Close}, EndingCase{"SelectOther", Ending::SelectOther},
                    EndingCase{"Append", Ending::Append}, EndingCase{"Insert", Ending::Insert},
                    EndingCase{"Overwrite", Ending::Overwrite}, EndingCase{"Mark", Ending::Mark},
                    EndingCase{"AnotherCut", Ending::AnotherCut},
                    EndingCase{"CutWithoutKeeping", Ending::CutWithoutKeeping}, EndingCase{"Create", Ending::Create}),
    [](const auto& param) { return std::string(param.param.name); });

class UndoCutGuard : public UndoCut {};

// Another program changed the cut recording: the audio is not put back into
// a file it no longer fits.
TEST_F(UndoCutGuard, AFileChangedSinceTheCutIsLeftAsItIs) {
    const model::Format f = model::kPcm8;
    for (const bool chunksChanged : {false, true}) {
        SCOPED_TRACE(chunksChanged ? "chunks after the audio changed" : "audio appended");
        fs.put(kCutPath, OldRecording(f, After::ListAndMarks));
        StorageContext ctx(fs, memory, system, shell);
        ctx.journal.SetFolder(kCutState);
        ASSERT_EQ(ctx.Select(kCutPath, platform::Media::Fast), Status::Ok);
        ASSERT_EQ(ctx.Cut(10, 20, Undo::Keep), Status::Ok);
        Bytes changed = fs.contents(kCutPath).value();
        if (chunksChanged) {
            changed.back() ^= 0x55;
        } else {
            changed.push_back(0);
        }
        fs.put(kCutPath, changed);
        EXPECT_EQ(ctx.UndoCut(), Status::FileError);
        EXPECT_TRUE(fs.contents(kCutPath) == changed);
        EXPECT_FALSE(ctx.CanUndoCut());
        EXPECT_EQ(StateFiles(), 0u);
        (void)ctx.Close();
    }
}

// The kept audio of a program that ended without closing the recording goes
// at the next recovery; while its program holds it, recovery leaves it be.
TEST_F(UndoCutGuard, RecoveryRemovesKeptAudioOnlyOnceItsProgramHasEnded) {
    fs.put(kCutPath, OldRecording(model::kGsm, After::MarksOnly));
    {
        StorageContext ctx(fs, memory, system, shell);
        ctx.journal.SetFolder(kCutState);
        ASSERT_EQ(ctx.Select(kCutPath, platform::Media::Slow), Status::Ok);
        ASSERT_EQ(ctx.Cut(1, 3, Undo::Keep), Status::Ok);
        EXPECT_TRUE(RecoverRecordings(fs, kCutState).empty());
        EXPECT_EQ(StateFiles(), 1u) << "recovery took the kept audio of a live program";
        // Selecting the cut recording again keeps it too.
        ASSERT_EQ(ctx.Select(kCutPath, platform::Media::Slow), Status::Ok);
        EXPECT_TRUE(ctx.CanUndoCut());
    }
    EXPECT_EQ(StateFiles(), 1u);
    EXPECT_TRUE(RecoverRecordings(fs, kCutState).empty()) << "nothing of the recording needed repair";
    EXPECT_EQ(StateFiles(), 0u) << "kept audio of an ended program outlived recovery";
}

// A state folder that refuses the kept audio costs the undo, never the cut.
TEST_F(UndoCutGuard, ACutWhoseAudioCannotBeKeptIsMadeAndCannotBeUndone) {
    const Bytes old = OldRecording(model::kPcm16, After::Nothing);
    fs.put(kCutPath, old);
    StorageContext ctx(fs, memory, system, shell);
    ctx.journal.SetFolder("/no/such/folder/under/a/file");
    fs.put("/no", Bytes{1});  // a file where the folder would be made
    ASSERT_EQ(ctx.Select(kCutPath, platform::Media::Fast), Status::Ok);
    ASSERT_EQ(ctx.Cut(0, 10, Undo::Keep), Status::Ok);
    EXPECT_EQ(fs.contents(kCutPath)->size(), old.size() - 20);
    EXPECT_FALSE(ctx.CanUndoCut());
    (void)ctx.Close();
}

}  // namespace
}  // namespace tavrin::storage
