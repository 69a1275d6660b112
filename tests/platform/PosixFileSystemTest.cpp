#include "platform/posix/PosixFileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>
#include <thread>

#include "support/TempDir.h"

namespace tavrin::platform {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed = 0) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 251);
    return bytes;
}

class PosixFileSystemTest : public ::testing::Test {
protected:
    std::unique_ptr<File> openWith(const std::string& name, const std::vector<std::uint8_t>& contents,
                                   OpenMode mode = OpenMode::ReadWrite) {
        WriteBytes(dir.file(name), contents);
        auto file = fs.open(dir.file(name), mode, false);
        EXPECT_NE(file, nullptr);
        return file;
    }

    TempDir dir;
    PosixFileSystem fs;
};

TEST_F(PosixFileSystemTest, OpenModes) {
    WriteBytes(dir.file("present"), "x");
    std::filesystem::create_directory(dir.file("folder"));
    struct Case {
        const char* path;
        OpenMode mode;
        bool opens;
    };
    const Case cases[] = {
        {"present", OpenMode::ReadOnly, true},     {"present", OpenMode::ReadWrite, true},
        {"present", OpenMode::ReadWriteCreate, true}, {"missing", OpenMode::ReadOnly, false},
        {"missing", OpenMode::ReadWrite, false},   {"missing", OpenMode::ReadWriteCreate, true},
        {"folder", OpenMode::ReadOnly, false},     {"no/such/dir/file", OpenMode::ReadWriteCreate, false},
    };
    for (const auto& c : cases) {
        for (bool writeThrough : {false, true}) {
            const bool opened = fs.open(dir.file(c.path), c.mode, writeThrough) != nullptr;
            EXPECT_EQ(opened, c.opens) << c.path << " mode " << static_cast<int>(c.mode) << " wt " << writeThrough;
        }
    }
    // A device is not a recording, whatever its name.
    EXPECT_EQ(fs.open("/dev/null", OpenMode::ReadOnly, false), nullptr);
    // Opening an existing file to create it must not empty it.
    EXPECT_EQ(ReadBytes(dir.file("present")).size(), 1u);
}

TEST_F(PosixFileSystemTest, ReadStopsShortAtTheEnd) {
    const auto original = Pattern(100);
    auto file = openWith("r.bin", original);
    std::vector<std::uint8_t> buffer(64);
    std::uint32_t got = 0;
    ASSERT_TRUE(file->read(buffer.data(), 64, got));
    EXPECT_EQ(got, 64u);
    ASSERT_TRUE(file->read(buffer.data(), 64, got));
    EXPECT_EQ(got, 36u);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 36),
              std::vector<std::uint8_t>(original.begin() + 64, original.end()));
    EXPECT_EQ(file->tell(), 100u);
    ASSERT_TRUE(file->read(buffer.data(), 64, got));
    EXPECT_EQ(got, 0u);
}

TEST_F(PosixFileSystemTest, WriteAtThePointerAndBeyondTheEnd) {
    auto file = openWith("w.bin", {1, 2, 3, 4});
    std::uint32_t written = 0;
    ASSERT_TRUE(file->seek(2));
    ASSERT_TRUE(file->write("\x09\x08\x07", 3, written));
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(file->tell(), 5u);
    ASSERT_TRUE(file->seek(8));  // a gap reads as zeros
    ASSERT_TRUE(file->write("\x05", 1, written));
    std::uint32_t size = 0;
    ASSERT_TRUE(file->size(size));
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(ReadBytes(dir.file("w.bin")), (std::vector<std::uint8_t>{1, 2, 9, 8, 7, 0, 0, 0, 5}));

    ASSERT_TRUE(file->seek(100));
    std::uint8_t byte = 0;
    std::uint32_t got = 1;
    EXPECT_TRUE(file->read(&byte, 1, got));
    EXPECT_EQ(got, 0u);
}

