// The actions every state shares, reached through the operations that use them.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ControllerRig.h"
#include "controller/Duration.h"

namespace tavrin::test {
namespace {

using controller::Control;
using engine::ResultCode;
using Op = ScriptedEngine::Op;

TEST(Duration, WritesHoursMinutesSecondsWithAtLeastTwoDigitsEach) {
    EXPECT_EQ(controller::FormatDuration(0), "00:00:00");
    EXPECT_EQ(controller::FormatDuration(59), "00:00:59");
    EXPECT_EQ(controller::FormatDuration(3661), "01:01:01");
    EXPECT_EQ(controller::FormatDuration(100 * 3600 + 5), "100:00:05");
    EXPECT_EQ(controller::FormatDuration(-3), "00:00:00");
}

TEST(CheckResult, AWarningIsShownAndDropsTheRecordingBackToIdle) {
    ControllerRig rig;
    rig.toFileSelected(rig.path("a.wav"));
    rig.engine.failNext(Op::PlayStart, ResultCode(0x21000000, 534));
    rig.current().OnPlay();

    ASSERT_EQ(rig.shell.boxes().size(), 1u);
    EXPECT_EQ(rig.shell.boxes()[0].text, "Error code:\n0x21000000\n0x216");
    EXPECT_EQ(rig.shell.boxes()[0].caption, "Tavrin");
    EXPECT_TRUE(rig.in(StateId::Idle));
    EXPECT_EQ(rig.window.CurrentPath(), "");
    EXPECT_EQ(rig.engine.currentMode(), ScriptedEngine::Mode::Closed);
    EXPECT_FALSE(rig.window.quitCode());
}

TEST(CheckResult, AFatalResultEndsTheProgramAfterItsMessage) {
    ControllerRig rig;
    rig.engine.failNext(Op::RecordStart, ResultCode(0x12000002, 7));
    rig.current().OnRecord();

    ASSERT_EQ(rig.shell.boxes().size(), 1u);
    EXPECT_EQ(rig.shell.boxes()[0].text, "Not enough memory for this audio format");
    EXPECT_EQ(rig.shell.boxes()[0].caption, "Unrecoverable Internal Error");
    EXPECT_EQ(rig.window.quitCode(), 0);
    EXPECT_TRUE(rig.in(StateId::Idle));
}

TEST(CheckResult, AFailureWithoutEitherBitLeavesTheStateAndItsGreyedSoftKeys) {
    ControllerRig rig;
    rig.toFileSelected(rig.path("a.wav"));
    rig.engine.failNext(Op::RecordAppend, ResultCode(0x02000009, 1));
    rig.current().OnRecordAppend();

    ASSERT_EQ(rig.shell.boxes().size(), 1u);
    EXPECT_EQ(rig.shell.boxes()[0].text, "Can't record in this format");
    EXPECT_TRUE(rig.in(StateId::FileSelected));
    EXPECT_FALSE(rig.window.softKeyEnabled(controller::cmd::Record));
    EXPECT_FALSE(rig.window.quitCode());
}

// Each location goes to the engine as the shell classifies it: recording,
// opening, playing a deferred recording and the time left all ask about the
// location in hand, not about the last one asked.
TEST(Media, EveryCallFollowsTheShellsClassificationOfItsLocation) {
    for (const bool documentsFast : {true, false}) {
        ControllerRig rig;
        const std::string fastOne = documentsFast ? rig.dir.path() : "/nowhere";
        rig.shell.setFastLocations({fastOne});
        const char* speed = documentsFast ? "fast" : "slow";
        const std::string a = rig.path("a.wav");
        const auto commanded = [&](const std::string& call) {
            const auto& c = rig.engine.commands();
            return std::find(c.begin(), c.end(), call) != c.end();
        };

        rig.current().OnRecord();
        EXPECT_EQ(rig.engine.calls()[3], "SetStorage(" + rig.dir.path() + "," + speed + ")");
        rig.engine.deliverAll();
        rig.current().OnRemainingTimer();
        EXPECT_EQ(rig.engine.calls().back(), "RemainingSeconds(0x10000000," + rig.dir.path() + "," + speed + ")");
        rig.current().OnStop();
        rig.engine.deliverAll();
        EXPECT_TRUE(commanded("OpenFile(" + rig.path("Recording1.wav") + "," + speed + ")")) << "reopened after saving";
        rig.clear();

        rig.current().OnActivateRecording(a);
        EXPECT_TRUE(commanded("OpenFile(" + a + "," + speed + ")"));
        rig.engine.deliverAll();
        // Another recording chosen during playback is opened once the playback ended.
        rig.current().OnActivateRecording("/nowhere/b.wav");
        rig.engine.deliverAll();
        EXPECT_TRUE(commanded(std::string("OpenFile(/nowhere/b.wav,") + (documentsFast ? "slow" : "fast") + ")"));
    }
}

TEST(SelectRecording, OpensANewPathAndOnlyReadsTheFactsOfTheOpenOne) {
    ControllerRig rig;
    const std::string a = rig.path("a.wav");
    rig.engine.setFacts(a, {1, 1, 1625, 520, 4'000});
    rig.current().OnActivateRecording(a);
    EXPECT_EQ(rig.engine.commands().front(), "OpenFile(" + a + ",slow)");
    EXPECT_EQ(rig.window.LengthMs(), 4'000);
    EXPECT_EQ(rig.window.fileFactsRefreshes(), 1);
    EXPECT_EQ(rig.window.panelRefreshes(), 1);
    rig.engine.deliverAll();
    rig.current().OnStop();
    rig.engine.deliverAll();
    rig.clear();

    rig.current().OnActivateRecording(a);  // the same recording again
    EXPECT_EQ(rig.engine.commands().front(), "GetFileInfo(" + a + ")");
    EXPECT_EQ(rig.engine.commands().at(1), "PlayStart");
}

TEST(SelectRecording, AFileThatCannotBeOpenedIsToldAndDropped) {
    ControllerRig rig;
    // A file that looks playable: the engine's refusal has no cause the file shows.
    WriteBytes(rig.path("broken.wav"), ReadBytes(TAVRIN_FIXTURE_DIR "/pcm-8k-8bit.wav"));
    rig.engine.failNext(Op::OpenFile, ResultCode(0x21000000, 1996));
    rig.current().OnActivateRecording(rig.path("broken.wav"));

    EXPECT_EQ(rig.shell.lastBox().text, "Error code:\n0x21000000\n0x7CC");
    EXPECT_TRUE(rig.in(StateId::Idle));
    EXPECT_EQ(rig.window.CurrentPath(), "");
    EXPECT_EQ(rig.engine.commands().back(), "CloseFile");
}

TEST(HaltStep, ClosesTheMenuGreysBothSoftKeysAndStopsForwardingKeys) {
    ControllerRig rig;
    rig.toPlay(rig.path("a.wav"));
    rig.window.openMenu();
    rig.current().OnPause();
    EXPECT_FALSE(rig.window.menuOpen());
    EXPECT_FALSE(rig.window.softKeyEnabled(controller::cmd::Pause));
    EXPECT_FALSE(rig.window.softKeyEnabled(controller::cmd::Menu));
    EXPECT_FALSE(rig.window.keyForwarding());

    rig.engine.deliverAll();  // PausedOn: the next Enter gives them back
    EXPECT_TRUE(rig.window.softKeyEnabled(controller::cmd::Pause));
    EXPECT_TRUE(rig.window.softKeyEnabled(controller::cmd::Menu));
    EXPECT_TRUE(rig.window.keyForwarding());
}

struct SeekCase {
    std::uint32_t position;
    std::int32_t length;
    bool forward;
    std::int32_t expected;
};

class SeekPercent : public ::testing::TestWithParam<SeekCase> {};

TEST_P(SeekPercent, MovesATenthOfTheLengthWithinTheRecording) {
    const SeekCase c = GetParam();
    ControllerRig rig;
    rig.engine.setDefaultFacts({0, 1, 8000, 8, static_cast<std::uint32_t>(c.length)});
    rig.toFileSelected(rig.path("a.wav"));
    rig.engine.setPositionMs(c.position);
    if (c.forward) {
        rig.current().OnFF();
    } else {
        rig.current().OnREW();
    }
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"SetPosition(" + std::to_string(c.expected) + ")"});
}

INSTANTIATE_TEST_SUITE_P(Cases, SeekPercent,
                         ::testing::Values(SeekCase{0, 10'000, true, 1'000}, SeekCase{5'000, 10'000, false, 4'000},
                                           SeekCase{9'500, 10'000, true, 9'999},  // stops at length - 1
                                           SeekCase{300, 10'000, false, 0},       // stops at 0
                                           SeekCase{0, 999, true, 99}, SeekCase{50, 999, false, 0},
                                           SeekCase{0, 0, true, 0}));  // an empty recording winds to 0

TEST(ShowPosition, FileSelectedShowsTheNewPositionAfterWinding) {
    ControllerRig rig;
    rig.engine.setDefaultFacts({0, 1, 8000, 8, 100'000});
    rig.toFileSelected(rig.path("a.wav"));
    rig.current().OnFF();
    EXPECT_EQ(rig.window.positionText(), "00:00:10");
    rig.engine.deliverAll();  // PosSet: entered again, soft keys back
    EXPECT_TRUE(rig.window.softKeyEnabled(controller::cmd::Record));
}

TEST(ShowThumbTime, ShowsTheTimeUnderTheThumbInWholeSeconds) {
    ControllerRig rig;
    rig.engine.setDefaultFacts({0, 1, 8000, 8, 3'600'000});
    rig.toFileSelected(rig.path("a.wav"));
    for (auto [slider, text] : std::vector<std::pair<int, std::string>>{
             {0, "00:00:00"}, {500, "00:30:00"}, {1000, "01:00:00"}, {1, "00:00:03"}}) {
        rig.current().HandlePositionThumbTrack(slider);
        EXPECT_EQ(rig.window.positionText(), text) << slider;
    }
    EXPECT_TRUE(rig.engine.calls().empty());
}

TEST(SetVolumeFromSlider, IgnoresChangesSmallerThanSixPercentOfTheLastVolumeSet) {
    ControllerRig rig;
    // The volume is 100 - slider; the last volume set starts at 0.
    rig.current().HandleVolumeThumbTrack(97);  // 3: too close to 0
    EXPECT_TRUE(rig.engine.calls().empty());
    rig.current().HandleVolumeThumbTrack(94);  // 6: far enough
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"SetVolume(6)"});
    rig.clear();
    rig.current().HandleVolumeThumbTrack(89);  // 11: 5 away from 6
    EXPECT_TRUE(rig.engine.calls().empty());
    rig.current().HandleVolumeThumbTrack(100);  // 0: 6 away, downwards
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"SetVolume(0)"});
    EXPECT_EQ(rig.ctl.vars.lastVolume, 0);
}

TEST(SetVolumeFromSlider, AFailedVolumeIsToldAndNotRememberedAsSet) {
    ControllerRig rig;
    rig.engine.failNext(Op::SetVolume, ResultCode(0x02000000 | 12, 1305));
    rig.current().HandleVolumeThumbTrack(50);
    EXPECT_EQ(rig.shell.lastBox().text, "Can't set volume on this device");
    EXPECT_EQ(rig.ctl.vars.lastVolume, 0);
    rig.clear();
    rig.current().HandleVolumeThumbTrack(50);  // tried again, since it was never set
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"SetVolume(50)"});
    EXPECT_EQ(rig.ctl.vars.lastVolume, 50);
}

// The volume keys walk the slider's road in steps, from the volume kept at
// the last start; each press is shown for a moment and kept for the next run,
// and a press past either end changes nothing.
TEST(VolumeKeys, StepFromTheKeptVolumeInEveryStateShowItAndKeepIt) {
    for (const StateId id : {StateId::Idle, StateId::FileSelected, StateId::Play, StateId::PausePlay,
                             StateId::Record, StateId::PauseRecordInsert}) {
        SCOPED_TRACE(static_cast<int>(id));
        ControllerRig rig;
        ASSERT_TRUE(rig.store.writeNumber("Playback", "Volume", 80));
        rig.settings.readVolume();
        rig.ctl.RestoreVolume();
        EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"SetVolume(80)"});
        rig.ctl.Force(id);
        rig.clear();
        const auto press = [&](std::uint32_t key, int times) {
            for (int i = 0; i < times; ++i) rig.current().OnKey(key);
        };
        press(settings::vk::VolumeUp, 3);
        EXPECT_EQ(rig.engine.commands(), (std::vector<std::string>{"SetVolume(90)", "SetVolume(100)"}));
        EXPECT_EQ(rig.window.flashed(), "Volume 100%");
        rig.clear();
        press(settings::vk::VolumeDown, 2);
        EXPECT_EQ(rig.engine.commands(), (std::vector<std::string>{"SetVolume(90)", "SetVolume(80)"}));
        EXPECT_EQ(rig.window.flashed(), "Volume 80%");
        settings::Settings next(rig.store);
        next.readVolume();
        EXPECT_EQ(next.volume(), 80);
        EXPECT_TRUE(rig.in(id));
        EXPECT_TRUE(rig.shell.boxes().empty());
    }
}

