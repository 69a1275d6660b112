#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "SlowMediaRig.h"
#include "storage/HeaderWriting.h"

namespace tavrin::storage {
namespace {

using namespace slowtest;
using model::Format;
using model::kGsm;
using model::kPcm16;
using model::kPcm8;

std::uint32_t Le32(const Bytes& b, std::size_t at) { return wav::LoadLe32(&b[at]); }

// A recording made and finished on slow media.
Bytes Recorded(const Format& format, const Bytes& audio) {
    SlowRig rig;
    EXPECT_EQ(rig.Create(format), Status::Ok);
    EXPECT_EQ(rig.Record(audio, 1600), Status::Ok);
    EXPECT_EQ(rig.ctx.Close(), Status::Ok);
    return rig.OnDisk();
}

struct EmptyCase {
    Format format;
    std::size_t fileBytes;
    std::uint32_t riffSize;
};

class EmptyRecording : public testing::TestWithParam<EmptyCase> {};

TEST_P(EmptyRecording, StoppedBeforeAnyAudioIsAValidHeaderOnly) {
    const EmptyCase c = GetParam();
    const Bytes file = Recorded(c.format, {});
    ASSERT_EQ(file.size(), c.fileBytes);
    EXPECT_EQ(file, model::WavFile(c.format, {}));
    EXPECT_EQ(Le32(file, 4), c.riffSize);
    EXPECT_EQ(Le32(file, c.fileBytes - 4), 0u) << "dataSize";
    if (c.format.IsGsm()) {
        EXPECT_EQ(Le32(file, 48), 0u) << "blockCount";
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EmptyRecording,
                         testing::Values(EmptyCase{kPcm8, 44, 36}, EmptyCase{kPcm16, 44, 36},
                                         EmptyCase{kGsm, 60, 52}),
                         [](const auto& param) {
                             return std::string(param.param.format.IsGsm() ? "Gsm" : "Pcm") +
                                    std::to_string(param.param.format.bitsPerSample);
                         });

TEST(HeaderWriting, GsmFactHoldsBlocksNotSamples) {
    const Bytes audio = Pattern(1625, 1);  // one second
    const Bytes file = Recorded(kGsm, audio);
    ASSERT_EQ(file.size(), 60u + 1625u);
    EXPECT_EQ(Le32(file, 48), 25u);
    EXPECT_EQ(Le32(file, 56), 1625u);
    EXPECT_EQ(Le32(file, 4), 52u + 1625u);
    EXPECT_EQ(file, model::WavFile(kGsm, audio));
}

TEST(HeaderWriting, OddEightBitLengthGetsNoPadByte) {
    const Bytes audio = Pattern(801, 2);
    const Bytes file = Recorded(kPcm8, audio);
    ASSERT_EQ(file.size(), 44u + 801u);
    EXPECT_EQ(Le32(file, 40), 801u);
    EXPECT_EQ(Le32(file, 4), 36u + 801u);
    EXPECT_EQ(file, model::WavFile(kPcm8, audio));
}

TEST(HeaderWriting, BlocksLieRightAfterTheHeader) {
    SlowRig rig;
    ASSERT_EQ(rig.Create(kPcm16), Status::Ok);
    EXPECT_EQ(rig.ctx.header.OffsetOfBlock(0), 44u);
    EXPECT_EQ(rig.ctx.header.OffsetOfBlock(7), 44u + 2 * 7);
    rig.path = rig.dir.file("b.wav");  // a new recording never replaces a file
    ASSERT_EQ(rig.Create(kGsm), Status::Ok);
    EXPECT_EQ(rig.ctx.header.OffsetOfBlock(0), 60u);
    EXPECT_EQ(rig.ctx.header.OffsetOfBlock(2), 60u + 130u);
    EXPECT_EQ(rig.ctx.header.factValuePos, 48u);
    EXPECT_EQ(rig.ctx.header.dataChunkPos, 52u);
}

TEST(HeaderWriting, SeekingToTheLengthInBlocksIsRefused) {
    SlowRig rig;
    ASSERT_EQ(rig.SelectFile(model::WavFile(kPcm16, Pattern(200, 3))), Status::Ok);
    ASSERT_EQ(rig.ctx.LengthInBlocks(), 100u);
    EXPECT_TRUE(rig.ctx.SeekToSample(99));
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 99u);
    EXPECT_FALSE(rig.ctx.SeekToSample(100));
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 99u);
}

// Records what the finishing routine writes where, failing chosen steps.
class SinkLog : public HeaderSink {
public:
    struct Entry {
        std::uint32_t offset;
        Bytes bytes;
    };
    bool SeekTo(std::uint32_t offset) override {
        at = offset;
        return true;
    }
    bool Write(const void* source, std::uint32_t bytes) override {
        const auto* p = static_cast<const std::uint8_t*>(source);
        const bool fails = ++writes == failWrite;
        if (!fails) entries.push_back({at, Bytes(p, p + bytes)});
        at += bytes;
        return !fails;
    }
    std::vector<Entry> entries;
    int failWrite = 0;

private:
    std::uint32_t at = 0;
    int writes = 0;
};

HeaderImage GsmImage(std::uint32_t factValuePos, std::uint32_t dataChunkPos, std::uint32_t dataSize) {
    HeaderImage image;
    const wav::WaveFormat f = wav::BuildWaveFormat(wav::kTagGsm, 8000, 0, 1);
    std::memcpy(image.fmt.data(), "fmt ", 4);
    wav::StoreLe32(&image.fmt[4], 20);
    wav::SerializeWaveFormat(f, &image.fmt[8]);
    image.factValuePos = factValuePos;
    image.dataChunkPos = dataChunkPos;
    image.SetDataSize(dataSize);
    return image;
}

// The writes a finished header goes out in cover only its counts: a power
// cut may tear every byte a write covers, and an identifier torn with them
// would leave recovery no header it can know. Applied to the header as the
// recording began, they give the finished header.
TEST(FinishHeader, WritesOnlyTheCountsAndTheyFinishTheHeader) {
    struct Layout {
        const char* name;
        std::uint32_t factValuePos, dataChunkPos;
        std::vector<std::uint32_t> countsAt;  // the offsets written, in order
        std::uint32_t factValue;
    };
    const Layout layouts[] = {{"with a fact chunk", 48, 52, {56, 48, 4}, 10},
                              {"without a fact chunk", 0, 40, {44, 4}, 0}};
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        SinkLog sink;
        HeaderImage image = GsmImage(l.factValuePos, l.dataChunkPos, 650);
        const std::uint32_t fileLength = l.dataChunkPos + 8 + 650;
        ASSERT_TRUE(FinishHeader(sink, image, fileLength));
        ASSERT_EQ(sink.entries.size(), l.countsAt.size());
        Bytes header(l.dataChunkPos + 8, 0xEE);  // what the file held: only the counts may change
        for (std::size_t i = 0; i < sink.entries.size(); ++i) {
            EXPECT_EQ(sink.entries[i].offset, l.countsAt[i]);
            ASSERT_EQ(sink.entries[i].bytes.size(), 4u) << "more than a count written at " << sink.entries[i].offset;
            std::copy(sink.entries[i].bytes.begin(), sink.entries[i].bytes.end(), header.begin() + l.countsAt[i]);
        }
        EXPECT_EQ(Le32(header, 4), fileLength - 8);
        EXPECT_EQ(Le32(header, l.dataChunkPos + 4), 650u);
        if (l.factValuePos != 0) {
            EXPECT_EQ(Le32(header, l.factValuePos), l.factValue);
        }
        EXPECT_EQ(header[0], 0xEE) << "the RIFF identifier was written again";
        EXPECT_EQ(header[l.dataChunkPos], 0xEE) << "the data identifier was written again";
    }
}

