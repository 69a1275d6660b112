#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/FaultyFileSystem.h"
#include "support/TempDir.h"
#include "wav/WavBytes.h"
#include "wav/WavChunkReader.h"

namespace tavrin::wav {
namespace {

using test::Fault;
using test::FaultyFileSystem;
using test::PcmRecord;
using test::RecordingFile;
using test::TempDir;

class WavChunkReaderTest : public testing::Test {
protected:
    std::string Put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = dir.file(name);
        test::WriteBytes(path, bytes);
        return path;
    }
    void ExpectNothingOpen() {
        EXPECT_EQ(files.openFiles(), 0);
        EXPECT_EQ(files.liveMappings(), 0);
    }

    TempDir dir;
    FaultyFileSystem files;
};

TEST_F(WavChunkReaderTest, OpensOnlyFilesThatCanHoldAHeader) {
    const auto header = RecordingFile(PcmRecord(8000, 16), 0).bytes;  // 44 bytes
    ASSERT_EQ(header.size(), 44u);
    struct Case {
        std::size_t length;
        bool opens;
    };
    for (const Case& c : {Case{0, false}, Case{1, false}, Case{43, false}, Case{44, true}}) {
        SCOPED_TRACE(c.length);
        WavChunkReader reader(files);
        const std::string path = Put("f.wav", std::vector<std::uint8_t>(header.begin(), header.begin() + c.length));
        EXPECT_EQ(reader.Open(path), c.opens);
        if (!c.opens) ExpectNothingOpen();
    }
}

TEST_F(WavChunkReaderTest, RefusesWhatIsNotAFile) {
    WavChunkReader reader(files);
    EXPECT_FALSE(reader.Open(dir.file("missing.wav")));
    EXPECT_FALSE(reader.Open(dir.path()));
    EXPECT_FALSE(reader.Open(""));
    ExpectNothingOpen();
    EXPECT_FALSE(test::FileExists(dir.file("missing.wav"))) << "looking must not create";
    EXPECT_EQ(reader.Parse(), kParseUnusable);
}

TEST_F(WavChunkReaderTest, ParsesTheMappedFileAndKeepsTheFieldsAfterClose) {
    auto bytes = RecordingFile(PcmRecord(22050, 16), 4410).bytes;
    bytes[44] = 0xAB;
    const std::string path = Put("r.wav", bytes);
    WavChunkReader reader(files);
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.FileSize(), bytes.size());
    ASSERT_EQ(reader.Parse(), kParsePlayable);
    ASSERT_NE(reader.DataStart(), nullptr);
    EXPECT_EQ(*reader.DataStart(), 0xAB);
    reader.Close();
    ExpectNothingOpen();
    EXPECT_EQ(reader.DataStart(), nullptr) << "no pointer into a view that is gone";
    EXPECT_EQ(reader.SamplesPerSec(), 22050u);
    EXPECT_EQ(reader.BitsPerSample(), 16);
    EXPECT_EQ(reader.LengthInBlocks(), 2205u);
    EXPECT_EQ(reader.DataLength(), 4410u);
    EXPECT_EQ(test::ReadBytes(path), bytes);
    EXPECT_EQ(files.calls(Fault::Write), 0u);
    EXPECT_EQ(files.calls(Fault::SetLength), 0u);
}

TEST_F(WavChunkReaderTest, OpeningAgainReleasesTheFirstFile) {
    const std::string a = Put("a.wav", RecordingFile(PcmRecord(8000, 8), 100).bytes);
    const std::string b = Put("b.wav", RecordingFile(test::GsmRecord(), 650).bytes);
    {
        WavChunkReader reader(files);
        ASSERT_TRUE(reader.Open(a));
        ASSERT_TRUE(reader.Open(b));
        EXPECT_EQ(files.openFiles(), 1);
        EXPECT_EQ(files.liveMappings(), 1);
        EXPECT_EQ(reader.Parse(), kParsePlayable);
        EXPECT_EQ(reader.LengthInBlocks(), 10u);
        EXPECT_FALSE(reader.Open(dir.file("missing.wav")));
        ExpectNothingOpen();
        ASSERT_TRUE(reader.Open(a));
    }
    ExpectNothingOpen();  // the destructor closes
}

// Fails the 1st, 2nd, ... platform call of Open until none fails: every
// failure leaves nothing open, and no call ever writes.
TEST_F(WavChunkReaderTest, EveryFailingPlatformCallLeavesNothingOpen) {
    const std::string path = Put("r.wav", RecordingFile(PcmRecord(8000, 8), 100).bytes);
    for (std::uint32_t n = 1;; ++n) {
        SCOPED_TRACE(n);
        ASSERT_LT(n, 20u);
        FaultyFileSystem faulty;
        faulty.failNthCall(n);
        WavChunkReader reader(faulty);
        const bool opened = reader.Open(path);
        if (!faulty.faultFired()) {
            EXPECT_TRUE(opened);
            EXPECT_EQ(reader.Parse(), kParsePlayable);
            break;
        }
        EXPECT_FALSE(opened);
        EXPECT_EQ(faulty.openFiles(), 0);
        EXPECT_EQ(faulty.liveMappings(), 0);
        EXPECT_EQ(reader.Parse(), kParseUnusable);
        EXPECT_EQ(faulty.calls(Fault::Write) + faulty.calls(Fault::SetLength), 0u);
    }
}

}  // namespace
}  // namespace tavrin::wav
