// StatePlay and StatePausePlay, with the deferred requests that PlayEnd starts.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ControllerRig.h"

namespace tavrin::test {
namespace {

using controller::Control;
using engine::ResultCode;
using settings::Function;
using Op = ScriptedEngine::Op;
namespace cmd = controller::cmd;
namespace answer = platform::answer;

constexpr std::uint32_t kKey7 = settings::vk::Digit0 + 7;

TEST(StatePlay, EnterShowsThePlayIconAndOffersPause) {
    ControllerRig rig;
    rig.window.Show(Control::AppendIcon, true);
    rig.toPlay(rig.path("a.wav"));
    EXPECT_TRUE(rig.window.IsShown(Control::PlayIcon));
    EXPECT_FALSE(rig.window.IsShown(Control::AppendIcon));
    EXPECT_EQ(rig.window.LeftSoftKeyCommand(), cmd::Pause);
    EXPECT_EQ(rig.window.leftSoftKeyLabel(), "Pause");
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Pause));
    EXPECT_TRUE(rig.window.keyForwarding());
}

TEST(StatePlay, StopAndHaltStopTheEngineAndPlayEndSelectsTheRecording) {
    for (bool halt : {false, true}) {
        ControllerRig rig;
        rig.toPlay(rig.path("a.wav"));
        rig.window.ShowLevel(50);
        if (halt) {
            rig.current().OnHalt();
        } else {
            rig.current().OnStop();
        }
        EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Stop"});
        EXPECT_FALSE(rig.window.softKeyEnabled(cmd::Pause));
        EXPECT_TRUE(rig.in(StateId::Play));
        rig.engine.deliverAll();
        EXPECT_TRUE(rig.in(StateId::FileSelected));
        EXPECT_FALSE(rig.window.IsShown(Control::PlayIcon));
        EXPECT_EQ(rig.window.level(), 0u);
        EXPECT_TRUE(rig.window.sentRequests().empty());
    }
}

TEST(StatePlay, APausedOnThatIsNotTheUsersKeepsPlaying) {
    ControllerRig rig;
    rig.toPlay(rig.path("a.wav"));
    rig.current().HandlePositionThumbTrack(100);  // a drag pauses with its own reason
    EXPECT_EQ(rig.ctl.vars.pauseReason, controller::pause_reason::DragStarted);
    EXPECT_TRUE(rig.ctl.vars.thumbDragging);
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::Play));
    rig.current().OnPosSet();  // the drag ends and playback resumes
    rig.engine.deliverAll();

    rig.current().OnPause();  // the user's pause
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::PausePlay));
}