TEST(FinishHeader, EveryStepIsTriedAndAnyFailureIsReported) {
    for (int fail = 1; fail <= 3; ++fail) {
        SCOPED_TRACE(fail);
        SinkLog sink;
        sink.failWrite = fail;
        HeaderImage image = GsmImage(48, 52, 65);
        EXPECT_FALSE(FinishHeader(sink, image, 60 + 65));
        EXPECT_EQ(sink.entries.size(), 2u);
    }
}

// A strategy whose Open and Write only log, failing the n-th step.
class LoggingStrategy : public Strategy {
public:
    explicit LoggingStrategy(StorageContext& c) : Strategy(c, "LoggingStrategy") {}
    Status Open(const std::string&) override { return Step(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0}); }
    Status Write(const void* source, std::uint32_t bytes) override {
        const auto* p = static_cast<const std::uint8_t*>(source);
        return Step(Bytes(p, p + bytes));
    }
    Bytes written;
    int failStep = 0;

private:
    Status Step(const Bytes& bytes) {
        if (++steps == failStep) return Status::FileError;
        written.insert(written.end(), bytes.begin(), bytes.end());
        return Status::Ok;
    }
    int steps = 0;
};

TEST(WriteNewHeader, WritesTheLayoutInOrderAndStopsAtTheFirstFailure) {
    for (const Format& f : {kPcm8, kGsm}) {
        SCOPED_TRACE(f.name);
        // Until the recording is finished the RIFF size is 0.
        Bytes expected = model::WavFile(f, {});
        std::fill(expected.begin() + 4, expected.begin() + 8, 0);
        SlowRig rig;
        HeaderImage image;
        LoggingStrategy strategy(rig.ctx);
        ASSERT_EQ(WriteNewHeader(strategy, image, "x.wav", f.tag, f.samplesPerSec, f.bitsPerSample, 1), Status::Ok);
        EXPECT_EQ(strategy.written, expected);
        EXPECT_EQ(image.dataChunkPos, f.HeaderBytes() - 8);
        EXPECT_EQ(image.factValuePos, f.IsGsm() ? 48u : 0u);

        // Bytes of each step: Open, "WAVE", fmt, [GSM extras, fact header, fact value,] data header.
        const std::vector<std::size_t> sizes =
            f.IsGsm() ? std::vector<std::size_t>{8, 4, 24, 4, 8, 4, 8} : std::vector<std::size_t>{8, 4, 24, 8};
        std::size_t before = 0;
        for (std::size_t fail = 0; fail < sizes.size(); ++fail) {
            LoggingStrategy failing(rig.ctx);
            failing.failStep = static_cast<int>(fail + 1);
            EXPECT_EQ(WriteNewHeader(failing, image, "x.wav", f.tag, f.samplesPerSec, f.bitsPerSample, 1),
                      Status::FileError);
            EXPECT_EQ(failing.written, Slice(expected, 0, before)) << "failing step " << fail + 1;
            before += sizes[fail];
        }
    }
}

}  // namespace
}  // namespace tavrin::storage
