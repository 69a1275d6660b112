// The sound-server devices against the test's own PulseAudio (see
// with-pulseaudio.sh): what tavrin-cli's real-sound tests do not reach -
// pausing playback, resetting a capture, and a server that restarts under a
// device that stays.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "realsound/RealSoundRig.h"
#include "SinkLog.h"
#include "platform/pulse/PulseWaveIn.h"
#include "platform/pulse/PulseWaveOut.h"
#include "platform/pulse/ServerQueries.h"

namespace tavrin::test {
namespace {

using platform::AudioFormat;
using platform::WaveBuffer;
using platform::pulse::PulseWaveIn;
using platform::pulse::PulseWaveOut;
using platform::pulse::QueryDevices;
using platform::pulse::ServerAnswers;
using platform::pulse::SoundDevice;
namespace mm = platform::mm;
namespace mmr = platform::mmr;
namespace whdr = platform::whdr;
using namespace std::chrono_literals;

const AudioFormat kPcm8k16 = RecordingFormats()[2].format;

// One second of a 440 Hz tone at 8 kHz, 16-bit.
std::vector<std::uint8_t> ToneSecond() {
    std::vector<std::uint8_t> bytes(16000);
    for (std::size_t i = 0; i < 8000; ++i) {
        const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440 * i / 8000.0)));
        bytes[2 * i] = static_cast<std::uint8_t>(v);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    return bytes;
}

std::size_t Audible(const std::vector<std::int16_t>& samples) {
    std::size_t n = 0;
    for (const auto s : samples) n += std::abs(s) > 200;
    return n;
}

class PulseRealSound : public ::testing::Test {
protected:
    void SetUp() override {
        const char* speaker = std::getenv("TAVRIN_TEST_SPEAKER_PIPE");
        if (!speaker || !std::getenv("TAVRIN_TEST_RESTART_SERVER")) {
            GTEST_SKIP() << "run through with-pulseaudio.sh: no sound server";
        }
        tap = std::make_unique<SpeakerTap>(speaker);
    }
    std::unique_ptr<SpeakerTap> tap;
};

// While paused nothing comes back that was not heard, and nothing queued is
// lost: once restarted both seconds play to the end.
TEST_F(PulseRealSound, PausedPlaybackHandsNothingBackAndLosesNothing) {
    PulseWaveOut out;
    SinkLog sink;
    auto a = ToneSecond(), b = ToneSecond();
    WaveBuffer ha{a.data(), 16000, 0, 0}, hb{b.data(), 16000, 0, 0};
    ASSERT_EQ(out.open(kPcm8k16, sink), mmr::NoError);
    const std::size_t mark = tap->Mark();
    for (auto* h : {&ha, &hb}) {
        ASSERT_EQ(out.prepare(*h), mmr::NoError);
        ASSERT_EQ(out.write(*h), mmr::NoError);
    }
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(out.pause(), mmr::NoError);
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(sink.size(), 0u) << "a buffer came back while paused";
    EXPECT_EQ(out.close(), mmr::StillPlaying);
    ASSERT_EQ(out.restart(), mmr::NoError);
    ASSERT_TRUE(sink.waitFor(2, 5.0));
    const auto log = sink.entries();
    EXPECT_EQ(log[0].buffer, &ha);
    EXPECT_EQ(log[1].buffer, &hb);
    std::this_thread::sleep_for(200ms);
    const std::size_t heard = Audible(tap->Since(mark));
    EXPECT_NEAR(double(heard), 16000.0, 800.0) << "two seconds of tone, once each";
    for (auto* h : {&ha, &hb}) EXPECT_EQ(out.unprepare(*h), mmr::NoError);
    EXPECT_EQ(out.close(), mmr::NoError);
    EXPECT_EQ(sink.entries().back().message, mm::WomClose);
}