TEST(StatePlay, APositionDragShowsTheThumbTimeAndResumesOnPositionSet) {
    ControllerRig rig;
    rig.engine.setDefaultFacts({0, 1, 8000, 8, 600'000});
    rig.toPlay(rig.path("a.wav"));
    rig.current().HandlePositionThumbTrack(500);
    rig.current().HandlePositionThumbTrack(600);  // pauses only once
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Pause"});
    EXPECT_EQ(rig.window.positionText(), "00:06:00");

    rig.engine.setPositionMs(1'000);
    rig.current().OnClockTimer();  // the clock leaves the thumb's time alone
    EXPECT_EQ(rig.window.positionText(), "00:06:00");

    rig.engine.deliverAll();  // PausedOn, reason 2: nothing
    rig.clear();
    rig.current().OnPosSet();  // the new position is set: resume
    EXPECT_EQ(rig.ctl.vars.pauseReason, controller::pause_reason::DragEnded);
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Resume"});
    rig.engine.deliverAll();  // PausedOff ends the drag
    EXPECT_FALSE(rig.ctl.vars.thumbDragging);
    EXPECT_TRUE(rig.in(StateId::Play));
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Pause));
    rig.current().OnClockTimer();
    EXPECT_EQ(rig.window.positionText(), "00:00:01");
}

TEST(StatePlay, WindingSeeksAndPositionSetShowsTheNewPlace) {
    ControllerRig rig;
    rig.engine.setDefaultFacts({0, 1, 8000, 8, 50'000});
    rig.toPlay(rig.path("a.wav"));
    rig.engine.setPositionMs(20'000);
    rig.current().OnFF();
    rig.current().OnREW();
    EXPECT_EQ(rig.engine.commands(), (std::vector<std::string>{"SetPosition(25000)", "SetPosition(20000)"}));
    rig.engine.deliverAll();
    EXPECT_EQ(rig.window.positionText(), "00:00:20");
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Pause));
}

TEST(StatePlay, KeysStopPauseWindAndDeferInsertAndOverwrite) {
    const std::vector<std::pair<Function, std::string>> cases{
        {Function::Stop, "Stop"},          {Function::Pause, "Pause"},        {Function::PlayPause, "Pause"},
        {Function::Forward, "SetPosition(1000)"}, {Function::Rewind, "SetPosition(0)"},
        {Function::Record, ""},            {Function::Append, ""},            {Function::RecordStop, ""},
        {Function::Insert, "Stop"},        {Function::Overwrite, "Stop"},
    };
    for (const auto& [function, command] : cases) {
        ControllerRig rig;
        rig.toPlay(rig.path("a.wav"));
        rig.settings.keys().set(function, kKey7);
        rig.current().OnKey(kKey7);
        EXPECT_EQ(rig.engine.commands(),
                  command.empty() ? std::vector<std::string>{} : std::vector<std::string>{command});
        // The edit waits for the end of the playback, which is at the position heard.
        EXPECT_EQ(rig.ctl.vars.pendingInsert, function == Function::Insert);
        EXPECT_EQ(rig.ctl.vars.pendingOverwrite, function == Function::Overwrite);
    }
}

TEST(StatePlay, LevelTimerShowsTheOutputLevel) {
    ControllerRig rig;
    rig.toPlay(rig.path("a.wav"));
    rig.engine.setLevel(42);
    rig.current().OnLevelTimer();
    EXPECT_EQ(rig.window.level(), 42u);
}

TEST(PlayStates, RenameClosesAndReopensOptionsAreNotForRecording) {
    for (bool paused : {false, true}) {
        ControllerRig rig;
        if (paused) {
            rig.toPausePlay(rig.path("a.wav"));
        } else {
            rig.toPlay(rig.path("a.wav"));
        }
        rig.current().OnOptions();
        EXPECT_EQ(rig.window.optionsOpened(), std::vector<bool>{false});
        rig.current().HandleVolumeThumbTrack(0);
        EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"SetVolume(100)"});
        rig.current().OnRename();
        EXPECT_EQ(rig.window.renameDialogs().size(), 1u);
    }
}

TEST(StatePausePlay, EnterOffersResumeAndHidesTheLevel) {
    ControllerRig rig;
    rig.toPlay(rig.path("a.wav"));
    rig.window.ShowLevel(70);
    rig.current().OnPause();
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::PausePlay));
    EXPECT_EQ(rig.window.level(), 0u);
    EXPECT_EQ(rig.window.leftSoftKeyLabel(), "Resume");
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Pause));
}

TEST(StatePausePlay, PauseResumesWithThePlayIconShown) {
    ControllerRig rig;
    rig.toPausePlay(rig.path("a.wav"));
    rig.current().OnBlinkTimer();  // phase 0: shown
    EXPECT_TRUE(rig.window.IsShown(Control::PlayIcon));
    rig.current().OnBlinkTimer();  // phase 1: hidden
    EXPECT_FALSE(rig.window.IsShown(Control::PlayIcon));
    rig.current().OnPause();
    EXPECT_TRUE(rig.window.IsShown(Control::PlayIcon));
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Resume"});
    EXPECT_TRUE(rig.in(StateId::PausePlay));
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::Play));
    EXPECT_EQ(rig.window.leftSoftKeyLabel(), "Pause");
}

