// The summary of transitions, row by row: from its starting state, the
// command or event of the row, then the engine's events delivered as the
// engine raises them. `before` is the state right after the command, while
// the engine's answer is still on its way; `after` is where the events lead.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ControllerRig.h"

namespace tavrin::test {
namespace {

using engine::ResultCode;
using Op = ScriptedEngine::Op;
using Rig = ControllerRig;
namespace answer = platform::answer;

struct Row {
    std::string name;
    std::function<void(Rig&)> from;
    StateId start;
    std::function<void(Rig&)> act;
    StateId before;
    StateId after;
};

std::string A(Rig& r) { return r.path("a.wav"); }

void Nothing(Rig&) {}
void Selected(Rig& r) { r.toFileSelected(A(r)); }
void Playing(Rig& r) { r.toPlay(A(r)); }
void PausedPlaying(Rig& r) { r.toPausePlay(A(r)); }
void Recording(Rig& r) { r.toRecord(); }
void PausedRecording(Rig& r) { r.toPauseRecord(); }
std::function<void(Rig&)> Editing(std::uint32_t request) {
    return [request](Rig& r) { r.toEdit(A(r), request); };
}
std::function<void(Rig&)> PausedEditing(std::uint32_t request) {
    return [request](Rig& r) { r.toPausedEdit(A(r), request); };
}
std::function<void(Rig&)> Call(void (controller::State::*op)()) {
    return [op](Rig& r) { (r.current().*op)(); };
}
std::function<void(Rig&)> Raise(std::uint32_t message) {
    return [message](Rig& r) { r.engine.raise(message); };
}
std::function<void(Rig&)> Then(std::function<void(Rig&)> first, std::function<void(Rig&)> second) {
    return [first, second](Rig& r) {
        first(r);
        second(r);
    };
}
void AnswerYes(Rig& r) { r.shell.queueAnswer(answer::Yes); }

using S = controller::State;
constexpr std::uint32_t kAppend = controller::kRequestRecordAppend, kInsert = controller::kRequestRecordInsert,
                        kOverwrite = controller::kRequestRecordOverwrite;

struct Edit {
    const char* name;
    std::uint32_t request;
    std::uint32_t base;
    StateId running, paused;
    void (S::*command)();
    void (S::*requestOp)();
};
const Edit kEdits[] = {
    {"Append", kAppend, 20, StateId::RecordAppend, StateId::PauseRecordAppend, &S::OnRecordAppend,
     &S::OnRequestRecordAppend},
    {"Insert", kInsert, 30, StateId::RecordInsert, StateId::PauseRecordInsert, &S::OnRecordInsert,
     &S::OnRequestRecordInsert},
    {"Overwrite", kOverwrite, 10, StateId::RecordOverwrite, StateId::PauseRecordOverwrite, &S::OnRecordOverwrite,
     &S::OnRequestRecordOverwrite},
};

std::vector<Row> Rows() {
    std::vector<Row> rows{
        {"IdleRecordThenRecordStart", Nothing, StateId::Idle, Call(&S::OnRecord), StateId::Idle, StateId::Record},
        {"FileSelectedRecordThenRecordStart", Selected, StateId::FileSelected, Call(&S::OnRecord),
         StateId::FileSelected, StateId::Record},
        {"IdleActivateSelectsThenPlayStart",
         Nothing, StateId::Idle, [](Rig& r) { r.current().OnActivateRecording(A(r)); }, StateId::FileSelected,
         StateId::Play},
        {"FileSelectedActivateAnotherThenPlayStart",
         Selected, StateId::FileSelected, [](Rig& r) { r.current().OnActivateRecording(r.path("b.wav")); },
         StateId::FileSelected, StateId::Play},
        {"FileSelectedPlayThenPlayStart", Selected, StateId::FileSelected, Call(&S::OnPlay), StateId::FileSelected,
         StateId::Play},
        {"FileSelectedPlayRequestThenPlayStart", Selected, StateId::FileSelected, Call(&S::OnRequestPlay),
         StateId::FileSelected, StateId::Play},
        {"FileSelectedDeleteConfirmed", Selected, StateId::FileSelected, Then(AnswerYes, Call(&S::OnDelete)),
         StateId::Idle, StateId::Idle},
        {"PlayPauseThenPausedOn", Playing, StateId::Play, Call(&S::OnPause), StateId::Play, StateId::PausePlay},
        {"PlayStopThenPlayEnd", Playing, StateId::Play, Call(&S::OnStop), StateId::Play, StateId::FileSelected},
        {"PlayActivateAnotherThenPlayEndAndPlayStart",
         Playing, StateId::Play, [](Rig& r) { r.current().OnActivateRecording(r.path("b.wav")); }, StateId::Play,
         StateId::Play},
        {"PausePlayPauseThenPausedOff", PausedPlaying, StateId::PausePlay, Call(&S::OnPause), StateId::PausePlay,
         StateId::Play},
        {"PausePlayStopThenPlayEnd", PausedPlaying, StateId::PausePlay, Call(&S::OnStop), StateId::Play,
         StateId::FileSelected},
        {"RecordPauseThenPausedOn", Recording, StateId::Record, Call(&S::OnPause), StateId::Record,
         StateId::PauseRecord},
        {"PauseRecordPauseThenPausedOff", PausedRecording, StateId::PauseRecord, Call(&S::OnPause),
         StateId::PauseRecord, StateId::Record},
        {"PauseRecordStopThenFileReady", PausedRecording, StateId::PauseRecord, Call(&S::OnStop), StateId::Record,
         StateId::FileSelected},
        {"RecordStopThenRecordEndAndFileReady", Recording, StateId::Record, Call(&S::OnStop), StateId::Record,
         StateId::FileSelected},
        {"RecordTooSlowThenRecordEndAndFileReady", Recording, StateId::Record, Raise(0x8019), StateId::Record,
         StateId::FileSelected},
        {"RecordWaterMark",
         Recording, StateId::Record,
         [](Rig& r) {
             r.engine.setMode(ScriptedEngine::Mode::FileOpen);  // the engine stopped for want of memory
             r.engine.raise(0x800F);
         },
         StateId::Record, StateId::FileSelected},
        {"RecordFileReadyButTheReopenFailsWithTheWarningBit",
         Recording, StateId::Record,
         [](Rig& r) {
             r.current().OnStop();
             r.engine.failNext(Op::OpenFile, ResultCode(0x21000000, 1996));
         },
         StateId::Record, StateId::Idle},
        {"AnyResultWithTheWarningBitDropsToIdle",
         Selected, StateId::FileSelected,
         [](Rig& r) {
             r.engine.failNext(Op::PlayStart, ResultCode(0x22000002, 7));
             r.current().OnPlay();
         },
         StateId::Idle, StateId::Idle},
    };
    for (const Edit& e : kEdits) {
        const std::string n = e.name;
        rows.push_back({"FileSelected" + n + "ThenItsRecordStart", Selected, StateId::FileSelected,
                        Then(AnswerYes, Call(e.command)), StateId::FileSelected, e.running});
        rows.push_back({"FileSelected" + n + "RequestThenItsRecordStart", Selected, StateId::FileSelected,
                        Then(AnswerYes, Call(e.requestOp)), StateId::FileSelected, e.running});
        rows.push_back({"PausePlay" + n + "RecordStartBeginsTheEdit", PausedPlaying, StateId::PausePlay,
                        Raise(0x8015 + e.base), StateId::PausePlay, e.running});
        rows.push_back({"PausePlay" + n + "ThenPlayEndStartsTheEdit", PausedPlaying, StateId::PausePlay,
                        Then(AnswerYes, Call(e.command)), StateId::Play, e.running});
        rows.push_back({n + "PauseThenPausedOn", Editing(e.request), e.running, Call(&S::OnPause), e.running,
                        e.paused});
        rows.push_back({"Paused" + n + "PauseThenPausedOff", PausedEditing(e.request), e.paused, Call(&S::OnPause),
                        e.paused, e.running});
        rows.push_back({"Paused" + n + "StopThenFileReady", PausedEditing(e.request), e.paused, Call(&S::OnStop),
                        e.running, StateId::FileSelected});
        rows.push_back({n + "StopThenItsRecordEndAndFileReady", Editing(e.request), e.running, Call(&S::OnStop),
                        e.running, StateId::FileSelected});
        rows.push_back({n + "TooSlowThenItsRecordEndAndFileReady", Editing(e.request), e.running,
                        Raise(0x8019 + e.base), e.running, StateId::FileSelected});
    }
    return rows;
}

class Transitions : public ::testing::TestWithParam<Row> {};

TEST_P(Transitions, LeadFromTheStartingStateThroughTheEnginesEvents) {
    const Row& row = GetParam();
    Rig rig;
    row.from(rig);
    ASSERT_TRUE(rig.in(row.start));
    row.act(rig);
    EXPECT_TRUE(rig.in(row.before));
    rig.engine.deliverAll();
    EXPECT_TRUE(rig.in(row.after));
    for (const auto& box : rig.shell.boxes()) EXPECT_NE(box.caption, "Internal Error") << box.text;
}

INSTANTIATE_TEST_SUITE_P(Summary, Transitions, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& param) { return param.param.name; });

TEST(Transitions, StatesAreNeverCreatedOnATransitionAndIdleIsCurrentAtStart) {
    Rig rig;
    EXPECT_TRUE(rig.in(StateId::Idle));
    controller::State* const record = &rig.ctl.record;
    rig.toRecord();
    EXPECT_EQ(rig.window.CurrentState(), record);
}

}  // namespace
}  // namespace tavrin::test
