// Both ways of reading an existing file, over the committed fixture files
// (scripts/make-fixtures.py): the chunk reader that tells whether a file can be
// played, and the strict header reading that opening for playback uses.
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/PosixFileSystem.h"
#include "storage/HeaderReading.h"
#include "storage/ReadOnlyHeaderSource.h"
#include "support/TempDir.h"
#include "wav/WavChunkReader.h"

namespace tavrin::wav {
namespace {

std::string FixturePath(const std::string& name) {
    return std::string(TAVRIN_FIXTURE_DIR) + "/" + name;
}

struct Row {
    const char* file;
    int result;
    std::uint32_t lengthInBlocks;
    std::uint64_t durationMs;
    bool selectable;
};

const Row kRows[] = {
    {"pcm-8k-8bit.wav", kParsePlayable, 800, 100, true},
    {"pcm-8k-16bit.wav", kParsePlayable, 800, 100, true},
    {"pcm-11k-8bit.wav", kParsePlayable, 1102, 99, true},
    {"pcm-11k-16bit.wav", kParsePlayable, 1102, 99, true},
    {"pcm-22k-8bit.wav", kParsePlayable, 2205, 100, true},
    {"pcm-22k-16bit.wav", kParsePlayable, 2205, 100, true},
    {"pcm-8k-8bit-odd.wav", kParsePlayable, 801, 100, true},
    {"riff-minus7.wav", kParsePlayable, 333, 41, true},
    {"riff-minus6.wav", kParseUnusable, 0, 0, true},  // the strict reading does not look at the RIFF size
    {"gsm-fact.wav", kParsePlayable, 25, 1000, true},
    {"gsm-nofact.wav", kParsePlayable, 25, 1000, true},
    {"gsm-stereo.wav", kParseUnsupported, 4, 160, false},
    {"pcm-stereo.wav", kParseUnsupported, 400, 50, true},
    {"adpcm.wav", kParseUnsupported, 512, 64, false},
    // Refused by the strict reading too: no division by a sample size of 1.5 bytes later on.
    {"pcm-12bit.wav", kParseUnusable, 0, 0, false},
    // Another chunk, or a longer fmt, before the data: the strict reading must
    // not take those bytes for the data header.
    {"list-upper-before-data.wav", kParseUnusable, 0, 0, false},
    {"list-lower-before-data.wav", kParsePlayable, 400, 50, false},
    {"pcm-fmt18.wav", kParsePlayable, 400, 50, false},
    {"truncated.wav", kParseUnusable, 0, 0, true},  // the player reads what there is
    {"header-43.wav", kParseUnusable, 0, 0, false},
};

TEST(FixtureReading, BothReadersOnEveryFixture) {
    platform::PosixFileSystem files;
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.file);
        const std::string path = FixturePath(row.file);
        ASSERT_TRUE(test::FileExists(path));
        WavChunkReader reader(files);
        const int result = reader.Open(path) ? reader.Parse() : kParseUnusable;
        reader.Close();
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(reader.LengthInBlocks(), row.lengthInBlocks);
        if (result != kParseUnusable) {
            EXPECT_EQ(DurationMs(reader.Info()), row.durationMs);
        }

        storage::ReadOnlyHeaderSource source(files);
        storage::HeaderImage image;
        const storage::Status status = storage::ReadHeaderStrict(source, path, image);
        EXPECT_EQ(status == storage::Status::Ok, row.selectable) << static_cast<int>(status);
        if (status == storage::Status::Ok && result == kParsePlayable) {
            // Where both readers accept a file they agree on where its audio lies and how long it is.
            EXPECT_EQ(image.dataChunkPos + 8, reader.Info().dataStart);
            EXPECT_EQ(image.DataSize(), reader.DataLength());
            EXPECT_EQ(image.LengthInBlocks(), reader.LengthInBlocks());
            EXPECT_EQ(source.ReadPosition(), reader.Info().dataStart) << "read point at the first audio byte";
        }
    }
}

TEST(FixtureReading, GsmWithAndWithoutFact) {
    platform::PosixFileSystem files;
    storage::ReadOnlyHeaderSource source(files);
    storage::HeaderImage image;
    ASSERT_EQ(storage::ReadHeaderStrict(source, FixturePath("gsm-fact.wav"), image), storage::Status::Ok);
    EXPECT_EQ(image.factValuePos, 48u);
    EXPECT_EQ(image.dataChunkPos, 52u);
    source.Close();
    ASSERT_EQ(storage::ReadHeaderStrict(source, FixturePath("gsm-nofact.wav"), image), storage::Status::Ok);
    EXPECT_EQ(image.factValuePos, 0u) << "no fact value to update when the recording is extended";
    EXPECT_EQ(image.dataChunkPos, 40u);
    EXPECT_EQ(image.LengthInBlocks(), 25u);
}

}  // namespace
}  // namespace tavrin::wav
