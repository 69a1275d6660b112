#include <gtest/gtest.h>

#include <string>

#include "SlowMediaRig.h"
#include "storage/HeaderReading.h"

namespace tavrin::storage {
namespace {

using namespace slowtest;

void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
Bytes Chunk(const char* id, const Bytes& payload) {
    Bytes b(id, id + 4);
    Put32(b, static_cast<std::uint32_t>(payload.size()));
    return Cat(b, payload);
}
Bytes Riff(const std::vector<Bytes>& chunks) {
    Bytes body{'W', 'A', 'V', 'E'};
    for (const Bytes& c : chunks) body = Cat(body, c);
    Bytes b{'R', 'I', 'F', 'F'};
    Put32(b, static_cast<std::uint32_t>(body.size()));
    return Cat(b, body);
}
// A wave-format record with every field given.
Bytes Record(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint32_t avg, std::uint16_t align,
             std::uint16_t bits) {
    Bytes b;
    for (std::uint32_t v : {std::uint32_t{tag}, std::uint32_t{channels}}) Put16(b, v);
    Put32(b, rate);
    Put32(b, avg);
    Put16(b, align);
    Put16(b, bits);
    return b;
}
Bytes Pcm(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels = 1) {
    return Record(1, channels, rate, rate * bits * channels / 8, static_cast<std::uint16_t>(bits * channels / 8), bits);
}
Bytes Gsm(std::uint16_t channels = 1) { return Cat(Record(0x31, channels, 8000, 1625, 65, 0), Bytes{2, 0, 64, 1}); }
Bytes Fact(std::uint32_t blocks) {
    Bytes v;
    Put32(v, blocks);
    return Chunk("fact", v);
}

const Bytes kAudio = Pattern(130, 9);

struct StrictCase {
    const char* name;
    Bytes file;
    Status expected;
    std::uint32_t dataChunkPos = 0;
    std::uint32_t factValuePos = 0;
};

std::vector<StrictCase> Cases() {
    const Bytes pcmFmt = Chunk("fmt ", Pcm(8000, 16));
    const Bytes data = Chunk("data", kAudio);
    return {
        {"Pcm8AsWritten", Riff({Chunk("fmt ", Pcm(8000, 8)), data}), Status::Ok, 36, 0},
        {"Pcm16Stereo", Riff({Chunk("fmt ", Pcm(8000, 16, 2)), data}), Status::Ok, 36, 0},
        {"GsmWithFact", Riff({Chunk("fmt ", Gsm()), Fact(2), data}), Status::Ok, 52, 48},
        {"GsmWithoutFact", Riff({Chunk("fmt ", Gsm()), data}), Status::Ok, 40, 0},
        {"GsmTwoChannels", Riff({Chunk("fmt ", Gsm(2)), Fact(2), data}), Status::FileError},
        {"ListBeforeData", Riff({pcmFmt, Chunk("LIST", Bytes(26, 'x')), data}), Status::Ok, 70, 0},
        {"FactBeforePcmData", Riff({pcmFmt, Fact(2), data}), Status::Ok, 48, 0},
        {"PcmFmtOf18Bytes", Riff({Chunk("fmt ", Cat(Pcm(8000, 16), Bytes{0, 0})), data}), Status::Ok, 38, 0},
        {"OddChunkWithPad", Riff({pcmFmt, Chunk("LIST", Bytes(3, 'x')), Bytes{0}, data}), Status::Ok, 48, 0},
        {"OddChunkWithoutPad", Riff({pcmFmt, Chunk("LIST", Bytes(3, 'x')), data}), Status::Ok, 47, 0},
        {"GsmFactAfterList", Riff({Chunk("fmt ", Gsm()), Chunk("LIST", Bytes(26, 'x')), Fact(2), data}), Status::Ok,
         86, 82},
        {"DataBeforeFmt", Riff({data, pcmFmt}), Status::Ok, 12, 0},
        {"GsmAt11kHz", Riff({Chunk("fmt ", Cat(Record(0x31, 1, 11025, 2239, 65, 0), Bytes{2, 0, 64, 1})), data}),
         Status::FileError},
        {"Extensible", Riff({Chunk("fmt ", Cat(Record(0xFFFE, 1, 8000, 16000, 2, 16), Bytes(24, 0))), data}),
         Status::FileError},
        {"NoChunkIdBeforeData", Riff({pcmFmt, Bytes(8, 0), data}), Status::FileError},
        {"RateZero", Riff({Chunk("fmt ", Record(1, 1, 0, 0, 1, 8)), data}), Status::FileError},
        {"FourBits", Riff({Chunk("fmt ", Record(1, 1, 8000, 4000, 0, 4)), data}), Status::FileError},
        {"TwelveBits", Riff({Chunk("fmt ", Record(1, 1, 8000, 12000, 1, 12)), data}), Status::FileError},
        {"AverageBytesWrong", Riff({Chunk("fmt ", Record(1, 1, 8000, 8001, 1, 8)), data}), Status::FileError},
        {"BlockAlignWrong", Riff({Chunk("fmt ", Record(1, 1, 8000, 16000, 1, 16)), data}), Status::FileError},
        {"Adpcm", Riff({Chunk("fmt ", Record(0x11, 1, 8000, 4055, 256, 4)), data}), Status::FileError},
        // The chunk walk refuses what is not RIFF: so does the strict reading.
        {"NotRiff", [&] { Bytes b = Riff({pcmFmt, data}); b[3] = '/'; return b; }(), Status::FileError},
        {"NotWave", [] { Bytes b = Riff({Chunk("fmt ", Pcm(8000, 8))}); b[11] = 'X'; return b; }(), Status::FileError},
        {"FmtIdMissing", Riff({Chunk("fmx ", Pcm(8000, 8)), data}), Status::FileError},
        {"EndsBeforeDataHeader", Riff({Chunk("fmt ", Pcm(8000, 8)), Bytes{'d', 'a', 't'}}), Status::FileError},
        {"SevenBytes", Bytes{'R', 'I', 'F', 'F', 0, 0, 0}, Status::FileError},
        // Every fmt chunk counts, as in the chunk walk: a later usable one
        // does not make up for one that cannot be used.
        {"UnusableFmtThenUsable", Riff({Chunk("fmt ", Record(1, 0, 8000, 16000, 2, 16)), pcmFmt, data}),
         Status::FileError},
        {"FmtLargerThanTheFile", [&] { Bytes b = Riff({data, pcmFmt}); b[b.size() - 20] = 0xE8; return b; }(),
         Status::FileError},
        {"ShortGsmFmtThenPcm", Riff({Chunk("fmt ", Record(0x31, 1, 8000, 1625, 65, 0)), pcmFmt, data}),
         Status::FileError},
    };
}

class StrictReading : public testing::TestWithParam<StrictCase> {};

TEST_P(StrictReading, ReadsTheLayoutsThePlayerAccepts) {
    const StrictCase& c = GetParam();
    SlowRig rig;
    EXPECT_EQ(rig.SelectFile(c.file), c.expected);
    if (c.expected == Status::Ok) {
        EXPECT_EQ(rig.ctx.header.dataChunkPos, c.dataChunkPos);
        EXPECT_EQ(rig.ctx.header.factValuePos, c.factValuePos);
        EXPECT_EQ(rig.ctx.DataSize(), kAudio.size());
        Status last = Status::Ok;
        EXPECT_EQ(rig.Play(1000, &last), kAudio);
        EXPECT_EQ(last, Status::EndOfData);
    }
    EXPECT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), c.file) << "reading never changes the file";
}

