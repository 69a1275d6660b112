// The PortAudio devices against a real sound server: the test's own
// PulseAudio (see with-pulseaudio.sh), whose microphone is a pipe we speak
// into and whose speaker is a pipe we listen to.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "RealSoundRig.h"
#include "SinkLog.h"
#include "engine/AudioEngine.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "platform/posix/StderrShell.h"
#include "platform/portaudio/PortAudioCueSounds.h"
#include "platform/portaudio/PortAudioWaveIn.h"
#include "platform/portaudio/PortAudioWaveOut.h"
#include "support/RecordingEventSink.h"

namespace tavrin::test {
namespace {

using platform::AudioFormat;
using platform::WaveBuffer;
using platform::portaudio::PortAudioWaveIn;
using platform::portaudio::PortAudioWaveOut;
namespace mm = platform::mm;
namespace mmr = platform::mmr;
namespace whdr = platform::whdr;
using Clock = std::chrono::steady_clock;

constexpr double kPatience = 5.0;  // seconds for a device to answer at all

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// What every test shares: the sound server's pipes, the spoken sentence and
// a scratch folder.
class RealSound : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* mic = std::getenv("TAVRIN_TEST_MIC_PIPE");
        const char* speaker = std::getenv("TAVRIN_TEST_SPEAKER_PIPE");
        if (!mic || !speaker) return;
        std::random_device random;
        folder = new std::filesystem::path(std::filesystem::temp_directory_path() /
                                           ("tavrin-realsound-" + std::to_string(random())));
        std::filesystem::create_directories(*folder);
        feeder = new MicFeeder(mic);
        tap = new SpeakerTap(speaker);
        sentence = new std::vector<std::int16_t>(SpokenSentence(folder->string()));
    }
    static void TearDownTestSuite() {
        delete feeder;
        delete tap;
        delete sentence;
        if (folder) std::filesystem::remove_all(*folder);
        delete folder;
        feeder = nullptr;
        tap = nullptr;
        sentence = nullptr;
        folder = nullptr;
    }
    void SetUp() override {
        if (!feeder) GTEST_SKIP() << "run through with-pulseaudio.sh: no sound server pipes";
        ASSERT_FALSE(sentence->empty()) << "espeak-ng and sox must be installed to speak the test sentence";
    }

    static double SentenceSeconds() { return double(sentence->size()) / kPipeRate; }

    static std::filesystem::path* folder;
    static MicFeeder* feeder;
    static SpeakerTap* tap;
    static std::vector<std::int16_t>* sentence;
};

std::filesystem::path* RealSound::folder = nullptr;
MicFeeder* RealSound::feeder = nullptr;
SpeakerTap* RealSound::tap = nullptr;
std::vector<std::int16_t>* RealSound::sentence = nullptr;

// Two 200 ms buffers, handed back and queued again, as the recorder does.
struct Blocks {
    explicit Blocks(const AudioFormat& f) : bytes(f.avgBytesPerSec / 5) {
        for (int i = 0; i < 2; ++i) {
            storage[i].assign(bytes, 0);
            headers[i] = WaveBuffer{storage[i].data(), bytes, 0, 0};
        }
    }
    std::uint32_t bytes;
    std::vector<std::uint8_t> storage[2];
    WaveBuffer headers[2];
};

struct Capture {
    std::vector<std::uint8_t> bytes;
    double firstData = 0;  // seconds from open to the first filled buffer
};