TEST_F(PosixFileSystemTest, ReadOnlyFileRefusesWrites) {
    auto file = openWith("ro.bin", {1, 2}, OpenMode::ReadOnly);
    std::uint32_t written = 9;
    EXPECT_FALSE(file->write("ab", 2, written));
    EXPECT_EQ(written, 0u);
    // Each failure notes its cause: another error than a full volume.
    EXPECT_EQ(LastIoError(), (IoError{IoError::Kind::Other, EBADF}));
    ClearIoError();
    EXPECT_FALSE(file->setLength(0));
    EXPECT_EQ(LastIoError().kind, IoError::Kind::Other);
    ClearIoError();
    EXPECT_EQ(file->map(0, 2, true), nullptr);
    EXPECT_EQ(LastIoError(), (IoError{IoError::Kind::ReadOnly, EACCES}));
    EXPECT_EQ(fs.open(dir.file("missing.bin"), OpenMode::ReadWrite, false), nullptr);
    EXPECT_EQ(LastIoError(), (IoError{IoError::Kind::Other, ENOENT}));
    EXPECT_NE(file->map(0, 2, false), nullptr);
    EXPECT_EQ(ReadBytes(dir.file("ro.bin")), (std::vector<std::uint8_t>{1, 2}));
}

TEST_F(PosixFileSystemTest, SetLengthGrowsWithZerosAndCutsKeepingThePointer) {
    auto file = openWith("len.bin", {1, 2, 3, 4, 5});
    ASSERT_TRUE(file->seek(3));
    ASSERT_TRUE(file->setLength(70000));
    EXPECT_EQ(file->tell(), 3u);
    auto bytes = ReadBytes(dir.file("len.bin"));
    ASSERT_EQ(bytes.size(), 70000u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 6), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 0}));
    EXPECT_EQ(std::count(bytes.begin() + 5, bytes.end(), 0), 70000 - 5);

    ASSERT_TRUE(file->setLength(2));
    EXPECT_EQ(file->tell(), 3u);
    EXPECT_EQ(ReadBytes(dir.file("len.bin")), (std::vector<std::uint8_t>{1, 2}));
}

// What the replaced space reserver is to answer, and what it was asked.
struct Reservation {
    std::string path;
    bool extends = false;  // lengthen the file first, as a partial reservation can
    int answer = 0;        // 0 for success, else the errno of a failure
    int calls = 0;
    std::int64_t offset = -1;
    std::int64_t length = -1;
};
Reservation reservation;

int ScriptedReserver(int, std::int64_t offset, std::int64_t length) {
    ++reservation.calls;
    reservation.offset = offset;
    reservation.length = length;
    if (reservation.extends) std::filesystem::resize_file(reservation.path, static_cast<std::uintmax_t>(offset + length));
    if (reservation.answer == 0) return 0;
    errno = reservation.answer;
    return -1;
}

// A full disk and file systems without reservation cannot be had on demand,
// so the reserver answers each of them in turn on a real file.
TEST_F(PosixFileSystemTest, GrowingReservesFallsBackOrRefuses) {
    struct Case {
        const char* name;
        int answer;
        bool extends;
        bool grows;
        IoError noted;
    };
    const Case cases[] = {
        {"reserved", 0, true, true, {}},
        // The file must not stay grown: its blocks were never reserved, and a
        // store through a mapping of them would end the process.
        {"full", ENOSPC, true, false, {IoError::Kind::Full, ENOSPC}},
        {"unsupported", EOPNOTSUPP, false, true, {}},
        {"no such call", ENOSYS, false, true, {}},
    };
    constexpr std::uint32_t kGrown = 70000;
    const std::vector<std::uint8_t> start{1, 2, 3, 4, 5};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reservation = {dir.file(c.name), c.extends, c.answer};
        auto file = openWith(c.name, start);
        ASSERT_NE(file, nullptr);
        const posix::SpaceReserver previous = posix::ReplaceSpaceReserverForTest(ScriptedReserver);
        ClearIoError();
        const bool grew = file->setLength(kGrown);
        posix::ReplaceSpaceReserverForTest(previous);

        EXPECT_EQ(grew, c.grows);
        EXPECT_EQ(reservation.calls, 1);
        EXPECT_EQ(reservation.offset, 5);
        EXPECT_EQ(reservation.length, kGrown - 5);
        EXPECT_EQ(LastIoError(), c.noted);
        const auto bytes = ReadBytes(dir.file(c.name));
        ASSERT_EQ(bytes.size(), c.grows ? kGrown : start.size());
        EXPECT_TRUE(std::equal(start.begin(), start.end(), bytes.begin()));
        EXPECT_EQ(std::count(bytes.begin() + 5, bytes.end(), 0), static_cast<long>(bytes.size()) - 5);
    }
}

