#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "SinkLog.h"
#include "StreamDouble.h"
#include "platform/stream/GsmFraming.h"
#include "platform/pulse/PulsePlayback.h"

namespace tavrin::test {
namespace {

using platform::WaveBuffer;
using platform::stream::DeviceFormat;
using platform::stream::GsmFraming;
using platform::pulse::PlayClock;
using platform::pulse::PulsePlayback;
namespace whdr = platform::whdr;

std::vector<std::uint8_t> Tone(std::size_t bytes) {
    std::vector<std::int16_t> s(bytes / 2);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(9000 * std::sin(0.07 * double(i)));
    auto out = AsBytes(s);
    out.resize(bytes, 0x80);
    return out;
}

// GSM blocks as a recording holds them: the tone, encoded.
std::vector<std::uint8_t> GsmBlocks(std::size_t blocks) {
    GsmFraming encoder(GsmFraming::Direction::Encode);
    const auto pcm = AsSamples(Tone(blocks * 320 * 2));
    std::vector<std::uint8_t> out;
    encoder.Encode(pcm.data(), static_cast<std::uint32_t>(pcm.size()),
                   [&](const std::uint8_t* block, std::int32_t) { out.insert(out.end(), block, block + 65); });
    return out;
}

// What a device that padded nothing and skipped nothing would play.
std::vector<std::uint8_t> Expected(const DeviceFormat& format, const std::vector<std::uint8_t>& bytes) {
    if (!format.gsm) return bytes;
    GsmFraming decoder(GsmFraming::Direction::Decode);
    std::vector<std::int16_t> pcm(bytes.size() / 65 * 320);
    std::size_t next = 0;
    decoder.Decode(pcm.data(), static_cast<std::uint32_t>(pcm.size()), [&](std::uint8_t* block, std::uint32_t) {
        if (next + 65 > bytes.size()) return false;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(next), 65, block);
        next += 65;
        return true;
    });
    return AsBytes(pcm);
}

// The write callback is only ever given what the buffers hold: when the
// server asks while nothing is queued it gets nothing (no silence that would
// push the next buffer back), and a buffer queued late plays right after the
// one before, whatever sizes the server asks for.
TEST(PulsePlayback, TakesOnlyWhatIsQueuedSoALateBufferFollowsWithoutAGap) {
    struct Case {
        const char* name;
        DeviceFormat format;
        std::uint32_t bufferBytes;
        std::vector<std::uint32_t> asks;  // frames per callback
    };
    const Case cases[] = {
        {"8-bit", {8000, 1, false, 1}, 1600, {700, 333, 1600}},
        {"16-bit", {22050, 2, false, 2}, 8820, {1000, 4410, 17}},
        {"GSM", {8000, 2, true, 65}, 325, {100, 320, 1000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PulsePlayback playback(c.format);
        ASSERT_TRUE(playback.ready());
        const auto source = c.format.gsm ? GsmBlocks(15) : Tone(3 * c.bufferBytes);
        StreamDouble buffers(3, c.bufferBytes);
        auto& queue = playback.buffers();
        std::vector<std::uint8_t> heard;
        std::vector<std::uint8_t> chunk;
        std::size_t queued = 0, call = 0;
        auto render = [&]() {
            const std::uint32_t ask = c.asks[call++ % c.asks.size()];
            chunk.assign(std::size_t{ask} * c.format.sampleBytes, 0xEE);
            const std::uint32_t got = playback.Render(chunk.data(), ask, 0);
            heard.insert(heard.end(), chunk.begin(), chunk.begin() + std::ptrdiff_t{got} * c.format.sampleBytes);
            SinkLog sink;
            static_cast<void>(queue.DeliverDue(sink, 0));
            return got;
        };
        for (int i = 0; i < 2; ++i) {
            auto& h = buffers.buffers()[static_cast<std::size_t>(i)];
            std::copy_n(source.begin() + std::ptrdiff_t(queued), c.bufferBytes, h.data);
            queued += c.bufferBytes;
            ASSERT_TRUE(queue.Queue(h));
        }
        while (render() > 0) {
        }
        EXPECT_EQ(render(), 0u) << "asked again with nothing queued, it still takes nothing";
        auto& late = buffers.buffers()[2];
        std::copy_n(source.begin() + std::ptrdiff_t(queued), c.bufferBytes, late.data);
        ASSERT_TRUE(queue.Queue(late));
        while (render() > 0) {
        }
        EXPECT_EQ(heard, Expected(c.format, source));
    }
}

// A played buffer comes back once its last byte has been heard: when the
// first rendered byte plays plus the buffer's length.
TEST(PulsePlayback, ABufferIsDueWhenItsLastByteIsHeard) {
    struct Case {
        const char* name;
        DeviceFormat format;
        std::uint32_t bufferBytes;
        double seconds;  // of one buffer
    };
    const Case cases[] = {
        {"16-bit 8 kHz", {8000, 2, false, 2}, 3200, 0.2},
        {"GSM", {8000, 2, true, 65}, 325, 0.2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PulsePlayback playback(c.format);
        StreamDouble buffers(1, c.bufferBytes);
        ASSERT_TRUE(playback.buffers().Queue(buffers.buffers()[0]));
        std::vector<std::int16_t> out(4000);
        EXPECT_EQ(playback.Render(out.data(), 4000, 5.0), std::uint32_t(c.seconds * 8000));
        SinkLog sink;
        EXPECT_NEAR(playback.buffers().DeliverDue(sink, 5.0 + c.seconds - 0.05), 0.05, 1e-6);
        EXPECT_EQ(sink.size(), 0u) << "not yet heard";
        EXPECT_EQ(playback.buffers().DeliverDue(sink, 5.0 + c.seconds + 1e-6), 0.0);
        EXPECT_EQ(sink.size(), 1u);
    }
}

// The device's volume scales what is rendered, 8-bit around its midpoint;
// the mono stream follows the left half of the volume word.
TEST(PulsePlayback, VolumeScalesWhatIsRendered) {
    struct Case {
        const char* name;
        DeviceFormat format;
        std::vector<std::uint8_t> in;
        std::vector<std::uint8_t> out;
    };
    const Case cases[] = {
        {"16-bit", {8000, 2, false, 2}, AsBytes({4000, -4000, 0, 32767}), AsBytes({1000, -1000, 0, 8191})},
        {"8-bit", {8000, 1, false, 1}, {0x80, 0xC0, 0x40, 0xFF}, {0x80, 0x90, 0x70, 0x9F}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PulsePlayback playback(c.format);
        playback.SetVolume(0xFFFF4000);
        StreamDouble buffers(1, static_cast<std::uint32_t>(c.in.size()));
        std::copy(c.in.begin(), c.in.end(), buffers.buffers()[0].data);
        ASSERT_TRUE(playback.buffers().Queue(buffers.buffers()[0]));
        std::vector<std::uint8_t> rendered(c.in.size());
        EXPECT_EQ(playback.Render(rendered.data(), 4, 0), 4u);
        EXPECT_EQ(rendered, c.out);
    }
}

// While paused the clock a held buffer waits on stands still, so nothing
// unheard comes back during a pause; on resuming it runs on from where it stopped.
TEST(PlayClock, StandsStillWhilePausedAndRunsOnFromThere) {
    PlayClock clock;
    const double before = clock.Now();
    clock.Pause();
    const double stopped = clock.Now();
    EXPECT_GE(stopped, before);
    clock.Pause();  // a second pause changes nothing
    volatile double spin = 0;
    for (int i = 0; i < 2'000'000; ++i) spin = spin + 1;
    EXPECT_EQ(clock.Now(), stopped);
    clock.Resume();
    const double resumed = clock.Now();
    EXPECT_GE(resumed, stopped);
    EXPECT_LT(resumed - stopped, 0.001) << "the paused time is not counted";
    clock.Resume();  // a second resume changes nothing
    EXPECT_LT(clock.Now() - stopped, 0.5);
}

}  // namespace
}  // namespace tavrin::test