// Records until `seconds` of audio came back; the sentence starts with the
// first filled buffer.
Capture Record(const AudioFormat& f, MicFeeder& mic, const std::vector<std::int16_t>& speech, double seconds) {
    Capture result;
    PortAudioWaveIn in;
    SinkLog sink;
    Blocks blocks(f);
    mic.SetActive(true);
    const auto opened = Clock::now();
    EXPECT_EQ(in.open(f, sink), mmr::NoError);
    for (auto& h : blocks.headers) {
        EXPECT_EQ(in.prepare(h), mmr::NoError);
        EXPECT_EQ(in.add(h), mmr::NoError);
    }
    EXPECT_EQ(in.start(), mmr::NoError);
    const std::size_t wanted = static_cast<std::size_t>(seconds * f.avgBytesPerSec);
    std::size_t seen = 0;
    while (result.bytes.size() < wanted) {
        if (!sink.waitFor(seen + 1, kPatience)) {
            ADD_FAILURE() << "no filled buffer within " << kPatience << " s";
            break;
        }
        const auto entry = sink.entries()[seen++];
        if (seen == 1) {
            result.firstData = SecondsSince(opened);
            mic.Speak(speech);
        }
        EXPECT_EQ(entry.message, mm::WimData);
        EXPECT_EQ(entry.bytes, entry.buffer->length) << "only a reset hands back a partly filled buffer";
        result.bytes.insert(result.bytes.end(), entry.data.begin(), entry.data.end());
        EXPECT_EQ(in.add(*entry.buffer), mmr::NoError);
    }
    EXPECT_EQ(in.reset(), mmr::NoError);
    for (const auto& entry : sink.entries()) EXPECT_EQ(entry.bytes % f.blockAlign, 0u);
    for (auto& h : blocks.headers) EXPECT_EQ(in.unprepare(h), mmr::NoError);
    EXPECT_EQ(in.lostBytes(), 0u);
    EXPECT_EQ(in.close(), mmr::NoError);
    mic.SetActive(false);
    return result;
}

// Plays `bytes` through two buffers refilled as they come back; true once
// the device has closed.
bool Play(const AudioFormat& f, const std::vector<std::uint8_t>& bytes, std::uint32_t volume = 0xFFFFFFFF) {
    PortAudioWaveOut out;
    SinkLog sink;
    Blocks blocks(f);
    if (out.setVolume(volume) != mmr::NoError || out.open(f, sink) != mmr::NoError) return false;
    std::size_t next = 0;
    int pending = 0;
    auto refill = [&](WaveBuffer& h) {
        const std::size_t n = std::min<std::size_t>(blocks.bytes, bytes.size() - next);
        if (n == 0) return;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(next), n, h.data);
        next += n;
        h.length = static_cast<std::uint32_t>(n);
        EXPECT_EQ(out.write(h), mmr::NoError);
        ++pending;
    };
    for (auto& h : blocks.headers) {
        EXPECT_EQ(out.prepare(h), mmr::NoError);
        refill(h);
    }
    std::size_t seen = 0;
    while (pending > 0) {
        if (!sink.waitFor(seen + 1, kPatience)) return false;
        const auto entry = sink.entries()[seen++];
        EXPECT_EQ(entry.message, mm::WomDone);
        --pending;
        refill(*entry.buffer);
    }
    for (auto& h : blocks.headers) EXPECT_EQ(out.unprepare(h), mmr::NoError);
    EXPECT_EQ(out.close(), mmr::NoError);
    const auto log = sink.entries();
    return !log.empty() && log.back().message == mm::WomClose;
}

TEST_F(RealSound, TheServerOffersEveryRecordingFormat) {
    PortAudioWaveIn in;
    PortAudioWaveOut out;
    ASSERT_TRUE(in.present());
    ASSERT_TRUE(out.present());
    for (const auto& f : RecordingFormats()) {
        EXPECT_TRUE(in.isFormatSupported(f.format)) << f.name;
        EXPECT_TRUE(out.isFormatSupported(f.format)) << f.name;
    }
}

// GSM and 8-bit samples are rougher copies than 16-bit ones.
double LeastCorrelation(const AudioFormat& f) {
    return f.formatTag == platform::kFormatTagGsm ? 0.9 : f.bitsPerSample == 8 ? 0.97 : 0.98;
}
// Nearly every piece of the sentence must be there; a busy machine may make
// the server miss a moment now and then.
constexpr double kShare = 0.8;

class RealSoundFormat : public RealSound, public ::testing::WithParamInterface<NamedFormat> {};

