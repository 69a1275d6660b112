#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "wav/Formats.h"

namespace tavrin::wav {
namespace {

struct CatalogueRow {
    std::uint32_t code;
    const char* label;
    WaveFormat record;
};

// The six formats as users and files know them, in the order they are listed.
const std::array<CatalogueRow, 6> kExpected{{
    {0x10000000, "GSM  2kB/s", {0x0031, 1, 8000, 1625, 65, 0, 2, 320}},
    {0x20000000, "PCM  8kHz  8-Bit", {0x0001, 1, 8000, 8000, 1, 8, 0, 0}},
    {0x00000001, "PCM 11kHz  8-Bit", {0x0001, 1, 11025, 11025, 1, 8, 0, 0}},
    {0x40000000, "PCM  8kHz 16-Bit", {0x0001, 1, 8000, 16000, 2, 16, 0, 0}},
    {0x00000004, "PCM 11kHz 16-Bit", {0x0001, 1, 11025, 22050, 2, 16, 0, 0}},
    {0x00000040, "PCM 22kHz 16-Bit", {0x0001, 1, 22050, 44100, 2, 16, 0, 0}},
}};

TEST(FormatCatalogue, ListsTheSixFormatsInOrderWithTheirRecords) {
    const auto& catalogue = Catalogue();
    ASSERT_EQ(catalogue.size(), kExpected.size());
    for (std::size_t i = 0; i < kExpected.size(); ++i) {
        SCOPED_TRACE(kExpected[i].label);
        EXPECT_EQ(catalogue[i].code, kExpected[i].code);
        EXPECT_EQ(catalogue[i].label, kExpected[i].label);
        EXPECT_EQ(catalogue[i].format, kExpected[i].record);
    }
}

TEST(FormatCatalogue, LooksUpBothWays) {
    for (const auto& row : kExpected) {
        SCOPED_TRACE(row.label);
        ASSERT_NE(FindByCode(row.code), nullptr);
        EXPECT_EQ(FindByCode(row.code)->label, row.label);
        ASSERT_NE(FindByLabel(row.label), nullptr);
        EXPECT_EQ(FindByLabel(row.label)->code, row.code);
        EXPECT_EQ(LabelOfCode(row.code), std::string_view(row.label));
        EXPECT_EQ(CodeOfLabel(row.label), row.code);
    }
}

TEST(FormatCatalogue, UnknownCodesAndLabelsFindNothing) {
    // Neighbouring capability bits, several bits at once, and labels whose
    // aligning blanks were collapsed or trimmed.
    for (std::uint32_t code : {0u, 0x2u, 0x8u, 0x20u, 0x80000000u, 0x30000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(FindByCode(code), nullptr);
        EXPECT_FALSE(LabelOfCode(code).has_value());
    }
    for (const char* label : {"", "PCM 8kHz 8-Bit", "GSM 2kB/s", "PCM  8kHz  8-Bit ", "pcm 22khz 16-bit"}) {
        SCOPED_TRACE(label);
        EXPECT_EQ(FindByLabel(label), nullptr);
        EXPECT_FALSE(CodeOfLabel(label).has_value());
    }
}

std::vector<std::string> LabelsOffered(std::uint32_t mask) {
    std::vector<std::string> labels;
    for (const auto& e : OfferedFormats(mask)) labels.emplace_back(e.label);
    return labels;
}

TEST(FormatCatalogue, OffersOnlyAcceptedFormatsInCatalogueOrder) {
    struct Case {
        std::uint32_t mask;
        std::vector<std::string> offered;
    };
    const std::vector<Case> cases{
        {0, {}},
        {0xFFFFFFFF,
         {"GSM  2kB/s", "PCM  8kHz  8-Bit", "PCM 11kHz  8-Bit", "PCM  8kHz 16-Bit", "PCM 11kHz 16-Bit",
          "PCM 22kHz 16-Bit"}},
        // The device refuses GSM: the first offered, and so the default, is 8 kHz 8-bit.
        {0x20000000 | 0x40000000 | 0x1 | 0x4 | 0x40,
         {"PCM  8kHz  8-Bit", "PCM 11kHz  8-Bit", "PCM  8kHz 16-Bit", "PCM 11kHz 16-Bit", "PCM 22kHz 16-Bit"}},
        {0x40 | 0x10000000, {"GSM  2kB/s", "PCM 22kHz 16-Bit"}},
        // Capability bits of formats outside the catalogue (stereo, 44 kHz) bring nothing.
        {0x2 | 0x8 | 0x10 | 0x20 | 0x80 | 0x100, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mask);
        EXPECT_EQ(LabelsOffered(c.mask), c.offered);
    }
}

TEST(WaveFormatRecord, BuildsPcmFromItsParameters) {
    for (const auto& row : kExpected) {
        if (row.record.formatTag != kTagPcm) continue;
        SCOPED_TRACE(row.label);
        EXPECT_EQ(BuildWaveFormat(kTagPcm, row.record.samplesPerSec, row.record.bitsPerSample, 1), row.record);
    }
    const WaveFormat stereo = BuildWaveFormat(kTagPcm, 22050, 16, 2);
    EXPECT_EQ(stereo.avgBytesPerSec, 88200u);
    EXPECT_EQ(stereo.blockAlign, 4);
    // Integer arithmetic throughout: 12 bits make a block align of 1.
    const WaveFormat twelve = BuildWaveFormat(kTagPcm, 8000, 12, 1);
    EXPECT_EQ(twelve.avgBytesPerSec, 12000u);
    EXPECT_EQ(twelve.blockAlign, 1);
}

TEST(WaveFormatRecord, GsmIsAlwaysTheFixedRecord) {
    struct Args {
        std::uint32_t rate;
        std::uint16_t bits, channels;
    };
    for (const Args& a : {Args{8000, 0, 1}, Args{22050, 16, 2}, Args{0, 8, 0}})
        EXPECT_EQ(BuildWaveFormat(kTagGsm, a.rate, a.bits, a.channels), kExpected[0].record);
}

TEST(WaveFormatRecord, SerializesLittleEndianIn16Or20Bytes) {
    std::array<std::uint8_t, 24> out{};
    out.fill(0xEE);
    ASSERT_EQ(SerializeWaveFormat(kExpected[3].record, out.data()), 16u);
    const std::array<std::uint8_t, 17> pcm{0x01, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x80,
                                           0x3E, 0x00, 0x00, 0x02, 0x00, 0x10, 0x00, 0xEE};
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), out.begin())) << "PCM record, and nothing written after it";

