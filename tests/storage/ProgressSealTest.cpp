// The seal is what recovery trusts after a power cut: it must never name more
// than a sync covered, survive its own torn writes, and give way to the counts
// a killed program left while the system still runs.
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/posix/PosixFileSystem.h"
#include "storage/BufferSpool.h"
#include "storage/JournalFormats.h"
#include "storage/ProgressSeal.h"
#include "support/CrashFileSystem.h"
#include "support/TempDir.h"

namespace tavrin::storage {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace kept;

// A seal's bytes: the run, then slots given as {sequence, count, whole}.
struct SlotSpec {
    std::uint32_t sequence = 0;
    std::uint32_t count = 0;
    bool whole = true;
};

Bytes SealBytes(const std::string& run, SlotSpec first, SlotSpec second) {
    Bytes b(kProgressBytes, 0);
    std::copy(kProgressMark.begin(), kProgressMark.end(), b.begin());
    std::copy(run.begin(), run.end(), b.begin() + kProgressRunAt);
    const SlotSpec slots[] = {first, second};
    for (int i = 0; i < 2; ++i) {
        std::uint8_t* at = b.data() + kProgressSlotAt[i];
        wav::StoreLe32(at + kProgressSequenceAt, slots[i].sequence);
        wav::StoreLe32(at + kProgressCountAt, slots[i].count);
        Seal(at, kProgressSequenceAt, kProgressSealAt);
        if (!slots[i].whole) at[kProgressCountAt] ^= 0x5A;  // torn after it was sealed
    }
    return b;
}

Bytes Shortened(Bytes b) {
    b.pop_back();
    return b;
}

TEST(ProgressSeal, TheNewestWholeSlotNamesTheCount) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::optional<std::uint32_t> count;
    };
    const Case cases[] = {
        {"only the first seal", SealBytes("r", {}, {1, 100}), 100},
        {"the newer of two", SealBytes("r", {2, 300}, {1, 100}), 300},
        {"the newer in the other slot", SealBytes("r", {4, 300}, {5, 500}), 500},
        {"the newer torn: the one before", SealBytes("r", {6, 600, false}, {5, 500}), 500},
        {"both torn", SealBytes("r", {6, 600, false}, {5, 500, false}), std::nullopt},
        {"no slot written", SealBytes("r", {}, {}), std::nullopt},
        {"cut short", Shortened(SealBytes("r", {2, 300}, {1, 100})), std::nullopt},
        {"not a seal", Bytes(kProgressBytes, 0), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto seal = ParseSeal(c.bytes.data(), c.bytes.size());
        ASSERT_EQ(seal.has_value(), c.count.has_value());
        if (!seal) continue;
        EXPECT_EQ(seal->count, *c.count);
        EXPECT_EQ(seal->run, "r");
    }
}

// Counts published between syncs are sealed only by a sync that began after
// them. A kill leaves the seal unread (the counts written with the audio
// hold); after a power cut recovery reads it, and takes the writer's claim
// instead where the bytes still match it: all of them landed.
TEST(ProgressSeal, FollowsTheSyncsAndTrustsAClaimOnlyWhereTheBytesMatchIt) {
    test::CrashFileSystem fs;
    fs.putFolder("/s");
    fs.setSyncLag(3);
    fs.put("/s/audio", {});
    const auto digestOf = [&](std::uint32_t from, std::uint32_t count) -> std::optional<std::uint32_t> {
        const Bytes audio = fs.contents("/s/audio").value();
        if (count > audio.size()) return std::nullopt;
        return ClaimDigest(audio.data() + from, count - from, ClaimDigestStart());
    };
    {
        auto audio = fs.open("/s/audio", platform::OpenMode::ReadWrite, false);
        const auto seal = ProgressSeal::Start(fs, "/s/seal", *audio, 0);
        ASSERT_NE(seal, nullptr);
        for (std::uint32_t count = 10; count <= 80; count += 10) {
            const Bytes block(10, static_cast<std::uint8_t>(count));
            ASSERT_TRUE(platform::WriteAt(*audio, count - 10, block.data(), 10));
            seal->Appended(block.data(), 10, count);
            audio->syncSoon();  // the third and the sixth request sync
        }
        EXPECT_EQ(ParseSeal(fs.contents("/s/seal")->data(), kProgressBytes)->count, 60u);
        seal->Stop();
    }
    fs.kill();
    EXPECT_EQ(ReadSeal(fs, "/s/seal", digestOf), std::nullopt) << "a kill: the counts written with the audio hold";

    fs.reboot();  // after the kill: all of it had landed
    EXPECT_EQ(ReadSeal(fs, "/s/seal", digestOf), 80u) << "the claim matches the bytes";
    Bytes torn = fs.contents("/s/audio").value();
    torn[75] ^= 1;
    fs.put("/s/audio", torn);
    EXPECT_EQ(ReadSeal(fs, "/s/seal", digestOf), 60u) << "a claim the bytes do not match";
    fs.put("/s/audio", Bytes(torn.begin(), torn.begin() + 70));
    EXPECT_EQ(ReadSeal(fs, "/s/seal", digestOf), 60u) << "a claim beyond the bytes there are";
}

