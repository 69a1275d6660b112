// Playback through the speed stage, driven buffer by buffer: how long a
// recording plays at each speed (counted in device blocks), that the pitch
// stays, that the recording's own audio comes through untouched at 1×, and
// that a stop leaves the recording where the listener was, so that an edit
// goes in there at any speed.
#include <cmath>
#include <numbers>

#include "engine/EngineHarness.h"
#include "speed/SonicSpeedStage.h"
#include "wav/WavBytes.h"

namespace tavrin::engine::testing {
namespace {

// One device block: 200 ms.
constexpr double kBlockSeconds = 0.2;

std::vector<std::uint8_t> Tone16(std::uint32_t rate, double seconds, double hz) {
    const auto samples = static_cast<std::size_t>(rate * seconds);
    std::vector<std::uint8_t> bytes(samples * 2);
    for (std::size_t i = 0; i < samples; ++i) {
        const auto v = static_cast<std::int16_t>(12000 * std::sin(2 * std::numbers::pi * hz * i / rate));
        wav::StoreLe16(bytes.data() + 2 * i, static_cast<std::uint16_t>(v));
    }
    return bytes;
}

std::vector<std::int16_t> Samples16(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>(wav::LoadLe16(&bytes[2 * i]));
    return samples;
}

// The frequency between `low` and `high` (1 Hz steps) where the signal is strongest.
double DominantHz(const std::vector<std::int16_t>& s, std::uint32_t rate, int low, int high) {
    double best = 0;
    int bestHz = low;
    for (int hz = low; hz <= high; ++hz) {
        double re = 0, im = 0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            const double phase = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
            re += s[i] * std::cos(phase);
            im += s[i] * std::sin(phase);
        }
        if (re * re + im * im > best) {
            best = re * re + im * im;
            bestHz = hz;
        }
    }
    return bestHz;
}

class SpeedPlaybackTest : public EngineTest {
public:
    void SetUp() override {
        memory.setAvailablePhysical(2u << 20);
        fs.setFreeSpace(64u << 20);
        EngineServices services{in, out, fs, memory, system, shell, clock, thread, cues,
                                [](std::function<void()>) { return true; }};
        services.speed = &stage;
        engine = std::make_unique<AudioEngine>(services);
        ASSERT_TRUE(engine->Init(sink).Ok());
        engine->SetStorage(dir.path(), platform::Media::Slow);
    }

    void Open(std::uint32_t code, const std::vector<std::uint8_t>& audio) {
        const wav::WaveFormat& record = wav::FindByCode(code)->format;
        test::WavBytes file = test::RecordingFile(record, static_cast<std::uint32_t>(audio.size()));
        std::copy(audio.begin(), audio.end(), file.bytes.end() - static_cast<std::ptrdiff_t>(audio.size()));
        test::WriteBytes(dir.file("play.wav"), file.bytes);
        AudioFileInfo info;
        ASSERT_TRUE(engine->OpenFile(dir.file("play.wav"), platform::Media::Slow, info).Ok());
    }

    // Plays to the end; the number of buffers the device was given.
    int PlayToEnd() {
        int written = 0;
        Pump();
        while (out.isOpen() && written < 100000) {
            if (!out.complete()) return -1;
            ++written;
            Pump();
        }
        return written;
    }

