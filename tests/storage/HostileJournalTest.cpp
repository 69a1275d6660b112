// Journals are input like any file: a disk error, an older version or a
// hand-made one may hold numbers that do not fit, or name a file that is not
// the one its change was made to. Recovery must then leave the file exactly
// as it is, set the journal aside once with what it kept, and never crash;
// the journals of its own killed changes, old versions included, it repairs.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "RecordingModel.h"
#include "platform/posix/PosixFileSystem.h"
#include "storage/Journal.h"
#include "storage/Recovery.h"
#include "storage/StorageContext.h"
#include "support/CrashFileSystem.h"
#include "support/FakeMemory.h"
#include "support/RecordingShell.h"
#include "support/TempDir.h"

namespace tavrin::storage {
namespace {

using model::Bytes;

const std::string kState = "/state";
const std::string kPath = "/rec/a.wav";
const std::string kJournal = kState + "/00000000000000aa.journal";

std::string Hex(const Bytes& bytes) {
    std::string out;
    char digits[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        out += digits;
    }
    return out.empty() ? "-" : out;
}

std::string Hex(const std::string& text) { return Hex(Bytes(text.begin(), text.end())); }

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A journal's text, line by line, as this version (2) or the first wrote it.
struct JournalLines {
    int version = 2;
    std::string kind = "edit";
    std::string path = kPath;
    std::string numbers = "36 0 1 8000";
    std::string head = "-";
    std::string digest = "-";
    std::string file;  // the note after the end line, when there is one

