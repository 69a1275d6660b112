// The four recording states and their pause states: StateRecord and the
// append, insert and overwrite edits, which follow it step for step.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
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

constexpr std::uint32_t kKey3 = settings::vk::Digit0 + 3;

struct Variant {
    const char* name;
    StateId running;
    StateId paused;
    Control icon;
    std::uint32_t eventBase;
    std::uint32_t request;  // 0: a new recording
    const char* tooSlowText;
    std::vector<Function> stopKeys;   // keys that stop
    std::vector<Function> pauseKeys;  // keys that pause and resume
};

const Variant kVariants[] = {
    {"Record", StateId::Record, StateId::PauseRecord, Control::RecordIcon, 0, 0,
     "Can't record - storage card too slow", {Function::Stop, Function::RecordStop},
     {Function::Pause, Function::RecordPause}},
    {"Append", StateId::RecordAppend, StateId::PauseRecordAppend, Control::AppendIcon, 20,
     controller::kRequestRecordAppend, "Can't append - storage card too slow", {Function::Stop, Function::AppendStop},
     {Function::Pause, Function::RecordPause}},
    {"Insert", StateId::RecordInsert, StateId::PauseRecordInsert, Control::InsertIcon, 30,
     controller::kRequestRecordInsert, "Can't insert - storage card too slow", {Function::Stop},
     {Function::Pause, Function::RecordPause}},
    {"Overwrite", StateId::RecordOverwrite, StateId::PauseRecordOverwrite, Control::OverwriteIcon, 10,
     controller::kRequestRecordOverwrite, "Can't overwrite - storage card too slow", {Function::Stop},
     {Function::Pause, Function::RecordPause}},
};

// Offsets of the recording events from the variant's base.
constexpr std::uint32_t kFileReady = 0x8014, kRecordActivated = 0x8016, kRecordEnd = 0x8017, kSilenceCut = 0x8018,
                        kTooSlow = 0x8019;

class RecordingStates : public ::testing::TestWithParam<Variant> {
protected:
    void SetUp() override { start(); }
    void start() {
        if (v().request == 0) {
            rig.toRecord();
        } else {
            rig.toEdit(file, v().request);
        }
    }
    const Variant& v() const { return GetParam(); }
    // Raises the variant's event as the engine would and delivers it.
    void deliver(std::uint32_t plainEvent) {
        rig.engine.raise(plainEvent + v().eventBase);
        rig.engine.deliverAll();
    }
    std::string recordingPath() const { return v().request == 0 ? rig.path("Recording1.wav") : file; }

    ControllerRig rig;
    std::string file = rig.path("edited.wav");
};

TEST_P(RecordingStates, BeginShowsTheIconAndTheRunningClock) {
    EXPECT_TRUE(rig.in(v().running));
    for (Control c : {Control::RecordIcon, Control::AppendIcon, Control::InsertIcon, Control::OverwriteIcon}) {
        EXPECT_EQ(rig.window.IsShown(c), c == v().icon) << ControlName(c);
    }
    for (Control c : {Control::LeftLabel, Control::TimeLeft, Control::Position}) EXPECT_TRUE(rig.window.IsShown(c));
    EXPECT_FALSE(rig.window.IsShown(Control::Length));
    EXPECT_FALSE(rig.window.IsShown(Control::PlayIcon));
    // A new recording has no date yet; an edit keeps its file's.
    EXPECT_EQ(rig.window.IsShown(Control::Date), v().request != 0);
    EXPECT_EQ(rig.window.IsShown(Control::Time), v().request != 0);
    EXPECT_EQ(rig.window.CurrentPath(), recordingPath());
    EXPECT_EQ(rig.window.leftSoftKeyLabel(), "Pause");
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Pause));
    EXPECT_FALSE(rig.window.limitTimer());  // the limit is off
}