    out.fill(0xEE);
    ASSERT_EQ(SerializeWaveFormat(kExpected[0].record, out.data()), 20u);
    const std::array<std::uint8_t, 21> gsm{0x31, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x59, 0x06, 0x00,
                                           0x00, 0x41, 0x00, 0x00, 0x00, 0x02, 0x00, 0x40, 0x01, 0xEE};
    EXPECT_TRUE(std::equal(gsm.begin(), gsm.end(), out.begin()));
    EXPECT_EQ(kExpected[0].record.recordSize(), 20u);
    EXPECT_EQ(kExpected[1].record.recordSize(), 16u);
}

TEST(LittleEndian, RoundTripsEveryByte) {
    std::array<std::uint8_t, 4> b{};
    for (std::uint32_t v : {0u, 1u, 0x80u, 0xFFu, 0x100u, 0x8001u, 0xFFFFu, 0x80000001u, 0xFFFFFFFFu, 0x12345678u}) {
        StoreLe32(b.data(), v);
        EXPECT_EQ(b[0], v & 0xFF);
        EXPECT_EQ(b[3], v >> 24);
        EXPECT_EQ(LoadLe32(b.data()), v);
        StoreLe16(b.data(), static_cast<std::uint16_t>(v));
        EXPECT_EQ(LoadLe16(b.data()), static_cast<std::uint16_t>(v));
    }
}

TEST(BlockArithmetic, BlockSizes) {
    EXPECT_EQ(BlockBytes(kTagPcm, 1, 8), 1u);
    EXPECT_EQ(BlockBytes(kTagPcm, 1, 16), 2u);
    EXPECT_EQ(BlockBytes(kTagPcm, 2, 16), 4u);
    EXPECT_EQ(BlockBytes(kTagPcm, 1, 12), 2u);  // a partial byte still takes a whole one
    EXPECT_EQ(BlockBytes(kTagGsm, 1, 0), 65u);
    EXPECT_EQ(BlockBytes(kTagGsm, 2, 16), 65u);
}

