// Marks as cue points: what other programs write is read as marks, what we
// write reads back the same, and rewriting them leaves every other chunk as
// it was.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "wav/Marks.h"
#include "wav/WavBytes.h"

namespace tavrin::wav {
namespace {

using test::GsmRecord;
using test::PcmRecord;
using test::RecordingFile;
using test::WavBytes;

// Reads marks from a copy exactly as long as the bytes: the sanitizer builds
// catch any read past the end.
MarkList Read(const WavBytes& file) {
    WavInfo info;
    const std::uint32_t n = file.size();
    auto exact = std::make_unique<std::uint8_t[]>(n);
    std::memcpy(exact.get(), file.data(), n);
    if (ParseWavBytes(exact.get(), n, info) == kParseUnusable) return {};
    return ReadMarks(exact.get(), n, info);
}

WavBytes& Cue(WavBytes& w, const std::vector<std::array<std::uint32_t, 4>>& points) {
    w.Id("cue ").U32(4 + 24 * static_cast<std::uint32_t>(points.size())).U32(static_cast<std::uint32_t>(points.size()));
    for (const auto& p : points) w.U32(p[0]).U32(p[1]).Id("data").U32(0).U32(p[2]).U32(p[3]);
    return w;
}

WavBytes& Append(WavBytes& w, const std::vector<std::uint8_t>& bytes) {
    w.bytes.insert(w.bytes.end(), bytes.begin(), bytes.end());
    return w;
}

// Files from other programs: the marks they hold and how they show.
TEST(Marks, HandMadeFilesShowTheirCuePoints) {
    struct Row {
        const char* file;
        MarkList marks;
    };
    const Row rows[] = {
        {"cue-after-data.wav", {{1, 80, "Intro"}, {2, 200, ""}, {7, 399, "End"}}},
        // Out of order, in the position field only; the one beyond the audio is not shown.
        {"cue-before-data.wav", {{1, 100, ""}, {3, 300, ""}}},
        // GSM counted from the block that holds the point: block 10, and 160 samples into block 20.
        {"gsm-cue-block-start.wav", {{1, 10, ""}, {2, 20, "late"}}},
        {"list-after-data.wav", {}},
        {"pcm-8k-16bit.wav", {}},
    };
    platform::PosixFileSystem files;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        WavChunkReader reader(files);
        ASSERT_TRUE(reader.Open(std::string(TAVRIN_FIXTURE_DIR) + "/" + row.file));
        ASSERT_EQ(reader.Parse(), kParsePlayable);
        EXPECT_EQ(ReadMarks(reader.Bytes(), reader.FileSize(), reader.Info()), row.marks);
    }
}

// Our own chunks, behind the audio of each format family, read back as written.
TEST(Marks, WrittenMarksReadBackInEveryFormat) {
    const MarkList marks = {{1, 0, "Mark 1"}, {2, 17, ""}, {3, 17, "Mark 3"}, {9, 24, "Überschrift"}};
    struct Row {
        const char* name;
        WaveFormat record;
        std::uint32_t dataBytes;
    };
    const Row rows[] = {
        {"PCM 8-bit, odd length", PcmRecord(8000, 8), 25},
        {"PCM 16-bit", PcmRecord(22050, 16), 50},
        {"GSM, odd length", GsmRecord(), 25 * kGsmBlockBytes},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WavBytes w = RecordingFile(row.record, row.dataBytes);
        if (row.dataBytes % 2) w.Fill(1, 0);
        const MarkScale scale = ScaleOf(row.record.formatTag, row.record.blockAlign);
        Append(w, MarkChunks(marks, scale)).FixRiffSize();
        EXPECT_EQ(w.size() % 2, 0u) << "every chunk word-aligned";
        EXPECT_EQ(Read(w), marks);
    }
    EXPECT_TRUE(MarkChunks({}, {}).empty()) << "no marks, no chunks";
}

// Layouts that are wrong or cut short never read outside the file and show
// what can be made of them.
TEST(Marks, MalformedCueChunks) {
    struct Row {
        const char* name;
        std::function<WavBytes()> file;
        std::size_t marks;
    };
    const auto base = [] { return RecordingFile(PcmRecord(8000, 8), 100); };
    // Each file with its RIFF size made right, so that the marks are what is looked at.
    const std::vector<Row> rows = {
        {"count larger than the chunk", [&] {
             WavBytes w = base();
             w.Id("cue ").U32(28).U32(1000).U32(1).U32(5).Id("data").U32(0).U32(0).U32(5);
             return w;
         }, 1},
        {"chunk cut short by the end of the file: its whole points", [&] {
             WavBytes w = base();
             Cue(w, {{1, 5, 0, 5}, {2, 6, 0, 6}});
             return w.Truncate(w.size() - 10);
         }, 1},
        {"chunk size below its count field", [&] { WavBytes w = base(); w.Id("cue ").U32(2).U16(0); return w; }, 0},
        {"two cue chunks: the last one counts", [&] {
             WavBytes w = base();
             Cue(w, {{1, 5, 0, 5}, {2, 6, 0, 6}});
             return Cue(w, {{4, 9, 0, 9}});
         }, 1},
        {"labl beyond its list", [&] {
             WavBytes w = base();
             Cue(w, {{1, 5, 0, 5}});
             return w.Id("LIST").U32(12).Id("adtl").Id("labl").U32(400).U32(1);
         }, 1},
        {"adtl list without sub-chunks", [&] {
             WavBytes w = base();
             Cue(w, {{1, 5, 0, 5}});
             return w.Id("LIST").U32(4).Id("adtl");
         }, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Read(row.file().FixRiffSize()).size(), row.marks);
    }
}

// A rewrite of the marks behind the audio: other chunks stay byte for byte,
// the texts of remaining points stay, the new chunks go before what is no chunk.
TEST(Marks, ReplacingMarksKeepsEverythingElse) {
    WavBytes info;
    info.Id("LIST").U32(14).Id("INFO").Id("ISFT").U32(2).Fill(2, 'a');
    WavBytes odd;
    odd.Id("JUNK").U32(3).Fill(3, 0x11);  // odd-sized, its pad byte missing before the cue chunk
    WavBytes run;
    Append(run, info.bytes);
    Append(run, odd.bytes);
    Cue(run, {{1, 5, 0, 5}, {2, 9, 0, 9}});
    run.Id("LIST").U32(4 + 16 + 16).Id("adtl");
    run.Id("labl").U32(8).U32(1).Id("one");  // "one" and its zero
    run.Id("note").U32(7).U32(2).Fill(1, 'n').Fill(1, 'b').Fill(2, 0);  // odd-sized, with its pad byte
    run.Fill(6, 0);  // zeros some programs leave after their chunks

    const MarkList marks = {{2, 30, "Mark 2"}, {3, 40, ""}};
    const std::vector<std::uint8_t> out = ReplaceMarkChunks(run.data(), run.size(), marks, {});
    ASSERT_GE(out.size(), info.size() + odd.size() + 1);
    EXPECT_TRUE(std::equal(info.bytes.begin(), info.bytes.end(), out.begin()));
    EXPECT_TRUE(std::equal(odd.bytes.begin(), odd.bytes.end(), out.begin() + info.size()));
    EXPECT_EQ(out[info.size() + odd.size()], 0) << "the odd chunk gains its pad byte";
    EXPECT_TRUE(std::equal(out.end() - 6, out.end(), std::vector<std::uint8_t>(6, 0).begin()));
    EXPECT_EQ(MarksInChunks(out.data(), static_cast<std::uint32_t>(out.size()), {}, 100), marks);
    const std::string text(out.begin(), out.end());
    EXPECT_NE(text.find("note"), std::string::npos) << "the note of point 2 stays";
    EXPECT_EQ(text.find("one"), std::string::npos) << "the label of point 1 goes with it";

    const std::vector<std::uint8_t> none = ReplaceMarkChunks(out.data(), static_cast<std::uint32_t>(out.size()), {}, {});
    EXPECT_EQ(std::string(none.begin(), none.end()).find("cue "), std::string::npos);
    EXPECT_EQ(none.size(), info.size() + odd.size() + 1 + 6) << "no marks: neither cue nor adtl chunk is left";
}

// Where each edit puts the marks, against the positions worked out by hand.
TEST(Marks, EditsMoveMarksWithTheirAudio) {
    using K = AudioEdit::Kind;
    struct Row {
        const char* name;
        AudioEdit edit;
        std::vector<std::uint32_t> blocks;  // of marks at 0, 10, 20, 30
    };
    const Row rows[] = {
        {"append", {K::Append, 40, 7}, {0, 10, 20, 30}},
        {"insert between", {K::Insert, 15, 5}, {0, 10, 25, 35}},
        {"insert at a mark: it follows its audio", {K::Insert, 10, 5}, {0, 15, 25, 35}},
        {"insert at the start", {K::Insert, 0, 1}, {1, 11, 21, 31}},
        {"overwrite: the mark at its point stays", {K::Overwrite, 20, 3}, {0, 10, 20}},
        {"overwrite from the start", {K::Overwrite, 0, 50}, {0}},
        {"cut between", {K::Cut, 11, 9}, {0, 10, 11, 21}},
        {"cut from a mark to a mark", {K::Cut, 10, 10}, {0, 10, 20}},
        {"cut to here", {K::Cut, 0, 25}, {5}},
        {"cut from here", {K::Cut, 25, 15}, {0, 10, 20}},
    };
    const MarkList marks = {{1, 0, "a"}, {2, 10, "b"}, {3, 20, "c"}, {4, 30, "d"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::uint32_t> blocks;
        for (const Mark& m : MarksAfter(marks, row.edit)) blocks.push_back(m.block);
        EXPECT_EQ(blocks, row.blocks);
    }
    EXPECT_EQ(MarksWithin(marks, 20).size(), 3u) << "a mark at the very end stays";
}

TEST(Marks, NewMarksTakeTheNextIdAndTheirPlace) {
    MarkList marks = {{4, 10, "Chorus"}, {2, 30, ""}};
    Mark added;
    ASSERT_TRUE(AddMark(marks, 20, &added));
    EXPECT_EQ(added, (Mark{5, 20, "Mark 5"}));
    ASSERT_TRUE(AddMark(marks, 10));
    EXPECT_EQ(marks, (MarkList{{4, 10, "Chorus"}, {6, 10, "Mark 6"}, {5, 20, "Mark 5"}, {2, 30, ""}}));
    MarkList full(kMostMarks, Mark{1, 0, ""});
    EXPECT_FALSE(AddMark(full, 1));
    MarkList last = {{0xFFFFFFFFu, 0, ""}};
    EXPECT_FALSE(AddMark(last, 1)) << "no id left to give";
}

}  // namespace
}  // namespace tavrin::wav
