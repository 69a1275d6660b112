#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/HeaderReading.h"
#include "storage/ReadOnlyHeaderSource.h"
#include "support/FaultyFileSystem.h"
#include "support/TempDir.h"

namespace tavrin::storage {
namespace {

using namespace std::string_literals;
using test::Fault;
using test::FaultyFileSystem;

class ReadOnlyHeaderSourceTest : public testing::Test {
protected:
    std::string Put(const std::string& name, const std::string& bytes) {
        const std::string path = dir.file(name);
        test::WriteBytes(path, bytes);
        return path;
    }
    void ExpectNothingWritten() {
        EXPECT_EQ(files.calls(Fault::Write), 0u);
        EXPECT_EQ(files.calls(Fault::SetLength), 0u);
    }

    test::TempDir dir;
    FaultyFileSystem files;
    ReadOnlyHeaderSource source{files};
};

TEST_F(ReadOnlyHeaderSourceTest, OpenReadsTheFirstEightBytes) {
    ASSERT_EQ(source.Open(Put("a.wav", "RIFF\x04\0\0\0WAVE"s)), Status::Ok);
    EXPECT_EQ(source.ReadPosition(), 8u);
    EXPECT_EQ(source.Expect("WAVE", 4), Status::Ok);
    source.Close();
    EXPECT_EQ(files.openFiles(), 0);
    ExpectNothingWritten();
}

TEST_F(ReadOnlyHeaderSourceTest, OpenFailsWithoutLeavingAnythingBehind) {
    for (const std::string& path : {dir.file("missing.wav"), Put("short.wav", "RIFF\x04\0\0"s), dir.path()}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(source.Open(path), Status::FileError);
        EXPECT_FALSE(source.IsOpen());
        EXPECT_EQ(files.openFiles(), 0);
    }
    EXPECT_FALSE(test::FileExists(dir.file("missing.wav")));
    ExpectNothingWritten();
}

TEST_F(ReadOnlyHeaderSourceTest, ReadReportsShortAndFailedReads) {
    ASSERT_EQ(source.Open(Put("a.wav", "RIFF\x04\0\0\0WAVEfm"s)), Status::Ok);
    char buffer[8] = {};
    std::uint32_t count = 99;
    EXPECT_EQ(source.Read(buffer, 4, count), Status::Ok);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(buffer, 4), "WAVE");
    EXPECT_EQ(source.Read(buffer, 8, count), Status::EndOfData);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(std::string(buffer, 2), "fm");
    files.failNth(Fault::Read, 1);
    EXPECT_TRUE(source.SeekTo(8));
    EXPECT_EQ(source.Read(buffer, 4, count), Status::FileError);
    EXPECT_EQ(count, 0u);
}

TEST_F(ReadOnlyHeaderSourceTest, ExpectStopsJustAfterTheByteThatDiffers) {
    ASSERT_EQ(source.Open(Put("a.wav", "RIFF\x04\0\0\0WAXE"s)), Status::Ok);
    EXPECT_EQ(source.Expect("WAVE", 4), Status::FileError);
    EXPECT_EQ(source.ReadPosition(), 11u);
    EXPECT_EQ(source.Expect("E", 1), Status::Ok);
    EXPECT_EQ(source.Expect("x", 1), Status::FileError) << "nothing left to compare";
}

TEST_F(ReadOnlyHeaderSourceTest, SeekStaysInsideTheFile) {
    ASSERT_EQ(source.Open(Put("a.wav", "RIFF\x04\0\0\0WAVE"s)), Status::Ok);
    EXPECT_TRUE(source.SeekTo(12));
    EXPECT_EQ(source.ReadPosition(), 12u);
    EXPECT_FALSE(source.SeekTo(13));
    EXPECT_FALSE(source.SeekTo(0xFFFFFFFF));
    EXPECT_EQ(source.ReadPosition(), 12u);
    files.failNth(Fault::Seek, 1);
    EXPECT_FALSE(source.SeekTo(0));
    ExpectNothingWritten();
}

// The strict reading through this source with the 1st, 2nd, ... platform call
// failing: never a write, and never an Ok with a wrong header. (A failed read
// while looking for the optional fact chunk may still end in Ok: the reading
// then seeks to the end of the fmt chunk, which is where the data header is.)
TEST_F(ReadOnlyHeaderSourceTest, StrictReadingUnderEveryFault) {
    const std::string riffAndFmt("RIFF\0\0\0\0WAVEfmt \x14\0\0\0"
                                 "\x31\0\x01\0\x40\x1f\0\0\x59\x06\0\0\x41\0\0\0\x02\0\x40\x01",
                                 40);
    const std::string fact("fact\x04\0\0\0\x01\0\0\0", 12);
    const std::string data = "data\x41\0\0\0"s + std::string(65, '\x11');
    struct Case {
        std::string bytes;
        std::uint32_t dataChunkPos;
    };
    for (const Case& c : {Case{riffAndFmt + data, 40}, Case{riffAndFmt + fact + data, 52}}) {
        SCOPED_TRACE(c.dataChunkPos);
        const std::string path = Put("gsm.wav", c.bytes);
        for (std::uint32_t n = 1;; ++n) {
            SCOPED_TRACE(n);
            ASSERT_LT(n, 100u);
            FaultyFileSystem faulty;
            ReadOnlyHeaderSource faultySource(faulty);
            faulty.failNthCall(n);
            HeaderImage image;
            const Status status = ReadHeaderStrict(faultySource, path, image);
            EXPECT_EQ(faulty.calls(Fault::Write) + faulty.calls(Fault::SetLength), 0u);
            if (status == Status::Ok) {
                EXPECT_EQ(image.dataChunkPos, c.dataChunkPos);
                EXPECT_EQ(image.DataSize(), 65u);
                EXPECT_EQ(faultySource.ReadPosition(), c.dataChunkPos + 8);
            } else {
                EXPECT_EQ(status, Status::FileError);
            }
            if (!faulty.faultFired()) {
                EXPECT_EQ(status, Status::Ok);
                break;
            }
        }
        EXPECT_EQ(test::ReadBytes(path), std::vector<std::uint8_t>(c.bytes.begin(), c.bytes.end()));
    }
}

}  // namespace
}  // namespace tavrin::storage