TEST_F(PosixFileSystemTest, FilesOfFourGibibytesAreOutOfRange) {
    auto file = openWith("big.bin", {});
    std::filesystem::resize_file(dir.file("big.bin"), 0xFFFFFFFFull);  // sparse
    std::uint32_t size = 0;
    ASSERT_TRUE(file->size(size));
    EXPECT_EQ(size, 0xFFFFFFFFu);
    std::uint32_t written = 0;
    ASSERT_TRUE(file->seek(0xFFFFFFFEu));
    EXPECT_FALSE(file->write("ab", 2, written));  // would pass the last 32-bit offset
    EXPECT_EQ(LastIoError(), (IoError{IoError::Kind::Other, EFBIG}));
    EXPECT_TRUE(file->write("a", 1, written));
    std::filesystem::resize_file(dir.file("big.bin"), 0x100000000ull);
    EXPECT_FALSE(file->size(size));
}

// Windows of a file at any byte offset: data() must address exactly the byte
// asked for, in reading and in writing, whatever the page alignment.
TEST_F(PosixFileSystemTest, MappingAtAnyOffsetSeesTheRightBytes) {
    const auto original = Pattern(3 * 65536 + 123);
    struct Case {
        std::uint32_t offset;
        std::uint32_t length;
    };
    const Case cases[] = {{0, 1},       {1, 100},        {511, 513},     {4095, 2},
                          {4096, 4096}, {4097, 65536},   {65535, 65538}, {131072, 65536 + 123},
                          {0, static_cast<std::uint32_t>(original.size())}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset << " length " << c.length);
        auto file = openWith("map.bin", original);
        auto mapping = file->map(c.offset, c.length, true);
        ASSERT_NE(mapping, nullptr);
        EXPECT_EQ(mapping->size(), c.length);
        EXPECT_EQ(std::memcmp(mapping->data(), original.data() + c.offset, c.length), 0);

        const auto replacement = Pattern(c.length, 99);
        std::memcpy(mapping->data(), replacement.data(), c.length);
        ASSERT_TRUE(mapping->flush(0, c.length));
        mapping.reset();
        file.reset();

        auto expected = original;
        std::copy(replacement.begin(), replacement.end(), expected.begin() + c.offset);
        EXPECT_EQ(ReadBytes(dir.file("map.bin")), expected);
    }
}

TEST_F(PosixFileSystemTest, MappingMustLieInsideTheFile) {
    auto file = openWith("small.bin", Pattern(5000));
    EXPECT_EQ(file->map(0, 0, false), nullptr);
    EXPECT_EQ(file->map(0, 5001, false), nullptr);
    EXPECT_EQ(file->map(4999, 2, false), nullptr);
    EXPECT_EQ(file->map(0xFFFFFFFFu, 2, false), nullptr);
    EXPECT_NE(file->map(4999, 1, false), nullptr);
}

TEST_F(PosixFileSystemTest, FlushChecksItsRange) {
    auto file = openWith("f.bin", Pattern(10000));
    auto mapping = file->map(100, 9000, true);
    ASSERT_NE(mapping, nullptr);
    EXPECT_TRUE(mapping->flush(0, 0));
    EXPECT_TRUE(mapping->flush(8999, 1));
    EXPECT_TRUE(mapping->flush(4000, 5000));
    EXPECT_FALSE(mapping->flush(8999, 2));
    EXPECT_FALSE(mapping->flush(0xFFFFFFFFu, 2));
}

