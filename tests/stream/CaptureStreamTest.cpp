#include <gtest/gtest.h>

#include <gsm.h>

#include <algorithm>
#include <cstdlib>

#include "SignalMath.h"
#include "StreamDouble.h"
#include "platform/stream/CaptureStream.h"

namespace tavrin::test {
namespace {

using platform::stream::CaptureStream;
using platform::stream::DeviceFormat;

const std::vector<std::vector<std::uint32_t>> kCapturePatterns = {
    {1024}, {1}, {37, 441, 5}, {160}, {1500, 3},
};

std::vector<std::uint8_t> Wav49(const std::vector<std::int16_t>& samples) {
    gsm state = gsm_create();
    int on = 1;
    gsm_option(state, GSM_OPT_WAV49, &on);
    std::vector<std::uint8_t> out(samples.size() / 320 * 65);
    std::vector<std::int16_t> s(samples);
    for (std::size_t b = 0; b < samples.size() / 320; ++b) {
        gsm_encode(state, s.data() + b * 320, out.data() + b * 65);
        gsm_encode(state, s.data() + b * 320 + 160, out.data() + b * 65 + 32);
    }
    gsm_destroy(state);
    return out;
}

TEST(CaptureStream, RecordsExactlyWhatTheDeviceDeliveredInEveryFormat) {
    struct Case {
        const char* name;
        DeviceFormat format;
        std::uint32_t bufferBytes;  // 200 ms, as the recorder queues them
    };
    const Case cases[] = {
        {"PCM 8 kHz 8-bit", {8000, 1, false, 1}, 1600},
        {"PCM 11 kHz 16-bit", {11025, 2, false, 2}, 4410},
        {"PCM 22 kHz 16-bit", {22050, 2, false, 2}, 8820},
        {"GSM", {8000, 2, true, 65}, 325},
    };
    for (const auto& c : cases) {
        const auto speech = SpeechLike(c.format.sampleRate, c.format.sampleRate * 2);  // 2 s: ten buffers
        std::vector<std::uint8_t> device;
        std::vector<std::uint8_t> expected;
        if (c.format.sampleBytes == 1) {
            for (const auto s : speech) device.push_back(static_cast<std::uint8_t>(0x80 + s / 256));
            expected = device;
        } else {
            device = AsBytes(speech);
            expected = c.format.gsm ? Wav49(speech) : device;
        }
        for (const auto& pattern : kCapturePatterns) {
            SCOPED_TRACE(::testing::Message() << c.name << ", first chunk " << pattern[0]);
            CaptureStream stream(c.format);
            ASSERT_TRUE(stream.ready());
            StreamDouble rig(2, c.bufferBytes);
            EXPECT_EQ(rig.Capture(stream, device, pattern), expected);
            EXPECT_EQ(stream.lostBytes(), 0u);
        }
    }
}

// The largest magnitude of samples[from, to), as a meter reads it (at most 32767).
std::int32_t LoudestOf(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
    std::int32_t peak = 0;
    for (std::size_t i = from; i < to; ++i) peak = std::max(peak, std::abs(std::int32_t{samples[i]}));
    return std::min(peak, 32767);
}

// A GSM buffer comes back with the largest magnitude of the samples it
// encodes, so that the meter need not decode it: whatever the callback's
// chunks, in a partial buffer handed back by a reset, and never a peak left
// from the buffer's last round. PCM buffers are measured by their reader.
TEST(CaptureStream, GsmBuffersCarryThePeakOfWhatTheyEncode) {
    // Five buffers of 200 ms, each louder than the one before; the loudest
    // sample is the negative full scale.
    std::vector<std::int16_t> speech = SpeechLike(8000, 8000);
    for (std::size_t i = 0; i < speech.size(); ++i) {
        speech[i] = static_cast<std::int16_t>(speech[i] * static_cast<int>(i / 1600 + 1) / 5);
    }
    speech[4 * 1600 + 7] = -32768;
    for (const auto& pattern : kCapturePatterns) {
        SCOPED_TRACE(::testing::Message() << "first chunk " << pattern[0]);
        CaptureStream stream({8000, 2, true, 65});
        std::vector<std::uint8_t> a(325), b(325);
        platform::WaveBuffer buffers[] = {{a.data(), 325, 0, platform::whdr::Prepared},
                                          {b.data(), 325, 0, platform::whdr::Prepared}};
        for (auto& h : buffers) ASSERT_TRUE(stream.buffers().Queue(h));
        SinkLog sink;
        std::size_t at = 0;
        for (std::size_t call = 0; at < speech.size(); ++call) {
            const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(pattern[call % pattern.size()],
                                                                            speech.size() - at));
            const std::size_t before = sink.size();
            stream.OnCapture(speech.data() + at, n);
            at += n;
            static_cast<void>(stream.buffers().DeliverDue(sink, 0));
            for (std::size_t e = before; e < sink.size(); ++e) ASSERT_TRUE(stream.buffers().Queue(*sink.at(e).buffer));
        }
        ASSERT_EQ(sink.size(), 5u);
        for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(sink.at(k).peak, LoudestOf(speech, k * 1600, (k + 1) * 1600));
        EXPECT_EQ(sink.at(4).peak, 32767);
    }