TEST(StatePausePlay, StopAndHaltHandTheStopToStatePlay) {
    for (bool halt : {false, true}) {
        ControllerRig rig;
        rig.toPausePlay(rig.path("a.wav"));
        if (halt) {
            rig.current().OnHalt();
        } else {
            rig.current().OnStop();
        }
        EXPECT_TRUE(rig.in(StateId::Play));
        EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Stop"});
        rig.engine.deliverAll();
        EXPECT_TRUE(rig.in(StateId::FileSelected));
    }
}

TEST(StatePausePlay, WindingWhilePausedStaysPausedAndGivesTheSoftKeysBackOnPositionSet) {
    ControllerRig rig;
    rig.engine.setDefaultFacts({0, 1, 8000, 8, 30'000});
    rig.toPausePlay(rig.path("a.wav"));
    rig.current().OnFF();
    EXPECT_FALSE(rig.window.softKeyEnabled(cmd::Pause));
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::PausePlay));
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Pause));
    EXPECT_EQ(rig.window.positionText(), "00:00:03");
    rig.current().OnREW();
    rig.engine.deliverAll();
    EXPECT_EQ(rig.window.positionText(), "00:00:00");
    EXPECT_EQ(rig.engine.currentMode(), ScriptedEngine::Mode::PlayPaused);
}

TEST(StatePausePlay, KeysAppendStopResumeAndWind) {
    const std::vector<std::pair<Function, std::string>> cases{
        {Function::Append, "Stop"},  {Function::AppendStop, "Stop"},           {Function::Stop, "Stop"},
        {Function::Pause, "Resume"}, {Function::PlayPause, "Resume"},          {Function::Forward, "SetPosition(1000)"},
        {Function::Rewind, "SetPosition(0)"}, {Function::Record, ""},          {Function::Play, ""},
        {Function::Insert, "Stop"},  {Function::Overwrite, "Stop"},
    };
    for (const auto& [function, command] : cases) {
        ControllerRig rig;
        rig.toPausePlay(rig.path("a.wav"));
        rig.settings.keys().set(function, kKey7);
        rig.current().OnKey(kKey7);
        EXPECT_EQ(rig.engine.commands(),
                  command.empty() ? std::vector<std::string>{} : std::vector<std::string>{command});
        const bool append = function == Function::Append || function == Function::AppendStop;
        EXPECT_EQ(rig.ctl.vars.pendingAppend, append);
        EXPECT_EQ(rig.ctl.vars.pendingInsert, function == Function::Insert);
        EXPECT_EQ(rig.ctl.vars.pendingOverwrite, function == Function::Overwrite);
    }
}

TEST(StatePausePlay, ThumbShowsTheTimeAndListTimerRefreshes) {
    ControllerRig rig;
    rig.engine.setDefaultFacts({0, 1, 8000, 8, 100'000});
    rig.toPausePlay(rig.path("a.wav"));
    rig.current().HandlePositionThumbTrack(250);
    EXPECT_EQ(rig.window.positionText(), "00:00:25");
    EXPECT_TRUE(rig.engine.calls().empty());
    rig.current().OnListTimer();
    EXPECT_EQ(rig.window.listRefreshes(), 1);
}

TEST(ActivateDuringPlayback, ActionOnThePlayingRecordingPausesAndAgainResumes) {
    ControllerRig rig;
    const std::string a = rig.path("a.wav");
    rig.toPlay(a);
    rig.current().OnActivateRecording(a);
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::PausePlay));
    rig.current().OnActivateRecording(a);
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::Play));
    EXPECT_EQ(rig.engine.commands(), (std::vector<std::string>{"Pause", "Resume"}));
}

