// Mark, Next mark and Previous mark in every kind of state, by key and by
// the menu: a mark wherever there is a place recorded or heard, moves only
// where there is a place heard, and nothing where there is neither.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ControllerRig.h"
#include "controller/Commands.h"

namespace tavrin::test {
namespace {

using controller::cmd::Mark;
using settings::Function;
namespace vk = settings::vk;

constexpr std::uint32_t kMarkKey = vk::Digit0 + 7;
constexpr std::uint32_t kNextKey = vk::Digit0 + 8;
constexpr std::uint32_t kPreviousKey = vk::Digit0 + 9;

struct MarkCase {
    const char* name;
    std::function<void(ControllerRig&)> reach;
    bool marks;  // there is a place recorded or heard
    bool moves;  // there is a place heard
};

const MarkCase kCases[] = {
    {"Idle", [](ControllerRig&) {}, false, false},
    {"FileSelected", [](ControllerRig& r) { r.toFileSelected(r.path("a.wav")); }, true, true},
    {"Play", [](ControllerRig& r) { r.toPlay(r.path("a.wav")); }, true, true},
    {"PausePlay", [](ControllerRig& r) { r.toPausePlay(r.path("a.wav")); }, true, true},
    {"Record", [](ControllerRig& r) { r.toRecord(); }, true, false},
    {"PauseRecord", [](ControllerRig& r) { r.toPauseRecord(); }, true, false},
    {"Insert", [](ControllerRig& r) { r.toEdit(r.path("a.wav"), controller::kRequestRecordInsert); }, true, false},
    {"PausedOverwrite",
     [](ControllerRig& r) { r.toPausedEdit(r.path("a.wav"), controller::kRequestRecordOverwrite); }, true, false},
};

class MarkActionsIn : public testing::TestWithParam<MarkCase> {
protected:
    void SetUp() override {
        rig.settings.keys().set(Function::Mark, kMarkKey);
        rig.settings.keys().set(Function::NextMark, kNextKey);
        rig.settings.keys().set(Function::PreviousMark, kPreviousKey);
        rig.engine.setMarks(rig.path("a.wav"), {1000, 3000});
        GetParam().reach(rig);
        rig.engine.setPositionMs(2000);
        rig.clear();
    }
    bool Called(const std::string& call) {
        const auto& calls = rig.engine.calls();
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }

