// The journal session's walks through its phases over real files and locks:
// what each way of ending a change leaves in the journal folder, and how a
// second writer of the same recording is answered at every phase. Debug
// builds also check the session's invariants after every step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "storage/BufferSpool.h"
#include "storage/JournalSession.h"
#include "support/FakeMemory.h"
#include "support/TempDir.h"

namespace tavrin::storage {
namespace {

using Phase = JournalSession::Phase;
using Refusal = JournalSession::Refusal;

enum class Step { Claim, Place, Spool, WholeSpool, Chunks, Drop, Leave, Abandon };

struct Walk {
    const char* name;
    std::vector<Step> steps;
    Phase after;
    // What is left in the folder once the walk ended.
    bool journal, claim, spool, trailer;
};

// clang-format off
const Walk kWalks[] = {
    {"claim, then drop",                 {Step::Claim, Step::Drop},                                    Phase::Free,    false, false, false, false},
    {"claim, then abandon",              {Step::Claim, Step::Abandon},                                 Phase::Free,    false, false, false, false},
    {"claim, then leave",                {Step::Claim, Step::Leave},                                   Phase::Free,    false, false, false, false},
    {"claim twice",                      {Step::Claim, Step::Claim},                                   Phase::Claimed, false, true,  false, false},
    {"claimed",                          {Step::Claim},                                                Phase::Claimed, false, true,  false, false},
    {"placed",                           {Step::Claim, Step::Place},                                   Phase::Placed,  true,  false, false, false},
    {"placed, then drop",                {Step::Claim, Step::Place, Step::Drop},                       Phase::Free,    false, false, false, false},
    {"placed, then leave",               {Step::Claim, Step::Place, Step::Leave},                      Phase::Free,    true,  false, false, false},
    {"placed, then abandon",             {Step::Claim, Step::Place, Step::Abandon},                    Phase::Free,    true,  false, false, false},
    {"spool, then drop",                 {Step::Claim, Step::Place, Step::Spool, Step::Drop},          Phase::Free,    false, false, false, false},
    {"spool, then leave",                {Step::Claim, Step::Place, Step::Spool, Step::Leave},         Phase::Free,    true,  false, true,  false},
    {"spool before placing is none",     {Step::Claim, Step::Spool, Step::Place, Step::Leave},         Phase::Free,    true,  false, false, false},
    {"whole spool, then leave",          {Step::Claim, Step::WholeSpool, Step::Place, Step::Leave},    Phase::Free,    true,  false, true,  false},
    {"whole spool never placed",         {Step::Claim, Step::WholeSpool, Step::Drop},                  Phase::Free,    false, false, false, false},
    {"chunks, then drop",                {Step::Claim, Step::Chunks, Step::Place, Step::Drop},         Phase::Free,    false, false, false, false},
    {"chunks, then leave",               {Step::Claim, Step::Chunks, Step::Place, Step::Leave},        Phase::Free,    true,  false, false, true},
    {"chunks of a claim never placed",   {Step::Claim, Step::Chunks, Step::Abandon},                   Phase::Free,    false, false, false, false},
};
// clang-format on

class JournalSessionTest : public testing::Test {
protected:
    JournalSessionTest() {
        std::uint32_t written = 0;
        // A recording whose audio ends at 8 with one chunk after it.
        recording = files.open(dir.file("a.wav"), platform::OpenMode::ReadWriteCreate, false);
        const char bytes[] = "12345678LIST\4\0\0\0abcd";
        EXPECT_TRUE(recording->write(bytes, sizeof bytes - 1, written));
    }

    JournalEntry Entry() const {
        JournalEntry entry;
        entry.kind = JournalEntry::Kind::Edit;
        entry.path = platform::AbsolutePath(dir.file("a.wav"));
        return entry;
    }
    std::string Journal() const { return JournalPathFor(folder, platform::AbsolutePath(dir.file("a.wav"))); }

