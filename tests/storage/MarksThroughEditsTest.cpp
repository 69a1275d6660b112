// Marks through every change of a recording, on both media and in every
// format family, with and without other programs' chunks after the audio:
// the audio is checked against the recording model, the marks against the
// rules of each edit, and the other chunks must survive byte for byte.
#include <gtest/gtest.h>

#include <algorithm>

#include "RecordingModel.h"
#include "storage/StorageContext.h"
#include "support/CrashFileSystem.h"
#include "support/FakeMemory.h"
#include "support/RecordingShell.h"
#include "wav/Marks.h"

namespace tavrin::storage {
namespace {

using model::Bytes;
using model::Pattern;

const std::string kMarkedPath = "/rec/a.wav";
const std::string kMarksState = "/state";

enum class MarksEdit { Record, Append, Insert, Overwrite, AtRest };

struct MarksCase {
    std::string name;
    MarksEdit edit;
    model::Format format;
    bool fast;
    bool otherChunks;  // a LIST chunk after the old audio, before its marks
};

void PrintTo(const MarksCase& c, std::ostream* out) { *out << c.name; }

struct ExpectedMark {
    std::uint32_t block;
    std::string label;
    friend bool operator==(const ExpectedMark&, const ExpectedMark&) = default;
};

std::ostream& operator<<(std::ostream& out, const ExpectedMark& m) { return out << m.label << "@" << m.block; }

std::vector<ExpectedMark> FileMarks(const Bytes& file) {
    wav::WavInfo info;
    std::vector<ExpectedMark> out;
    if (wav::ParseWavBytes(file.data(), static_cast<std::uint32_t>(file.size()), info) != wav::kParsePlayable)
        return {{0, "unplayable"}};
    for (const wav::Mark& m : wav::ReadMarks(file.data(), static_cast<std::uint32_t>(file.size()), info))
        out.push_back({m.block, m.label});
    return out;
}

Bytes DataOf(const Bytes& file) {
    wav::WavInfo info;
    if (wav::ParseWavBytes(file.data(), static_cast<std::uint32_t>(file.size()), info) != wav::kParsePlayable)
        return {};
    return Bytes(file.begin() + info.dataStart, file.begin() + info.dataStart + info.dataLength);
}

class MarksThroughEdits : public testing::TestWithParam<MarksCase> {
protected:
    test::CrashFileSystem fs{8u << 20};
    test::FakeMemory memory;
    test::FakeSystemInfo system{4096};
    test::RecordingShell shell;