    ControllerRig rig;
};

TEST_P(MarkActionsIn, MarkByKeyOrMenuSaysItsNameAndCount) {
    const MarkCase& c = GetParam();
    ASSERT_TRUE(rig.ctl.marks.OnKey(rig.settings.keys(), kMarkKey));
    EXPECT_EQ(Called("AddMark"), c.marks);
    if (!c.marks) {
        EXPECT_TRUE(rig.window.calls().empty()) << "nothing to mark, nothing shown";
        return;
    }
    const std::uint32_t before = rig.window.markCount();
    EXPECT_EQ(rig.window.flashed().rfind("Mark ", 0), 0u) << rig.window.flashed();
    ASSERT_TRUE(rig.ctl.marks.OnCommand(Mark));
    EXPECT_EQ(rig.window.markCount(), before + 1) << "the panel counts the marks";
    EXPECT_TRUE(rig.ctl.marks.OnCommand(controller::cmd::NextMark));
    EXPECT_FALSE(rig.ctl.marks.OnCommand(controller::cmd::Play)) << "not a mark's command";
    EXPECT_FALSE(rig.ctl.marks.OnKey(rig.settings.keys(), vk::Digit0 + 1)) << "not a mark's key";
}

TEST_P(MarkActionsIn, AMarkThatCannotBeKeptIsSaidSoAndNotCounted) {
    if (!GetParam().marks) GTEST_SKIP() << "no place to mark";
    rig.engine.failNext(ScriptedEngine::Op::AddMark, {0x21000000, 0});
    ASSERT_TRUE(rig.ctl.marks.OnCommand(Mark));
    EXPECT_EQ(rig.window.flashed(), "The mark could not be saved");
    EXPECT_EQ(rig.window.markCount(), 0u);
}

TEST_P(MarkActionsIn, NextAndPreviousMoveToTheMarksAroundThePlaceHeard) {
    const MarkCase& c = GetParam();
    ASSERT_TRUE(rig.ctl.marks.OnKey(rig.settings.keys(), kNextKey));
    EXPECT_EQ(Called("SeekToMark(next)"), c.moves);
    if (!c.moves) return;
    EXPECT_EQ(rig.engine.GetPositionMs(), 3000u);
    ASSERT_TRUE(rig.ctl.marks.OnKey(rig.settings.keys(), kNextKey));
    EXPECT_EQ(rig.engine.GetPositionMs(), 3000u) << "none left: nothing moves";
    ASSERT_TRUE(rig.ctl.marks.OnKey(rig.settings.keys(), kPreviousKey));
    EXPECT_EQ(rig.engine.GetPositionMs(), 1000u);
    ASSERT_TRUE(rig.ctl.marks.OnKey(rig.settings.keys(), kPreviousKey));
    EXPECT_EQ(rig.engine.GetPositionMs(), 1000u) << "none left: nothing moves";
}

// The cuts at rest: each asks first, naming the recording and the length it
// removes, and cuts only on Yes; while playing or recording none acts.
TEST_P(MarkActionsIn, CutsAskFirstAndActOnlyAtRestAndOnYes) {
    const MarkCase& c = GetParam();
    struct Cut {
        std::uint32_t command;
        const char* question;
        const char* call;
    };
    const Cut cuts[] = {
        {controller::cmd::CutToHere, "Remove 00:00:02 from a?", "Cut(0,2000)"},
        {controller::cmd::CutFromHere, "Remove 00:00:03 from a?", "Cut(2000,5000)"},
        {controller::cmd::CutBetweenMarks, "Remove 00:00:02 from a?", "Cut(1000,3000)"},
    };
    for (const Cut& cut : cuts) {
        SCOPED_TRACE(cut.question);
        for (const int answer : {platform::answer::No, platform::answer::Yes}) {
            controller::AudioFileInfo facts{};
            facts.durationMs = 5000;
            rig.engine.setFacts(rig.path("a.wav"), facts);
            rig.engine.setMarks(rig.path("a.wav"), {1000, 3000});
            rig.engine.setPositionMs(2000);
            rig.clear();
            rig.shell.queueAnswer(answer);
            ASSERT_TRUE(rig.ctl.marks.OnCommand(cut.command));
            const bool resting = c.moves && std::string(c.name) == "FileSelected";
            ASSERT_EQ(rig.shell.boxes().size(), resting ? 1u : 0u);
            if (resting) {
                EXPECT_EQ(rig.shell.boxes()[0].text, cut.question);
            }
            EXPECT_EQ(Called(cut.call), resting && answer == platform::answer::Yes);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(States, MarkActionsIn, testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tavrin::test

namespace tavrin::test {
namespace {

// What may follow a cut before the menu is opened again, and whether "Undo
// cut" is still offered then.
struct AfterCut {
    const char* name;
    std::function<void(ControllerRig&)> happen;
    bool undoable;
};

const AfterCut kAfterCut[] = {
    {"Nothing", [](ControllerRig&) {}, true},
    {"PlayAndStop",
     [](ControllerRig& r) {
         r.current().OnPlay();
         r.engine.deliverAll();
         r.current().OnStop();
         r.engine.deliverAll();
     },
     true},
    {"Mark", [](ControllerRig& r) { ASSERT_TRUE(r.ctl.marks.OnCommand(controller::cmd::Mark)); }, false},
    {"AnotherRecording", [](ControllerRig& r) { r.toFileSelected(r.path("b.wav")); }, false},
    {"Append",
     [](ControllerRig& r) {
         ASSERT_TRUE(controller::DispatchAppMessage(r.current(), controller::kRequestRecordAppend));
         r.engine.deliverAll();
         r.current().OnStop();
         r.engine.deliverAll();
     },
     false},
    {"Delete",
     [](ControllerRig& r) {
         r.shell.queueAnswer(platform::answer::Yes);
         r.current().OnDelete();
         r.engine.deliverAll();
     },
     false},
};

class UndoCutAfter : public testing::TestWithParam<AfterCut> {};

std::optional<controller::MenuItem> UndoItem(ControllerRig& rig) {
    // The window asks for the menu afresh each time it opens.
    rig.current().UpdateMenu();
    for (const controller::MenuItem& item : rig.window.menu())
        if (item.command == controller::cmd::UndoCut) return item;
    return std::nullopt;
}

TEST_P(UndoCutAfter, UndoCutIsOfferedUntilTheRecordingIsClosedOrChanged) {
    ControllerRig rig;
    controller::AudioFileInfo facts{};
    facts.durationMs = 5000;
    rig.engine.setFacts(rig.path("a.wav"), facts);
    rig.toFileSelected(rig.path("a.wav"));
    const auto before = UndoItem(rig);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->caption, "Undo cut");
    EXPECT_TRUE(before->flags & controller::mf::Grayed) << "offered before any cut";
    rig.engine.setPositionMs(2000);
    rig.shell.queueAnswer(platform::answer::Yes);
    ASSERT_TRUE(rig.ctl.marks.OnCommand(controller::cmd::CutToHere));
    GetParam().happen(rig);
    rig.clear();
    const auto item = UndoItem(rig);
    ASSERT_TRUE(item);
    EXPECT_EQ((item->flags & controller::mf::Grayed) == 0, GetParam().undoable);

    ASSERT_TRUE(rig.ctl.marks.OnCommand(controller::cmd::UndoCut));
    const auto& calls = rig.engine.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "UndoCut"), GetParam().undoable ? 1 : 0);
    if (!GetParam().undoable) return;
    EXPECT_EQ(rig.window.LengthMs(), 5000) << "the panel kept the cut length";
    EXPECT_TRUE(UndoItem(rig)->flags & controller::mf::Grayed) << "a cut undone twice";
}

INSTANTIATE_TEST_SUITE_P(Events, UndoCutAfter, testing::ValuesIn(kAfterCut),
                         [](const auto& param) { return std::string(param.param.name); });

// Undo acts at rest only: while playing or recording the item does nothing.
TEST_P(MarkActionsIn, UndoCutActsOnlyAtRest) {
    ASSERT_TRUE(rig.ctl.marks.OnCommand(controller::cmd::UndoCut));
    EXPECT_FALSE(Called("UndoCut")) << "nothing was cut, or not at rest";
}

}  // namespace
}  // namespace tavrin::test
