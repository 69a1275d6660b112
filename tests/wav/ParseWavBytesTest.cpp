#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "wav/WavBytes.h"
#include "wav/WavChunkReader.h"

namespace tavrin::wav {
namespace {

using test::GsmRecord;
using test::PcmRecord;
using test::RecordingFile;
using test::WavBytes;

// Parses a copy that is exactly as long as the file, so that the sanitizer
// builds catch any read past its end.
int Parse(const WavBytes& file, WavInfo& info) {
    const std::uint32_t n = file.size();
    auto exact = std::make_unique<std::uint8_t[]>(n == 0 ? 1 : n);
    if (n > 0) std::memcpy(exact.get(), file.data(), n);
    return ParseWavBytes(n == 0 ? nullptr : exact.get(), n, info);
}

int Parse(const WavBytes& file) {
    WavInfo info;
    return Parse(file, info);
}

struct ParseCase {
    const char* name;
    std::function<WavBytes()> file;
    int result;
};

void ExpectResults(const std::vector<ParseCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Parse(c.file()), c.result);
    }
}

TEST(ParseWavBytes, RecordingsWeWriteArePlayableWithTheirFields) {
    WavInfo info;
    ASSERT_EQ(Parse(RecordingFile(PcmRecord(11025, 16), 22050), info), kParsePlayable);
    WavInfo expected;
    expected.samplesPerSec = 11025;
    expected.avgBytesPerSec = 22050;
    expected.blockAlign = 2;
    expected.bitsPerSample = 16;
    expected.dataStart = 44;
    expected.dataLength = 22050;
    expected.lengthInBlocks = 11025;
    EXPECT_EQ(info, expected);
    EXPECT_EQ(DurationMs(info), 1000u);

    ASSERT_EQ(Parse(RecordingFile(GsmRecord(), 1625), info), kParsePlayable);
    EXPECT_EQ(info.formatTag, kTagGsm);
    EXPECT_EQ(info.cbSize, 2);
    EXPECT_EQ(info.samplesPerBlock, 320);
    EXPECT_EQ(info.dataStart, 60u);
    EXPECT_EQ(info.lengthInBlocks, 25u);
    EXPECT_EQ(DurationMs(info), 1000u);
}

TEST(ParseWavBytes, RiffHeader) {
    const auto odd = [](std::int64_t delta) {
        return [delta] { return WavBytes().Riff().Fmt(PcmRecord(8000, 8)).Data(801).FixRiffSize(delta); };
    };
    ExpectResults({
        {"RIFF size = file size - 8", odd(0), kParsePlayable},
        {"RIFF size = file size - 7 (pad byte dropped)", odd(1), kParsePlayable},
        // The chunks say where the audio is, whatever the RIFF size claims.
        {"RIFF size = file size - 6", odd(2), kParsePlayable},
        {"RIFF size = file size - 9", odd(-1), kParsePlayable},
        {"RIFX", [] { auto w = RecordingFile(PcmRecord(8000, 8), 10); w.bytes[3] = 'X'; return w; }, kParseUnusable},
        {"not WAVE", [] { auto w = RecordingFile(PcmRecord(8000, 8), 10); w.bytes[8] = 'w'; return w; },
         kParseUnusable},
        {"header only", [] { return WavBytes().Riff().FixRiffSize(); }, kParseUnusable},
        {"empty", [] { return WavBytes(); }, kParseUnusable},
        {"eleven bytes", [] { return WavBytes().Riff().Truncate(11); }, kParseUnusable},
    });
}

// A file cut short plays what it holds, and one padded after its RIFF end
// plays as its chunks say: the list and the file facts agree with what
// storage opens (an edit of a file the list called invalid once waited for
// ever for input it could not be given).
TEST(ParseWavBytes, FilesCutShortOrPaddedAreTheAudioTheyHold) {
    struct Cut {
        const char* name;
        WavBytes file;
        std::uint32_t dataLength;
        std::uint32_t lengthInBlocks;
    };
    const Cut cuts[] = {
        {"PCM cut inside its audio", RecordingFile(PcmRecord(8000, 16), 1600).Truncate(44 + 777), 777, 388},
        {"PCM cut to its header", RecordingFile(PcmRecord(8000, 16), 1600).Truncate(44), 0, 0},
        {"GSM cut to its header", RecordingFile(GsmRecord(), 1625).Truncate(60), 0, 0},
        {"GSM cut inside a block", RecordingFile(GsmRecord(), 1625).Truncate(60 + 100), 100, 1},
        {"zero padding after the RIFF end", RecordingFile(PcmRecord(8000, 8), 801).Fill(4096, 0), 801, 801},
        {"chunk outside the RIFF end", RecordingFile(PcmRecord(8000, 8), 10).Chunk("LIST", 4), 10, 10},
    };
    for (const Cut& c : cuts) {
        SCOPED_TRACE(c.name);
        WavInfo info;
        ASSERT_EQ(Parse(c.file, info), kParsePlayable);
        EXPECT_EQ(info.dataLength, c.dataLength);
        EXPECT_EQ(info.lengthInBlocks, c.lengthInBlocks);
    }
    EXPECT_EQ(Parse(RecordingFile(PcmRecord(8000, 16), 1600).Truncate(43)), kParseUnusable) << "no data chunk header";
}