TEST_P(RealSoundFormat, WhatIsSpokenIsRecorded) {
    const auto& f = GetParam().format;
    const Capture captured = Record(f, *feeder, *sentence, SentenceSeconds() + 1.2);
    const auto decoded = DecodeWithSox(folder->string(), f, captured.bytes);
    ASSERT_TRUE(decoded) << "sox could not read what was recorded";
    const Match match = FindIn(*sentence, *decoded);
    std::printf("[ figures  ] record %-8s first buffer after %.0f ms, correlation %.3f, level %.2f\n", GetParam().name,
                captured.firstData * 1000, match.Median(), match.level);
    EXPECT_GE(match.Share(LeastCorrelation(f)), kShare);
    EXPECT_NEAR(match.level, 1.0, 0.25);
    EXPECT_LT(captured.firstData, 1.0);
}

TEST_P(RealSoundFormat, WhatIsPlayedReachesTheSpeaker) {
    const auto& f = GetParam().format;
    const auto bytes = EncodeWithSox(folder->string(), f, *sentence);
    ASSERT_TRUE(bytes && !bytes->empty()) << "sox could not make the sound to play";
    const std::size_t mark = tap->Mark();
    ASSERT_TRUE(Play(f, *bytes));
    // A buffer comes back once it has been heard, so the speaker has it all.
    const auto heard = tap->Since(mark);
    if (const char* dump = std::getenv("TAVRIN_REALSOUND_DUMP")) {
        std::vector<std::uint8_t> raw(heard.size() * 2);
        std::memcpy(raw.data(), heard.data(), raw.size());
        WriteFile(std::string(dump) + "/heard-" + GetParam().name + ".raw", raw);
        WriteFile(std::string(dump) + "/played-" + GetParam().name + ".raw", *bytes);
    }
    const Match match = FindIn(*sentence, heard);
    std::printf("[ figures  ] play   %-8s correlation %.3f, level %.2f\n", GetParam().name, match.Median(),
                match.level);
    EXPECT_GE(match.Share(LeastCorrelation(f)), kShare);
    EXPECT_NEAR(match.level, 1.0, 0.25);
}