    speed::SonicSpeedStage stage;
};

struct LengthCase {
    const char* name;
    std::uint32_t code;
    std::size_t bytes;        // of the recording
    std::uint32_t rate;       // of the device
    double seconds;           // of the recording
    std::uint32_t hundredths;
};

class SpeedLength : public SpeedPlaybackTest, public ::testing::WithParamInterface<LengthCase> {};

// How long a playback lasts is what the device was given, counted in frames:
// the recording's length over the speed, give or take one block.
TEST_P(SpeedLength, PlaysForTheRecordingsLengthOverTheSpeed) {
    const LengthCase c = GetParam();
    std::vector<std::uint8_t> audio(c.bytes);
    for (std::size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<std::uint8_t>(i * 13 + i / 7);
    Open(c.code, audio);
    engine->SetPlaybackSpeed(c.hundredths);
    ASSERT_TRUE(engine->PlayStart().Ok());
    EXPECT_EQ(out.openedFormat(), (platform::AudioFormat{1, 1, c.rate, c.rate * 2, 2, 16, 0, 0}));
    const int buffers = PlayToEnd();
    ASSERT_GT(buffers, 0);
    const double played = static_cast<double>(out.played().size()) / 2 / c.rate;
    const double expected = c.seconds * 100 / c.hundredths;
    EXPECT_NEAR(played, expected, kBlockSeconds) << buffers << " buffers";
    EXPECT_NEAR(buffers * kBlockSeconds, expected, kBlockSeconds) << "whole blocks, but the last";
    EXPECT_EQ(sink.ids().back(), kEvPlayEnd);
    EXPECT_EQ(EngineProbe(*engine).position(), 0u) << "a playback that ran to the end starts again at 0";
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, SpeedLength,
    ::testing::Values(LengthCase{"TenSeconds22kAtDouble", wav::kCodePcm22k16, 441000, 22050, 10.0, 200},
                      LengthCase{"TenSeconds22kAtHalf", wav::kCodePcm22k16, 441000, 22050, 10.0, 50},
                      LengthCase{"FiveSeconds8k8bitAtThreeQuarters", wav::kCodePcm8k8, 40000, 8000, 5.0, 75},
                      LengthCase{"FiveSeconds11kAtOneAndAHalf", wav::kCodePcm11k16, 110250, 11025, 5.0, 150},
                      LengthCase{"SixSecondsGsmAtTriple", wav::kCodeGsm, 65 * 150, 8000, 6.0, 300},
                      LengthCase{"SixSecondsGsmAsItIs", wav::kCodeGsm, 65 * 150, 8000, 6.0, 100},
                      LengthCase{"ShorterThanOneBlockAtDouble", wav::kCodePcm8k16, 1000, 8000, 500.0 / 8000, 200}),
    CaseName<LengthCase>);

// At the recording's own speed the stage hands 16-bit audio through untouched.
TEST_F(SpeedPlaybackTest, AtItsOwnSpeedTheRecordingPlaysBitForBit) {
    const std::vector<std::uint8_t> audio = Tone16(8000, 1.3, 300);
    Open(wav::kCodePcm8k16, audio);
    ASSERT_TRUE(engine->PlayStart().Ok());
    ASSERT_GT(PlayToEnd(), 0);
    EXPECT_EQ(out.played(), audio);
}

// Faster or slower, a tone keeps its pitch.
TEST_F(SpeedPlaybackTest, ATonePlayedFasterOrSlowerKeepsItsPitch) {
    for (const std::uint32_t hundredths : {50u, 150u, 300u}) {
        SCOPED_TRACE(hundredths);
        Open(wav::kCodePcm22k16, Tone16(22050, 4.0, 440));
        engine->SetPlaybackSpeed(hundredths);
        const std::size_t before = out.played().size();
        ASSERT_TRUE(engine->PlayStart().Ok());
        ASSERT_GT(PlayToEnd(), 0);
        const std::vector<std::int16_t> played =
            Samples16({out.played().begin() + static_cast<std::ptrdiff_t>(before), out.played().end()});
        // Half a second from the middle, away from the ends.
        const std::size_t from = played.size() / 2;
        const std::vector<std::int16_t> middle(played.begin() + static_cast<std::ptrdiff_t>(from),
                                               played.begin() + static_cast<std::ptrdiff_t>(from + 11025));
        EXPECT_NEAR(DominantHz(middle, 22050, 300, 700), 440.0, 440.0 * 0.02);
        ASSERT_TRUE(engine->CloseFile().Ok());
    }
}

TEST_F(SpeedPlaybackTest, ASpeedOutsideTheStepsIsIgnored) {
    engine->SetPlaybackSpeed(150);
    engine->SetPlaybackSpeed(120);
    engine->SetPlaybackSpeed(0);
    EXPECT_EQ(engine->PlaybackSpeed(), 150u);
}

// A seek drops what the stage held from before it: the blocks filled after
// it start at the place sought, and the listener's place follows from there.
TEST_F(SpeedPlaybackTest, ASeekDuringPlaybackGoesOnFromThePlaceSought) {
    Open(wav::kCodePcm8k16, Tone16(8000, 4.0, 300));
    engine->SetPlaybackSpeed(200);
    ASSERT_TRUE(engine->PlayStart().Ok());
    Pump();
    ASSERT_TRUE(out.complete());
    Pump();
    ASSERT_TRUE(engine->SetPosition(2000));  // frame 16,000
    Pump();
    EXPECT_EQ(engine->GetPositionMs(), 2000u);
    for (int heard = 0; heard < 3; ++heard) {
        ASSERT_TRUE(out.complete());
        Pump();
    }
    engine->Stop();
    Pump();
    // Blocks of 1,600 frames at 2x hold 3,200 of the recording: the first
    // after the seek has been heard, the second not.
    EXPECT_EQ(EngineProbe(*engine).storage().CurrentReadSample(), 16000u + 3200u);
    EXPECT_EQ(engine->GetPositionMs(), 2400u);
}

enum class Edit { Insert, Overwrite };

struct HeardCase {
    const char* name;
    Edit edit;
    std::vector<std::uint32_t> speeds;  // per buffer heard, the speed it was filled at
    std::uint32_t heardFrames;          // where the listener is after them
};

class HeardEdit : public SpeedPlaybackTest, public ::testing::WithParamInterface<HeardCase> {};

// A stop leaves the recording at the first frame not yet heard, counted in
// the recording: 1,600 device frames at 8 kHz hold 2,400 recording frames at
// 1.5×. An edit chosen then goes in exactly there.
TEST_P(HeardEdit, AnEditAfterAStopGoesInWhereTheListenerWas) {
    const HeardCase c = GetParam();
    std::vector<std::uint8_t> old(8000 * 2 * 4);  // four seconds of 8 kHz 16-bit
    for (std::size_t i = 0; i < old.size(); ++i) old[i] = static_cast<std::uint8_t>(1 + i % 251);
    Open(wav::kCodePcm8k16, old);
    engine->SetPlaybackSpeed(c.speeds.front());
    ASSERT_TRUE(engine->PlayStart().Ok());
    Pump();  // two buffers in flight, filled at the first speed
    for (std::size_t k = 0; k < c.speeds.size(); ++k) {
        // The buffer filled next, two behind the one heard, plays at the next speed.
        if (k + 2 < c.speeds.size()) engine->SetPlaybackSpeed(c.speeds[k + 2]);
        ASSERT_TRUE(out.complete());
        Pump();
    }
    engine->Stop();
    Pump();
    ASSERT_FALSE(out.isOpen());
    EXPECT_EQ(EngineProbe(*engine).storage().CurrentReadSample(), c.heardFrames);
    EXPECT_EQ(engine->GetPositionMs(), c.heardFrames / 8);

    ASSERT_TRUE((c.edit == Edit::Insert ? engine->RecordInsert() : engine->RecordOverwrite()).Ok());
    Pump();
    Fill16(0x1234);
    StopCapture();
    ASSERT_TRUE(engine->CloseFile().Ok());

    std::vector<std::uint8_t> added(3200);  // one 200 ms block of 0x1234
    for (std::size_t i = 0; i < added.size(); i += 2) wav::StoreLe16(&added[i], 0x1234);
    const auto at = old.begin() + static_cast<std::ptrdiff_t>(c.heardFrames * 2);
    std::vector<std::uint8_t> model(old.begin(), at);
    model.insert(model.end(), added.begin(), added.end());
    // An overwrite ends the recording with what it recorded.
    if (c.edit == Edit::Insert) model.insert(model.end(), at, old.end());
    EXPECT_EQ(Audio("play.wav"), model);
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, HeardEdit,
    ::testing::Values(HeardCase{"InsertAtOneAndAHalf", Edit::Insert, {150, 150, 150}, 3 * 2400},
                      HeardCase{"OverwriteAtOneAndAHalf", Edit::Overwrite, {150, 150, 150, 150}, 4 * 2400},
                      HeardCase{"InsertAfterTheSpeedChanged", Edit::Insert, {100, 100, 200, 150}, 2 * 1600 + 3200 + 2400},
                      HeardCase{"InsertAtHalf", Edit::Insert, {50, 50, 50, 50, 50}, 5 * 800}),
    CaseName<HeardCase>);

}  // namespace
}  // namespace tavrin::engine::testing
