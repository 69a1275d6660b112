// The whole table of which operations each state handles (H), reports as an
// internal error (E) or ignores (-), checked cell by cell: every E cell shows
// exactly the internal-error box naming the state and the operation and
// changes nothing else; every - cell shows nothing and changes nothing; no H
// cell is reported. What each H cell does is checked by the behaviour tests.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ControllerRig.h"

namespace tavrin::test {
namespace {

using controller::State;

struct Operation {
    const char* name;
    // One mark per state, in the order of kStateNames.
    const char* marks;
    void (*invoke)(State&);
};

constexpr std::array<const char*, controller::kStateCount> kStateNames{
    "StateIdle",   "StateFileSelected",      "StatePlay",         "StatePausePlay",
    "StateRecord", "StatePauseRecord",       "StateRecordAppend", "StatePauseRecordAppend",
    "StateRecordInsert", "StatePauseRecordInsert", "StateRecordOverwrite", "StatePauseRecordOverwrite",
};

// clang-format off
const Operation kTable[] = {
    {"OnPlay", "HHEEEEEEEEEE", [](State& s) { s.OnPlay(); }},  // 0
    {"OnRecord", "HHEEEEEEEEEE", [](State& s) { s.OnRecord(); }},  // 1
    {"OnRecordAppend", "EHEHEEEEEEEE", [](State& s) { s.OnRecordAppend(); }},  // 2
    {"OnRecordInsert", "EHEHEEEEEEEE", [](State& s) { s.OnRecordInsert(); }},  // 3
    {"OnRecordOverwrite", "EHEHEEEEEEEE", [](State& s) { s.OnRecordOverwrite(); }},  // 4
    {"OnStop", "EEHHHHHHHHHH", [](State& s) { s.OnStop(); }},  // 5
    {"OnPause", "EEHHHHHHHHHH", [](State& s) { s.OnPause(); }},  // 6
    {"OnFF", "EHHHEEEEEEEE", [](State& s) { s.OnFF(); }},  // 7
    {"OnREW", "EHHHEEEEEEEE", [](State& s) { s.OnREW(); }},  // 8
    {"OnHalt", "--HHHHHHHHHH", [](State& s) { s.OnHalt(); }},  // 9
    {"OnRename", "HHHHHHEEEEEE", [](State& s) { s.OnRename(); }},  // 10
    {"OnDelete", "HHEEEEEEEEEE", [](State& s) { s.OnDelete(); }},  // 11
    {"OnKey", "HHHHHHHH----", [](State& s) { s.OnKey(settings::vk::Digit0 + 5); }},  // 12
    {"OnRequestPlay", "EHEEEEEEEEEE", [](State& s) { s.OnRequestPlay(); }},  // 13
    {"OnRequestRecordAppend", "EHEEEEEEEEEE", [](State& s) { s.OnRequestRecordAppend(); }},  // 14
    {"OnRequestRecordInsert", "EHEEEEEEEEEE", [](State& s) { s.OnRequestRecordInsert(); }},  // 15
    {"OnRequestRecordOverwrite", "EHEEEEEEEEEE", [](State& s) { s.OnRequestRecordOverwrite(); }},  // 16
    {"OnActivateRecording", "HHHH--------", [](State& s) { s.OnActivateRecording("/elsewhere/Other.wav"); }},  // 17
    {"HandlePositionThumbTrack", "EHHHEEEEEEEE", [](State& s) { s.HandlePositionThumbTrack(500); }},  // 18
    {"HandlePositionEndTrack", "E---EEEEEEEE", [](State& s) { s.HandlePositionEndTrack(500); }},  // 19
    {"HandleVolumeThumbTrack", "HHHHEEEEEEEE", [](State& s) { s.HandleVolumeThumbTrack(30); }},  // 20
    {"HandleVolumeEndTrack", "----EEEEEEEE", [](State& s) { s.HandleVolumeEndTrack(30); }},  // 21
    {"OnPlayStart", "EHEEEEEEEEEE", [](State& s) { s.OnPlayStart(); }},  // 22
    {"OnPlayEnd", "EEHEEEEEEEEE", [](State& s) { s.OnPlayEnd(); }},  // 23
    {"OnPosSet", "EHHHEEEEEEEE", [](State& s) { s.OnPosSet(); }},  // 24
    {"OnWaterMark", "EEEEHEHEHEHE", [](State& s) { s.OnWaterMark(); }},  // 25
    {"OnPausedOn", "EEHEHEHEHEHE", [](State& s) { s.OnPausedOn(); }},  // 26
    {"OnPausedOff", "EEHHEHEHEHEH", [](State& s) { s.OnPausedOff(); }},  // 27
    {"OnRecordStart", "HHEEEEEEEEEE", [](State& s) { s.OnRecordStart(); }},  // 28
    {"OnRecordActivated", "EEEEHEEEEEEE", [](State& s) { s.OnRecordActivated(); }},  // 29
    {"OnSilenceCut", "EEEEHEEEEEEE", [](State& s) { s.OnSilenceCut(); }},  // 30
    {"OnRecordEnd", "EEEEHEEEEEEE", [](State& s) { s.OnRecordEnd(); }},  // 31
    {"OnFileReady", "EEEEHEEEEEEE", [](State& s) { s.OnFileReady(); }},  // 32
    {"OnTooSlow", "EEEEHEEEEEEE", [](State& s) { s.OnTooSlow(); }},  // 33
    {"OnAppendRecordStart", "EHEHEEEEEEEE", [](State& s) { s.OnAppendRecordStart(); }},  // 34
    {"OnAppendRecordActivated", "EEEEEEHEEEEE", [](State& s) { s.OnAppendRecordActivated(); }},  // 35
    {"OnAppendSilenceCut", "EEEEEEHEEEEE", [](State& s) { s.OnAppendSilenceCut(); }},  // 36
    {"OnAppendRecordEnd", "EEEEEEHEEEEE", [](State& s) { s.OnAppendRecordEnd(); }},  // 37
    {"OnAppendFileReady", "EEEEEEHEEEEE", [](State& s) { s.OnAppendFileReady(); }},  // 38
    {"OnAppendTooSlow", "EEEEEEHEEEEE", [](State& s) { s.OnAppendTooSlow(); }},  // 39
    {"OnInsertRecordStart", "EHEHEEEEEEEE", [](State& s) { s.OnInsertRecordStart(); }},  // 40
    {"OnInsertRecordActivated", "EEEEEEEEHEEE", [](State& s) { s.OnInsertRecordActivated(); }},  // 41
    {"OnInsertSilenceCut", "EEEEEEEEHEEE", [](State& s) { s.OnInsertSilenceCut(); }},  // 42
    {"OnInsertRecordEnd", "EEEEEEEEHEEE", [](State& s) { s.OnInsertRecordEnd(); }},  // 43
    {"OnInsertFileReady", "EEEEEEEEHEEE", [](State& s) { s.OnInsertFileReady(); }},  // 44
    {"OnInsertTooSlow", "EEEEEEEEHEEE", [](State& s) { s.OnInsertTooSlow(); }},  // 45
    {"OnOverwriteRecordStart", "EHEHEEEEEEEE", [](State& s) { s.OnOverwriteRecordStart(); }},  // 46
    {"OnOverwriteRecordActivated", "EEEEEEEEEEHE", [](State& s) { s.OnOverwriteRecordActivated(); }},  // 47
    {"OnOverwriteSilenceCut", "EEEEEEEEEEHE", [](State& s) { s.OnOverwriteSilenceCut(); }},  // 48
    {"OnOverwriteRecordEnd", "EEEEEEEEEEHE", [](State& s) { s.OnOverwriteRecordEnd(); }},  // 49
    {"OnOverwriteFileReady", "EEEEEEEEEEHE", [](State& s) { s.OnOverwriteFileReady(); }},  // 50
    {"OnOverwriteTooSlow", "EEEEEEEEEEHE", [](State& s) { s.OnOverwriteTooSlow(); }},  // 51
    {"OnOptions", "HHHHHHHHHHHH", [](State& s) { s.OnOptions(); }},  // 52
    {"OnLevelTimer", "--H-HHHHHHHH", [](State& s) { s.OnLevelTimer(); }},  // 53
    {"OnClockTimer", "--H-H-H-H-H-", [](State& s) { s.OnClockTimer(); }},  // 54
    {"OnBlinkTimer", "---HHHHHHHHH", [](State& s) { s.OnBlinkTimer(); }},  // 55
    {"OnRemainingTimer", "----H-H-H-H-", [](State& s) { s.OnRemainingTimer(); }},  // 56
    {"OnKeepAwakeTimer", "----HHHHHHHH", [](State& s) { s.OnKeepAwakeTimer(); }},  // 57
    {"OnListTimer", "HHHH-H-H-H-H", [](State& s) { s.OnListTimer(); }},  // 58
    {"Enter", "HHHHHHHHHHHH", [](State& s) { s.Enter(); }},  // 59
    {"UpdateMenu", "HHHHHHHHHHHH", [](State& s) { s.UpdateMenu(); }},  // 60
    {"OnHighlightRow", "HH----------", [](State& s) { s.OnHighlightRow("/elsewhere/Other.wav"); }},  // 61
    {"OnEngineError", "HHHHHHHHHHHH", [](State& s) { s.OnEngineError(0x21000000, 0x7CC); }},  // 62
};
// clang-format on

// Everything a state keeps besides the window and the engine.
struct Snapshot {
    controller::ControllerVariables vars;
    controller::AudioFileInfo facts;
    std::vector<bool> flags;
    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

Snapshot Take(controller::Controller& c) {
    return {c.vars,
            c.currentFacts,
            {c.record.activated, c.record.saving, c.recordAppend.activated, c.recordAppend.saving,
             c.recordInsert.activated, c.recordInsert.saving, c.recordOverwrite.activated, c.recordOverwrite.saving,
             c.pausePlay.blinkPhase, c.pauseRecord.blinkPhase, c.pauseRecordAppend.blinkPhase,
             c.pauseRecordInsert.blinkPhase, c.pauseRecordOverwrite.blinkPhase}};
}

// A rig in the state, with a recording the window counts as current.
std::unique_ptr<ControllerRig> RigIn(StateId id) {
    auto rig = std::make_unique<ControllerRig>();
    rig->window.SetCurrentPath(rig->path("Recording1.wav"));
    rig->window.SetLengthMs(10'000);
    // A key on every function, so that an ignored key is ignored for its meaning too.
    rig->settings.keys().set(settings::Function::AppendStop, settings::vk::Digit0 + 5);
    rig->ctl.Force(id);
    rig->clear();
    return rig;
}

TEST(AcceptanceTableShape, HasEveryOperationOnceInSlotOrderAndAMarkPerState) {
    ASSERT_EQ(std::size(kTable), static_cast<std::size_t>(controller::kStateOperationCount));
    std::set<std::string> names;
    for (const Operation& op : kTable) {
        EXPECT_TRUE(names.insert(op.name).second) << op.name;
        EXPECT_EQ(std::string(op.marks).size(), controller::kStateCount) << op.name;
        EXPECT_EQ(std::string(op.marks).find_first_not_of("HE-"), std::string::npos) << op.name;
    }
}

class AcceptanceTable : public ::testing::TestWithParam<std::size_t> {};

TEST_P(AcceptanceTable, EachOperationIsHandledReportedOrIgnoredAsTheTableSays) {
    const std::size_t column = GetParam();
    const auto id = static_cast<StateId>(column);
    const std::string stateName = kStateNames[column];
    EXPECT_EQ(RigIn(id)->state(id).ClassName(), stateName);

    for (const Operation& op : kTable) {
        SCOPED_TRACE(stateName + "::" + op.name);
        auto rig = RigIn(id);
        const Snapshot before = Take(rig->ctl);
        op.invoke(rig->current());

        const char mark = op.marks[column];
        if (mark == 'H') {
            for (const auto& box : rig->shell.boxes()) EXPECT_NE(box.caption, "Internal Error") << box.text;
            continue;
        }
        if (mark == 'E') {
            ASSERT_EQ(rig->shell.boxes().size(), 1u);
            EXPECT_EQ(rig->shell.boxes()[0].text, InternalErrorText(stateName, op.name));
            EXPECT_EQ(rig->shell.boxes()[0].caption, "Internal Error");
            EXPECT_EQ(rig->shell.boxes()[0].style, platform::mb::IconHand);
        } else {
            EXPECT_TRUE(rig->shell.boxes().empty());
        }
        EXPECT_TRUE(rig->window.calls().empty()) << rig->window.calls().front();
        EXPECT_TRUE(rig->engine.calls().empty()) << rig->engine.calls().front();
        EXPECT_TRUE(rig->engine.pendingEvents().empty());
        EXPECT_TRUE(Take(rig->ctl) == before);
        EXPECT_TRUE(rig->in(id));
    }
}

INSTANTIATE_TEST_SUITE_P(States, AcceptanceTable, ::testing::Range<std::size_t>(0, controller::kStateCount),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                             return std::string(kStateNames[param.param]);
                         });

}  // namespace
}  // namespace tavrin::test