TEST(BlockArithmetic, LengthInBlocksTruncates) {
    struct Case {
        std::uint16_t tag, channels, bits;
        std::uint32_t dataSize, blocks;
    };
    for (const Case& c : std::vector<Case>{
             {kTagPcm, 1, 8, 801, 801},     // odd 8-bit data: every byte a block
             {kTagPcm, 1, 16, 1001, 500},   // the odd byte is no block
             {kTagPcm, 2, 16, 1003, 250},
             {kTagPcm, 1, 8, 0, 0},
             {kTagPcm, 1, 8, 0xFFFFFFFF, 0xFFFFFFFF},
             {kTagGsm, 1, 0, 1625, 25},     // one second of GSM
             {kTagGsm, 1, 0, 1689, 25},
             {kTagGsm, 1, 0, 64, 0},
             {kTagPcm, 0, 16, 1000, 0},     // records the readers refuse must not divide by zero
             {kTagPcm, 1, 4, 1000, 0},
         }) {
        SCOPED_TRACE(testing::Message() << c.tag << "/" << c.channels << "/" << c.bits << " " << c.dataSize);
        EXPECT_EQ(LengthInBlocks(c.tag, c.channels, c.bits, c.dataSize), c.blocks);
    }
}

TEST(BlockArithmetic, OffsetsOfBlocks) {
    // Data chunk ids at 36 (PCM) and 52 (GSM): audio starts at 44 and 60.
    EXPECT_EQ(OffsetOfBlock(36, 0, kTagPcm, 1, 8), 44u);
    EXPECT_EQ(OffsetOfBlock(36, 0, kTagPcm, 1, 16), 44u);
    EXPECT_EQ(OffsetOfBlock(52, 0, kTagGsm, 1, 0), 60u);
    for (std::uint32_t n : {1u, 2u, 1000u, 22050u * 60u}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(OffsetOfBlock(36, n, kTagPcm, 1, 16), 44 + 2 * n);
        EXPECT_EQ(OffsetOfBlock(36, n, kTagPcm, 1, 8), 44 + n);
        EXPECT_EQ(OffsetOfBlock(36, n, kTagPcm, 2, 16), 44 + 4 * n);
        EXPECT_EQ(OffsetOfBlock(52, n, kTagGsm, 1, 0), 60 + 65 * n);
    }
}

TEST(BlockArithmetic, BlockAtOffsetCountsFromTheFirstAudioByte) {
    struct Case {
        std::uint32_t offset, dataChunkPos;
        std::uint16_t tag, channels, bits;
        std::uint32_t block;
    };
    for (const Case& c : std::vector<Case>{
             {0, 36, kTagPcm, 1, 16, 0},  // before the audio: 0, not a huge unsigned value
             {43, 36, kTagPcm, 1, 16, 0},
             {44, 36, kTagPcm, 1, 16, 0},
             {45, 36, kTagPcm, 1, 16, 0},
             {46, 36, kTagPcm, 1, 16, 1},
             {44 + 2 * 12345, 36, kTagPcm, 1, 16, 12345},
             {44 + 801, 36, kTagPcm, 1, 8, 801},
             {60, 52, kTagGsm, 1, 0, 0},
             {60 + 64, 52, kTagGsm, 1, 0, 0},
             {60 + 65 * 25, 52, kTagGsm, 1, 0, 25},
             {0xFFFFFFFF, 36, kTagPcm, 1, 8, 0xFFFFFFFF - 44},
             {1000, 36, kTagPcm, 1, 4, 0},  // no whole byte per sample: nothing to count
             {44 + 4 * 100, 36, kTagPcm, 2, 16, 100},  // stereo counts frames of 4 bytes
             {44 + 2 * 100 + 1, 36, kTagPcm, 2, 8, 100},
         }) {
        SCOPED_TRACE(c.offset);
        EXPECT_EQ(BlockAtOffset(c.offset, c.dataChunkPos, c.tag, c.channels, c.bits), c.block);
    }
}

TEST(BlockArithmetic, OffsetAndBlockAgreeForMonoFormats) {
    for (const auto& row : kExpected) {
        const WaveFormat& f = row.record;
        const std::uint32_t dataChunkPos = f.isGsm() ? 52 : 36;
        for (std::uint32_t n : {0u, 1u, 7u, 65u, 100000u}) {
            SCOPED_TRACE(testing::Message() << row.label << " block " << n);
            const std::uint32_t offset = OffsetOfBlock(dataChunkPos, n, f.formatTag, f.channels, f.bitsPerSample);
            EXPECT_EQ(BlockAtOffset(offset, dataChunkPos, f.formatTag, f.channels, f.bitsPerSample), n);
        }
    }
}

}  // namespace
}  // namespace tavrin::wav