TEST(ParseWavBytes, FormatDecidesTheResult) {
    const auto with = [](WaveFormat f) { return [f] { return RecordingFile(f, 400); }; };
    WaveFormat gsmStereo = GsmRecord();
    gsmStereo.channels = 2;
    WaveFormat adpcm = PcmRecord(8000, 4);
    adpcm.formatTag = 0x0011;
    WaveFormat noRate = PcmRecord(8000, 16);
    noRate.samplesPerSec = 0;
    WaveFormat noChannels = PcmRecord(8000, 16);
    noChannels.channels = 0;
    WaveFormat gsm11k = GsmRecord();  // as another tool writes GSM at 11,025 Hz
    gsm11k.samplesPerSec = 11025;
    gsm11k.avgBytesPerSec = 2239;
    WaveFormat extensible = PcmRecord(8000, 16);
    extensible.formatTag = 0xFFFE;
    WaveFormat wrongRate = PcmRecord(8000, 16);
    wrongRate.avgBytesPerSec = 8000;
    WaveFormat wrongAlign = PcmRecord(8000, 8);
    wrongAlign.blockAlign = 2;
    ExpectResults({
        {"PCM 22 kHz 8-bit", with(PcmRecord(22050, 8)), kParsePlayable},
        {"stereo PCM", with(PcmRecord(8000, 16, 2)), kParseUnsupported},
        {"stereo GSM", with(gsmStereo), kParseUnsupported},
        {"three channels", with(PcmRecord(8000, 16, 3)), kParseUnusable},
        {"no channels", with(noChannels), kParseUnusable},
        {"12-bit PCM", with(PcmRecord(8000, 12)), kParseUnusable},
        {"24-bit PCM", with(PcmRecord(8000, 24)), kParseUnusable},
        {"other codec, 4 bits", with(adpcm), kParseUnsupported},
        {"rate 0", with(noRate), kParseUnusable},
        {"GSM at 11,025 Hz", with(gsm11k), kParseUnsupported},
        {"WAVE_FORMAT_EXTENSIBLE", with(extensible), kParseUnsupported},
        {"byte rate contradicts the record", with(wrongRate), kParseUnusable},
        {"block size contradicts the record", with(wrongAlign), kParseUnusable},
    });
}

TEST(ParseWavBytes, WhichChunksTheWalkPasses) {
    const auto before = [](const char* id) {
        return [id] { return WavBytes().Riff().Fmt(PcmRecord(8000, 16)).Chunk(id, 10).Data(400).FixRiffSize(); };
    };
    ExpectResults({
        {"fact", before("fact"), kParsePlayable},
        {"cue ", before("cue "), kParsePlayable},
        {"plst", before("plst"), kParsePlayable},
        {"list", before("list"), kParsePlayable},
        {"smpl", before("smpl"), kParsePlayable},
        {"inst", before("inst"), kParsePlayable},
        {"LIST", before("LIST"), kParsePlayable},
        {"JUNK", before("JUNK"), kParsePlayable},
        {"bext before fmt",
         [] { return WavBytes().Riff().Chunk("bext", 602).Fmt(PcmRecord(8000, 8)).Data(10).FixRiffSize(); },
         kParsePlayable},
        {"LIST before fmt",
         [] { return WavBytes().Riff().Chunk("LIST", 4).Fmt(PcmRecord(8000, 8)).Data(10).FixRiffSize(); },
         kParsePlayable},
        {"LIST after data",
         [] { return WavBytes().Riff().Fmt(PcmRecord(8000, 8)).Data(10).Chunk("LIST", 4).FixRiffSize(); },
         kParsePlayable},
        {"bytes that are no chunk id end the walk",
         [] { return WavBytes().Riff().Fmt(PcmRecord(8000, 8)).Chunk("L\x01ST", 4).Data(10).FixRiffSize(); },
         kParseUnusable},
        {"unknown chunk larger than the file",
         [] { return WavBytes().Riff().Fmt(PcmRecord(8000, 8)).Chunk("LIST", 40, 4).Data(10).FixRiffSize(); },
         kParseUnusable},
        {"no data", [] { return WavBytes().Riff().Fmt(PcmRecord(8000, 8)).Chunk("list", 4).FixRiffSize(); },
         kParseUnusable},
        {"no fmt", [] { return WavBytes().Riff().Fact(0).Data(100).FixRiffSize(); }, kParseUnusable},
        {"fmt of 15 bytes", [] { return WavBytes().Riff().Fmt(PcmRecord(8000, 8), 15).Data(10).FixRiffSize(); },
         kParseUnusable},
        {"fmt of 18 bytes", [] { return WavBytes().Riff().Fmt(PcmRecord(8000, 8), 18).Data(10).FixRiffSize(); },
         kParsePlayable},
        {"odd-sized chunk without pad byte",
         [] { return WavBytes().Riff().Fmt(PcmRecord(8000, 8)).Chunk("list", 3).Data(10).FixRiffSize(); },
         kParsePlayable},
        {"odd-sized chunk with its pad byte",
         [] { return WavBytes().Riff().Fmt(PcmRecord(8000, 8)).Chunk("LIST", 3).Fill(1, 0).Data(10).FixRiffSize(); },
         kParsePlayable},
    });
}