    void SetUp() override {
        memory.setAvailablePhysical(1u << 20);
        fs.putFolder("/rec");
        fs.putFolder(kMarksState);
    }
};

TEST_P(MarksThroughEdits, MarksStayWithTheirAudioAndOtherChunksAreKept) {
    const MarksCase& c = GetParam();
    const model::Format& format = c.format;
    const std::uint32_t piece = format.PieceBytes();
    const std::uint32_t blocksPerPiece = piece / format.BlockBytes();
    const Bytes oldAudio = Pattern(10 * piece, 1);
    const Bytes added = Pattern(5 * piece, 2);
    const std::uint32_t point = 4 * blocksPerPiece;
    // Old marks before the point, at it, and after it; named by another program.
    const wav::MarkList oldMarks = {{1, blocksPerPiece, "Intro"}, {2, point, "Here"}, {7, 7 * blocksPerPiece, "Later"}};
    const Bytes list = model::kListChunk;
    model::RecordingModel m;
    if (c.edit != MarksEdit::Record) {
        Bytes after = c.otherChunks ? list : Bytes{};
        const Bytes cues = wav::MarkChunks(oldMarks, wav::ScaleOf(format.tag, static_cast<std::uint16_t>(format.BlockBytes())));
        after.insert(after.end(), cues.begin(), cues.end());
        fs.put(kMarkedPath, model::WithTrailer(model::WavFile(format, oldAudio), after));
        m.Create(format);
        m.Write(oldAudio);
        m.End();
    }

    std::vector<ExpectedMark> expected;
    std::uint32_t nextId = 8;
    {
        StorageContext ctx(fs, memory, system, shell);
        ctx.journal.SetFolder(kMarksState);
        bool started = false;
        if (c.edit == MarksEdit::Record) {
            started = ctx.Create(kMarkedPath, format.tag, format.samplesPerSec, format.bitsPerSample, 1, c.fast ? platform::Media::Fast : platform::Media::Slow) == Status::Ok;
            m.Create(format);
            nextId = 1;
        } else {
            ASSERT_EQ(ctx.Select(kMarkedPath, c.fast ? platform::Media::Fast : platform::Media::Slow), Status::Ok);
            EXPECT_EQ(ctx.marks.Marks().size(), oldMarks.size()) << "the file's marks were not read";
            ASSERT_TRUE(ctx.SeekToSample(point));
            m.Select();
            ASSERT_TRUE(m.Seek(point));
            if (c.edit == MarksEdit::Append) {
                started = ctx.Append();
                m.StartAppend();
            } else if (c.edit == MarksEdit::Insert) {
                started = ctx.Insert();
                m.StartInsert();
            } else if (c.edit == MarksEdit::Overwrite) {
                started = ctx.Overwrite();
                m.StartOverwrite();
            }
            for (const wav::Mark& old : oldMarks) {
                std::uint32_t block = old.block;
                if (c.edit == MarksEdit::Insert && block >= point) block += 5 * blocksPerPiece;
                if (c.edit == MarksEdit::Overwrite && block > point) continue;
                expected.push_back({block, old.label});
            }
        }
        if (c.edit == MarksEdit::AtRest) {
            const auto mark = ctx.marks.Add(ctx.CurrentReadSample());
            ASSERT_TRUE(mark);
            expected.push_back({point, "Mark " + std::to_string(nextId)});
            EXPECT_TRUE(ctx.SaveMarks());
        } else {
            ASSERT_TRUE(started);
            // Marks after the first and the third piece, where recording stands.
            for (std::uint32_t k = 0; k < 5; ++k) {
                ASSERT_EQ(ctx.WriteData(added.data() + k * piece, piece), Status::Ok);
                m.Write(Bytes(added.begin() + k * piece, added.begin() + (k + 1) * piece));
                if (k != 0 && k != 2) continue;
                ASSERT_TRUE(ctx.marks.Add(ctx.CurrentWriteSample()));
                expected.push_back({m.WriteSample(), "Mark " + std::to_string(nextId++)});
            }
            ASSERT_EQ(ctx.End(), Status::Ok);
            m.End();
        }
        ASSERT_EQ(ctx.Close(), Status::Ok);
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const ExpectedMark& a, const ExpectedMark& b) { return a.block < b.block; });
    const Bytes file = fs.contents(kMarkedPath).value();
    EXPECT_EQ(DataOf(file), m.Audio()) << "the audio differs from the model's";
    EXPECT_EQ(FileMarks(file), expected);
    if (c.otherChunks) {
        EXPECT_NE(std::search(file.begin() + format.HeaderBytes() + m.DataSize(), file.end(), list.begin(), list.end()),
                  file.end())
            << "the other program's chunk was lost";
    }
    EXPECT_EQ(fs.list(kMarksState)->size(), 0u) << "the change left files beside its journal";
    // Selected again, storage reads back what it wrote.
    StorageContext again(fs, memory, system, shell);
    ASSERT_EQ(again.Select(kMarkedPath, c.fast ? platform::Media::Fast : platform::Media::Slow), Status::Ok);
    EXPECT_EQ(again.marks.Marks().size(), expected.size());
    (void)again.Close();
}

std::vector<MarksCase> AllMarksCases() {
    std::vector<MarksCase> cases;
    static const char* const kNames[] = {"Record", "Append", "Insert", "Overwrite", "AtRest"};
    for (const bool fast : {true, false})
        for (const model::Format& format : {model::kPcm8, model::kPcm16, model::kGsm})
            for (const MarksEdit edit :
                 {MarksEdit::Record, MarksEdit::Append, MarksEdit::Insert, MarksEdit::Overwrite, MarksEdit::AtRest})
                for (const bool other : {false, true}) {
                    if (edit == MarksEdit::Record && other) continue;
                    const std::string name = std::string(fast ? "Fast" : "Slow") + kNames[static_cast<int>(edit)] +
                                             (format.IsGsm() ? "Gsm" : format.bitsPerSample == 8 ? "Pcm8" : "Pcm16") +
                                             (other ? "WithList" : "");
                    cases.push_back({name, edit, format, fast, other});
                }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(BothMedia, MarksThroughEdits, testing::ValuesIn(AllMarksCases()),
                         [](const auto& param) { return param.param.name; });

}  // namespace
}  // namespace tavrin::storage