TEST_P(RecordingStates, StopWaitsForTheFileAndReopensItAtItsStart) {
    rig.window.ShowLevel(60);
    rig.current().OnStop();
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Stop"});
    EXPECT_TRUE(rig.in(v().running));
    for (Control c : {v().icon, Control::LeftLabel, Control::TimeLeft, Control::VoiceIcon, Control::SilenceIcon}) {
        EXPECT_FALSE(rig.window.IsShown(c)) << ControlName(c);
    }
    EXPECT_EQ(rig.window.positionText(), "00:00:00");
    EXPECT_EQ(rig.window.level(), 0u);
    EXPECT_FALSE(rig.window.softKeyEnabled(cmd::Pause));

    ASSERT_TRUE(rig.engine.deliverNext());  // RecordEnd: saving, the icon blinks
    EXPECT_TRUE(rig.ctl.StateAt(v().running).ClassName().size() > 0);
    rig.window.Show(Control::SavingIcon, false);
    rig.current().OnBlinkTimer();
    EXPECT_TRUE(rig.window.IsShown(Control::SavingIcon));
    rig.current().OnBlinkTimer();
    EXPECT_FALSE(rig.window.IsShown(Control::SavingIcon));
    rig.current().OnBlinkTimer();

    ASSERT_TRUE(rig.engine.deliverNext());  // FileReady
    EXPECT_FALSE(rig.window.IsShown(Control::SavingIcon));
    EXPECT_TRUE(rig.in(StateId::FileSelected));
    const std::string path = recordingPath();
    EXPECT_EQ(rig.engine.commands(), (std::vector<std::string>{"Stop", "CloseFile", "OpenFile(" + path + ",slow)",
                                                               "GetFileInfo(" + path + ")", "SetPosition(0)"}));
    EXPECT_EQ(rig.window.CurrentPath(), path);
    EXPECT_GE(rig.window.fileFactsRefreshes(), 1);  // the edited file's date is read again
    // The list shows the file at once, highlighted, and the keys act on it.
    const auto& calls = rig.window.calls();
    const auto refreshed = std::find(calls.begin(), calls.end(), "RefreshList");
    EXPECT_NE(refreshed, calls.end());
    EXPECT_NE(std::find(refreshed, calls.end(), "HighlightRow(" + path + ")"), calls.end());
    rig.engine.deliverAll();                        // PosSet
    EXPECT_EQ(rig.window.positionText(), "00:00:00");
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Record));
    rig.current().OnBlinkTimer();  // nothing blinks any more
    EXPECT_FALSE(rig.window.IsShown(Control::SavingIcon));
}

// The engine stops a capture by itself only when storing a block failed: the
// room ran out. The panel says so, once; the user's own stop says nothing.
TEST_P(RecordingStates, AStopOfTheEnginesOwnIsToldInThePanelUntilTheNextStart) {
    rig.files.setFreeSpace(0);  // the volume is what filled up
    rig.engine.setMode(ScriptedEngine::Mode::FileOpen);
    deliver(kRecordEnd);
    deliver(kFileReady);
    ASSERT_TRUE(rig.in(StateId::FileSelected));
    EXPECT_EQ(rig.window.notice(), "Phone full - recording stopped");
    const auto& calls = rig.window.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "ShowNotice(Phone full - recording stopped)"), 1);
    rig.current().OnPlay();
    EXPECT_EQ(rig.window.notice(), "");

    rig.engine.deliverAll();
    rig.current().OnStop();
    rig.engine.deliverAll();
    start();  // the same capture again, stopped by the user this time
    rig.current().OnStop();
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::FileSelected));
    EXPECT_EQ(rig.window.notice(), "");
}