// Readers that tell their user why a file is refused take the reason from
// the walk; the result stays what ParseWavBytes answers.
TEST(ParseWavBytes, AnUnusableFileSaysWhy) {
    const struct {
        const char* name;
        WavBytes file;
        int result;
        WavFault fault;
    } cases[] = {
        {"playable", RecordingFile(PcmRecord(8000, 16), 400), kParsePlayable, WavFault::None},
        {"stereo: not played, not refused", RecordingFile(PcmRecord(8000, 16, 2), 400), kParseUnsupported,
         WavFault::None},
        {"empty", WavBytes(), kParseUnusable, WavFault::NotRiff},
        {"RIFX", WavBytes().Id("RIFX").U32(0).Id("WAVE").Fmt(PcmRecord(8000, 8)).Data(10), kParseUnusable,
         WavFault::NotRiff},
        {"header only", WavBytes().Riff().FixRiffSize(), kParseUnusable, WavFault::NoFormat},
        {"fmt of 15 bytes", WavBytes().Riff().Fmt(PcmRecord(8000, 8), 15).Data(10), kParseUnusable, WavFault::NoFormat},
        {"GSM fmt without its block fields", WavBytes().Riff().Fmt(GsmRecord(), 16).Data(65), kParseUnusable,
         WavFault::NoFormat},
        {"fmt larger than the file", WavBytes().Riff().Chunk("fmt ", 400, 16).Data(10), kParseUnusable,
         WavFault::NoFormat},
        {"data but no fmt", WavBytes().Riff().Fact(0).Data(100), kParseUnusable, WavFault::NoFormat},
        {"24-bit PCM", RecordingFile(PcmRecord(8000, 24), 300), kParseUnusable, WavFault::FormatUnusable},
        {"fmt but no data", WavBytes().Riff().Fmt(PcmRecord(8000, 8)).Chunk("list", 4), kParseUnusable,
         WavFault::NoData},
        {"chunk larger than the file before data",
         WavBytes().Riff().Fmt(PcmRecord(8000, 8)).Chunk("LIST", 40, 4).Data(10), kParseUnusable, WavFault::NoData},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WavInfo info;
        const WavReading reading = ReadWavBytes(c.file.data(), c.file.size(), info);
        EXPECT_EQ(reading.result, c.result);
        EXPECT_EQ(reading.fault, c.fault);
        EXPECT_EQ(Parse(c.file), c.result);
    }
}

TEST(ParseWavBytes, DataBeforeFmtIsMeasuredWithTheInitialFormat) {
    WavInfo info;
    ASSERT_EQ(Parse(WavBytes().Riff().Data(1000).Fmt(PcmRecord(8000, 16)).FixRiffSize(), info), kParsePlayable);
    EXPECT_EQ(info.bitsPerSample, 16);
    EXPECT_EQ(info.lengthInBlocks, 1000u);  // counted as 8-bit mono
    EXPECT_EQ(info.dataStart, 20u);
}

TEST(ParseWavBytes, FieldsOfAnOddFmtChunk) {
    WavInfo info;
    ASSERT_EQ(Parse(WavBytes().Riff().Fmt(PcmRecord(8000, 8), 18).Data(11).FixRiffSize(), info), kParsePlayable);
    EXPECT_EQ(info.dataStart, 46u);
    EXPECT_EQ(info.dataLength, 11u);
    EXPECT_EQ(info.lengthInBlocks, 11u);
}