struct PowerCase {
    bool external;
    std::uint8_t battery;
    bool keepsAwake;
};

class KeepAwake : public ::testing::TestWithParam<PowerCase> {};

TEST_P(KeepAwake, ResetsTheIdleTimerOnExternalPowerOrAHealthyBattery) {
    const PowerCase c = GetParam();
    ControllerRig rig;
    rig.toRecord();
    rig.window.setPowerStatus({c.external, c.battery});
    rig.current().OnKeepAwakeTimer();
    EXPECT_EQ(rig.window.idleTimerResets(), c.keepsAwake ? 1 : 0);
}

namespace battery = controller::battery;
INSTANTIATE_TEST_SUITE_P(
    Cases, KeepAwake,
    ::testing::Values(PowerCase{true, battery::Unknown, true}, PowerCase{true, battery::Critical, true},
                      PowerCase{false, battery::High, true}, PowerCase{false, battery::Low, true},
                      PowerCase{false, battery::Charging, true},
                      PowerCase{false, battery::Critical | battery::Charging, true},
                      PowerCase{false, battery::Critical, false}, PowerCase{false, battery::NoBattery, false},
                      PowerCase{false, battery::Unknown, false}));

TEST(EventDispatch, EveryApplicationMessageReachesTheOperationOfTheSameMeaning) {
    // Each message goes to a state that reports the operation, which names it.
    const std::vector<std::pair<std::uint32_t, std::string>> expected{
        {0x8001, "OnRequestPlay"},           {0x8002, "OnRequestRecordAppend"},
        {0x8003, "OnRequestRecordInsert"},   {0x8004, "OnRequestRecordOverwrite"},
        {0x800C, "OnPlayStart"},             {0x800D, "OnPlayEnd"},
        {0x800E, "OnPosSet"},                {0x800F, "OnWaterMark"},
        {0x8010, "OnPausedOn"},              {0x8011, "OnPausedOff"},
        {0x8014, "OnFileReady"},             {0x8015, "OnRecordStart"},
        {0x8016, "OnRecordActivated"},       {0x8017, "OnRecordEnd"},
        {0x8018, "OnSilenceCut"},            {0x8019, "OnTooSlow"},
        {0x801E, "OnOverwriteFileReady"},    {0x801F, "OnOverwriteRecordStart"},
        {0x8020, "OnOverwriteRecordActivated"}, {0x8021, "OnOverwriteRecordEnd"},
        {0x8022, "OnOverwriteSilenceCut"},   {0x8023, "OnOverwriteTooSlow"},
        {0x8028, "OnAppendFileReady"},       {0x8029, "OnAppendRecordStart"},
        {0x802A, "OnAppendRecordActivated"}, {0x802B, "OnAppendRecordEnd"},
        {0x802C, "OnAppendSilenceCut"},      {0x802D, "OnAppendTooSlow"},
        {0x8032, "OnInsertFileReady"},       {0x8033, "OnInsertRecordStart"},
        {0x8034, "OnInsertRecordActivated"}, {0x8035, "OnInsertRecordEnd"},
        {0x8036, "OnInsertSilenceCut"},      {0x8037, "OnInsertTooSlow"},
    };
    for (const auto& [message, operation] : expected) {
        ControllerRig rig;
        // StatePauseRecordOverwrite reports all of these but PausedOff.
        const StateId id = operation == "OnPausedOff" ? StateId::Idle : StateId::PauseRecordOverwrite;
        rig.ctl.Force(id);
        EXPECT_TRUE(controller::DispatchAppMessage(rig.current(), message));
        EXPECT_EQ(rig.shell.lastBox().text,
                  InternalErrorText(std::string(rig.state(id).ClassName()), operation));
    }
}

TEST(EventDispatch, MessagesWithoutAStateOperationAreLeftToTheWindow) {
    ControllerRig rig;
    for (std::uint32_t message : {0x8000u, 0x8005u, 0x8006u, 0x800Bu, 0x8012u, 0x8013u, 0x801Au, 0x801Du, 0x8024u,
                                  0x8038u, 0x803Cu, 0x0400u}) {
        EXPECT_FALSE(controller::DispatchAppMessage(rig.current(), message)) << message;
    }
    EXPECT_TRUE(rig.shell.boxes().empty());
}

}  // namespace
}  // namespace tavrin::test