TEST_F(PosixFileSystemTest, ReleaseKeepsTheContents) {
    const auto original = Pattern(6 * 4096);
    auto file = openWith("rel.bin", original);
    auto mapping = file->map(1000, 5 * 4096, true);
    ASSERT_NE(mapping, nullptr);
    const auto written = Pattern(5 * 4096, 42);
    std::memcpy(mapping->data(), written.data(), written.size());
    // Without a flush first: released dirty pages of a shared mapping still reach the file.
    mapping->release(0, 3 * 4096 + 17);
    mapping->release(4 * 4096, 4096);
    EXPECT_EQ(std::memcmp(mapping->data(), written.data(), written.size()), 0);
    mapping.reset();
    file.reset();
    auto expected = original;
    std::copy(written.begin(), written.end(), expected.begin() + 1000);
    EXPECT_EQ(ReadBytes(dir.file("rel.bin")), expected);
}

// Syncing soon runs on a thread of the file's own: requests from a thread that
// keeps storing through a mapping, and the file going while one may be under
// way, neither hang nor lose a store (the ThreadSanitizer build checks the
// hand-over); sync waits and answers.
TEST_F(PosixFileSystemTest, SyncSoonFromAWritingThreadThenTheFileGoes) {
    const auto original = Pattern(64 * 1024);
    auto file = openWith("sync.bin", original);
    auto mapping = file->map(0, 64 * 1024, true);
    ASSERT_NE(mapping, nullptr);
    const auto written = Pattern(64 * 1024, 9);
    std::thread writer([&] {
        for (std::size_t at = 0; at < written.size(); at += 1024) {
            std::memcpy(mapping->data() + at, written.data() + at, 1024);
            file->syncSoon();
        }
    });
    writer.join();
    EXPECT_TRUE(file->sync());
    mapping.reset();
    file.reset();  // stops the syncing thread before the descriptor is closed
    EXPECT_EQ(ReadBytes(dir.file("sync.bin")), written);
    auto unused = openWith("never.bin", original);
    unused.reset();  // a file never asked to sync starts no thread and goes at once
}

// Failures of the calls that make names last, and of opening what is not a
// regular file, say why, as every other failed file call does.
TEST_F(PosixFileSystemTest, FailedOpensAndFolderSyncsNoteTheirCause) {
    struct Case {
        const char* what;
        std::function<bool()> call;
        IoError noted;
    };
    const Case cases[] = {
        {"sync of a missing folder", [&] { return fs.syncFolder(dir.file("missing")); }, {IoError::Kind::Other, ENOENT}},
        {"sync of a file as a folder", [&] { return fs.syncFolder("/dev/null"); }, {IoError::Kind::Other, ENOTDIR}},
        {"open of a folder", [&] { return fs.open(dir.path(), OpenMode::ReadOnly, false) != nullptr; },
         {IoError::Kind::Other, EISDIR}},
        {"open of a device", [&] { return fs.open("/dev/null", OpenMode::ReadWrite, false) != nullptr; },
         {IoError::Kind::Other, EINVAL}},
    };
    for (const auto& c : cases) {
        ClearIoError();
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(LastIoError(), c.noted) << c.what;
    }
    EXPECT_TRUE(fs.syncFolder(dir.path()));
}

TEST_F(PosixFileSystemTest, MoveNeverReplaces) {
    WriteBytes(dir.file("a"), "first");
    WriteBytes(dir.file("b"), "second");
    EXPECT_FALSE(fs.moveNoReplace(dir.file("a"), dir.file("b")));
    EXPECT_EQ(ReadBytes(dir.file("a")).size(), 5u);
    EXPECT_EQ(ReadBytes(dir.file("b")).size(), 6u);

    EXPECT_TRUE(fs.moveNoReplace(dir.file("a"), dir.file("c")));
    EXPECT_FALSE(fs.exists(dir.file("a")));
    EXPECT_EQ(ReadBytes(dir.file("c")).size(), 5u);
    EXPECT_FALSE(fs.moveNoReplace(dir.file("missing"), dir.file("d")));
    EXPECT_FALSE(fs.exists(dir.file("d")));
}