// What the engine reports when a capture ends without a Stop, running or
// paused: a microphone that went is said in words and the audio kept; an
// error the program cannot name keeps its code box; a card taken out under
// the recording ends it in Idle with one notice and no box, and no icon of
// the recording stays.
TEST_P(RecordingStates, ACaptureEndedByTheEngineIsToldInWordsWhereItsCauseIsKnown) {
    struct Case {
        const char* name;
        bool paused;
        std::uint32_t code, detail;
        bool cardGone;
        const char* notice;
        const char* box;  // nullptr: none
    };
    const Case cases[] = {
        {"microphone unplugged", false, 0x21000013, 2, false, "Microphone disconnected - recording stopped", nullptr},
        {"microphone unplugged while paused", true, 0x21000013, 2, false,
         "Microphone disconnected - recording stopped", nullptr},
        {"buffer refused back", false, 0x21000000, 1242, false, "Microphone disconnected - recording stopped",
         nullptr},
        {"unknown device failure", false, 0x21000000, 1131, false, "",
         "Error code:\n0x21000000\n0x46B"},
        {"card removed, finishing failed", false, 0x21000000, 0x3005, true,
         "Storage card removed - recording stopped", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir card;
        if (c.cardGone) {
            // The recording lies on a card, which is taken out before the engine reports.
            rig.settings.setSaveLocation(card.path());
            rig.shell.setStorageCards({card.path()});
            WriteBytes(card.file("edited.wav"), "x");
            file = card.file("edited.wav");
            rig.engine.deliverAll();
            rig.current().OnStop();
            rig.engine.deliverAll();
            start();
        }
        if (c.paused) {
            rig.current().OnPause();
            rig.engine.deliverAll();
            ASSERT_TRUE(rig.in(v().paused));
        }
        rig.clear();
        if (c.cardGone) {
            ASSERT_EQ(rig.window.CurrentPath(), card.file(v().request == 0 ? "Recording1.wav" : "edited.wav"));
            rig.shell.setStorageCards({});
        }
        rig.engine.setMode(ScriptedEngine::Mode::FileOpen);
        rig.current().OnEngineError(c.code, c.detail);
        deliver(kRecordEnd);
        deliver(kFileReady);
        EXPECT_EQ(rig.window.notice(), c.notice);
        if (c.box) {
            ASSERT_EQ(rig.shell.boxes().size(), 1u);
            EXPECT_EQ(rig.shell.boxes()[0].text, c.box);
        } else {
            EXPECT_TRUE(rig.shell.boxes().empty()) << rig.shell.lastBox().text;
        }
        EXPECT_TRUE(rig.in(c.cardGone ? StateId::Idle : StateId::FileSelected));
        for (Control icon : {Control::RecordIcon, Control::AppendIcon, Control::InsertIcon, Control::OverwriteIcon,
                             Control::LeftLabel, Control::TimeLeft, Control::SavingIcon}) {
            EXPECT_FALSE(rig.window.IsShown(icon)) << ControlName(icon);
        }
        rig.settings.setSaveLocation(rig.dir.path());
        file = rig.path("edited.wav");
        start();
    }
}

// A card taken out under a running recording is noticed within a tick of the
// clock: the recording stops there, and ends as above.
TEST_P(RecordingStates, ACardTakenOutStopsTheRecordingAtTheNextClockTick) {
    TempDir card;
    rig.settings.setSaveLocation(card.path());
    rig.shell.setStorageCards({card.path()});
    WriteBytes(card.file("edited.wav"), "x");
    file = card.file("edited.wav");
    rig.current().OnStop();
    rig.engine.deliverAll();
    start();
    rig.current().OnRemainingTimer();
    EXPECT_EQ(std::count(rig.engine.commands().begin(), rig.engine.commands().end(), "Stop"), 0);
    rig.shell.setStorageCards({});
    rig.current().OnRemainingTimer();
    EXPECT_EQ(rig.engine.commands().back(), "Stop");
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::Idle));
    EXPECT_EQ(rig.window.notice(), "Storage card removed - recording stopped");
    EXPECT_TRUE(rig.shell.boxes().empty()) << rig.shell.lastBox().text;
}