namespace tavrin::storage {
namespace {

// A file whose "cue " chunk another program put before the audio: storage
// counts and moves its marks as any reader that takes a file's last cue
// chunk sees them, before and after each change that lays marks out.
struct CueBefore {
    const char* name;
    model::Format format;
    bool fast;
    MarksEdit edit;
};

class CueBeforeTheAudio : public testing::TestWithParam<CueBefore> {};

wav::MarkList FileMarkList(const Bytes& file) {
    wav::WavInfo info;
    if (wav::ParseWavBytes(file.data(), static_cast<std::uint32_t>(file.size()), info) != wav::kParsePlayable)
        return {{0, 0, "unplayable"}};
    return wav::ReadMarks(file.data(), static_cast<std::uint32_t>(file.size()), info);
}

TEST_P(CueBeforeTheAudio, ItsMarksCountAndMoveAsTheFileShowsThem) {
    const CueBefore& c = GetParam();
    test::CrashFileSystem fs{8u << 20};
    test::FakeMemory memory;
    test::FakeSystemInfo system{4096};
    test::RecordingShell shell;
    memory.setAvailablePhysical(1u << 20);
    fs.putFolder("/rec");
    fs.putFolder(kMarksState);
    const std::uint32_t piece = c.format.PieceBytes() / c.format.BlockBytes();
    const wav::MarkScale scale = wav::ScaleOf(c.format.tag, static_cast<std::uint16_t>(c.format.BlockBytes()));
    Bytes file = model::WavFile(c.format, Pattern(10 * c.format.PieceBytes(), 3));
    const wav::MarkList old = {{1, 2 * piece, "Before"}, {2, 6 * piece, "After"}};
    const Bytes cues = wav::MarkChunks(old, scale);
    file.insert(file.begin() + c.format.HeaderBytes() - 8, cues.begin(), cues.end());
    wav::StoreLe32(&file[4], static_cast<std::uint32_t>(file.size() - 8));
    ASSERT_EQ(FileMarkList(file), old);
    fs.put(kMarkedPath, file);

    StorageContext ctx(fs, memory, system, shell);
    ctx.journal.SetFolder(kMarksState);
    ASSERT_EQ(ctx.Select(kMarkedPath, c.fast ? platform::Media::Fast : platform::Media::Slow), Status::Ok);
    EXPECT_EQ(ctx.marks.Marks(), old) << "the marks before the audio are not counted";
    ASSERT_TRUE(ctx.SeekToSample(4 * piece));
    if (c.edit == MarksEdit::AtRest) {
        ASSERT_TRUE(ctx.marks.Add(4 * piece));
        ASSERT_TRUE(ctx.SaveMarks());
    } else {
        ASSERT_TRUE(ctx.Insert());
        const Bytes added = Pattern(c.format.PieceBytes(), 4);
        ASSERT_EQ(ctx.WriteData(added.data(), c.format.PieceBytes()), Status::Ok);
        ASSERT_EQ(ctx.End(), Status::Ok);
    }
    const wav::MarkList shown = FileMarkList(fs.contents(kMarkedPath).value());
    ASSERT_EQ(shown.size(), c.edit == MarksEdit::AtRest ? 3u : 2u) << "marks before the audio were lost";
    EXPECT_EQ(shown.front(), old.front());
    EXPECT_EQ(shown.back().block, c.edit == MarksEdit::AtRest ? 6 * piece : 7 * piece) << "a mark did not follow its audio";
    EXPECT_EQ(ctx.marks.Marks(), shown) << "storage and the file disagree";
    (void)ctx.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Files, CueBeforeTheAudio,
    testing::Values(CueBefore{"FastPcm16AtRest", model::kPcm16, true, MarksEdit::AtRest},
                    CueBefore{"SlowGsmAtRest", model::kGsm, false, MarksEdit::AtRest},
                    CueBefore{"FastGsmInsert", model::kGsm, true, MarksEdit::Insert},
                    CueBefore{"SlowPcm8Insert", model::kPcm8, false, MarksEdit::Insert}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tavrin::storage