// A reset of a running capture hands the buffer in progress back with what
// it holds, and the untouched one empty.
TEST_F(PulseRealSound, ResetHandsBackWhatACaptureHolds) {
    ASSERT_TRUE(test::Run("pactl load-module module-sine-source source_name=tone frequency=440"));
    PulseWaveIn in;
    in.SetSource("tone");
    SinkLog sink;
    std::vector<std::uint8_t> big(48000), next(48000);
    WaveBuffer h1{big.data(), 48000, 0, 0}, h2{next.data(), 48000, 0, 0};
    ASSERT_EQ(in.open(kPcm8k16, sink), mmr::NoError);
    EXPECT_FALSE(in.TakeMissingSource());
    for (auto* h : {&h1, &h2}) {
        ASSERT_EQ(in.prepare(*h), mmr::NoError);
        ASSERT_EQ(in.add(*h), mmr::NoError);
    }
    ASSERT_EQ(in.start(), mmr::NoError);
    std::this_thread::sleep_for(700ms);
    ASSERT_EQ(in.reset(), mmr::NoError);
    const auto log = sink.entries();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].buffer, &h1);
    EXPECT_GT(log[0].bytes, 0u);
    EXPECT_LT(log[0].bytes, 48000u);
    EXPECT_EQ(log[0].bytes % 2, 0u);
    EXPECT_EQ(log[1].bytes, 0u);
    EXPECT_EQ(h1.flags & (whdr::Done | whdr::InQueue), whdr::Done);
    for (auto* h : {&h1, &h2}) EXPECT_EQ(in.unprepare(*h), mmr::NoError);
    EXPECT_EQ(in.close(), mmr::NoError);
    EXPECT_TRUE(test::Run("pactl unload-module module-sine-source"));
}

// Records 0.4 s from `in`; false when the device refused or delivered nothing.
bool RecordBriefly(PulseWaveIn& in) {
    SinkLog sink;
    std::vector<std::uint8_t> storage(3200 * 2);
    WaveBuffer h[2] = {{storage.data(), 3200, 0, 0}, {storage.data() + 3200, 3200, 0, 0}};
    if (in.open(kPcm8k16, sink) != mmr::NoError) return false;
    for (auto& b : h) {
        if (in.prepare(b) != mmr::NoError || in.add(b) != mmr::NoError) return false;
    }
    const bool started = in.start() == mmr::NoError;
    const bool filled = started && sink.waitFor(2, 5.0);
    static_cast<void>(in.reset());
    for (auto& b : h) static_cast<void>(in.unprepare(b));
    return in.close() == mmr::NoError && filled && sink.entries()[0].bytes == 3200;
}

// The window asks whether there is a microphone on its own thread while the
// engine asks before it records: both share the one connection for
// questions, taking turns, and every answer is the server's.
TEST_F(PulseRealSound, QuestionsFromTwoThreadsTakeTurnsOnOneConnection) {
    PulseWaveIn in;
    PulseWaveOut out;
    int inAnswers = 0, outAnswers = 0;
    std::thread window([&] {
        for (int i = 0; i < 20; ++i) inAnswers += in.present() ? 1 : 0;
    });
    for (int i = 0; i < 20; ++i) outAnswers += out.present() && ServerAnswers() ? 1 : 0;
    window.join();
    EXPECT_EQ(inAnswers, 20);
    EXPECT_EQ(outAnswers, 20);
}

// The desktop's sound server may restart while the recorder runs: the same
// device records again without being made anew. Last, as it restarts the
// server the other tests use.
TEST_F(PulseRealSound, ZzTheSameDeviceRecordsAgainAfterTheServerRestarted) {
    PulseWaveIn in;
    in.SetSource("tone");
    ASSERT_TRUE(test::Run("pactl load-module module-sine-source source_name=tone frequency=440"));
    // The questions' kept connection is made before the restart and must
    // be found gone after it.
    EXPECT_TRUE(in.present());
    PulseWaveOut out;
    EXPECT_TRUE(out.present());
    EXPECT_TRUE(RecordBriefly(in));
    tap.reset();
    ASSERT_TRUE(test::Run(std::getenv("TAVRIN_TEST_RESTART_SERVER")));
    ASSERT_TRUE(test::Run("pactl load-module module-sine-source source_name=tone frequency=440"));
    EXPECT_TRUE(ServerAnswers());
    EXPECT_TRUE(in.present());
    EXPECT_TRUE(out.present());
    const auto devices = QueryDevices();
    ASSERT_TRUE(devices.has_value());
    EXPECT_TRUE(std::any_of(devices->sources.begin(), devices->sources.end(),
                            [](const SoundDevice& d) { return d.name == "tone"; }));
    EXPECT_TRUE(RecordBriefly(in));
    EXPECT_FALSE(in.TakeMissingSource());
}

}  // namespace
}  // namespace tavrin::test