// A spool read after a power cut: what the seal names, or what the writer
// claimed where the spool's bytes match it; the spool's own count is not
// trusted (it may have landed before the bytes it counts).
TEST(ProgressSeal, ASpoolIsReadToTheSealOrToAClaimItsBytesMatch) {
    struct Case {
        const char* name;
        bool garble;           // a byte of the last block changed after the power came back
        std::size_t expected;  // buffer bytes read back
    };
    const Case cases[] = {{"all of it landed", false, 30}, {"the last block did not", true, 20}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::CrashFileSystem fs;
        fs.putFolder("/s");
        fs.setSyncLag(2);
        const Bytes tail{7, 7};
        {
            BufferSpool spool;
            ASSERT_TRUE(spool.Start(fs, "/s/b", 100, tail.data(), 2, nullptr, 0));
            for (std::uint32_t n = 1; n <= 3; ++n) {
                const Bytes block(10, static_cast<std::uint8_t>(n));
                spool.Store((n - 1) * 10, block.data(), 10, n * 10);  // the second request syncs
            }
            spool.Leave();
        }
        fs.kill();
        fs.reboot();
        if (c.garble) {
            Bytes spool = fs.contents("/s/b").value();
            spool.back() ^= 1;
            fs.put("/s/b", spool);
        }
        const auto read = ReadBufferSpool(fs, "/s/b");
        ASSERT_TRUE(read);
        EXPECT_EQ(read->tailAudio, tail);
        EXPECT_EQ(read->buffer.size(), c.expected);
        EXPECT_EQ(read->buffer.front(), 1);
    }
}

// A count sealed at once (audio taken back) wins over a sync that began
// before it: that sync's count may cover bytes written again since.
TEST(ProgressSeal, ACountSealedAtOnceOutlivesASyncThatBeganBefore) {
    test::CrashFileSystem fs;
    fs.putFolder("/s");
    fs.put("/s/audio", {});
    auto audio = fs.open("/s/audio", platform::OpenMode::ReadWrite, false);
    const auto seal = ProgressSeal::Start(fs, "/s/seal", *audio, 0);
    ASSERT_NE(seal, nullptr);
    seal->Publish(900);
    seal->syncing();
    ASSERT_TRUE(seal->SealNow(400));
    seal->Publish(700);
    seal->synced();
    EXPECT_EQ(ParseSeal(fs.contents("/s/seal")->data(), kProgressBytes)->count, 400u);
    seal->syncing();
    seal->synced();
    EXPECT_EQ(ParseSeal(fs.contents("/s/seal")->data(), kProgressBytes)->count, 700u);
    seal->Stop();
    seal->syncing();
    seal->synced();
    EXPECT_EQ(ParseSeal(fs.contents("/s/seal")->data(), kProgressBytes)->count, 700u) << "sealed after it stopped";
}

// Tells the test of each sync the platform made, after the seal heard of it.
class SyncCounter final : public platform::SyncWatcher {
public:
    explicit SyncCounter(std::shared_ptr<ProgressSeal> s) : seal(std::move(s)) {}
    void syncing() override { seal->syncing(); }
    void synced() override {
        seal->synced();
        std::lock_guard hold(lock);
        changed.notify_all();
    }
    // Waits until a sync left `done` true.
    void WaitUntil(const std::function<bool()>& done) {
        std::unique_lock hold(lock);
        changed.wait(hold, [&] { return done(); });
    }

private:
    std::shared_ptr<ProgressSeal> seal;
    std::mutex lock;
    std::condition_variable changed;
};

// On the platform's own syncing thread, while a writer publishes and asks
// for syncs and takes audio back (the ThreadSanitizer build checks the
// hand-over): the seal ends at the last count once a sync follows it.
TEST(ProgressSeal, SealsFromThePlatformsSyncingThread) {
    test::TempDir dir;
    platform::PosixFileSystem fs;
    auto audio = fs.open(dir.file("audio"), platform::OpenMode::ReadWriteCreate, false);
    ASSERT_NE(audio, nullptr);
    const auto seal = ProgressSeal::Start(fs, dir.file("seal"), *audio, 0);
    ASSERT_NE(seal, nullptr);
    const auto counter = std::make_shared<SyncCounter>(seal);
    ASSERT_TRUE(audio->watchSyncs(counter));
    std::thread writer([&] {
        const Bytes block(512, 3);
        for (std::uint32_t n = 1; n <= 200; ++n) {
            ASSERT_TRUE(platform::WriteAt(*audio, (n - 1) * 512, block.data(), 512));
            if (n % 50 == 0) {
                ASSERT_TRUE(seal->SealNow(n * 512 - 512));
            }
            seal->Publish(n * 512);
            audio->syncSoon();
        }
    });
    writer.join();
    // A sync asked for now begins after the last count was published.
    audio->syncSoon();
    counter->WaitUntil([&] {
        const auto read = platform::ReadWholeFile(fs, dir.file("seal"), kProgressBytes);
        const auto sealed = read ? ParseSeal(read->data(), read->size()) : std::nullopt;
        return sealed && sealed->count == 200u * 512;
    });
    seal->Stop();
    audio.reset();
}

}  // namespace
}  // namespace tavrin::storage
