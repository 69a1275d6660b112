#include <gtest/gtest.h>

#include <gsm.h>

#include "SignalMath.h"
#include "StreamDouble.h"
#include "platform/stream/PlaybackStream.h"

namespace tavrin::test {
namespace {

using platform::stream::DeviceFormat;
using platform::stream::PlaybackStream;

const DeviceFormat kPcm8{8000, 1, false, 1};
const DeviceFormat kPcm16{22050, 2, false, 2};
const DeviceFormat kGsmDevice{8000, 2, true, 65};

const std::vector<std::vector<std::uint32_t>> kPlaybackPatterns = {
    {1024}, {1}, {37, 441, 5}, {160}, {1500, 3},
};

struct GsmPair {
    std::vector<std::uint8_t> blocks;
    std::vector<std::int16_t> decoded;
};

// Blocks made by libgsm and what libgsm itself decodes them to.
GsmPair ReferenceGsm(const std::vector<std::int16_t>& samples) {
    GsmPair pair;
    gsm enc = gsm_create();
    gsm dec = gsm_create();
    int on = 1;
    gsm_option(enc, GSM_OPT_WAV49, &on);
    gsm_option(dec, GSM_OPT_WAV49, &on);
    std::vector<std::int16_t> s(samples);
    const std::size_t count = samples.size() / 320;
    pair.blocks.resize(count * 65);
    pair.decoded.resize(count * 320);
    for (std::size_t b = 0; b < count; ++b) {
        std::uint8_t* block = pair.blocks.data() + b * 65;
        gsm_encode(enc, s.data() + b * 320, block);
        gsm_encode(enc, s.data() + b * 320 + 160, block + 32);
        gsm_decode(dec, block, pair.decoded.data() + b * 320);
        gsm_decode(dec, block + 33, pair.decoded.data() + b * 320 + 160);
    }
    gsm_destroy(enc);
    gsm_destroy(dec);
    return pair;
}

TEST(PlaybackStream, PlaysTheQueuedAudioThenSilenceWhateverTheCallbackSize) {
    struct Case {
        const char* name;
        DeviceFormat format;
        std::uint32_t bufferBytes;
        std::vector<std::uint8_t> queued;
        std::vector<std::uint8_t> heard;  // device bytes for the queued audio
        std::uint8_t silence;
    };
    const auto speech8k = SpeechLike(8000, 16000);
    const auto speech22k = SpeechLike(22050, 44100);
    std::vector<std::uint8_t> pcm8;
    for (const auto s : speech8k) pcm8.push_back(static_cast<std::uint8_t>(0x80 + s / 256));
    const auto gsm = ReferenceGsm(speech8k);
    const Case cases[] = {
        {"PCM 8-bit", kPcm8, 1600, pcm8, pcm8, 0x80},
        {"PCM 16-bit", kPcm16, 8820, AsBytes(speech22k), AsBytes(speech22k), 0x00},
        {"GSM", kGsmDevice, 325, gsm.blocks, AsBytes(gsm.decoded), 0x00},
    };
    for (const auto& c : cases) {
        for (const auto& pattern : kPlaybackPatterns) {
            SCOPED_TRACE(::testing::Message() << c.name << ", first chunk " << pattern[0]);
            PlaybackStream stream(c.format);
            ASSERT_TRUE(stream.ready());
            StreamDouble rig(2, c.bufferBytes);
            const std::size_t frames = c.heard.size() / c.format.sampleBytes + 500;
            const auto out = rig.Play(stream, c.queued, frames, pattern);
            ASSERT_EQ(out.size(), c.heard.size() + 500 * c.format.sampleBytes);
            EXPECT_TRUE(std::equal(c.heard.begin(), c.heard.end(), out.begin()));
            EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(c.heard.size()), out.end(),
                                    [&](auto b) { return b == c.silence; }));
            EXPECT_EQ(stream.buffers().Outstanding(), 0u);
        }
    }
}

TEST(PlaybackStream, PauseHoldsThePlaceAndPlaysSilence) {
    PlaybackStream stream(kPcm8);
    std::vector<std::uint8_t> block(100);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i + 1);
    platform::WaveBuffer header{block.data(), 100, 0, platform::whdr::Prepared};
    ASSERT_TRUE(stream.buffers().Queue(header));

    std::vector<std::uint8_t> out(40);
    stream.OnRender(out.data(), 40, 0);
    stream.SetPaused(true);
    std::vector<std::uint8_t> paused(40);
    stream.OnRender(paused.data(), 40, 0);
    EXPECT_EQ(paused, std::vector<std::uint8_t>(40, 0x80));
    stream.SetPaused(false);
    stream.OnRender(out.data(), 40, 0);
    EXPECT_EQ(out, std::vector<std::uint8_t>(block.begin() + 40, block.begin() + 80));
}

