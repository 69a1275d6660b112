// The soft-key menu each state builds: fourteen items, enabled or greyed by
// state, captions padded to line up the names of the assigned keys.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "ControllerRig.h"
#include "controller/CommandMenu.h"

namespace tavrin::test {
namespace {

using controller::MenuItem;
using settings::Function;
namespace cmd = controller::cmd;
namespace mf = controller::mf;
namespace vk = settings::vk;

TEST(CaptionWithKey, PadsEachCaptionWithItsOwnRunThenTheKeyName) {
    const std::vector<std::tuple<std::string, std::size_t>> runs{
        {"Play", 12}, {"Record", 6}, {"Pause", 8}, {"Resume", 6},    {"Stop", 11},
        {"FF", 16},   {"REW", 11},   {"Append", 5}, {"Insert", 1}, {"Overwrite", 1},
    };
    for (const auto& [caption, spaces] : runs) {
        EXPECT_EQ(controller::CaptionWithKey(caption, 0), caption + std::string(spaces, ' ')) << caption;
        EXPECT_EQ(controller::CaptionWithKey(caption, vk::Star), caption + std::string(spaces, ' ') + "*");
    }
    EXPECT_EQ(controller::CaptionWithKey("Play", vk::Digit0 + 1), "Play            1");
    EXPECT_EQ(controller::CaptionWithKey("Rename", vk::Digit0 + 1), "Rename1");  // no run of its own
    EXPECT_EQ(controller::CaptionWithKey("FF", vk::Right), "FF                ->");
    EXPECT_EQ(controller::CaptionWithKey("REW", vk::Left), "REW           <-");
    EXPECT_EQ(controller::CaptionWithKey("Stop", vk::Pound), "Stop           #");
    EXPECT_EQ(controller::CaptionWithKey("Stop", vk::Action), "Stop           ");  // not a key with a name
}

// Enabled items per state, in menu order: Play Record Append Insert Overwrite Pause Stop FF REW Rename
// Delete Options. Insert and Overwrite are enabled exactly where Append is.
struct MenuCase {
    StateId state;
    const char* enabled;  // 'E' enabled, 'G' greyed
    const char* pauseCaption;
};

class StateMenus : public ::testing::TestWithParam<MenuCase> {};

TEST_P(StateMenus, EnterBuildsTheItemsOfTheState) {
    const MenuCase c = GetParam();
    ControllerRig rig;
    rig.state(c.state).Enter();
    const std::vector<MenuItem>& menu = rig.window.menu();
    ASSERT_EQ(menu.size(), 24u);
    const std::vector<std::uint32_t> commands{
        cmd::Play,   cmd::Record,       cmd::Append,      cmd::Insert,      cmd::Overwrite, cmd::Mark,
        cmd::Pause,  cmd::Stop,         cmd::FF,          cmd::REW,         cmd::NextMark,  cmd::PreviousMark,
        cmd::Speed,  0,                 cmd::CutToHere,   cmd::CutFromHere, cmd::CutBetweenMarks, cmd::UndoCut, 0,
        cmd::Rename, cmd::Delete,       cmd::Export,      0,                cmd::Options};
    const std::string enabled = c.enabled;
    std::size_t item = 0;
    for (std::size_t i = 0; i < menu.size(); ++i) {
        EXPECT_EQ(menu[i].command, commands[i]) << i;
        if (commands[i] == 0) {
            EXPECT_EQ(menu[i], (MenuItem{mf::Separator, 0, ""})) << i;
            continue;
        }
        EXPECT_EQ(menu[i].flags, enabled[item++] == 'E' ? mf::Enabled : mf::Grayed) << menu[i].caption;
    }
    EXPECT_EQ(menu[3].caption, "Insert ");
    EXPECT_EQ(menu[4].caption, "Overwrite ");
    EXPECT_EQ(menu[5].caption, "Mark          ");
    EXPECT_EQ(menu[6].caption, controller::CaptionWithKey(c.pauseCaption, 0));
    EXPECT_EQ(menu[10].caption, "Next mark ");
    EXPECT_EQ(menu[11].caption, "Previous mark ");
    EXPECT_EQ(menu[12].caption, "Speed");
    EXPECT_EQ(menu[14].caption, "Cut to here");
    EXPECT_EQ(menu[15].caption, "Cut from here");
    EXPECT_EQ(menu[16].caption, "Cut between marks");
    EXPECT_EQ(menu[17].caption, "Undo cut");
    EXPECT_EQ(menu[19].caption, "Rename");
    EXPECT_EQ(menu[20].caption, "Delete");
    EXPECT_EQ(menu[21].caption, "Export");
    EXPECT_EQ(menu[23].caption, "Options");
}

INSTANTIATE_TEST_SUITE_P(
    States, StateMenus,
    ::testing::Values(MenuCase{StateId::Idle, "GEGGGGGGGGGGEGGGGEEEE", "Pause"},  // only Record, Rename, Delete, Options
                      MenuCase{StateId::FileSelected, "EEEEEEGGEEEEEEEGGEEEE", "Pause"},
                      MenuCase{StateId::Play, "GGGGGEEEEEEEEGGGGGGGE", "Pause"},
                      MenuCase{StateId::PausePlay, "GGEEEEEEEEEEEGGGGGGGE", "Resume"},  // Append starts the deferred append
                      MenuCase{StateId::Record, "GGGGGEEEGGGGEGGGGGGGE", "Pause"},
                      MenuCase{StateId::RecordAppend, "GGGGGEEEGGGGEGGGGGGGE", "Pause"},
                      MenuCase{StateId::RecordInsert, "GGGGGEEEGGGGEGGGGGGGE", "Pause"},
                      MenuCase{StateId::RecordOverwrite, "GGGGGEEEGGGGEGGGGGGGE", "Pause"},
                      MenuCase{StateId::PauseRecord, "GGGGGEEEGGGGEGGGGGGGE", "Resume"},
                      MenuCase{StateId::PauseRecordAppend, "GGGGGEEEGGGGEGGGGGGGE", "Resume"},
                      MenuCase{StateId::PauseRecordInsert, "GGGGGEEEGGGGEGGGGGGGE", "Resume"},
                      MenuCase{StateId::PauseRecordOverwrite, "GGGGGEEEGGGGEGGGGGGGE", "Resume"}));

TEST(Menu, CaptionsShowTheKeysOfTheSingleFunctionsOnly) {
    ControllerRig rig;
    settings::KeyAssignments& keys = rig.settings.keys();
    keys.set(Function::Play, vk::Digit0 + 1);
    keys.set(Function::Record, vk::Digit0 + 2);
    keys.set(Function::Append, vk::Digit0 + 3);
    keys.set(Function::Insert, vk::Digit0 + 6);
    keys.set(Function::Overwrite, vk::Pound);
    keys.set(Function::Pause, vk::Digit0 + 4);
    keys.set(Function::Stop, vk::Digit0 + 5);
    keys.set(Function::Forward, vk::Right);
    keys.set(Function::Rewind, vk::Left);
    keys.set(Function::Mark, vk::Digit0 + 7);
    keys.set(Function::NextMark, vk::Digit0 + 8);
    keys.set(Function::PreviousMark, vk::Digit0 + 9);
    keys.set(Function::PlayPause, vk::Star);  // the combined functions are not shown
    rig.current().UpdateMenu();
    const std::vector<MenuItem>& menu = rig.window.menu();
    EXPECT_EQ(menu[0].caption, "Play            1");
    EXPECT_EQ(menu[1].caption, "Record      2");
    EXPECT_EQ(menu[2].caption, "Append     3");
    EXPECT_EQ(menu[3].caption, "Insert 6");
    EXPECT_EQ(menu[4].caption, "Overwrite #");
    EXPECT_EQ(menu[5].caption, "Mark          7");
    EXPECT_EQ(menu[6].caption, "Pause        4");
    EXPECT_EQ(menu[7].caption, "Stop           5");
    EXPECT_EQ(menu[8].caption, "FF                ->");
    EXPECT_EQ(menu[9].caption, "REW           <-");
    EXPECT_EQ(menu[10].caption, "Next mark 8");
    EXPECT_EQ(menu[11].caption, "Previous mark 9");
    for (const MenuItem& item : menu) EXPECT_EQ(item.caption.find('*'), std::string::npos) << item.caption;
}

TEST(Menu, AKeyChangeUpdatesTheCaptionsAtOnceWithoutAStateChange) {
    ControllerRig rig;
    rig.toPausePlay(rig.path("a.wav"));
    ASSERT_TRUE(rig.settings.keys().assign(Function::Pause, vk::Digit0 + 9));
    rig.current().UpdateMenu();  // what the button dialog calls after a change
    EXPECT_EQ(rig.window.menu()[6].caption, "Resume      9");
    EXPECT_EQ(rig.window.calls(), std::vector<std::string>{"ReplaceMenuItems"});
    EXPECT_TRUE(rig.in(StateId::PausePlay));

    ASSERT_TRUE(rig.settings.keys().assign(Function::Stop, vk::Digit0 + 9));  // moves the key
    rig.current().UpdateMenu();
    EXPECT_EQ(rig.window.menu()[6].caption, "Resume      ");
    EXPECT_EQ(rig.window.menu()[7].caption, "Stop           9");
}

}  // namespace
}  // namespace tavrin::test
