// Two writers of one recording: two storage contexts of one process (two
// engines), over real files and real locks, on both media. While one
// changes the recording, the other's Append, Overwrite and Insert are refused
// as "in use" and change nothing: not the file, not the first one's journal
// or the chunks it saved, so that the first one still finishes, or, killed,
// is recovered. Once the first has finished, the second may edit.
#include <gtest/gtest.h>

#include <memory>

#include "SlowMediaRig.h"

namespace tavrin::storage {
namespace {

using namespace slowtest;
using model::kPcm16;

enum class Change { Record, Append, Overwrite, Insert };

struct Writer {
    Change change;
    const char* name;
};

constexpr Writer kFirsts[] = {
    {Change::Record, "record"}, {Change::Append, "append"}, {Change::Overwrite, "overwrite"}, {Change::Insert, "insert"}};
constexpr Writer kSeconds[] = {{Change::Append, "append"}, {Change::Overwrite, "overwrite"}, {Change::Insert, "insert"}};

bool Start(StorageContext& ctx, Change change) {
    switch (change) {
        case Change::Append: return ctx.Append();
        case Change::Overwrite: return ctx.Overwrite();
        case Change::Insert: return ctx.Insert();
        case Change::Record: break;
    }
    return false;
}

class TwoWriters : public testing::TestWithParam<bool> {
protected:
    bool Slow() const { return GetParam(); }
    platform::Media Medium() const { return Slow() ? platform::Media::Slow : platform::Media::Fast; }

    // The recording the first writer's change makes of `old` (or of nothing).
    Bytes Expected(Change change, const Bytes& fresh) const {
        const std::size_t at = 2 * kBlock;
        switch (change) {
            case Change::Record: return model::WavFile(kPcm16, fresh);
            case Change::Append: return Recording(Cat(oldAudio, fresh));
            case Change::Overwrite: return Recording(Cat(Slice(oldAudio, 0, at), fresh));
            case Change::Insert: return Recording(Cat(Cat(Slice(oldAudio, 0, at), fresh), Slice(oldAudio, at, oldAudio.size())));
        }
        return {};
    }
    static Bytes Recording(const Bytes& audio) {
        return model::WithTrailer(model::WavFile(kPcm16, audio), model::kListChunk);
    }

    static constexpr std::size_t kBlock = 1600;
    const Bytes oldAudio = Pattern(8 * kBlock, 1);
    const Bytes old = Recording(oldAudio);
};

TEST_P(TwoWriters, TheSecondIsRefusedAndTheFirstFinishesOrIsRecovered) {
    for (const bool killed : {false, true}) {
        for (const Writer& first : kFirsts) {
            for (const Writer& second : kSeconds) {
                SCOPED_TRACE(testing::Message() << first.name << " then " << second.name << (killed ? ", first killed" : ""));
                SlowRig rig;
                rig.UseJournals();
                auto one = std::make_unique<StorageContext>(rig.fs, rig.memory, rig.system, rig.shell);
                StorageContext two(rig.fs, rig.memory, rig.system, rig.shell);
                one->journal.SetFolder(rig.ctx.journal.Folder());
                two.journal.SetFolder(rig.ctx.journal.Folder());
                const Bytes fresh = Pattern(3 * kBlock, 2);
                if (first.change == Change::Record) {
                    ASSERT_EQ(one->Create(rig.path, kPcm16.tag, 8000, 16, 1, Medium()), Status::Ok);
                } else {
                    test::WriteBytes(rig.path, old);
                    ASSERT_EQ(one->Select(rig.path, Medium()), Status::Ok);
                    ASSERT_TRUE(one->SeekToSample(2 * kBlock / 2));
                    ASSERT_TRUE(Start(*one, first.change));
                }
                ASSERT_EQ(one->WriteData(fresh.data(), kBlock), Status::Ok);

                const Bytes journal = test::ReadBytes(rig.JournalFor());
                // A new recording on slow media holds nothing to read yet.
                if (two.Select(rig.path, Medium()) == Status::Ok) {
                    EXPECT_FALSE(Start(two, second.change));
                    EXPECT_EQ(two.LastRefusal(), StorageContext::Refusal::InUse);
                } else {
                    EXPECT_TRUE(Slow() && first.change == Change::Record) << "reading is never refused";
                }
                EXPECT_EQ(two.Close(), Status::Ok);
                EXPECT_EQ(test::ReadBytes(rig.JournalFor()), journal) << "the first writer's journal was touched";

                ASSERT_EQ(one->WriteData(fresh.data() + kBlock, 2 * kBlock), Status::Ok);
                if (killed) {
                    one.reset();  // lets go of everything as a killed process does, the journal kept
                    EXPECT_EQ(rig.Recover().size(), 1u);
                } else {
                    ASSERT_EQ(one->End(), Status::Ok);
                    ASSERT_EQ(one->Close(), Status::Ok);
                }
                const Bytes done = Expected(first.change, fresh);
                EXPECT_EQ(rig.OnDisk(), done);
                EXPECT_FALSE(test::FileExists(rig.JournalFor()));

                ASSERT_EQ(two.Select(rig.path, Medium()), Status::Ok);
                ASSERT_TRUE(Start(two, Change::Append)) << "once the first has finished";
                EXPECT_EQ(two.LastRefusal(), StorageContext::Refusal::None);
                ASSERT_EQ(two.Close(), Status::Ok);
                EXPECT_EQ(rig.OnDisk(), done);
            }
        }
    }
}

// A change that could not be finished (the volume filled up) keeps its
// journal and spool for recovery. Until recovery has written it out, no
// other change of the recording may begin: it would take the place of the
// only copy of that audio.
TEST_P(TwoWriters, AChangeWaitingForRecoveryRefusesEditsUntilItIsWritten) {
    SlowRig rig;
    rig.UseJournals();
    const Bytes fresh = Pattern(6 * kBlock, 3);
    ASSERT_EQ(rig.ctx.Create(rig.path, kPcm16.tag, 8000, 16, 1, platform::Media::Slow), Status::Ok);
    ASSERT_EQ(rig.Record(fresh, kBlock), Status::Ok);
    rig.fs.setShortWrite(2 * kBlock);
    EXPECT_NE(rig.ctx.Close(), Status::Ok);
    ASSERT_TRUE(test::FileExists(rig.JournalFor()));

    StorageContext other(rig.fs, rig.memory, rig.system, rig.shell);
    other.journal.SetFolder(rig.ctx.journal.Folder());
    ASSERT_EQ(other.Select(rig.path, Medium()), Status::Ok) << "what fitted plays";
    EXPECT_FALSE(other.Append());
    EXPECT_EQ(other.LastRefusal(), StorageContext::Refusal::Unsettled);
    EXPECT_EQ(other.Close(), Status::Ok);
    EXPECT_TRUE(test::FileExists(BufferSpoolPathFor(rig.JournalFor())));

    rig.fs.setShortWrite(std::nullopt);
    ASSERT_EQ(other.Select(rig.path, Medium()), Status::Ok) << "selecting it recovers it";
    EXPECT_EQ(rig.OnDisk(), model::WavFile(kPcm16, fresh));
    EXPECT_TRUE(other.Append());
    EXPECT_EQ(other.Close(), Status::Ok);
}

INSTANTIATE_TEST_SUITE_P(Media, TwoWriters, testing::Bool(),
                         [](const auto& param) { return param.param ? "Slow" : "Fast"; });

}  // namespace
}  // namespace tavrin::storage
