#include <gtest/gtest.h>

#include <vector>

#include "wav/HeaderLayout.h"
#include "wav/WavBytes.h"

namespace tavrin::wav {
namespace {

// Every format a recording is made in, and the stereo PCM the file-backed
// speaker may write.
std::vector<WaveFormat> FormatsWritten() {
    std::vector<WaveFormat> formats;
    for (const FormatEntry& entry : Catalogue()) formats.push_back(entry.format);
    formats.push_back(BuildWaveFormat(kTagPcm, 44100, 16, 2));
    return formats;
}

TEST(NewHeader, IsTheHeaderAReaderFindsForEveryFormatAndSize) {
    for (const WaveFormat& format : FormatsWritten()) {
        for (const std::uint32_t dataSize : {0u, 1u, 65u, 130u, 4001u}) {
            SCOPED_TRACE(::testing::Message() << format.formatTag << '/' << format.samplesPerSec << '/'
                                              << format.channels << " data " << dataSize);
            const NewHeader header = BuildNewHeader(format, dataSize);
            // Spelled chunk by chunk, as a reader of the file sees it.
            const std::vector<std::uint8_t> spelled = test::RecordingFile(format, dataSize).Truncate(header.Size()).bytes;
            ASSERT_EQ(header.Size(), spelled.size());
            EXPECT_EQ(std::vector<std::uint8_t>(header.bytes.begin(), header.bytes.begin() + header.Size()), spelled);
            EXPECT_EQ(header.places.factValuePos, format.isGsm() ? header.places.dataChunkPos - 4 : 0u);
        }
    }
}

// The header digest leaves out exactly what a change of the audio changes:
// a count byte it missed would make an edit's own file look like another.
TEST(NewHeader, CountsChangeOnlyTheBytesCountedAsCounts) {
    for (const WaveFormat& format : FormatsWritten()) {
        const NewHeader empty = BuildNewHeader(format, 0);
        NewHeader full = empty;
        SetHeaderCounts(full.bytes.data(), full.places, 0xFFFFFFFFu, 0xFFFFFFF0u);
        std::uint32_t counted = 0;
        for (std::uint32_t i = 0; i < empty.Size(); ++i) {
            SCOPED_TRACE(::testing::Message() << format.formatTag << " byte " << i);
            const bool count = IsCountByte(empty.places, i);
            counted += count ? 1 : 0;
            EXPECT_EQ(full.bytes[i] != empty.bytes[i], count);
        }
        EXPECT_EQ(counted, format.isGsm() ? 12u : 8u);
    }
}

}  // namespace
}  // namespace tavrin::wav
