// Whole recordings on the engine thread, with a WAV file as the microphone:
// what lands in the recording is what the device delivered.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "engine/AudioEngine.h"
#include "platform/file/FileWaveIn.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixFileSystem.h"
#include "support/FakeClock.h"
#include "support/FakeMemory.h"
#include "support/RecordingEventSink.h"
#include "support/RecordingShell.h"
#include "support/ScriptedWaveDevice.h"
#include "support/TempDir.h"
#include "wav/Formats.h"

namespace tavrin::engine {
namespace {

// Tells the test when the engine thread played "RecEnd", its last step of a
// recording.
class SignallingCueSounds : public platform::CueSounds {
public:
    void playSync(const char* name) override {
        std::lock_guard lock(mutex);
        if (std::string(name) == "RecEnd") ended = true;
        done.notify_all();
    }
    bool WaitForRecEnd() {
        std::unique_lock lock(mutex);
        return done.wait_for(lock, std::chrono::seconds(120), [&] { return ended; });
    }

private:
    std::mutex mutex;
    std::condition_variable done;
    bool ended = false;
};

// The engine of a recording and everything under it. Like the program's
// engine it is never destroyed; its thread waits for messages forever.
struct Rig {
    explicit Rig(std::uint64_t inputBytes)
        : in(files, {false, inputBytes, [this] { engine.Stop(); }}),
          engine(EngineServices{in, out, files, memory, system, shell, clock, thread, cues}) {}

    platform::PosixFileSystem files;
    test::FakeMemory memory;
    test::FakeSystemInfo system;
    test::RecordingShell shell;
    platform::SteadyClock clock;
    test::FakeThread thread;
    SignallingCueSounds cues;
    platform::file::FileWaveIn in;
    test::ScriptedWaveOut out;
    test::RecordingEventSink sink;
    AudioEngine engine;
};

std::vector<std::uint8_t> WavImage(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                                   const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> v(44);
    std::memcpy(v.data(), "RIFF", 4);
    wav::StoreLe32(&v[4], static_cast<std::uint32_t>(36 + data.size()));
    std::memcpy(&v[8], "WAVEfmt ", 8);
    wav::StoreLe32(&v[16], 16);
    wav::StoreLe16(&v[20], 1);
    wav::StoreLe16(&v[22], channels);
    wav::StoreLe32(&v[24], rate);
    wav::StoreLe32(&v[28], rate * channels * bits / 8);
    wav::StoreLe16(&v[32], static_cast<std::uint16_t>(channels * bits / 8));
    wav::StoreLe16(&v[34], bits);
    std::memcpy(&v[36], "data", 4);
    wav::StoreLe32(&v[40], static_cast<std::uint32_t>(data.size()));
    v.insert(v.end(), data.begin(), data.end());
    return v;
}

// Two tones and a slow swell: a signal no codec reproduces by accident.
std::int16_t Signal(std::size_t i, std::uint32_t rate) {
    const double t = static_cast<double>(i) / rate;
    const double swell = 0.5 + 0.5 * std::sin(2 * M_PI * 1.5 * t);
    const double value = 9000 * swell * std::sin(2 * M_PI * 440 * t) + 4000 * std::sin(2 * M_PI * 1130 * t);
    return static_cast<std::int16_t>(value);
}

class FileRecordingTest : public ::testing::Test {
protected:
    // Records `seconds` of the input file in `format` and returns the file.
    std::vector<std::uint8_t> Record(const std::vector<std::uint8_t>& input, std::uint32_t format, double seconds) {
        test::WriteBytes(dir.file("in.wav"), input);
        const wav::WaveFormat& f = wav::FindByCode(format)->format;
        rig = new Rig(static_cast<std::uint64_t>(seconds * f.avgBytesPerSec));
        rig->memory.setAvailablePhysical(4u << 20);
        std::string error;
        EXPECT_TRUE(rig->in.Load(dir.file("in.wav"), error)) << error;
        EXPECT_TRUE(rig->engine.Init(rig->sink).Ok());
        EXPECT_TRUE(rig->engine.SetFormat(format));
        rig->engine.SetStorage(dir.path(), platform::Media::Slow);
        EXPECT_TRUE(rig->engine.RecordStart(dir.file("rec.wav")).Ok());
        EXPECT_TRUE(rig->cues.WaitForRecEnd());
        EXPECT_EQ(rig->sink.ids(), (std::vector<std::uint32_t>{kEvRecordStart, kEvRecordEnd, kEvFileReady}));
        return test::ReadBytes(dir.file("rec.wav"));
    }