// A writer that dropped the pad byte, rounded the size or was cut short: the
// data chunk counts for the bytes the file holds, never one beyond its end.
TEST(ParseWavBytes, ADataChunkCountsForWhatTheFileHolds) {
    for (std::uint32_t extra : {0u, 1u, 3u, 4u, 6u, 1'000'000u, 0xFFFFFFFFu - 100}) {
        SCOPED_TRACE(extra);
        WavInfo info;
        const auto file = WavBytes().Riff().Fmt(PcmRecord(8000, 8)).Chunk("data", 100 + extra, 100).FixRiffSize();
        EXPECT_EQ(Parse(file, info), kParsePlayable);
        EXPECT_EQ(info.dataLength, 100u);
        EXPECT_EQ(info.lengthInBlocks, 100u);
    }
}

// A fmt chunk at the very end whose record the file does not wholly hold:
// the missing field must not be taken from beyond the end of the file.
TEST(ParseWavBytes, FmtFieldsOutsideTheFileStopTheWalk) {
    for (std::size_t missing = 0; missing <= 3; ++missing) {
        SCOPED_TRACE(missing);
        const auto pcm = WavBytes().Riff().Data(100).Fmt(PcmRecord(8000, 16)).Truncate(12 + 108 + 24 - missing);
        EXPECT_EQ(Parse(WavBytes(pcm).FixRiffSize()), missing == 0 ? kParsePlayable : kParseUnusable);
        const auto gsm = WavBytes().Riff().Data(130).Fmt(GsmRecord()).Truncate(12 + 138 + 28 - missing);
        EXPECT_EQ(Parse(WavBytes(gsm).FixRiffSize()), missing == 0 ? kParsePlayable : kParseUnusable);
    }
}

// Sizes near 4 GiB: a 32-bit chunk end would wrap and send the walk back to an
// earlier chunk, or round the same one for ever.
TEST(ParseWavBytes, HugeChunkSizesStopTheWalk) {
    for (std::uint32_t size : {0xFFFFFFFFu, 0xFFFFFFFCu, 0xFFFFFFF8u, 0xFFFFFFF4u, 0xFFFFFFF0u, 0xFFFFFFE0u,
                               0x80000000u, 0x7FFFFFFFu}) {
        SCOPED_TRACE(size);
        for (const char* id : {"fact", "list", "data", "fmt "}) {
            SCOPED_TRACE(id);
            const auto file =
                WavBytes().Riff().Fmt(PcmRecord(8000, 8)).Id(id).U32(size).Fill(20).Data(10).FixRiffSize();
            // A data chunk that size is cut to what the file holds; the others hide the audio.
            WavInfo info;
            EXPECT_EQ(Parse(file, info), std::string(id) == "data" ? kParsePlayable : kParseUnusable);
            if (std::string(id) == "data") {
                EXPECT_EQ(info.dataLength, 38u);
            }
        }
    }
}

// Every prefix of a recording: nothing is read outside, and the file counts,
// for the audio it holds, once the header of its data chunk is whole.
TEST(ParseWavBytes, EveryPrefixOfARecording) {
    for (const auto& [whole, header] :
         {std::pair{RecordingFile(GsmRecord(), 130), 60u}, std::pair{RecordingFile(PcmRecord(8000, 16), 20), 44u}}) {
        for (std::uint32_t length = 0; length <= whole.size(); ++length) {
            SCOPED_TRACE(length);
            WavBytes prefix = whole;
            prefix.Truncate(length);
            if (length >= 8 && length % 2 == 0) prefix.FixRiffSize();  // and half of them keep the whole one's
            WavInfo info;
            EXPECT_EQ(Parse(prefix, info), length >= header ? kParsePlayable : kParseUnusable);
            if (length >= header) {
                EXPECT_EQ(info.dataLength, length - header);
            }
        }
    }
}

TEST(ParseWavBytes, DurationOfAFile) {
    WavInfo info;
    info.lengthInBlocks = 11025 * 3 + 11024;
    info.samplesPerSec = 11025;
    EXPECT_EQ(DurationMs(info), 3999u);  // truncated, never rounded up
    info.lengthInBlocks = 0xFFFFFFFF;
    info.samplesPerSec = 8000;
    EXPECT_EQ(DurationMs(info), 536870911u);
    info.samplesPerSec = 0;
    EXPECT_EQ(DurationMs(info), 0u);
    info.formatTag = kTagGsm;
    info.lengthInBlocks = 25;
    EXPECT_EQ(DurationMs(info), 1000u);
    info.lengthInBlocks = 0xFFFFFFFF;
    EXPECT_EQ(DurationMs(info), 0xFFFFFFFFull * 40);
}

}  // namespace
}  // namespace tavrin::wav
