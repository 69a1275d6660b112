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

TEST_P(StateMenus, EnterBuildsTheSixteenItemsOfTheState) {
    const MenuCase c = GetParam();
    ControllerRig rig;
    rig.state(c.state).Enter();
    const std::vector<MenuItem>& menu = rig.window.menu();
    ASSERT_EQ(menu.size(), 16u);
    const std::vector<std::uint32_t> commands{cmd::Play,   cmd::Record, cmd::Append, cmd::Insert, cmd::Overwrite,
                                              cmd::Pause,  cmd::Stop,   cmd::FF,     cmd::REW,    cmd::Speed,
                                              0,           cmd::Rename, cmd::Delete, cmd::Export, 0,
                                              cmd::Options};
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
    EXPECT_EQ(menu[5].caption, controller::CaptionWithKey(c.pauseCaption, 0));
    EXPECT_EQ(menu[9].caption, "Speed");
    EXPECT_EQ(menu[11].caption, "Rename");
    EXPECT_EQ(menu[12].caption, "Delete");
    EXPECT_EQ(menu[13].caption, "Export");
    EXPECT_EQ(menu[15].caption, "Options");
}

INSTANTIATE_TEST_SUITE_P(
    States, StateMenus,
    ::testing::Values(MenuCase{StateId::Idle, "GEGGGGGGGEEEEE", "Pause"},  // only Record, Rename, Delete, Options
                      MenuCase{StateId::FileSelected, "EEEEEGGEEEEEEE", "Pause"},
                      MenuCase{StateId::Play, "GGGGGEEEEEGGGE", "Pause"},
                      MenuCase{StateId::PausePlay, "GGEEEEEEEEGGGE", "Resume"},  // Append starts the deferred append
                      MenuCase{StateId::Record, "GGGGGEEGGEGGGE", "Pause"},
                      MenuCase{StateId::RecordAppend, "GGGGGEEGGEGGGE", "Pause"},
                      MenuCase{StateId::RecordInsert, "GGGGGEEGGEGGGE", "Pause"},
                      MenuCase{StateId::RecordOverwrite, "GGGGGEEGGEGGGE", "Pause"},
                      MenuCase{StateId::PauseRecord, "GGGGGEEGGEGGGE", "Resume"},
                      MenuCase{StateId::PauseRecordAppend, "GGGGGEEGGEGGGE", "Resume"},
                      MenuCase{StateId::PauseRecordInsert, "GGGGGEEGGEGGGE", "Resume"},
                      MenuCase{StateId::PauseRecordOverwrite, "GGGGGEEGGEGGGE", "Resume"}));

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
    keys.set(Function::PlayPause, vk::Star);  // the combined functions are not shown
    rig.current().UpdateMenu();
    const std::vector<MenuItem>& menu = rig.window.menu();
    EXPECT_EQ(menu[0].caption, "Play            1");
    EXPECT_EQ(menu[1].caption, "Record      2");
    EXPECT_EQ(menu[2].caption, "Append     3");
    EXPECT_EQ(menu[3].caption, "Insert 6");
    EXPECT_EQ(menu[4].caption, "Overwrite #");
    EXPECT_EQ(menu[5].caption, "Pause        4");
    EXPECT_EQ(menu[6].caption, "Stop           5");
    EXPECT_EQ(menu[7].caption, "FF                ->");
    EXPECT_EQ(menu[8].caption, "REW           <-");
    for (const MenuItem& item : menu) EXPECT_EQ(item.caption.find('*'), std::string::npos) << item.caption;
}

TEST(Menu, AKeyChangeUpdatesTheCaptionsAtOnceWithoutAStateChange) {
    ControllerRig rig;
    rig.toPausePlay(rig.path("a.wav"));
    ASSERT_TRUE(rig.settings.keys().assign(Function::Pause, vk::Digit0 + 9));
    rig.current().UpdateMenu();  // what the button dialog calls after a change
    EXPECT_EQ(rig.window.menu()[5].caption, "Resume      9");
    EXPECT_EQ(rig.window.calls(), std::vector<std::string>{"ReplaceMenuItems"});
    EXPECT_TRUE(rig.in(StateId::PausePlay));

    ASSERT_TRUE(rig.settings.keys().assign(Function::Stop, vk::Digit0 + 9));  // moves the key
    rig.current().UpdateMenu();
    EXPECT_EQ(rig.window.menu()[5].caption, "Resume      ");
    EXPECT_EQ(rig.window.menu()[6].caption, "Stop           9");
}

}  // namespace
}  // namespace tavrin::test