INSTANTIATE_TEST_SUITE_P(Formats, RealSoundFormat, ::testing::ValuesIn(RecordingFormats()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(RealSound, VolumeScalesWhatReachesTheSpeaker) {
    const AudioFormat f = RecordingFormats()[2].format;  // 8 kHz 16-bit
    const auto bytes = EncodeWithSox(folder->string(), f, *sentence);
    ASSERT_TRUE(bytes);
    const std::size_t mark = tap->Mark();
    ASSERT_TRUE(Play(f, *bytes, 0x40004000));
    const Match quarter = FindIn(*sentence, tap->Since(mark));
    EXPECT_GE(quarter.Share(0.95), kShare);
    EXPECT_NEAR(quarter.level, 0.25, 0.05);
}

TEST_F(RealSound, ResetHandsBackAPartlyFilledBufferWithWhatItHolds) {
    const AudioFormat f = RecordingFormats()[4].format;  // 11 kHz 16-bit
    PortAudioWaveIn in;
    SinkLog sink;
    std::vector<std::uint8_t> big(f.avgBytesPerSec * 3);
    WaveBuffer header{big.data(), static_cast<std::uint32_t>(big.size()), 0, 0};
    feeder->SetActive(true);
    ASSERT_EQ(in.open(f, sink), mmr::NoError);
    ASSERT_EQ(in.prepare(header), mmr::NoError);
    ASSERT_EQ(in.add(header), mmr::NoError);
    EXPECT_EQ(in.close(), mmr::StillPlaying);
    ASSERT_EQ(in.start(), mmr::NoError);
    // Real time has to pass for a real device to record anything.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    ASSERT_EQ(in.reset(), mmr::NoError);
    const auto log = sink.entries();  // reset returns only once the buffer is back
    ASSERT_EQ(log.size(), 1u);
    EXPECT_GT(log[0].bytes, 0u);
    EXPECT_LT(log[0].bytes, header.length);
    EXPECT_EQ(log[0].bytes % 2, 0u);
    EXPECT_EQ(header.bytesRecorded, log[0].bytes);
    EXPECT_EQ(header.flags & (whdr::Done | whdr::InQueue), whdr::Done);
    ASSERT_EQ(in.unprepare(header), mmr::NoError);
    EXPECT_EQ(in.close(), mmr::NoError);
    feeder->SetActive(false);
}

TEST_F(RealSound, OutputResetHandsEverythingBackAtOnceAndTheDeviceStaysBusyUntilClosed) {
    const AudioFormat f = RecordingFormats()[5].format;  // 22 kHz 16-bit
    PortAudioWaveOut out;
    PortAudioWaveOut other;
    SinkLog sink;
    std::vector<std::uint8_t> a(f.avgBytesPerSec), b(f.avgBytesPerSec);
    WaveBuffer ha{a.data(), static_cast<std::uint32_t>(a.size()), 0, 0};
    WaveBuffer hb{b.data(), static_cast<std::uint32_t>(b.size()), 0, 0};
    ASSERT_EQ(out.open(f, sink), mmr::NoError);
    EXPECT_EQ(out.open(f, sink), mmr::Allocated);
    for (auto* h : {&ha, &hb}) {
        ASSERT_EQ(out.prepare(*h), mmr::NoError);
        ASSERT_EQ(out.write(*h), mmr::NoError);
    }
    ASSERT_EQ(out.pause(), mmr::NoError);
    EXPECT_EQ(out.close(), mmr::StillPlaying);
    ASSERT_EQ(out.reset(), mmr::NoError);
    auto log = sink.entries();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].buffer, &ha);
    EXPECT_EQ(log[1].buffer, &hb);
    EXPECT_EQ(out.close(), mmr::NoError);
    log = sink.entries();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[2].message, mm::WomClose);
    // Closed, the device is free again.
    EXPECT_EQ(other.open(f, sink), mmr::NoError);
    EXPECT_EQ(other.close(), mmr::NoError);
}

// The real engine on its own thread over the sound server's devices, as the
// program runs it. Like the program's, it is never destroyed.
struct RealEngine {
    RealEngine()
        : engine(engine::EngineServices{in, out, files, memory, system, shell, clock, thread, cues}) {}
    PortAudioWaveIn in;
    PortAudioWaveOut out;
    platform::PosixFileSystem files;
    platform::PosixMemory memory;
    platform::PosixSystemInfo system;
    platform::StderrShell shell;
    platform::SteadyClock clock;
    platform::PosixThread thread;
    platform::SilentCues cues;
    RecordingEventSink events;
    engine::AudioEngine engine;
};

