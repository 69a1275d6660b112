// Both ways of reading an existing file, over the committed fixture files
// (scripts/make-fixtures.py): the chunk reader that tells whether a file can be
// played, and the strict header reading that opening for playback uses.
#include <gtest/gtest.h>

#include <algorithm>

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

struct FixtureRow {
    const char* file;
    int result;
    std::uint32_t lengthInBlocks;
    std::uint64_t durationMs;
    bool selectable;
};

const FixtureRow kRows[] = {
    {"pcm-8k-8bit.wav", kParsePlayable, 800, 100, true},
    {"pcm-8k-16bit.wav", kParsePlayable, 800, 100, true},
    {"pcm-11k-8bit.wav", kParsePlayable, 1102, 99, true},
    {"pcm-11k-16bit.wav", kParsePlayable, 1102, 99, true},
    {"pcm-22k-8bit.wav", kParsePlayable, 2205, 100, true},
    {"pcm-22k-16bit.wav", kParsePlayable, 2205, 100, true},
    {"pcm-8k-8bit-odd.wav", kParsePlayable, 801, 100, true},
    {"riff-minus7.wav", kParsePlayable, 333, 41, true},
    {"riff-minus6.wav", kParsePlayable, 333, 41, true},  // neither reader looks at the RIFF size
    {"gsm-fact.wav", kParsePlayable, 25, 1000, true},
    {"gsm-nofact.wav", kParsePlayable, 25, 1000, true},
    {"gsm-stereo.wav", kParseUnsupported, 4, 160, false},
    {"pcm-stereo.wav", kParseUnsupported, 400, 50, true},
    {"adpcm.wav", kParseUnsupported, 512, 64, false},
    // Refused by the strict reading too: no division by a sample size of 1.5 bytes later on.
    {"pcm-12bit.wav", kParseUnusable, 0, 0, false},
    // Layouts of other writers: every chunk that is not needed is skipped,
    // word-aligned, by both readers alike.
    {"list-upper-before-data.wav", kParsePlayable, 400, 50, true},
    {"list-lower-before-data.wav", kParsePlayable, 400, 50, true},
    {"pcm-fmt18.wav", kParsePlayable, 400, 50, true},
    {"ffmpeg-pcm-list.wav", kParsePlayable, 400, 50, true},
    {"ffmpeg-gsm-list.wav", kParsePlayable, 25, 1000, true},
    {"gsm-list-between.wav", kParsePlayable, 25, 1000, true},
    {"bext-first.wav", kParsePlayable, 400, 50, true},
    {"odd-chunk-pad.wav", kParsePlayable, 400, 50, true},
    {"odd-chunk-nopad.wav", kParsePlayable, 400, 50, true},
    {"list-after-data.wav", kParsePlayable, 400, 50, true},
    {"pcm8-odd-pad-list-after.wav", kParsePlayable, 333, 41, true},
    // Cue points before and after the audio, of PCM and GSM (the GSM data without its pad byte).
    {"cue-after-data.wav", kParsePlayable, 400, 50, true},
    {"cue-before-data.wav", kParsePlayable, 400, 50, true},
    {"gsm-cue-block-start.wav", kParsePlayable, 25, 1000, true},
    // Never misread: a format we do not play is refused by both.
    {"extensible-pcm.wav", kParseUnsupported, 800, 100, false},
    {"gsm-11k.wav", kParseUnsupported, 25, 1000, false},
    {"truncated.wav", kParsePlayable, 389, 48, true},  // both read what there is
    {"header-43.wav", kParseUnusable, 0, 0, false},
};

TEST(FixtureReading, BothReadersOnEveryFixture) {
    platform::PosixFileSystem files;
    for (const FixtureRow& row : kRows) {
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
            // Where both readers accept a file they agree on where its audio lies and how long it is,
            // once storage has cut the data chunk to what the file holds.
            EXPECT_EQ(image.dataChunkPos + 8, reader.Info().dataStart);
            image.SetDataSize(std::min(image.DataSize(), reader.FileSize() - (image.dataChunkPos + 8)));
            EXPECT_EQ(image.DataSize(), reader.DataLength());
            EXPECT_EQ(image.LengthInBlocks(), reader.LengthInBlocks());
            EXPECT_EQ(source.ReadPosition(), reader.Info().dataStart) << "read point at the first audio byte";
        }
    }
}

// Where the header is finished after an edit: the fact value and the data
// chunk wherever they stand.
TEST(FixtureReading, HeaderPositionsAreTakenWhereTheyAre) {
    struct Positions {
        const char* file;
        std::uint32_t factValuePos;
        std::uint32_t dataChunkPos;
    };
    const Positions rows[] = {
        {"gsm-fact.wav", 48, 52},          {"gsm-nofact.wav", 0, 40},     {"ffmpeg-gsm-list.wav", 48, 82},
        {"gsm-list-between.wav", 78, 82}, {"ffmpeg-pcm-list.wav", 0, 66}, {"bext-first.wav", 0, 646},
        {"odd-chunk-pad.wav", 0, 60},     {"odd-chunk-nopad.wav", 0, 59}, {"pcm-fmt18.wav", 0, 38},
    };
    platform::PosixFileSystem files;
    for (const Positions& row : rows) {
        SCOPED_TRACE(row.file);
        storage::ReadOnlyHeaderSource source(files);
        storage::HeaderImage image;
        ASSERT_EQ(storage::ReadHeaderStrict(source, FixturePath(row.file), image), storage::Status::Ok);
        EXPECT_EQ(image.factValuePos, row.factValuePos);
        EXPECT_EQ(image.dataChunkPos, row.dataChunkPos);
    }
}

}  // namespace
}  // namespace tavrin::wav