// A paused recording says so on the panel, not only on its soft key; the
// word goes with the resume and with a stop from the pause.
TEST_P(RecordingStates, ThePanelSaysPausedWhilePaused) {
    for (const bool stopWhilePaused : {false, true}) {
        EXPECT_FALSE(rig.window.IsShown(Control::PausedLabel));
        rig.current().OnPause();
        rig.engine.deliverAll();
        EXPECT_TRUE(rig.window.IsShown(Control::PausedLabel));
        if (stopWhilePaused) {
            rig.current().OnStop();
            EXPECT_FALSE(rig.window.IsShown(Control::PausedLabel));
            rig.engine.deliverAll();
            EXPECT_FALSE(rig.window.IsShown(Control::PausedLabel));
            continue;
        }
        rig.current().OnPause();
        rig.engine.deliverAll();
        EXPECT_TRUE(rig.in(v().running));
        EXPECT_FALSE(rig.window.IsShown(Control::PausedLabel));
    }
}

// The option icons say what the options are: a page that turned silence
// skipping off takes its icon away at once, in any state.
TEST_P(RecordingStates, TheOptionIconsFollowWhatTheOptionsPageChanged) {
    rig.window.setOptionsDialog([&] { rig.window.editRecordingOptions().silenceCut = true; });
    rig.current().OnOptions();
    EXPECT_TRUE(rig.window.IsShown(Control::SilenceIcon));
    rig.window.setOptionsDialog([&] { rig.window.editRecordingOptions().silenceCut = false; });
    rig.current().OnOptions();
    EXPECT_FALSE(rig.window.IsShown(Control::SilenceIcon));
    rig.current().OnStop();
    rig.engine.deliverAll();
    EXPECT_FALSE(rig.window.IsShown(Control::SilenceIcon));
}

// Which room ran out is named for what it is: the volume when it is full,
// otherwise the recording's own limit, a WAV file's size straight on the
// medium, the memory a recording on slow media is held in.
TEST_P(RecordingStates, TheRoomThatRanOutIsNamed) {
    struct Case {
        std::uint64_t free;
        bool fast;
        const char* notice;
    };
    for (const Case& c : {Case{0, true, "Phone full - recording stopped"},
                          Case{1u << 20, false, "Phone full - recording stopped"},
                          Case{1ull << 30, true, "File size limit reached - recording stopped"},
                          Case{1ull << 30, false, "Memory full - recording stopped"}}) {
        SCOPED_TRACE(c.notice);
        rig.files.setFreeSpace(c.free);
        rig.shell.setFastLocations(c.fast ? std::vector<std::string>{rig.dir.path()} : std::vector<std::string>{});
        rig.engine.setMode(ScriptedEngine::Mode::FileOpen);
        deliver(kRecordEnd);
        deliver(kFileReady);
        EXPECT_EQ(rig.window.notice(), c.notice);
        start();
    }
}

TEST_P(RecordingStates, HaltStopsLikeStop) {
    rig.current().OnHalt();
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Stop"});
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::FileSelected));
}

TEST_P(RecordingStates, PauseResumeAndStopWhilePaused) {
    rig.current().OnPause();
    EXPECT_FALSE(rig.window.softKeyEnabled(cmd::Pause));
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(v().paused));
    EXPECT_EQ(rig.window.leftSoftKeyLabel(), "Resume");
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Pause));

    rig.current().OnBlinkTimer();  // the variant's icon blinks
    EXPECT_TRUE(rig.window.IsShown(v().icon));
    rig.current().OnBlinkTimer();
    EXPECT_FALSE(rig.window.IsShown(v().icon));

    rig.current().OnPause();  // resume
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(v().running));
    EXPECT_TRUE(rig.window.IsShown(v().icon));
    EXPECT_EQ(rig.window.leftSoftKeyLabel(), "Pause");

    rig.current().OnPause();
    rig.engine.deliverAll();
    rig.clear();
    rig.current().OnStop();  // handed to the running state, which stops
    EXPECT_TRUE(rig.in(v().running));
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Stop"});
    EXPECT_FALSE(rig.window.IsShown(v().icon));
    EXPECT_FALSE(rig.window.IsShown(Control::LeftLabel));
    EXPECT_EQ(rig.window.positionText(), "00:00:00");
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::FileSelected));
}

