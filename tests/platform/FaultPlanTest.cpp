#include <gtest/gtest.h>

#include <vector>

#include "support/FakeMemory.h"
#include "support/FaultPlan.h"
#include "support/FaultyFileSystem.h"
#include "support/TempDir.h"

namespace tavrin::test {
namespace {

using platform::OpenMode;

// Which of the next calls fail, for a plan armed one way.
std::vector<bool> Outcomes(FaultPlan& plan, Fault kind, int callsToMake) {
    std::vector<bool> fails;
    for (int i = 0; i < callsToMake; ++i) fails.push_back(plan.shouldFail(kind));
    return fails;
}

TEST(FaultPlan, NthCallOfAKindFailsOnceOrFromThenOn) {
    struct Case {
        std::uint32_t n;
        bool persistent;
        std::vector<bool> expected;
    };
    const Case cases[] = {
        {1, false, {true, false, false, false}},
        {3, false, {false, false, true, false}},
        {2, true, {false, true, true, true}},
        {0, true, {false, false, false, false}},
    };
    for (const auto& c : cases) {
        FaultPlan plan;
        EXPECT_FALSE(plan.shouldFail(Fault::Write));  // calls before arming do not count towards n
        plan.failNth(Fault::Write, c.n, c.persistent);
        EXPECT_EQ(Outcomes(plan, Fault::Write, 4), c.expected) << "n=" << c.n << " persistent=" << c.persistent;
        EXPECT_EQ(plan.calls(Fault::Write), 5u);
    }
}

TEST(FaultPlan, KindFaultIgnoresOtherKinds) {
    FaultPlan plan;
    plan.failNth(Fault::Flush, 1);
    EXPECT_FALSE(plan.shouldFail(Fault::Write));
    EXPECT_FALSE(plan.shouldFail(Fault::Map));
    EXPECT_FALSE(plan.faultFired());
    EXPECT_TRUE(plan.shouldFail(Fault::Flush));
    EXPECT_TRUE(plan.faultFired());
}

TEST(FaultPlan, AnyCallCountsAllKindsTogether) {
    FaultPlan plan;
    plan.failNthCall(3);
    EXPECT_FALSE(plan.shouldFail(Fault::Open));
    EXPECT_FALSE(plan.shouldFail(Fault::Write));
    EXPECT_TRUE(plan.shouldFail(Fault::Allocate));
    EXPECT_FALSE(plan.shouldFail(Fault::Write));
    EXPECT_EQ(plan.totalCalls(), 4u);
    EXPECT_EQ(plan.faultsFired(), 1u);

    plan.failNthCall(2, true);
    EXPECT_EQ(Outcomes(plan, Fault::Read, 3), (std::vector<bool>{false, true, true}));
}

TEST(FaultPlan, ResetDisarmsAndForgetsFiredFaults) {
    FaultPlan plan;
    plan.failNth(Fault::Read, 1, true);
    plan.failNthCall(1, true);
    EXPECT_TRUE(plan.shouldFail(Fault::Read));
    plan.resetFaults();
    EXPECT_FALSE(plan.faultFired());
    EXPECT_FALSE(plan.shouldFail(Fault::Read));
    EXPECT_FALSE(plan.shouldFail(Fault::Seek));
    EXPECT_EQ(plan.calls(Fault::Read), 2u);
}

TEST(FaultPlan, ResetCountsKeepsTheDistanceOfArmedFaults) {
    FaultPlan plan;
    EXPECT_FALSE(plan.shouldFail(Fault::Seek));
    plan.failNth(Fault::Seek, 2);
    plan.resetCounts();
    EXPECT_EQ(plan.calls(Fault::Seek), 0u);
    EXPECT_EQ(Outcomes(plan, Fault::Seek, 3), (std::vector<bool>{false, true, false}));
}

class FaultyFileSystemTest : public ::testing::Test {
protected:
    std::unique_ptr<platform::File> create(const std::string& name) {
        auto file = fs.open(dir.file(name), OpenMode::ReadWriteCreate, false);
        EXPECT_NE(file, nullptr);
        return file;
    }