    std::string Text() const {
        std::string t = "tavrin-journal " + std::to_string(version) + "\n" + kind + "\n" + Hex(path) + "\n" +
                        numbers + "\n" + head + "\n";
        if (version == 2) t += digest + "\n";
        t += "end\n";
        if (!file.empty()) t += file + "\n";
        return t;
    }
};

// A new recording's journal of 8-bit audio; an edit's of the first version.
JournalLines NewRecording(int version, std::string numbers = "36 0 1 8000", std::string head = {},
                          std::string file = {});
JournalLines OldEdit() {
    JournalLines j;
    j.version = 1;
    return j;
}

std::string FileNote(const platform::FileIdentity& id) {
    return "file " + std::to_string(id.device) + " " + std::to_string(id.inode);
}

// The starting point an edit of `file` notes: its header's digest, the data
// size the header gives and the audio the file holds.
std::string StartOf(const Bytes& file) {
    const std::uint32_t claimed = wav::LoadLe32(&file[40]);
    const auto held = std::min<std::uint32_t>(claimed, static_cast<std::uint32_t>(file.size() - 44));
    char text[64];
    std::snprintf(text, sizeof text, "%016llx %u %u",
                  static_cast<unsigned long long>(HeaderDigest(file.data(), 36, 0)), claimed, held);
    return text;
}

// A new 8-bit recording's header from "WAVE" to its data chunk, as its journal spells it.
const std::string kPcm8Head = [] {
    const Bytes header = model::WavFile(model::kPcm8, {});
    return Hex(Bytes(header.begin() + 8, header.begin() + 36));
}();

JournalLines NewRecording(int version, std::string numbers, std::string head, std::string file) {
    JournalLines j;
    j.version = version;
    j.kind = "create";
    j.numbers = std::move(numbers);
    j.head = head.empty() ? kPcm8Head : std::move(head);
    j.file = std::move(file);
    return j;
}

const Bytes kText = Of("Shopping list\nbread\nmilk\n");
const Bytes kRecording = model::WavFile(model::kPcm8, model::Pattern(4000, 3));
// Another program's finished recording with our very header layout, and a LIST chunk after its audio.
const Bytes kForeign = model::WithTrailer(model::WavFile(model::kPcm8, model::Pattern(3001, 4)),
                                          Bytes{0, 'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'});

Bytes Spool(const char* mark, std::uint32_t point, std::size_t bytes) {
    Bytes s(mark, mark + 8);
    s.resize(24 + bytes, 0);
    wav::StoreLe32(&s[8], point);
    return s;
}

struct Hostile {
    const char* name;
    Bytes file;  // what the journal's path holds
    // The journal, given the identity of that file.
    std::function<JournalLines(const platform::FileIdentity&)> journal;
    std::vector<std::pair<std::string, Bytes>> kept = {};  // beside the journal, by suffix
    std::string rawJournal = {};                          // instead of `journal`, when set
};

// An edit journal of this version that matches kRecording in every way; the
// cases change one thing.
JournalLines TrueEdit(const platform::FileIdentity& id) {
    JournalLines j;
    j.digest = StartOf(kRecording);
    j.file = FileNote(id);
    return j;
}

template <typename Change>
std::function<JournalLines(const platform::FileIdentity&)> Edit(Change change) {
    return [change](const platform::FileIdentity& id) {
        JournalLines j = TrueEdit(id);
        change(j);
        return j;
    };
}

const Hostile kHostile[] = {
    // Numbers that do not fit: each once crashed or corrupted memory.
    {"FactValueBeyondTheHead", kRecording,
     [](auto&) { return NewRecording(2, "36 60 1 8000"); }},
    {"FactValueFarOutside", kRecording,
     [](auto&) { return NewRecording(2, "36 50000000 1 8000"); }},
    {"DataChunkAtTheEndOfThirtyTwoBits", kRecording, Edit([](JournalLines& j) { j.numbers = "4294967292 0 1 8000"; })},
    {"DataChunkInsideRiff", kRecording, Edit([](JournalLines& j) { j.numbers = "4 0 1 8000"; })},
    {"BlockSizeZero", kRecording, Edit([](JournalLines& j) { j.numbers = "36 0 0 8000"; })},
    {"BlockSizeBeyondSixteenBits", kRecording, Edit([](JournalLines& j) { j.numbers = "36 0 70000 8000"; })},
    {"NumberBeyondSixtyFourBits", kRecording, Edit([](JournalLines& j) { j.numbers = "36 0 1 99999999999999999999"; })},
    {"SignedNumber", kRecording, Edit([](JournalLines& j) { j.numbers = "36 0 -1 8000"; })},
    {"NumberMissing", kRecording, Edit([](JournalLines& j) { j.numbers = "36 0 1"; })},
    {"HeadShorterThanItsDataChunk", kRecording,
     [](auto&) { return NewRecording(2, "52 0 1 8000"); }},
    {"HeadOfAnotherRate", kRecording,
     [](auto&) { return NewRecording(2, "36 0 1 16000"); }},
    {"HeadNotOfARecording", kRecording,
     [](auto&) { return NewRecording(2, "36 0 1 8000", Hex(Bytes(28, 'x'))); }},
    {"StartHoldingMoreThanItClaims", kRecording, Edit([](JournalLines& j) { j.digest = "0123456789abcdef 10 20"; })},
    {"StartWithoutItsCounts", kRecording, Edit([](JournalLines& j) { j.digest = "0123456789abcdef"; })},
    {"EditWithAHeadItDidNotBeginFrom", kRecording, Edit([](JournalLines& j) {
         const Bytes other = model::WavFile(model::kPcm16, {});
         j.head = Hex(Bytes(other.begin() + 8, other.begin() + 36));
     })},
    {"AnotherFileInThePlaceOfAnEditThatKeptItsHeader", kForeign, Edit([](JournalLines& j) {
         j.head = kPcm8Head;
         j.file = "file 1 987654321";
     })},
    {"UnknownChange", kRecording, Edit([](JournalLines& j) { j.kind = "truncate"; })},
    {"RelativePath", kRecording, Edit([](JournalLines& j) { j.path = "a.wav"; })},
    {"PathNotInHex", kRecording, {}, {}, "tavrin-journal 2\nedit\n/rec/a.wav\n36 0 1 8000\n-\n-\nend\n"},
    {"UnknownVersion", kRecording, {}, {}, "tavrin-journal 9\nedit\n2f\n36 0 1 8000\n-\n-\nend\n"},
    {"BinaryWithAnEndLine", kRecording, {}, {}, std::string("\x7f\x01\x02\xff\nend\n", 9)},
    // Without an end line, yet no journal of this version cut short: set
    // aside, never taken for a torn one and removed.
    {"BinaryWithoutAnEndLine", kRecording, {}, {}, std::string("\x7f\x01\x02\xff\n", 5)},
    {"UnknownVersionWithoutAnEndLine", kRecording, {}, {}, "tavrin-journal 9\nedit\n2f\n"},
    // Files that are not what the journal's change was made to.
    {"TextFileNamedByANewRecording", kText,
     [](auto&) { return NewRecording(2, "36 0 1 8000"); }},
    {"TextFileNamedByAnOldNewRecording", kText,
     [](auto&) { return NewRecording(1, "36 0 1 8000"); }},
    {"TextFileNamedByAnOldEdit", kText, [](auto&) { return OldEdit(); }},
    {"ForeignRecordingNamedByAnOldEdit", kForeign, [](auto&) { return OldEdit(); }},
    {"ForeignRecordingNamedByAnOldNewRecording", kForeign,
     [](auto&) { return NewRecording(1, "36 0 1 8000"); }},
    {"ForeignRecordingNamedByANewRecordingWithoutItsFile", kForeign,
     [](auto&) { return NewRecording(2, "36 0 1 8000"); }},
    // Another file of our very header layout, whose identity is not the journal's.
    {"AnotherFileInItsPlace", kForeign, Edit([](JournalLines& j) { j.file = "file 1 987654321"; })},
    {"AnotherFileInThePlaceOfANewRecording", kForeign,
     [](auto&) { return NewRecording(2, "36 0 1 8000", {}, "file 1 987654321"); }},
    {"HeaderChangedSinceTheEditBegan", kRecording,
     Edit([](JournalLines& j) { j.digest = StartOf(model::WavFile(model::kPcm16, Bytes(4000, 1))); })},
    {"ShorterThanTheHeaderTheEditBeganFrom", Bytes(kRecording.begin(), kRecording.begin() + 30), Edit([](auto&) {})},
    // What the journal kept cannot belong to its file.
    {"SpliceSpoolBeyondTheFile", kRecording, Edit([](auto&) {}), {{".spool", Spool("TVSPLICE", 90'000, 8)}}},
    {"InsertSpoolInsideTheHeader", kRecording, Edit([](auto&) {}), {{".insert", Spool("TVINSERT", 10, 8)}}},
    {"BufferSpoolBeyondTheFile", kRecording, Edit([](JournalLines& j) { j.kind = "edit-buffered"; }),
     {{".buffer", Spool("TVBUFFER", 90'000, 8)}}},
    {"ChunksTakenFromInsideTheHeader", kRecording, Edit([](auto&) {}), {{".trailer", Spool("TVTRAILR", 4, 8)}}},
};

class HostileJournal : public testing::TestWithParam<Hostile> {};

TEST_P(HostileJournal, LeavesTheFileAsItIsAndSetsTheJournalAsideOnce) {
    const Hostile& c = GetParam();
    test::CrashFileSystem fs;
    fs.putFolder("/rec");
    fs.putFolder(kState);
    fs.put(kPath, c.file);
    const auto id = fs.open(kPath, platform::OpenMode::ReadOnly, false)->identity().value();
    fs.put(kJournal, Of(c.rawJournal.empty() ? c.journal(id).Text() : c.rawJournal));
    for (const auto& [suffix, bytes] : c.kept) fs.put(kJournal + suffix, bytes);

    const auto first = RecoverRecordings(fs, kState);
    EXPECT_EQ(fs.contents(kPath), c.file) << "a file that was not the journal's changed";
    ASSERT_EQ(first.size(), 1u);
    EXPECT_FALSE(first[0].repaired);
    EXPECT_FALSE(first[0].setAside.empty());
    const std::string aside = SetAsideFolder(kState) + "/00000000000000aa.journal";
    EXPECT_FALSE(fs.exists(kJournal));
    EXPECT_TRUE(fs.exists(aside));
    for (const auto& [suffix, bytes] : c.kept) {
        EXPECT_EQ(fs.contents(aside + suffix), bytes) << suffix << " was not kept with its journal";
        EXPECT_FALSE(fs.exists(kJournal + suffix));
    }
    EXPECT_TRUE(RecoverRecordings(fs, kState).empty()) << "reported more than once";
    EXPECT_EQ(fs.contents(kPath), c.file);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileJournal, testing::ValuesIn(kHostile),
                         [](const auto& param) { return std::string(param.param.name); });

// A journal cut short (its end line missing) named a file not yet touched: it
// goes, unreported. A second journal of the same name is set aside under
// another name, never over the first.
TEST(HostileJournalTest, TornJournalsGoAndSetAsideOnesNeverReplaceEachOther) {
    test::CrashFileSystem fs;
    fs.putFolder("/rec");
    fs.putFolder(kState);
    fs.put(kPath, kText);
    const std::string whole = OldEdit().Text();
    fs.put(kJournal, Of(whole.substr(0, whole.size() - 2)));
    EXPECT_TRUE(RecoverRecordings(fs, kState).empty());
    EXPECT_FALSE(fs.exists(kJournal));
    for (int run = 0; run < 2; ++run) {
        fs.put(kJournal, Of(whole));
        fs.put(kJournal + ".trailer", Of("kept " + std::to_string(run)));
        EXPECT_EQ(RecoverRecordings(fs, kState).size(), 1u);
    }
    const std::string aside = SetAsideFolder(kState) + "/00000000000000aa";
    EXPECT_EQ(fs.contents(aside + ".journal.trailer"), Of("kept 0"));
    EXPECT_EQ(fs.contents(aside + ".2.journal.trailer"), Of("kept 1"));
    EXPECT_EQ(fs.contents(kPath), kText);
}

// A journal that makes no sense names nothing it can be trusted with: a run
// for some files only leaves it for the run over everything.
TEST(HostileJournalTest, NonsenseIsSetAsideByARunOverEverythingOnly) {
    test::CrashFileSystem fs;
    fs.putFolder("/rec");
    fs.putFolder(kState);
    fs.put(kJournal, Of("tavrin-journal 2\nedit\nzz\n1 2 3 4\n-\n-\nend\n"));
    EXPECT_TRUE(RecoverRecordings(fs, kState, {"/rec/b.wav"}).empty());
    EXPECT_TRUE(fs.exists(kJournal));
    const auto all = RecoverRecordings(fs, kState);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].path, kJournal) << "names no file: reported by its journal";
}

// The journals of the program's own killed changes are repaired as before,
// also as the previous version wrote them (no identity, no start header):
// they may lie on a disk after an upgrade; and also after a remount gave the
// file another identity.
enum JournalKind { kThisVersion, kFirstVersion, kRemounted };

class OwnJournal : public testing::TestWithParam<JournalKind> {
protected:
    // A recording of `audio`, or an append of `audio` to `old`, cut short by a kill.
    void LeaveKilled(const Bytes& old, const Bytes& audio) {
        fs.putFolder("/rec");
        fs.putFolder(kState);
        if (!old.empty()) fs.put(kPath, model::WavFile(model::kPcm8, old));
        StorageContext ctx(fs, memory, system, shell);
        ctx.journal.SetFolder(kState);
        if (old.empty()) {
            ASSERT_EQ(ctx.Create(kPath, wav::kTagPcm, 8000, 8, 1, platform::Media::Fast), Status::Ok);
        } else {
            ASSERT_EQ(ctx.Select(kPath, platform::Media::Fast), Status::Ok);
            ASSERT_TRUE(ctx.Append());
        }
        ASSERT_EQ(ctx.WriteData(audio.data(), static_cast<std::uint32_t>(audio.size())), Status::Ok);
        fs.crashAt(1);
        (void)ctx.Close();
        fs.kill();
        if (GetParam() == kFirstVersion) AsFirstVersion();
        if (GetParam() == kRemounted) Remounted();
    }

    // The journal as a remount leaves it: the card's file system numbers its
    // files anew (FAT does), so the identity it noted is another now.
    void Remounted() {
        const std::string journal = JournalPathFor(kState, kPath);
        const Bytes text = fs.contents(journal).value();
        const std::string whole(text.begin(), text.end());
        const std::size_t note = whole.find("\nfile ");
        ASSERT_NE(note, std::string::npos);
        fs.put(journal, Of(whole.substr(0, note) + "\nfile 1 987654321\n"));
    }

    // The journal as the first version wrote it: no start header, no file.
    void AsFirstVersion() {
        const std::string journal = JournalPathFor(kState, kPath);
        const Bytes text = fs.contents(journal).value();
        std::vector<std::string> lines(1);
        for (std::uint8_t b : text) {
            if (b == '\n') {
                lines.emplace_back();
            } else {
                lines.back().push_back(static_cast<char>(b));
            }
        }
        ASSERT_GE(lines.size(), 7u);
        ASSERT_EQ(lines[6], "end");
        // The first version kept no header of an edit.
        if (lines[1] == "edit") lines[4] = "-";
        std::string old = "tavrin-journal 1\n";
        for (int i = 1; i <= 4; ++i) old += lines[i] + "\n";
        fs.put(journal, Of(old + "end\n"));
    }

    test::CrashFileSystem fs;
    test::FakeMemory memory;
    test::FakeSystemInfo system{4096};
    test::RecordingShell shell;
};

TEST_P(OwnJournal, KilledRecordingIsRepaired) {
    const Bytes audio = model::Pattern(8000, 5);
    ASSERT_NO_FATAL_FAILURE(LeaveKilled({}, audio));
    const auto repaired = RecoverRecordings(fs, kState);
    ASSERT_EQ(repaired.size(), 1u);
    EXPECT_TRUE(repaired[0].repaired) << repaired[0].setAside;
    EXPECT_EQ(fs.contents(kPath), model::WavFile(model::kPcm8, audio));
}

TEST_P(OwnJournal, KilledAppendIsRepaired) {
    const Bytes old = model::Pattern(3000, 6);
    const Bytes audio = model::Pattern(1600, 7);
    ASSERT_NO_FATAL_FAILURE(LeaveKilled(old, audio));
    const auto repaired = RecoverRecordings(fs, kState);
    ASSERT_EQ(repaired.size(), 1u);
    EXPECT_TRUE(repaired[0].repaired) << repaired[0].setAside;
    Bytes both = old;
    both.insert(both.end(), audio.begin(), audio.end());
    EXPECT_EQ(fs.contents(kPath), model::WavFile(model::kPcm8, both));
}

INSTANTIATE_TEST_SUITE_P(Journals, OwnJournal, testing::Values(kThisVersion, kFirstVersion, kRemounted),
                         [](const auto& param) {
                             return std::string(param.param == kThisVersion    ? "ThisVersion"
                                                : param.param == kFirstVersion ? "FirstVersion"
                                                                               : "Remounted");
                         });

// A recording cut short (its header claims three seconds, the file holds
// none of them) into which an insertion was killed: neither the audio the
// header claimed nor room an insertion might reserve is ever taken for
// audio. Only what was recorded is added.
TEST(CutShortRecording, AKilledInsertionAddsOnlyWhatWasRecorded) {
    const Bytes whole = model::WavFile(model::kGsm, Bytes(65 * 75, 0));
    const Bytes gsmHeader(whole.begin(), whole.begin() + 60);
    for (const std::uint32_t blocks : {0u, 5u, 10u}) {
        SCOPED_TRACE(blocks);
        test::CrashFileSystem fs;
        test::FakeMemory memory;
        test::FakeSystemInfo system{4096};
        test::RecordingShell shell;
        fs.putFolder("/rec");
        fs.putFolder(kState);
        fs.put(kPath, gsmHeader);
        const Bytes recorded = model::Pattern(65 * blocks, 9);
        {
            StorageContext ctx(fs, memory, system, shell);
            ctx.journal.SetFolder(kState);
            ASSERT_EQ(ctx.Select(kPath, platform::Media::Fast), Status::Ok);
            ASSERT_TRUE(ctx.Insert());
            for (std::uint32_t at = 0; at < recorded.size(); at += 325)
                ASSERT_EQ(ctx.WriteData(recorded.data() + at, 325), Status::Ok);
            // A kill: all that was stored stays, nothing more happens.
            fs.crashAt(1);
            (void)ctx.Close();
            fs.kill();
        }
        (void)RecoverRecordings(fs, kState);
        EXPECT_EQ(fs.contents(kPath), model::WavFile(model::kGsm, recorded));
    }
}

// On a real file system: a name that is a symbolic link or a folder is never
// followed, whatever the journal says; the file behind the link stays as it is.
TEST(HostileJournalTest, LinksAndFoldersInTheRecordingsPlaceAreLeftAlone) {
    test::TempDir dir;
    platform::PosixFileSystem fs;
    const std::string state = dir.file("state");
    ASSERT_TRUE(fs.createDirectory(state));
    const std::string text = dir.file("notes.txt");
    const std::string recording = dir.file("real.wav");
    test::WriteBytes(text, kText);
    test::WriteBytes(recording, kRecording);
    const auto recordingId = fs.open(recording, platform::OpenMode::ReadOnly, false)->identity().value();
    struct Place {
        std::string name;
        std::string target;  // a link to this; empty: a folder
        JournalLines journal;
    };
    const Place places[] = {
        {"old-create.wav", text, NewRecording(1)},
        {"old-edit.wav", recording, OldEdit()},
        {"edit.wav", recording, TrueEdit(recordingId)},
        {"folder.wav", "", OldEdit()},
    };
    int n = 0;
    for (Place place : places) {
        const std::string path = dir.file(place.name);
        if (place.target.empty()) {
            std::filesystem::create_directory(path);
        } else {
            std::filesystem::create_symlink(place.target, path);
        }
        place.journal.path = path;
        test::WriteBytes(state + "/" + std::to_string(++n) + ".journal", place.journal.Text());
    }
    const auto reported = RecoverRecordings(fs, state);
    EXPECT_EQ(reported.size(), std::size(places));
    for (const auto& r : reported) EXPECT_FALSE(r.setAside.empty()) << r.path;
    EXPECT_EQ(test::ReadBytes(text), kText);
    EXPECT_EQ(test::ReadBytes(recording), kRecording);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("edit.wav")));
    EXPECT_TRUE(RecoverRecordings(fs, state).empty());
}

}  // namespace
}  // namespace tavrin::storage