TEST_P(RecordingStates, HaltWhilePausedStops) {
    rig.current().OnPause();
    rig.engine.deliverAll();
    rig.clear();
    rig.current().OnHalt();
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Stop"});
}

TEST_P(RecordingStates, TooSlowStopsFirstThenTellsTheVariantsText) {
    deliver(kTooSlow);  // the stop completes through RecordEnd and FileReady
    ASSERT_EQ(rig.shell.boxes().size(), 1u);
    EXPECT_EQ(rig.shell.boxes()[0].text, v().tooSlowText);
    EXPECT_EQ(rig.shell.boxes()[0].caption, "Tavrin");
    EXPECT_EQ(rig.shell.boxes()[0].style, platform::mb::IconHand | platform::mb::YesNo);
    EXPECT_EQ(rig.engine.commands().front(), "Stop");
    EXPECT_TRUE(rig.in(StateId::FileSelected));
}

TEST_P(RecordingStates, WaterMarkTellsOutOfMemoryAndFinishesAtOnce) {
    rig.engine.setMode(ScriptedEngine::Mode::FileOpen);  // out of memory: the engine has stopped
    rig.current().OnWaterMark();
    EXPECT_EQ(rig.shell.lastBox().text, "Recording has stopped. Out of memory.");
    EXPECT_EQ(rig.shell.lastBox().style, platform::mb::IconHand | platform::mb::YesNo);
    EXPECT_EQ(rig.engine.commands().front(), "CloseFile");
    EXPECT_TRUE(rig.in(StateId::FileSelected));
}

TEST_P(RecordingStates, ReopeningThatFailsWithTheWarningBitDropsToIdle) {
    rig.current().OnStop();
    rig.engine.failNext(Op::OpenFile, ResultCode(0x21000000, 1996));
    rig.engine.deliverAll();
    EXPECT_EQ(rig.shell.lastBox().text, "Error code:\n0x21000000\n0x7CC");
    EXPECT_TRUE(rig.in(StateId::Idle));
    EXPECT_EQ(rig.window.CurrentPath(), "");
}

TEST_P(RecordingStates, SilenceCutIsSaidBrieflyWithoutABox) {
    deliver(kSilenceCut);
    EXPECT_TRUE(rig.shell.boxes().empty());
    EXPECT_EQ(rig.window.calls(), std::vector<std::string>{"ShowNotice(Silence skipped)"});
    EXPECT_TRUE(rig.in(v().running));
    EXPECT_EQ(rig.window.notice(), "Silence skipped");
    for (int tick = 1; tick < 10; ++tick) rig.current().OnBlinkTimer();
    EXPECT_EQ(rig.window.notice(), "Silence skipped") << "two seconds of 200 ms ticks";
    rig.current().OnBlinkTimer();
    EXPECT_EQ(rig.window.notice(), "");
    deliver(kSilenceCut);
    rig.current().OnStop();
    EXPECT_EQ(rig.window.notice(), "") << "the stop takes it away";
}