    TempDir dir;
    FaultyFileSystem fs;
};

TEST_F(FaultyFileSystemTest, FailedCallsLeaveTheFileAlone) {
    auto file = create("a.bin");
    std::uint32_t written = 0;
    ASSERT_TRUE(file->write("abcd", 4, written));

    fs.failNth(Fault::Write, 1);
    EXPECT_FALSE(file->write("xyz", 3, written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(file->tell(), 4u);

    fs.failNth(Fault::Seek, 1);
    EXPECT_FALSE(file->seek(0));
    EXPECT_EQ(file->tell(), 4u);

    fs.failNth(Fault::SetLength, 1);
    EXPECT_FALSE(file->setLength(1));

    fs.failNth(Fault::Size, 1);
    std::uint32_t size = 99;
    EXPECT_FALSE(file->size(size));
    EXPECT_EQ(size, 99u);

    ASSERT_TRUE(file->seek(0));
    fs.failNth(Fault::Read, 1);
    char buffer[4] = {};
    std::uint32_t got = 7;
    EXPECT_FALSE(file->read(buffer, 4, got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(file->tell(), 0u);
    file.reset();
    EXPECT_EQ(ReadBytes(dir.file("a.bin")), (std::vector<std::uint8_t>{'a', 'b', 'c', 'd'}));
}

TEST_F(FaultyFileSystemTest, FailedOpenCreatesNothing) {
    fs.failNth(Fault::Open, 1);
    EXPECT_EQ(fs.open(dir.file("new.bin"), OpenMode::ReadWriteCreate, false), nullptr);
    EXPECT_FALSE(FileExists(dir.file("new.bin")));
    EXPECT_NE(create("new.bin"), nullptr);
}

TEST_F(FaultyFileSystemTest, MapAndFlushFaultsAndLiveCounts) {
    auto file = create("m.bin");
    ASSERT_TRUE(file->setLength(10000));
    fs.failNth(Fault::Map, 1);
    EXPECT_EQ(file->map(0, 100, true), nullptr);
    auto mapping = file->map(100, 200, true);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(fs.openFiles(), 1);
    EXPECT_EQ(fs.liveMappings(), 1);
    fs.failNth(Fault::Flush, 1);
    EXPECT_FALSE(mapping->flush(0, 200));
    EXPECT_TRUE(mapping->flush(0, 200));
    mapping.reset();
    file.reset();
    EXPECT_EQ(fs.openFiles(), 0);
    EXPECT_EQ(fs.liveMappings(), 0);
}

TEST_F(FaultyFileSystemTest, FreeSpaceOverrideAndFault) {
    const auto real = fs.freeSpace(dir.path());
    ASSERT_TRUE(real.has_value());
    fs.setFreeSpace(12345);
    EXPECT_EQ(fs.freeSpace(dir.path()), 12345u);
    EXPECT_EQ(fs.freeSpace("/no/such/folder"), 12345u);
    fs.failNth(Fault::FreeSpace, 1);
    EXPECT_EQ(fs.freeSpace(dir.path()), std::nullopt);
    fs.setFreeSpace(std::nullopt);
    EXPECT_TRUE(fs.freeSpace(dir.path()).has_value());
}

TEST_F(FaultyFileSystemTest, FullDiskStoresWhatFitsAndReportsIt) {
    auto file = create("full.bin");
    fs.setShortWrite(6);
    std::uint32_t written = 0;
    EXPECT_TRUE(file->write("abcd", 4, written));
    EXPECT_EQ(written, 4u);
    ASSERT_TRUE(file->seek(0));
    EXPECT_TRUE(file->write("ABC", 3, written));  // over existing bytes: no space needed
    ASSERT_TRUE(file->seek(4));
    EXPECT_FALSE(file->write("efgh", 4, written));
    EXPECT_EQ(written, 2u);
    EXPECT_EQ(file->tell(), 6u);
    EXPECT_FALSE(file->write("ij", 2, written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(fs.shortWrites(), 2u);
    fs.setShortWrite(std::nullopt);
    EXPECT_TRUE(file->write("k", 1, written));
    file.reset();
    EXPECT_EQ(ReadBytes(dir.file("full.bin")), (std::vector<std::uint8_t>{'A', 'B', 'C', 'd', 'e', 'f', 'k'}));
}

TEST_F(FaultyFileSystemTest, FullDiskRefusesGrowthWhole) {
    auto file = create("grow.bin");
    fs.setShortWrite(100);
    EXPECT_FALSE(file->setLength(101));
    std::uint32_t size = 1;
    ASSERT_TRUE(file->size(size));
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(file->setLength(60));
    EXPECT_FALSE(file->setLength(101));
    EXPECT_TRUE(file->setLength(10));  // gives 50 bytes back
    EXPECT_FALSE(file->setLength(101));
    EXPECT_TRUE(file->setLength(100));
    // Two files share one volume.
    auto other = create("other.bin");
    std::uint32_t written = 0;
    EXPECT_FALSE(other->write("0123456789ab", 12, written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(fs.shortWrites(), 4u);
}

TEST_F(FaultyFileSystemTest, FolderOperationFaults) {
    WriteBytes(dir.file("a"), "1");
    fs.failNth(Fault::Move, 1);
    EXPECT_FALSE(fs.moveNoReplace(dir.file("a"), dir.file("b")));
    EXPECT_TRUE(FileExists(dir.file("a")));
    fs.failNth(Fault::Remove, 1);
    EXPECT_FALSE(fs.remove(dir.file("a")));
    EXPECT_TRUE(FileExists(dir.file("a")));
    fs.failNth(Fault::List, 1);
    EXPECT_EQ(fs.list(dir.path()), std::nullopt);
    fs.failNth(Fault::CreateDirectory, 1);
    EXPECT_FALSE(fs.createDirectory(dir.file("sub")));
    EXPECT_FALSE(fs.isDirectory(dir.file("sub")));
}

// The sweep every storage test runs: fail the 1st, 2nd, ... call until one
// run passes without a fault. Here the operation is "create, write twice,
// set the length, map, flush", which makes a known number of calls.
TEST_F(FaultyFileSystemTest, SweepOverAnOperationEndsWhenNoFaultFires) {
    FakeMemory memory(fs.plan());
    auto operation = [&](const std::string& path) {
        auto file = fs.open(path, OpenMode::ReadWriteCreate, false);
        if (!file) return false;
        void* block = memory.commit(100);
        if (!block) return false;
        std::uint32_t written = 0;
        bool ok = file->write("ab", 2, written) && file->write("cd", 2, written) && file->setLength(8192);
        auto mapping = ok ? file->map(4000, 10, true) : nullptr;
        ok = mapping && mapping->flush(0, 10);
        memory.release(block, 100);
        return ok;
    };
    std::uint32_t runs = 0;
    for (std::uint32_t n = 1; n < 100; ++n) {
        fs.resetFaults();
        fs.failNthCall(n);
        const bool ok = operation(dir.file("sweep" + std::to_string(n)));
        ++runs;
        EXPECT_EQ(ok, !fs.faultFired()) << "run " << n;
        if (!fs.faultFired()) break;
    }
    EXPECT_EQ(runs, 8u);  // open, allocate, write, write, setLength, map, flush: 7 faults, then a clean run
    EXPECT_EQ(memory.liveBlocks(), 0u);
    EXPECT_EQ(fs.liveMappings(), 0);
}

TEST(FakeMemory, CommitLimitCountsLiveBlocks) {
    FakeMemory memory;
    memory.setCommitLimit(1000);
    void* a = memory.commit(600);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(memory.commit(401), nullptr);
    void* b = memory.commit(400);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(memory.liveBytes(), 1000u);
    memory.release(a, 600);
    void* c = memory.commit(600);
    EXPECT_NE(c, nullptr);
    memory.release(b, 400);
    memory.release(c, 600);
    EXPECT_EQ(memory.liveBlocks(), 0u);
    EXPECT_EQ(memory.commitCalls(), 4u);
}

TEST(FakeMemory, BlocksAreZeroedAndFaultsRefuseThem) {
    FakeMemory memory;
    EXPECT_EQ(memory.commit(0), nullptr);
    auto* block = static_cast<std::uint8_t*>(memory.commit(70000));
    ASSERT_NE(block, nullptr);
    for (std::size_t i = 0; i < 70000; i += 997) EXPECT_EQ(block[i], 0) << i;
    memory.plan()->failNth(Fault::Allocate, 1);
    EXPECT_EQ(memory.commit(10), nullptr);
    EXPECT_EQ(memory.liveBlocks(), 1u);
    memory.release(block, 70000);
    memory.setAvailablePhysical(123);
    EXPECT_EQ(memory.availablePhysical(), 123u);
}

}  // namespace
}  // namespace tavrin::test