    CaptureStream stream({8000, 2, true, 65});
    std::vector<std::uint8_t> a(325), b(325);
    platform::WaveBuffer first{a.data(), 325, 0, platform::whdr::Prepared, 1234};
    platform::WaveBuffer second{b.data(), 325, 0, platform::whdr::Prepared, 1234};
    ASSERT_TRUE(stream.buffers().Queue(first));
    ASSERT_TRUE(stream.buffers().Queue(second));
    EXPECT_EQ(first.peak, -1) << "queued again, a buffer forgets its last peak";
    stream.OnCapture(speech.data() + 3 * 1600, 700);  // two blocks and a bit
    SinkLog sink;
    stream.buffers().ReturnAll(sink);
    ASSERT_EQ(sink.size(), 2u);
    EXPECT_EQ(sink.at(0).bytes, 130u);
    EXPECT_EQ(sink.at(0).peak, LoudestOf(speech, 3 * 1600, 3 * 1600 + 640)) << "the two whole blocks";
    EXPECT_EQ(sink.at(1).peak, -1) << "a buffer nothing went into was not measured";

    CaptureStream pcm({8000, 2, false, 2});
    std::vector<std::uint8_t> c(1600);
    platform::WaveBuffer third{c.data(), 1600, 0, platform::whdr::Prepared};
    ASSERT_TRUE(pcm.buffers().Queue(third));
    pcm.OnCapture(speech.data(), 800);
    SinkLog pcmSink;
    static_cast<void>(pcm.buffers().DeliverDue(pcmSink, 0));
    ASSERT_EQ(pcmSink.size(), 1u);
    EXPECT_EQ(pcmSink.at(0).peak, -1);
}

TEST(CaptureStream, AudioWithNoBufferQueuedIsCountedAsLost) {
    CaptureStream stream({8000, 2, false, 2});
    const auto bytes = AsBytes(SpeechLike(8000, 100));
    stream.OnCapture(bytes.data(), 100);
    EXPECT_EQ(stream.lostBytes(), 200u);

    std::vector<std::uint8_t> block(120);
    platform::WaveBuffer header{block.data(), 120, 0, platform::whdr::Prepared};
    ASSERT_TRUE(stream.buffers().Queue(header));
    stream.OnCapture(bytes.data(), 100);  // 60 samples fit, 40 do not
    EXPECT_EQ(stream.lostBytes(), 280u);
}

TEST(CaptureStream, MissingDeviceInputIsRecordedAsSilence) {
    struct Case {
        DeviceFormat format;
        std::uint8_t silence;
    };
    for (const auto& c : {Case{{8000, 1, false, 1}, 0x80}, Case{{8000, 2, false, 2}, 0x00}}) {
        CaptureStream stream(c.format);
        std::vector<std::uint8_t> block(600, 0x55);
        platform::WaveBuffer header{block.data(), 600, 0, platform::whdr::Prepared};
        ASSERT_TRUE(stream.buffers().Queue(header));
        stream.OnCapture(nullptr, 600 / c.format.sampleBytes);
        SinkLog sink;
        static_cast<void>(stream.buffers().DeliverDue(sink, 0));
        ASSERT_EQ(sink.size(), 1u);
        EXPECT_EQ(sink.entries()[0].data, std::vector<std::uint8_t>(600, c.silence));
    }
}

TEST(CaptureStream, ResetDropsAHalfCollectedGsmBlock) {
    CaptureStream stream({8000, 2, true, 65});
    const auto speech = SpeechLike(8000, 640);
    std::vector<std::uint8_t> block(65);
    platform::WaveBuffer header{block.data(), 65, 0, platform::whdr::Prepared};
    ASSERT_TRUE(stream.buffers().Queue(header));
    stream.OnCapture(speech.data(), 200);
    SinkLog sink;
    stream.buffers().ReturnAll(sink);
    stream.DropPartial();
    ASSERT_EQ(sink.size(), 1u);
    EXPECT_EQ(sink.entries()[0].bytes, 0u);  // no whole block was there to give

    // The next capture starts a fresh block: 320 new samples make one.
    ASSERT_TRUE(stream.buffers().Queue(header));
    stream.OnCapture(speech.data() + 320, 320);
    static_cast<void>(stream.buffers().DeliverDue(sink, 0));
    ASSERT_EQ(sink.size(), 2u);
    EXPECT_EQ(sink.entries()[1].bytes, 65u);
}

}  // namespace
}  // namespace tavrin::test