TEST(ActivateDuringPlayback, AnotherRecordingPlaysAfterPlayEndWithItsFactsShownFirst) {
    for (bool paused : {false, true}) {
        ControllerRig rig;
        const std::string a = rig.path("a.wav"), b = rig.path("b.wav");
        rig.engine.setFacts(b, {1, 1, 1625, 520, 7'000});
        if (paused) {
            rig.toPausePlay(a);
        } else {
            rig.toPlay(a);
        }
        rig.current().OnActivateRecording(b);
        EXPECT_EQ(rig.ctl.vars.pendingPlayPath, b);
        EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Stop"});
        EXPECT_TRUE(rig.in(StateId::Play));
        rig.window.clearCalls();

        ASSERT_TRUE(rig.engine.deliverNext());  // PlayEnd
        EXPECT_EQ(rig.engine.commands(),
                  (std::vector<std::string>{"Stop", "OpenFile(" + b + ",slow)", "PlayStart"}));
        EXPECT_EQ(rig.window.CurrentPath(), b);
        EXPECT_EQ(rig.window.LengthMs(), 7'000);
        EXPECT_EQ(rig.ctl.vars.pendingPlayPath, "");
        EXPECT_EQ(rig.window.sentRequests(), std::vector<std::uint32_t>{controller::kRequestPlay});
        const auto& calls = rig.window.calls();
        const auto panel = std::find(calls.begin(), calls.end(), "RefreshPanel");
        const auto request = std::find(calls.begin(), calls.end(), "SendRequest(32769)");
        EXPECT_LT(panel, request);  // name, date and length before the new playback
        EXPECT_FALSE(rig.window.softKeyEnabled(cmd::Pause));
        rig.engine.deliverAll();  // PlayStart of the new recording
        EXPECT_TRUE(rig.in(StateId::Play));
        EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Pause));
    }
}

TEST(ActivateDuringPlayback, AnotherRecordingThatCannotBeOpenedIsToldAndDropped) {
    ControllerRig rig;
    rig.toPlay(rig.path("a.wav"));
    rig.current().OnActivateRecording(rig.path("b.wav"));
    rig.engine.failNext(Op::OpenFile, ResultCode(0x21000000, 1996));
    rig.engine.deliverAll();
    EXPECT_EQ(rig.shell.lastBox().text, "Error code:\n0x21000000\n0x7CC");
    EXPECT_TRUE(rig.in(StateId::Idle));
    EXPECT_EQ(rig.window.CurrentPath(), "");
}

TEST(ActivateDuringPlayback, AFailureWithoutTheWarningBitStaysInStatePlayWithGreyedKeys) {
    ControllerRig rig;
    rig.toPlay(rig.path("a.wav"));
    rig.current().OnActivateRecording(rig.path("b.wav"));
    rig.engine.failNext(Op::OpenFile, ResultCode(0x02000001, 0));
    rig.engine.deliverAll();
    EXPECT_EQ(rig.shell.lastBox().text,
              "Can't open this audio file.\nIt may be corrupt, renamed or moved to a different folder");
    EXPECT_TRUE(rig.in(StateId::Play));
    EXPECT_FALSE(rig.window.softKeyEnabled(cmd::Pause));
}

struct DeferredCase {
    void (controller::State::*choose)();
    std::string command;
    std::uint32_t request;
    StateId editState;
};

class DeferredEdit : public ::testing::TestWithParam<DeferredCase> {};

TEST_P(DeferredEdit, StartsAtThePausedPositionOncePlaybackHasEnded) {
    const DeferredCase c = GetParam();
    ControllerRig rig;
    rig.toPausePlay(rig.path("a.wav"));
    rig.engine.setPositionMs(4'000);
    (rig.current().*c.choose)();
    EXPECT_TRUE(rig.in(StateId::Play));
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Stop"});

    rig.shell.queueAnswer(answer::Yes);
    ASSERT_TRUE(rig.engine.deliverNext());  // PlayEnd: StateFileSelected sends the request to itself
    EXPECT_EQ(rig.window.sentRequests(), std::vector<std::uint32_t>{c.request});
    EXPECT_FALSE(rig.ctl.vars.pendingAppend || rig.ctl.vars.pendingInsert || rig.ctl.vars.pendingOverwrite);
    EXPECT_EQ(rig.engine.commands().back(), c.command);
    EXPECT_TRUE(rig.in(StateId::FileSelected));
    rig.engine.deliverAll();  // the variant's RecordStart
    EXPECT_TRUE(rig.in(c.editState));
    EXPECT_EQ(rig.window.CurrentPath(), rig.path("a.wav"));
}

TEST_P(DeferredEdit, IsDroppedWhenAnotherRecordingIsActivatedBeforePlayEnd) {
    const DeferredCase c = GetParam();
    ControllerRig rig;
    const std::string a = rig.path("a.wav"), b = rig.path("b.wav");
    rig.toPausePlay(a);
    (rig.current().*c.choose)();
    rig.current().OnActivateRecording(b);  // reached the state before the window greyed the row
    rig.engine.deliverAll();               // PlayEnd of a, then b plays
    EXPECT_TRUE(rig.in(StateId::Play));
    EXPECT_EQ(rig.window.CurrentPath(), b);
    rig.current().OnStop();
    rig.engine.deliverAll();  // PlayEnd of b: nothing may be recorded onto it
    EXPECT_TRUE(rig.in(StateId::FileSelected));
    const auto commands = rig.engine.commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), c.command), 0);
    EXPECT_FALSE(rig.ctl.vars.pendingAppend || rig.ctl.vars.pendingInsert || rig.ctl.vars.pendingOverwrite);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, DeferredEdit,
    ::testing::Values(DeferredCase{&controller::State::OnRecordAppend, "RecordAppend", controller::kRequestRecordAppend,
                                   StateId::RecordAppend},
                      DeferredCase{&controller::State::OnRecordInsert, "RecordInsert", controller::kRequestRecordInsert,
                                   StateId::RecordInsert},
                      DeferredCase{&controller::State::OnRecordOverwrite, "RecordOverwrite",
                                   controller::kRequestRecordOverwrite, StateId::RecordOverwrite}));