// The server reports a buffer once it has been heard, so the buffers played
// out just before a pause come back during it; playback must go on whole
// after each resume and end by itself.
TEST_F(RealSound, PlaybackPausedAndResumedPlaysOnAndEnds) {
    const AudioFormat f = RecordingFormats()[0].format;  // GSM
    ASSERT_EQ(f.formatTag, platform::kFormatTagGsm);
    const auto bytes = EncodeWithSox(folder->string(), f, *sentence);
    ASSERT_TRUE(bytes && !bytes->empty()) << "sox could not make the sound to play";
    const std::string file = (*folder / "paused.wav").string();
    ASSERT_TRUE(WriteFile(file, WavImage(f, *bytes)));

    static RealEngine* rig = new RealEngine;
    ASSERT_TRUE(rig->engine.Init(rig->events).Ok());
    engine::AudioFileInfo info;
    ASSERT_TRUE(rig->engine.OpenFile(file, platform::Media::Slow, info).Ok());
    const std::size_t mark = tap->Mark();
    const auto began = Clock::now();
    ASSERT_TRUE(rig->engine.PlayStart().Ok());
    // Three pauses, each long enough for the buffers in flight to be heard.
    constexpr int kPauses = 3;
    constexpr auto kPlayed = std::chrono::milliseconds(500);
    constexpr auto kPaused = std::chrono::milliseconds(400);
    for (int i = 0; i < kPauses; ++i) {
        std::this_thread::sleep_for(kPlayed);
        ASSERT_TRUE(rig->engine.Pause());
        std::this_thread::sleep_for(kPaused);
        ASSERT_TRUE(rig->engine.Resume());
    }
    const double expected = SentenceSeconds() + kPauses * std::chrono::duration<double>(kPaused).count();
    const bool ended = rig->events.waitFor(engine::kEvPlayEnd, std::chrono::milliseconds(int((expected + 3) * 1000)));
    const double took = SecondsSince(began);
    ASSERT_TRUE(ended) << "playback never ended; events: " << rig->events.ids().size();
    const auto ids = rig->events.ids();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), engine::kEvPausedOn), kPauses);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), engine::kEvPausedOff), kPauses);
    EXPECT_EQ(ids.back(), engine::kEvPlayEnd);
    EXPECT_TRUE(rig->engine.CloseFile().Ok());
    // Audio lost in a limp shows as gaps between the pieces of the sentence.
    const Match match = FindIn(*sentence, tap->Since(mark));
    std::printf("[ figures  ] paused playback took %.2f s for %.2f s of audio and pauses, correlation %.3f\n", took,
                expected, match.Median());
    // Limping on one buffer stretches the playback by half; a busy machine, a little.
    EXPECT_LT(took, expected + 1.5);
    // The pauses split pieces of the sentence, so only most of them match.
    EXPECT_GE(match.Median(), 0.8);
}

TEST_F(RealSound, CueSoundsAreHeardAndTakeNoLongerThanThemselves) {
    platform::PosixFileSystem files;
    platform::portaudio::PortAudioCueSounds cues(files, {TAVRIN_TEST_SOUNDS_DIR});
    for (const char* name : {"RecStart", "RecEnd"}) {
        const auto& sound = cues.Find(name);
        ASSERT_FALSE(sound.samples.empty()) << name;
        const double length = double(sound.samples.size()) / sound.rate;
        const std::size_t mark = tap->Mark();
        const auto began = Clock::now();
        cues.playSync(name);
        const double took = SecondsSince(began);
        std::printf("[ figures  ] cue %-8s %.0f ms long, playSync took %.0f ms\n", name, length * 1000, took * 1000);
        // Closing the stream after the cut-off is the only time allowed beyond the sound's own.
        EXPECT_LT(took, length + 0.1) << name;
        // Let the sound travel through the server, then look for it.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto heard = tap->Since(mark);
        double loudest = 0;
        for (std::size_t at = 0; at + 400 <= heard.size(); at += 400) {
            double sum = 0;
            for (std::size_t i = at; i < at + 400; ++i) sum += double(heard[i]) * heard[i];
            loudest = std::max(loudest, std::sqrt(sum / 400));
        }
        EXPECT_GT(loudest, 2000) << name << " was not heard";
    }
}

// A stream whose delivery thread cannot be made is closed again and the
// device answers NoMem; the library's lock must be free afterwards, or every
// later open, probe and cue sound of the process would hang behind it.
TEST_F(RealSound, OutputWithoutADeliveryThreadRefusesTheOpenAndBlocksNothing) {
    const AudioFormat f = RecordingFormats()[1].format;
    PortAudioWaveOut starved([](std::thread&, std::function<void()>) { return false; });
    PortAudioWaveOut out;
    SinkLog sink;
    EXPECT_EQ(starved.open(f, sink), mmr::NoMem);
    EXPECT_TRUE(out.isFormatSupported(f));
    ASSERT_EQ(out.open(f, sink), mmr::NoError);
    EXPECT_EQ(out.close(), mmr::NoError);
    EXPECT_EQ(starved.close(), mmr::InvalidHandle) << "nothing stays open";
}

}  // namespace
}  // namespace tavrin::test
