// The power cuts the crash sweep relies on: what a reboot may leave of writes
// that were not synced, and what it must keep of those that were.
#include <gtest/gtest.h>

#include <set>

#include "RecordingModel.h"
#include "support/CrashFileSystem.h"

namespace tavrin::test {
namespace {

using storage::model::Bytes;
using storage::model::Pattern;

constexpr std::uint32_t kSector = 512;
const std::string kFile = "/d/f";

enum class Seen { Old, New, Garbage };

Seen SectorOf(const Bytes& file, std::size_t sector, const Bytes& old, const Bytes& written) {
    const auto at = static_cast<std::ptrdiff_t>(sector * kSector);
    if (std::equal(file.begin() + at, file.begin() + at + kSector, old.begin() + at)) return Seen::Old;
    if (std::equal(file.begin() + at, file.begin() + at + kSector, written.begin() + at)) return Seen::New;
    return Seen::Garbage;
}

// Four sectors of `old`; then, unsynced, `written` over the middle two by a
// write and over the last one through a mapping, the first one synced
// through a mapping last; then the power goes.
Bytes PowerCutAfterWrites(std::optional<std::uint64_t> seed, const Bytes& old, const Bytes& written) {
    CrashFileSystem fs;
    fs.putFolder("/d");
    fs.put(kFile, old);
    if (seed) fs.setTearing(*seed);
    {
        auto file = fs.open(kFile, platform::OpenMode::ReadWrite, false);
        std::uint32_t n = 0;
        EXPECT_TRUE(file->seek(kSector) && file->write(written.data() + kSector, 2 * kSector, n));
        auto mapping = file->map(0, 4 * kSector, true);
        std::copy(written.begin() + 3 * kSector, written.end(), mapping->data() + 3 * kSector);
        // A write before the flush over the same bytes must not outlive it.
        EXPECT_TRUE(file->seek(0) && file->write(old.data(), kSector, n));
        std::copy(written.begin(), written.begin() + kSector, mapping->data());
        EXPECT_TRUE(mapping->flush(0, kSector));
        fs.crashAt(1);
        EXPECT_FALSE(file->sync());
    }
    fs.reboot();
    return fs.contents(kFile).value();
}

TEST(CrashFileSystemTest, WithoutTearingAPowerCutKeepsExactlyWhatWasSynced) {
    const Bytes old = Pattern(4 * kSector, 1);
    const Bytes written = Pattern(4 * kSector, 2);
    const Bytes file = PowerCutAfterWrites(std::nullopt, old, written);
    EXPECT_EQ(SectorOf(file, 0, old, written), Seen::New);
    for (std::size_t s = 1; s < 4; ++s) EXPECT_EQ(SectorOf(file, s, old, written), Seen::Old) << "sector " << s;
}

// Over many seeds every unsynced sector meets each fate; the synced one never
// changes, and a seed always gives the same file.
TEST(CrashFileSystemTest, TearingLetsEachUnsyncedSectorLandVanishOrTearAsItsSeedChooses) {
    const Bytes old = Pattern(4 * kSector, 1);
    const Bytes written = Pattern(4 * kSector, 2);
    std::set<Seen> fates[4];
    for (std::uint64_t seed = 1; seed <= 64; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        const Bytes file = PowerCutAfterWrites(seed, old, written);
        ASSERT_EQ(file.size(), old.size());
        EXPECT_EQ(file, PowerCutAfterWrites(seed, old, written)) << "the same seed, another outcome";
        for (std::size_t s = 0; s < 4; ++s) fates[s].insert(SectorOf(file, s, old, written));
    }
    EXPECT_EQ(fates[0], std::set<Seen>{Seen::New}) << "a flushed sector changed at the power cut";
    const std::set<Seen> all{Seen::Old, Seen::New, Seen::Garbage};
    for (std::size_t s = 1; s < 4; ++s) EXPECT_EQ(fates[s], all) << "sector " << s;
}

// A torn write harms only the bytes it covered, and a new length that did not
// last takes nothing with it.
TEST(CrashFileSystemTest, TearingKeepsBytesNoWriteCoveredAndTheLengthChoiceWhole) {
    const Bytes old = Pattern(2 * kSector, 3);
    std::set<std::size_t> lengths;
    for (std::uint64_t seed = 1; seed <= 32; ++seed) {
        CrashFileSystem fs;
        fs.putFolder("/d");
        fs.put(kFile, old);
        fs.setTearing(seed);
        {
            auto file = fs.open(kFile, platform::OpenMode::ReadWrite, false);
            const Bytes bytes(100, 0x55);
            std::uint32_t n = 0;
            ASSERT_TRUE(file->seek(kSector - 50) && file->write(bytes.data(), 100, n));
            ASSERT_TRUE(file->setLength(3 * kSector));
        }
        fs.reboot();
        const Bytes file = fs.contents(kFile).value();
        lengths.insert(file.size());
        ASSERT_GE(file.size(), old.size());
        EXPECT_TRUE(std::equal(old.begin(), old.begin() + kSector - 50, file.begin())) << "seed " << seed;
        EXPECT_TRUE(std::equal(old.begin() + kSector + 50, old.end(), file.begin() + kSector + 50)) << "seed " << seed;
        EXPECT_TRUE(std::all_of(file.begin() + static_cast<std::ptrdiff_t>(old.size()), file.end(),
                                [](std::uint8_t b) { return b == 0; }))
            << "seed " << seed;
    }
    EXPECT_EQ(lengths, (std::set<std::size_t>{2 * kSector, 3 * kSector}));
}

}  // namespace
}  // namespace tavrin::test