INSTANTIATE_TEST_SUITE_P(Files, StrictReading, testing::ValuesIn(Cases()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(StrictReadingSelect, MissingFileIsRefusedAndNotCreated) {
    SlowRig rig;
    EXPECT_EQ(rig.ctx.Select(rig.path, platform::Media::Slow), Status::FileError);
    EXPECT_FALSE(rig.Exists());
    EXPECT_EQ(rig.ctx.Close(), Status::Ok);
}

TEST(StrictReadingSelect, NoFileNameIsAnInternalError) {
    SlowRig rig;
    EXPECT_EQ(rig.ctx.Select("", platform::Media::Slow), Status::InternalError);
}

TEST(StrictReadingSelect, GsmWithoutFactCanBeExtendedWithoutWritingAFactValue) {
    SlowRig rig;
    const Bytes original = Riff({Chunk("fmt ", Gsm()), Chunk("data", kAudio)});
    ASSERT_EQ(rig.SelectFile(original), Status::Ok);
    ASSERT_TRUE(rig.ctx.Append());
    const Bytes more = Pattern(65, 10);
    ASSERT_EQ(rig.ctx.WriteData(more.data(), 65), Status::Ok);
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    const Bytes expected = Riff({Chunk("fmt ", Gsm()), Chunk("data", Cat(kAudio, more))});
    EXPECT_EQ(rig.OnDisk(), expected);
}

TEST(StrictReadingSelect, CutShortFileReportsTheAudioThatIsThere) {
    SlowRig rig;
    Bytes file = model::WavFile(model::kPcm8, Pattern(1000, 11));
    file.resize(44 + 600);
    ASSERT_EQ(rig.SelectFile(file), Status::Ok);
    EXPECT_EQ(rig.ctx.DataSize(), 600u);
    EXPECT_EQ(rig.Play(1600), Slice(file, 44, 644));
}

TEST(StrictReadingSelect, ChunksAfterTheAudioAreNotPlayed) {
    SlowRig rig;
    const Bytes audio = Pattern(500, 12);
    const Bytes file = Riff({Chunk("fmt ", Pcm(8000, 8)), Chunk("data", audio), Chunk("LIST", Bytes(30, 'z'))});
    ASSERT_EQ(rig.SelectFile(file), Status::Ok);
    EXPECT_EQ(rig.ctx.DataSize(), 500u);
    EXPECT_EQ(rig.Play(1600), audio);
}

}  // namespace
}  // namespace tavrin::storage