TEST_F(PosixFileSystemTest, FolderOperations) {
    EXPECT_TRUE(fs.createDirectory(dir.file("sub")));
    EXPECT_FALSE(fs.createDirectory(dir.file("sub")));
    EXPECT_TRUE(fs.isDirectory(dir.file("sub")));
    EXPECT_FALSE(fs.createDirectory(dir.file("no/such")));
    WriteBytes(dir.file("f"), "x");
    EXPECT_TRUE(fs.exists(dir.file("f")));
    EXPECT_FALSE(fs.isDirectory(dir.file("f")));
    EXPECT_TRUE(fs.remove(dir.file("f")));
    EXPECT_FALSE(fs.exists(dir.file("f")));
    EXPECT_FALSE(fs.remove(dir.file("f")));
    EXPECT_TRUE(fs.syncFolder(dir.path()));
    EXPECT_FALSE(fs.syncFolder(dir.file("no/such"))) << "a folder that is not there was not synced";
    WriteBytes(dir.file("g"), "x");
    EXPECT_FALSE(fs.syncFolder(dir.file("g"))) << "a file is not a folder";
    // A dangling link still takes its name.
    std::filesystem::create_symlink(dir.file("nowhere"), dir.file("link"));
    EXPECT_TRUE(fs.exists(dir.file("link")));
}

TEST_F(PosixFileSystemTest, ListGivesNamesKindsSizesAndTimes) {
    WriteBytes(dir.file("b.wav"), Pattern(1234));
    WriteBytes(dir.file("A.WAV"), Pattern(10));
    std::filesystem::create_directory(dir.file("folder"));
    std::filesystem::create_symlink(dir.file("nowhere"), dir.file("dangling.wav"));
    const auto stamp = std::chrono::file_clock::from_sys(std::chrono::sys_seconds{std::chrono::seconds{1'500'000'000}});
    std::filesystem::last_write_time(dir.file("b.wav"), stamp);

    const auto entries = fs.list(dir.path());
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ((*entries)[0].name, "A.WAV");
    EXPECT_EQ((*entries)[0].size, 10u);
    EXPECT_FALSE((*entries)[0].isDirectory);
    EXPECT_EQ((*entries)[1].name, "b.wav");
    EXPECT_EQ((*entries)[1].size, 1234u);
    EXPECT_EQ((*entries)[1].modifiedSeconds, 1'500'000'000);
    EXPECT_EQ((*entries)[2].name, "folder");
    EXPECT_TRUE((*entries)[2].isDirectory);

    EXPECT_EQ(fs.list(dir.file("missing")), std::nullopt);
    EXPECT_TRUE(fs.list(dir.file("folder"))->empty());

    // One entry asked for by its path is what the listing says of it.
    for (const auto& listed : *entries) {
        const auto one = fs.entry(dir.file(listed.name));
        ASSERT_TRUE(one.has_value()) << listed.name;
        EXPECT_EQ(one->name, listed.name);
        EXPECT_EQ(one->isDirectory, listed.isDirectory);
        EXPECT_EQ(one->size, listed.size);
        EXPECT_EQ(one->modifiedSeconds, listed.modifiedSeconds);
    }
    EXPECT_FALSE(fs.entry(dir.file("missing")).has_value());
    EXPECT_FALSE(fs.entry(dir.file("dangling.wav")).has_value());
}

TEST_F(PosixFileSystemTest, ListNamesAgreesWithListOnNamesAndKinds) {
    WriteBytes(dir.file("b.wav"), Pattern(5));
    std::filesystem::create_directory(dir.file("folder"));
    std::filesystem::create_directory_symlink(dir.file("folder"), dir.file("linked.wav"));
    std::filesystem::create_symlink(dir.file("nowhere"), dir.file("dangling.wav"));

    const auto full = fs.list(dir.path());
    const auto names = fs.listNames(dir.path());
    ASSERT_TRUE(full && names);
    ASSERT_EQ(names->size(), full->size());
    for (std::size_t i = 0; i < names->size(); ++i) {
        EXPECT_EQ((*names)[i].name, (*full)[i].name);
        EXPECT_EQ((*names)[i].isDirectory, (*full)[i].isDirectory) << (*names)[i].name;
    }
    EXPECT_EQ(fs.listNames(dir.file("missing")), std::nullopt);
}

TEST_F(PosixFileSystemTest, FreeSpaceOfAFolder) {
    const auto space = fs.freeSpace(dir.path());
    ASSERT_TRUE(space.has_value());
    EXPECT_GT(*space, 0u);
    EXPECT_EQ(fs.freeSpace(dir.file("missing")), std::nullopt);
}

}  // namespace
}  // namespace tavrin::platform