TEST(PlaybackStream, VolumeIsAGainOnTheSamples) {
    struct Case {
        std::uint32_t volume;
        std::int16_t in;
        std::int16_t out16;
        std::uint8_t in8;
        std::uint8_t out8;
    };
    const Case cases[] = {
        {0xFFFFFFFF, -32768, -32768, 0x00, 0x00},  // full volume changes nothing
        {0x00000000, 12345, 0, 0xFF, 0x80},        // silent
        {0x80008000, 32767, 16383, 0xFF, 0x80 + 63},
        {0x80008000, -32768, -16384, 0x00, 0x80 - 64},
        {0x7FFF7FFF, 1000, 499, 0x81, 0x80},
        {0x0000FFFF, 3000, 3000, 0x90, 0x90},      // mono follows the left (low) half
        {0xFFFF0000, 3000, 0, 0x90, 0x80},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.volume << std::dec << " " << c.in);
        std::int16_t s16 = c.in;
        PlaybackStream::ApplyGain(&s16, 1, PlaybackStream::GainOf(c.volume));
        EXPECT_EQ(s16, c.out16);
        std::uint8_t s8 = c.in8;
        PlaybackStream::ApplyGain(&s8, 1, PlaybackStream::GainOf(c.volume));
        EXPECT_EQ(s8, c.out8);
    }
}

TEST(PlaybackStream, VolumeReachesThePlayedSamplesInEveryFormat) {
    const auto speech = SpeechLike(8000, 3200);
    const auto gsm = ReferenceGsm(speech);
    struct Case {
        const char* name;
        DeviceFormat format;
        std::vector<std::uint8_t> queued;
    };
    const Case cases[] = {{"PCM 16-bit", {8000, 2, false, 2}, AsBytes(speech)}, {"GSM", kGsmDevice, gsm.blocks}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlaybackStream full(c.format);
        PlaybackStream half(c.format);
        half.SetVolume(0x80008000);
        StreamDouble a(2, static_cast<std::uint32_t>(c.queued.size() / 2));
        StreamDouble b(2, static_cast<std::uint32_t>(c.queued.size() / 2));
        const auto loud = AsSamples(a.Play(full, c.queued, 3200, {256}));
        const auto soft = AsSamples(b.Play(half, c.queued, 3200, {256}));
        EXPECT_NEAR(Rms(soft) / Rms(loud), 0.5, 0.01);
        EXPECT_GT(Correlation(soft, loud), 0.999);
    }
}

TEST(PlaybackStream, ResetDropsTheRestOfAHalfPlayedGsmBlock) {
    const auto gsm = ReferenceGsm(SpeechLike(8000, 640));
    PlaybackStream stream(kGsmDevice);
    std::vector<std::uint8_t> block(gsm.blocks.begin(), gsm.blocks.begin() + 65);
    platform::WaveBuffer header{block.data(), 65, 0, platform::whdr::Prepared};
    ASSERT_TRUE(stream.buffers().Queue(header));
    std::vector<std::int16_t> out(100);
    stream.OnRender(out.data(), 100, 0);
    SinkLog sink;
    stream.buffers().ReturnAll(sink);
    stream.DropPartial();
    stream.OnRender(out.data(), 100, 0);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](auto s) { return s == 0; }));
}

TEST(PlaybackStream, BuffersAreDueWhenTheDeviceWillHaveHeardThem) {
    struct Case {
        const char* name;
        DeviceFormat format;
        std::uint32_t bytes;
        std::uint32_t frames;
        double due;  // from a callback heard at 5 s
    };
    const Case cases[] = {
        {"PCM 16-bit 8 kHz: 800 samples", {8000, 2, false, 2}, 1600, 1000, 5.1},
        {"PCM 8-bit 8 kHz: 800 samples", {8000, 1, false, 1}, 800, 1000, 5.1},
        {"GSM: two blocks, 640 samples", kGsmDevice, 130, 1000, 5.08},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlaybackStream stream(c.format);
        std::vector<std::uint8_t> block(c.bytes, c.format.sampleBytes == 1 ? 0x80 : 0);
        platform::WaveBuffer header{block.data(), c.bytes, 0, platform::whdr::Prepared};
        ASSERT_TRUE(stream.buffers().Queue(header));
        std::vector<std::uint8_t> out(std::size_t{c.frames} * c.format.sampleBytes);
        stream.OnRender(out.data(), c.frames, 5.0);
        SinkLog sink;
        EXPECT_NEAR(stream.buffers().DeliverDue(sink, 5.0), c.due - 5.0, 1e-9);
        EXPECT_EQ(sink.size(), 0u);
        EXPECT_EQ(stream.buffers().DeliverDue(sink, c.due + 1e-9), 0);
        EXPECT_EQ(sink.size(), 1u);
    }
}

}  // namespace
}  // namespace tavrin::test