TEST_P(RecordingStates, TimersShowLevelPositionTimeLeftAndKeepAwake) {
    rig.engine.setLevel(35);
    rig.engine.setPositionMs(125'000);
    rig.engine.setRemainingSeconds(3'725);
    rig.window.setPowerStatus({true, controller::battery::Unknown});
    rig.current().OnLevelTimer();
    rig.current().OnClockTimer();
    rig.current().OnRemainingTimer();
    rig.current().OnKeepAwakeTimer();
    EXPECT_EQ(rig.window.level(), 35u);
    EXPECT_EQ(rig.window.positionText(), "00:02:05");
    EXPECT_EQ(rig.window.timeLeftText(), "01:02:05");
    EXPECT_EQ(rig.window.idleTimerResets(), 1);

    rig.current().OnPause();
    rig.engine.deliverAll();
    rig.engine.setLevel(12);
    rig.current().OnLevelTimer();
    rig.current().OnKeepAwakeTimer();
    EXPECT_EQ(rig.window.level(), 12u);
    EXPECT_EQ(rig.window.idleTimerResets(), 2);
}

TEST_P(RecordingStates, OptionsOpenWithTheRecordingInProgress) {
    rig.current().OnOptions();
    rig.current().OnPause();
    rig.engine.deliverAll();
    rig.current().OnOptions();
    rig.current().OnListTimer();  // paused: the list is refreshed
    EXPECT_EQ(rig.window.optionsOpened(), (std::vector<bool>{true, true}));
    EXPECT_EQ(rig.window.listRefreshes(), 1);
}

// Every kind of recording, running or paused, is stopped by the Stop key,
// its own combined stop key, the keypad's record key and End, and paused or
// resumed by the Pause and Record/Pause keys; no other function acts.
TEST_P(RecordingStates, KeysStopPauseAndResumeRunningOrPaused) {
    struct Press {
        std::optional<Function> function;  // assigned to kKey3; none: a fixed key
        std::uint32_t key;
    };
    std::vector<Press> presses{{std::nullopt, settings::vk::RecordKey}, {std::nullopt, settings::vk::End}};
    for (Function f : {Function::PlayPause, Function::RecordPause, Function::RecordStop, Function::AppendStop,
                       Function::Play, Function::Record, Function::Append, Function::Insert, Function::Overwrite,
                       Function::Pause, Function::Stop, Function::Forward, Function::Rewind}) {
        presses.push_back({f, kKey3});
    }
    for (const bool paused : {false, true}) {
        for (const Press& p : presses) {
            SCOPED_TRACE(std::string(paused ? "paused, " : "running, ") +
                         (p.function ? std::string(settings::InfoOf(*p.function).label) : std::to_string(p.key)));
            rig.settings.keys() = {};
            if (p.function) rig.settings.keys().set(*p.function, kKey3);
            if (paused) {
                rig.current().OnPause();
                rig.engine.deliverAll();
                ASSERT_TRUE(rig.in(v().paused));
            }
            rig.clear();
            const auto has = [&](const std::vector<Function>& fs) {
                return !p.function || std::find(fs.begin(), fs.end(), *p.function) != fs.end();
            };
            const bool stops = has(v().stopKeys);
            const bool pauses = p.function && has(v().pauseKeys);
            rig.current().OnKey(p.key);
            EXPECT_EQ(rig.engine.commands(), stops    ? std::vector<std::string>{"Stop"}
                                             : pauses ? std::vector<std::string>{paused ? "Resume" : "Pause"}
                                                      : std::vector<std::string>{});
            EXPECT_TRUE(rig.shell.boxes().empty());
            if (stops) {
                EXPECT_TRUE(rig.in(v().running));  // a paused one hands the stop to its running state
                rig.engine.deliverAll();
                EXPECT_TRUE(rig.in(StateId::FileSelected));
                start();
                continue;
            }
            if (!pauses) {
                EXPECT_TRUE(rig.window.calls().empty());
            }
            rig.engine.deliverAll();
            if (rig.in(v().paused)) {  // back to running for the next press
                rig.current().OnPause();
                rig.engine.deliverAll();
            }
            ASSERT_TRUE(rig.in(v().running));
        }
    }
}

TEST_P(RecordingStates, ActivatingARecordingIsIgnored) {
    rig.current().OnActivateRecording(rig.path("other.wav"));
    rig.current().OnPause();
    rig.engine.deliverAll();
    rig.clear();
    rig.current().OnActivateRecording(rig.path("other.wav"));
    EXPECT_TRUE(rig.engine.calls().empty());
    EXPECT_TRUE(rig.window.calls().empty());
}

INSTANTIATE_TEST_SUITE_P(Variants, RecordingStates, ::testing::ValuesIn(kVariants),
                         [](const ::testing::TestParamInfo<Variant>& param) { return param.param.name; });

TEST(VoiceActivation, TheIconBlinksUntilTheFirstLoudBlockThenStaysOn) {
    ControllerRig rig;
    rig.window.editRecordingOptions().voiceActivated = true;
    rig.toRecord();
    std::vector<bool> seen;
    for (int tick = 0; tick < 4; ++tick) {
        rig.current().OnBlinkTimer();
        seen.push_back(rig.window.IsShown(Control::VoiceIcon));
    }
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(rig.window.notice(), "Waiting for voice");
    rig.engine.raise(kRecordActivated);
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.ctl.record.activated);
    EXPECT_EQ(rig.window.notice(), "");
    for (int tick = 0; tick < 3; ++tick) {
        rig.current().OnBlinkTimer();
        EXPECT_TRUE(rig.window.IsShown(Control::VoiceIcon));
    }
    rig.current().OnStop();  // the options decide what stays shown
    EXPECT_TRUE(rig.window.IsShown(Control::VoiceIcon));
    EXPECT_FALSE(rig.window.IsShown(Control::SilenceIcon));
}

// A recording that ends without Stop (out of memory, or storing failed and
// the engine ended it) takes the waiting notice away as well.
TEST(VoiceActivation, ARecordingThatEndsByItselfTakesTheNoticeAway) {
    for (const bool outOfMemory : {true, false}) {
        ControllerRig rig;
        rig.window.editRecordingOptions().voiceActivated = true;
        rig.toRecord();
        ASSERT_EQ(rig.window.notice(), "Waiting for voice");
        if (outOfMemory) {
            rig.current().OnWaterMark();
        } else {
            rig.engine.raise(0x8017);  // RecordEnd, then FileReady: no Stop was asked for
            rig.engine.raise(0x8014);
            rig.engine.deliverAll();
        }
        EXPECT_EQ(rig.window.notice(), "") << outOfMemory;
    }
}

TEST(VoiceActivation, EachRecordingStartsNotActivated) {
    ControllerRig rig;
    rig.toRecord();
    rig.engine.raise(kRecordActivated);
    rig.engine.deliverAll();
    rig.current().OnStop();
    rig.engine.deliverAll();
    rig.current().OnRecord();
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(StateId::Record));
    EXPECT_FALSE(rig.ctl.record.activated);
}

