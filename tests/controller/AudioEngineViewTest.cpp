// The states' view of the real engine: facts copied field by field, edits
// keeping the thresholds of the last new recording, calls reaching the engine.
#include <gtest/gtest.h>

#include "controller/AudioEngineView.h"
#include "support/EngineProbe.h"
#include "support/FakeClock.h"
#include "support/FakeMemory.h"
#include "support/FaultyFileSystem.h"
#include "support/RecordingEventSink.h"
#include "support/RecordingShell.h"
#include "support/ScriptedWaveDevice.h"
#include "support/TempDir.h"
#include "wav/Formats.h"

namespace tavrin::controller {
namespace {

class AudioEngineViewTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::FaultyFileSystem fs;
    test::FakeMemory memory{fs.plan()};
    test::FakeSystemInfo system;
    test::RecordingShell shell;
    test::FakeClock clock;
    test::FakeThread thread;
    test::RecordingCueSounds cues;
    test::ScriptedWaveIn in;
    test::ScriptedWaveOut out;
    test::RecordingEventSink sink;
    engine::AudioEngine audio{engine::EngineServices{in, out, fs, memory, system, shell, clock, thread, cues,
                                                     [](std::function<void()>) { return true; }}};
    AudioEngineView view{audio};
};

TEST_F(AudioEngineViewTest, FactsOfARecordingArriveInTheControllersRecord) {
    ASSERT_TRUE(audio.Init(sink).Ok());
    view.SetStorage(dir.path(), platform::Media::Slow);
    ASSERT_TRUE(view.SetFormat(wav::kCodePcm11k16));
    ASSERT_TRUE(view.RecordStart(dir.file("a.wav")).Ok());
    while (auto message = audio.Queue().tryTake()) audio.HandleMessage(*message);
    ASSERT_TRUE(in.deliverSample16(1000));
    view.Stop();
    while (auto message = audio.Queue().tryTake()) audio.HandleMessage(*message);
    ASSERT_TRUE(view.CloseFile().Ok());

    AudioFileInfo info{9, 9, 9, 9, 9};
    ASSERT_TRUE(view.GetFileInfo(dir.file("a.wav"), info).Ok());
    EXPECT_EQ(info, (AudioFileInfo{0, 1, 11025, 16, 200}));
    AudioFileInfo opened;
    ASSERT_TRUE(view.OpenFile(dir.file("a.wav"), platform::Media::Slow, opened).Ok());
    EXPECT_EQ(opened, info);
    AudioFileInfo untouched{7, 7, 7, 7, 7};
    EXPECT_FALSE(view.OpenFile(dir.file("missing.wav"), platform::Media::Slow, untouched).Ok());
    EXPECT_EQ(untouched, (AudioFileInfo{7, 7, 7, 7, 7})) << "a failure leaves the record alone";
}

TEST_F(AudioEngineViewTest, CaptureSwitchesKeepTheLastThresholds) {
    view.SetCaptureOptions({true, 25, true, 15, 3000});
    view.SetCaptureSwitches(false, true);
    engine::EngineProbe probe(audio);
    EXPECT_FALSE(probe.voiceActivation());
    EXPECT_TRUE(probe.silenceCut());
    EXPECT_EQ(probe.activationPercent(), 25u);
    EXPECT_EQ(probe.silencePercent(), 15u);
    EXPECT_EQ(probe.silenceMs(), 3000u);
}

}  // namespace
}  // namespace tavrin::controller