    test::TempDir dir;
    Rig* rig = nullptr;  // leaked on purpose, see Rig
};

TEST_F(FileRecordingTest, PcmInTheRecordingFormatIsStoredByteForByte) {
    std::vector<std::uint8_t> samples;
    for (std::size_t i = 0; i < 16000; ++i) {
        const auto s = static_cast<std::uint16_t>(Signal(i, 8000));
        samples.push_back(static_cast<std::uint8_t>(s));
        samples.push_back(static_cast<std::uint8_t>(s >> 8));
    }
    const std::vector<std::uint8_t> file = Record(WavImage(1, 8000, 16, samples), wav::kCodePcm8k16, 1.4);
    ASSERT_EQ(file.size(), 44u + 22400u) << "exactly 1.4 s of 16,000 bytes per second";
    EXPECT_TRUE(std::equal(file.begin() + 44, file.end(), samples.begin()));
    EXPECT_EQ(wav::LoadLe32(&file[40]), 22400u);
}

TEST_F(FileRecordingTest, StereoInputIsMixedAndResampledToTheRecordingFormat) {
    // 22.05 kHz stereo 16-bit; 11.025 kHz 8-bit keeps every other frame's mix.
    std::vector<std::uint8_t> samples;
    std::vector<std::int32_t> mixes;
    for (std::size_t i = 0; i < 22050; ++i) {
        const std::int16_t left = Signal(i, 22050);
        const auto right = static_cast<std::int16_t>(-left / 3);
        for (std::int16_t s : {left, right}) {
            samples.push_back(static_cast<std::uint8_t>(s));
            samples.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8));
        }
        mixes.push_back((left + right) / 2);
    }
    const std::vector<std::uint8_t> file = Record(WavImage(2, 22050, 16, samples), wav::kCodePcm11k8, 0.6);
    ASSERT_EQ(file.size(), 44u + 6615u);
    for (std::size_t n = 0; n < 6615; ++n) {
        ASSERT_EQ(file[44 + n], static_cast<std::uint8_t>((mixes[2 * n] >> 8) + 128)) << "sample " << n;
    }
}

TEST_F(FileRecordingTest, GsmRecordingDecodesToTheInputSignal) {
    std::vector<std::uint8_t> samples;
    std::vector<std::int16_t> original;
    for (std::size_t i = 0; i < 16000; ++i) {
        original.push_back(Signal(i, 8000));
        const auto s = static_cast<std::uint16_t>(original.back());
        samples.push_back(static_cast<std::uint8_t>(s));
        samples.push_back(static_cast<std::uint8_t>(s >> 8));
    }
    const std::vector<std::uint8_t> file = Record(WavImage(1, 8000, 16, samples), wav::kCodeGsm, 2.0);
    ASSERT_EQ(file.size(), 60u + 3250u);
    EXPECT_EQ(wav::LoadLe32(&file[48]), 50u) << "fifty 65-byte blocks";

    if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
    const std::string command = "sox '" + dir.file("rec.wav") + "' -t raw -e signed-integer -b 16 -c 1 -r 8000 -";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::int16_t> decoded(20000);
    const std::size_t got = std::fread(decoded.data(), sizeof(std::int16_t), decoded.size(), pipe);
    ASSERT_EQ(pclose(pipe), 0);
    ASSERT_EQ(got, 16000u);
    double dot = 0, a = 0, b = 0;
    for (std::size_t i = 320; i < got; ++i) {  // past the codec's start-up
        dot += static_cast<double>(original[i]) * decoded[i];
        a += static_cast<double>(original[i]) * original[i];
        b += static_cast<double>(decoded[i]) * decoded[i];
    }
    EXPECT_GT(dot / std::sqrt(a * b), 0.85);
}

// The Recording page opens and closes its meter on the UI thread while the
// engine thread measures and requeues the microphone's buffers as fast as
// the device fills them. A buffer queued again to a device being closed
// would keep it open: the next start would find it taken.
TEST_F(FileRecordingTest, LevelMonitorStartsAndStopsWhileTheEngineThreadRequeues) {
    std::vector<std::uint8_t> samples(16000, 128 + 90);
    test::WriteBytes(dir.file("in.wav"), WavImage(1, 8000, 8, samples));
    rig = new Rig(std::uint64_t{1} << 40);  // never runs dry
    std::string error;
    ASSERT_TRUE(rig->in.Load(dir.file("in.wav"), error)) << error;
    ASSERT_TRUE(rig->engine.Init(rig->sink).Ok());
    for (int round = 0; round < 40; ++round) {
        ASSERT_TRUE(rig->engine.StartLevelMonitor(wav::kCodePcm8k8)) << "round " << round;
        const std::uint64_t from = rig->in.delivered();
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);  // a hung device, not timing
        while (rig->in.delivered() < from + 4 * 1600) {
            ASSERT_LT(std::chrono::steady_clock::now(), limit) << "the meter's buffers stopped coming back";
            std::this_thread::yield();
        }
        rig->engine.StopLevelMonitor();
        EXPECT_FALSE(rig->engine.LevelMonitorRunning());
    }
    EXPECT_TRUE(rig->sink.ids().empty()) << "the meter raises no event";
    EXPECT_FALSE(std::filesystem::exists(dir.file("rec.wav")));
}

}  // namespace
}  // namespace tavrin::engine