TEST(VoiceActivation, TheEditsHandTheSwitchesToTheEngineAndBlinkTheirOwnFlag) {
    ControllerRig rig;
    rig.window.editRecordingOptions().voiceActivated = true;
    rig.window.editRecordingOptions().silenceCut = true;
    rig.toEdit(rig.path("a.wav"), controller::kRequestRecordInsert);
    EXPECT_TRUE(rig.engine.voiceActivation());
    EXPECT_TRUE(rig.engine.silenceCut());
    rig.engine.raise(kRecordActivated + 30);
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.ctl.recordInsert.activated);
    EXPECT_FALSE(rig.ctl.record.activated);
}

TEST(RecordingLimit, ArmsTheOneShotTimerAndKillsItOnStop) {
    ControllerRig rig;
    rig.window.editRecordingOptions().timeLimitOn = true;
    rig.window.editRecordingOptions().timeLimitMinutes = 2;
    rig.toRecord();
    EXPECT_EQ(rig.window.limitTimer(), 120'000u);
    EXPECT_EQ(rig.window.notice(), "") << "no voice to wait for";
    // Beside "Left:", the minutes the limit leaves, begun minutes counted,
    // unless the storage runs out first.
    rig.engine.setRemainingSeconds(3'600);
    for (const auto& [left, text] : std::vector<std::pair<std::uint32_t, std::string>>{
             {120'000, "2 min"}, {60'001, "2 min"}, {60'000, "1 min"}, {1, "1 min"}}) {
        rig.window.setLimitLeft(left);
        rig.current().OnRemainingTimer();
        EXPECT_EQ(rig.window.timeLeftText(), text) << left;
    }
    rig.engine.setRemainingSeconds(30);
    rig.window.setLimitLeft(120'000);
    rig.current().OnRemainingTimer();
    EXPECT_EQ(rig.window.timeLeftText(), "00:00:30");
    rig.current().OnStop();  // what the timer calls when it fires
    EXPECT_FALSE(rig.window.limitTimer());
    rig.engine.deliverAll();
    rig.toEdit(rig.path("a.wav"), controller::kRequestRecordAppend);
    EXPECT_EQ(rig.window.limitTimer(), 120'000u);
}

TEST(StateRecord, TheNewRecordingBecomesCurrentOnlyAtRecordStart) {
    ControllerRig rig;
    rig.current().OnRecord();
    EXPECT_EQ(rig.window.CurrentPath(), "");
    rig.engine.deliverAll();
    EXPECT_EQ(rig.window.CurrentPath(), rig.path("Recording1.wav"));
    EXPECT_EQ(rig.window.fileFactsRefreshes(), 1);
    EXPECT_EQ(rig.window.panelRefreshes(), 1);
}

TEST(StateRecord, PlayEndWhileRecordingIsReportedAndTheRecordingGoesOn) {
    ControllerRig rig;
    rig.toRecord();
    rig.engine.raise(0x800D);
    rig.engine.deliverAll();
    EXPECT_EQ(rig.shell.lastBox().text, InternalErrorText("StateRecord", "OnPlayEnd"));
    EXPECT_TRUE(rig.in(StateId::Record));
    EXPECT_EQ(rig.engine.currentMode(), ScriptedEngine::Mode::Recording);
    EXPECT_TRUE(rig.engine.calls().empty());
}

TEST(StateRecord, RenameRunsTheRenameOfTheCurrentRecording) {
    for (bool paused : {false, true}) {
        ControllerRig rig;
        rig.toRecord();
        if (paused) {
            rig.current().OnPause();
            rig.engine.deliverAll();
        }
        rig.current().OnRename();
        EXPECT_EQ(rig.window.renameDialogs(), std::vector<std::string>{rig.path("Recording1.wav")});
    }
}

TEST(StateRecordAppend, TheRecordStopKeyDoesNothingDuringAnAppend) {
    ControllerRig rig;
    rig.toEdit(rig.path("a.wav"), controller::kRequestRecordAppend);
    rig.settings.keys().set(Function::RecordStop, kKey3);
    rig.current().OnKey(kKey3);
    EXPECT_TRUE(rig.engine.calls().empty());
    rig.settings.keys().set(Function::AppendStop, kKey3);
    rig.current().OnKey(kKey3);
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"Stop"});
}

TEST(EditTimeLeft, IsReckonedInTheFormatOfTheEditedFile) {
    ControllerRig rig;  // new recordings would be GSM
    rig.settings.setFormat(wav::kCodeGsm);
    rig.engine.setDefaultFacts({0, 1, 22050, 16, 1'000});
    rig.toEdit(rig.path("a.wav"), controller::kRequestRecordAppend);
    rig.current().OnRemainingTimer();
    EXPECT_EQ(rig.engine.calls().back(), "RemainingSeconds(0x40," + rig.window.CurrentFolder() + ",slow)");

    rig.current().OnStop();
    rig.engine.deliverAll();
    rig.current().OnRecord();
    rig.engine.deliverAll();
    rig.current().OnRemainingTimer();
    EXPECT_EQ(rig.engine.calls().back(), "RemainingSeconds(0x10000000," + rig.dir.path() + ",slow)");
}

}  // namespace
}  // namespace tavrin::test