    bool Take(JournalSession& on, Step step) {
        const std::vector<std::uint8_t> some(16, 7);
        const std::uint8_t* bytes = some.data();
        switch (step) {
            case Step::Claim: return on.Claim(dir.file("a.wav"));
            case Step::Place: return on.Place(Entry());
            case Step::Spool: return on.StartSpool(4, bytes, 16, bytes, 16);
            case Step::WholeSpool: return on.StartWholeSpool(4, some, some, some);
            case Step::Chunks: return on.HoldChunks(*recording, memory, 0, 8, 12);
            case Step::Drop: on.Drop(); return true;
            case Step::Leave: on.Leave(); return true;
            case Step::Abandon: on.Abandon(); return true;
        }
        return false;
    }

    test::TempDir dir;
    std::string folder = dir.file("state");
    platform::PosixFileSystem files;
    test::FakeMemory memory;
    MarkBook marks, otherMarks;
    std::unique_ptr<platform::File> recording;
};

TEST_F(JournalSessionTest, EachWayOfEndingLeavesWhatRecoveryNeedsAndNothingElse) {
    for (const Walk& walk : kWalks) {
        SCOPED_TRACE(walk.name);
        test::TempDir scratch;
        folder = scratch.file("state");
        JournalSession on(files, marks);
        on.SetFolder(folder);
        for (const Step step : walk.steps) EXPECT_TRUE(Take(on, step));
        EXPECT_EQ(on.Current(), walk.after);
        EXPECT_EQ(files.exists(Journal()), walk.journal);
        EXPECT_EQ(files.exists(Journal() + ".new"), walk.claim);
        EXPECT_EQ(files.exists(BufferSpoolPathFor(Journal())), walk.spool);
        EXPECT_EQ(files.exists(TrailerPathFor(Journal())), walk.trailer);
        if (walk.after != Phase::Free) continue;
        // What was left for recovery stays: the session let go of it.
        on.Drop();
        EXPECT_EQ(files.exists(Journal()), walk.journal);
        EXPECT_EQ(files.exists(TrailerPathFor(Journal())), walk.trailer);
        EXPECT_EQ(files.exists(BufferSpoolPathFor(Journal())), walk.spool);
    }
}

// A second writer of the same recording is refused at every phase of the
// first one's change, and says why; once the first finished, it may begin.
TEST_F(JournalSessionTest, ASecondWriterIsRefusedUntilTheFirstFinishes) {
    struct Case {
        const char* name;
        std::vector<Step> first;
        bool refused;
        Refusal why;
    };
    const Case cases[] = {
        {"nothing held", {}, false, Refusal::None},
        {"claimed", {Step::Claim}, true, Refusal::InUse},
        {"placed", {Step::Claim, Step::Place}, true, Refusal::InUse},
        {"left for recovery", {Step::Claim, Step::Place, Step::Leave}, true, Refusal::Unsettled},
        {"finished", {Step::Claim, Step::Place, Step::Drop}, false, Refusal::None},
        {"claim let go", {Step::Claim, Step::Abandon}, false, Refusal::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir scratch;
        folder = scratch.file("state");
        JournalSession first(files, marks), second(files, otherMarks);
        first.SetFolder(folder);
        second.SetFolder(folder);
        for (const Step step : c.first) ASSERT_TRUE(Take(first, step));
        const Phase held = first.Current();
        const bool journal = files.exists(Journal());
        EXPECT_EQ(second.Claim(dir.file("a.wav")), !c.refused);
        EXPECT_EQ(second.LastRefusal(), c.why);
        EXPECT_EQ(second.Current(), c.refused ? Phase::Free : Phase::Claimed);
        // The refusal changed nothing of the first writer's.
        EXPECT_EQ(first.Current(), held);
        EXPECT_EQ(files.exists(Journal()), journal);
        second.Drop();
        first.Drop();
    }
}

// Without a folder no journal is written, and every step answers as if the
// change could go on without one.
TEST_F(JournalSessionTest, WithoutAFolderNothingIsWritten) {
    JournalSession off(files, marks);
    for (const Step step : {Step::Claim, Step::Chunks, Step::Place, Step::Spool, Step::Leave}) EXPECT_TRUE(Take(off, step));
    EXPECT_EQ(off.Current(), Phase::Off);
    EXPECT_FALSE(off.StartWholeSpool(0, {}, {}, {}));  // a spool whole before its journal needs a claim
    EXPECT_TRUE(off.KeptCutPath(dir.file("a.wav")).empty());
    EXPECT_FALSE(files.exists(folder));
}

}  // namespace
}  // namespace tavrin::storage
