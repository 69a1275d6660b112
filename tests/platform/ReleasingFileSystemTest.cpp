#include "platform/ReleasingFileSystem.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/posix/PosixFileSystem.h"
#include "support/TempDir.h"

namespace tavrin::platform {
namespace {

// How many of this process's open files lie inside `folder`.
int OpenFilesInside(const std::string& folder) {
    int count = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
        if (!error && target.rfind(folder + "/", 0) == 0) ++count;
    }
    return count;
}

class ReleasingFileSystemTest : public ::testing::Test {
protected:
    ReleasingFileSystemTest() { std::filesystem::create_directories(card()); }
    std::string card() const { return dir.file("card"); }
    std::string onCard(const std::string& name) const { return card() + "/" + name; }

    test::TempDir dir;
    PosixFileSystem posix;
    ReleasingFileSystem fs{posix, [this](const std::string& path) { return path.rfind(card() + "/", 0) == 0; }};
};

// The same operations on a file held open and on one let go of between them
// give the same answers and the same file, and the one on the card holds
// nothing open between operations.
TEST_F(ReleasingFileSystemTest, ReleasedFilesAnswerAsHeldOnesAndHoldNothingBetweenOperations) {
    auto held = fs.open(dir.file("held.wav"), OpenMode::ReadWriteCreate, true);
    auto released = fs.open(onCard("released.wav"), OpenMode::ReadWriteCreate, true);
    ASSERT_TRUE(held && released);
    EXPECT_EQ(OpenFilesInside(dir.path()), 1) << "only the held one";
    EXPECT_EQ(OpenFilesInside(card()), 0);

    const std::vector<std::uint8_t> bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (File* f : {held.get(), released.get()}) {
        SCOPED_TRACE(f == held.get() ? "held" : "released");
        std::uint32_t n = 0;
        ASSERT_TRUE(f->setLength(0));
        ASSERT_TRUE(f->write(bytes.data(), 10, n));
        EXPECT_EQ(n, 10u);
        EXPECT_EQ(f->tell(), 10u);
        ASSERT_TRUE(f->write(bytes.data(), 4, n));  // on from where the first ended
        ASSERT_TRUE(f->seek(2));
        std::uint8_t got[20] = {};
        ASSERT_TRUE(f->read(got, 20, n));
        EXPECT_EQ(n, 12u) << "short at the end";
        EXPECT_EQ(got[0], 3);
        EXPECT_EQ(f->tell(), 14u);
        std::uint32_t size = 0;
        ASSERT_TRUE(f->size(size));
        EXPECT_EQ(size, 14u);
        ASSERT_TRUE(f->setLength(6));
        ASSERT_TRUE(f->size(size));
        EXPECT_EQ(size, 6u);
        EXPECT_EQ(f->tell(), 14u) << "a length change leaves the pointer";
        EXPECT_EQ(OpenFilesInside(card()), 0);
    }
    EXPECT_EQ(test::ReadBytes(dir.file("held.wav")), test::ReadBytes(onCard("released.wav")));
}

TEST_F(ReleasingFileSystemTest, AMappingHoldsItsFileWhileItLivesAndAVanishedFileFailsCleanly) {
    test::WriteBytes(onCard("r.wav"), std::string(65536 * 2, 'x'));
    auto file = fs.open(onCard("r.wav"), OpenMode::ReadWrite, false);
    ASSERT_NE(file, nullptr);
    {
        auto mapping = file->map(65536, 100, false);
        ASSERT_NE(mapping, nullptr);
        EXPECT_EQ(mapping->data()[0], 'x');
        EXPECT_GE(OpenFilesInside(card()), 1);
    }
    EXPECT_EQ(OpenFilesInside(card()), 0);

    // The card went away under a selected recording: every operation fails, none crashes.
    std::filesystem::remove(onCard("r.wav"));
    std::uint8_t byte = 0;
    std::uint32_t n = 0;
    std::uint32_t size = 0;
    EXPECT_FALSE(file->read(&byte, 1, n));
    EXPECT_FALSE(file->write(&byte, 1, n));
    EXPECT_FALSE(file->size(size));
    EXPECT_FALSE(file->setLength(1));
    EXPECT_EQ(file->map(0, 1, false), nullptr);
    EXPECT_FALSE(std::filesystem::exists(onCard("r.wav"))) << "never created again";
    // What cannot be opened at all is refused at once, as without the card rule.
    EXPECT_EQ(fs.open(onCard("missing.wav"), OpenMode::ReadOnly, false), nullptr);
    EXPECT_EQ(fs.open(card(), OpenMode::ReadWrite, false), nullptr);
}

}  // namespace
}  // namespace tavrin::platform