TEST(DeferredEdit, OverwriteStillAsksAndNoLeavesStateFileSelected) {
    ControllerRig rig;
    rig.toPausePlay(rig.path("a.wav"));
    rig.current().OnRecordOverwrite();
    rig.shell.queueAnswer(answer::No);
    rig.engine.deliverAll();
    ASSERT_EQ(rig.shell.boxes().size(), 1u);
    EXPECT_EQ(rig.shell.boxes()[0].text, "Do you really want to overwrite this recording?\na");
    EXPECT_TRUE(rig.in(StateId::FileSelected));
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Record));
    EXPECT_FALSE(rig.ctl.vars.pendingOverwrite);
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Stop"});
}

TEST(DeferredEdit, ASecondPlayEndCannotRepeatTheRequest) {
    ControllerRig rig;
    rig.toPausePlay(rig.path("a.wav"));
    rig.current().OnRecordAppend();
    ASSERT_TRUE(rig.engine.deliverNext());  // PlayEnd: the append starts
    rig.engine.dropEvents();
    rig.ctl.Force(StateId::Play);
    rig.current().OnPlayEnd();  // a stray second PlayEnd
    EXPECT_EQ(rig.window.sentRequests().size(), 1u);
}

// A paused playback says so on the panel; the word goes with the resume.
TEST(StatePausePlay, ThePanelSaysPausedUntilTheResume) {
    ControllerRig rig;
    rig.toPausePlay(rig.path("a.wav"));
    EXPECT_TRUE(rig.window.IsShown(Control::PausedLabel));
    rig.current().OnPause();
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::Play));
    EXPECT_FALSE(rig.window.IsShown(Control::PausedLabel));
    rig.current().OnPause();
    rig.engine.deliverAll();
    rig.current().OnStop();
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::FileSelected));
    EXPECT_FALSE(rig.window.IsShown(Control::PausedLabel));
}

}  // namespace
}  // namespace tavrin::test
