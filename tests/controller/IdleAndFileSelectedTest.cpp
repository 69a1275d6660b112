// StateIdle and StateFileSelected: the two resting states, which only start things.

#include <gtest/gtest.h>

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

constexpr std::uint32_t kKey1 = settings::vk::Digit0 + 1;

TEST(StateIdle, EnterHidesTheRecordingFieldsAndOffersRecord) {
    ControllerRig rig;
    rig.window.Show(Control::CardIcon, true);
    rig.window.Show(Control::PlayIcon, true);
    rig.current().Enter();
    for (Control c : {Control::CardIcon, Control::SavingIcon, Control::Date, Control::Time, Control::Position,
                      Control::Length, Control::PlayIcon}) {
        EXPECT_FALSE(rig.window.IsShown(c)) << ControlName(c);
    }
    EXPECT_EQ(rig.window.LeftSoftKeyCommand(), cmd::Record);
    EXPECT_EQ(rig.window.leftSoftKeyLabel(), "Record");
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Record));
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Menu));
    EXPECT_TRUE(rig.window.keyForwarding());
    EXPECT_EQ(rig.window.menu().size(), 24u);
}

TEST(StateIdle, RecordHandsFormatOptionsAndFolderToTheEngineAndStartsTheNextFreeName) {
    ControllerRig rig;
    WriteBytes(rig.path("Recording1.wav"), "x");
    WriteBytes(rig.path("Recording3.wav"), "x");
    rig.current().OnRecord();

    const std::string folder = rig.dir.path();
    EXPECT_EQ(rig.engine.calls(), (std::vector<std::string>{
                                      "ProbeFormats", "SetFormat(0x10000000)", "SetCaptureOptions(0,0,0,0,3000)",
                                      "SetStorage(" + folder + ",slow)",
                                      "RecordStart(" + folder + "/Recording2.wav)"}));
    EXPECT_EQ(rig.window.NewRecordingPath(), folder + "/Recording2.wav");
    EXPECT_EQ(rig.window.CurrentFolder(), folder);
    EXPECT_EQ(rig.window.CurrentPath(), "");  // only once the engine has started
    EXPECT_TRUE(rig.in(StateId::Idle));
    EXPECT_FALSE(rig.window.softKeyEnabled(cmd::Record));  // until RecordStart
}

TEST(StateIdle, RecordToAVanishedCardGoesToTheDocumentsFolder) {
    ControllerRig rig;
    rig.settings.setSaveLocation("/media/user/CARD");  // not mounted
    rig.current().OnRecord();
    EXPECT_EQ(rig.engine.storageFolder(), rig.dir.path());
    EXPECT_EQ(rig.window.NewRecordingPath(), rig.path("Recording1.wav"));
    EXPECT_EQ(rig.settings.saveLocation(), rig.dir.path());
    // Said once: the documents folder holds for the rest of the run.
    EXPECT_EQ(rig.window.notice(), "Card not found - recording to Phone");
    rig.engine.deliverAll();
    rig.current().OnStop();
    rig.engine.deliverAll();
    rig.current().OnRecord();
    EXPECT_EQ(rig.window.notice(), "");
}

TEST(StateIdle, ACardFoundGoneAtStartUpIsToldAtTheFirstRecordingUnlessTheUserChoseAgain) {
    for (const bool choseAgain : {false, true}) {
        SCOPED_TRACE(choseAgain);
        ControllerRig rig;
        rig.ctl.vars.saveLocationReplaced = true;  // as the window's start-up finds it
        if (choseAgain) {
            rig.settings.setSaveLocation(rig.dir.path() + "/sub");
            rig.window.setOptionsDialog([&] { rig.settings.setSaveLocation(rig.dir.path()); });  // picks Phone
            rig.current().OnOptions();
        }
        rig.current().OnRecord();
        EXPECT_EQ(rig.window.notice(), choseAgain ? "" : "Card not found - recording to Phone");
        EXPECT_FALSE(rig.ctl.vars.saveLocationReplaced);
    }
}

TEST(StateIdle, RecordReplacesAFormatTheDeviceLacksAndGoesIntoTheSubFolder) {
    ControllerRig rig;
    rig.engine.setAcceptedFormats(0x40000000 | 0x4);  // 8 kHz and 11 kHz 16-bit only
    rig.window.editRecordingOptions().subFolder = "Voice";
    rig.current().OnRecord();
    EXPECT_EQ(rig.engine.format(), 0x40000000u);
    EXPECT_EQ(rig.engine.storageFolder(), rig.path("Voice"));
    EXPECT_TRUE(FileExists(rig.path("Voice")));
    EXPECT_EQ(rig.window.NewRecordingPath(), rig.path("Voice/Recording1.wav"));
}

TEST(StateIdle, RecordWithoutAnAnsweringDeviceSaysSoAndKeepsAKnownFormat) {
    ControllerRig rig;
    rig.engine.setAcceptedFormats(std::nullopt);
    rig.current().OnRecord();
    EXPECT_EQ(rig.shell.boxes().at(0).text, "Cannot retrieve supported audio formats");
    EXPECT_EQ(rig.engine.format(), 0x10000000u);
}

TEST(StateIdle, RecordThatTheEngineRefusesIsToldAndStaysIdle) {
    ControllerRig rig;
    rig.engine.failNext(Op::RecordStart, ResultCode(0x22000006, 7));
    rig.current().OnRecord();
    EXPECT_EQ(rig.shell.lastBox().text, "Not enough storage space. Move large files elsewhere");
    EXPECT_TRUE(rig.in(StateId::Idle));
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Record));  // dropped: Idle entered again
}

TEST(StateIdle, OnlyTheThreeRecordKeysDoAnything) {
    for (Function f : {Function::Record, Function::RecordPause, Function::RecordStop}) {
        ControllerRig rig;
        rig.settings.keys().set(f, kKey1);
        rig.current().OnKey(kKey1);
        EXPECT_EQ(rig.engine.commands().back(), "RecordStart(" + rig.path("Recording1.wav") + ")");
    }
    for (Function f : {Function::Play, Function::PlayPause, Function::Append, Function::AppendStop, Function::Insert,
                       Function::Overwrite, Function::Pause, Function::Stop, Function::Forward, Function::Rewind}) {
        ControllerRig rig;
        rig.settings.keys().set(f, kKey1);
        rig.current().OnKey(kKey1);
        EXPECT_TRUE(rig.engine.calls().empty());
        EXPECT_TRUE(rig.shell.boxes().empty());  // ignored, not reported
    }
    ControllerRig rig;  // no key assigned: a key code of 0 matches nothing
    rig.current().OnKey(0);
    EXPECT_TRUE(rig.engine.calls().empty());
}

TEST(StateIdle, RenameAndDeleteWithNoRowSelectedDoNothing) {
    ControllerRig rig;
    rig.current().OnRename();
    rig.current().OnDelete();
    EXPECT_TRUE(rig.window.calls().empty());
    EXPECT_TRUE(rig.shell.boxes().empty());
}

TEST(StateIdle, RenameRunsTheDialogForTheSelectedRowAndStaysIdle) {
    ControllerRig rig;
    rig.window.setSelectedRow(rig.path("a.wav"));
    rig.window.queueRenameResult(rig.path("b.wav"));
    rig.current().OnRename();
    EXPECT_EQ(rig.window.renameDialogs(), std::vector<std::string>{rig.path("a.wav")});
    EXPECT_TRUE(rig.in(StateId::Idle));
    EXPECT_TRUE(rig.engine.calls().empty());
    // The row shows the new name at once, and stays highlighted.
    EXPECT_EQ(rig.window.calls(), (std::vector<std::string>{"RunRenameDialog(" + rig.path("a.wav") + ")",
                                                            "RefreshList", "HighlightRow(" + rig.path("b.wav") + ")"}));
    rig.window.clearCalls();
    rig.current().OnRename();  // cancelled: nothing to show
    EXPECT_EQ(rig.window.listRefreshes(), 1);
}

TEST(StateIdle, DeleteAsksThenDeletesTheSelectedRowAndRefreshesTheList) {
    ControllerRig rig;
    const std::string file = rig.path("a.wav");
    WriteBytes(file, "x");
    rig.window.setSelectedRow(file);

    rig.shell.queueAnswer(answer::No);
    rig.current().OnDelete();
    EXPECT_TRUE(FileExists(file));
    EXPECT_EQ(rig.window.listRefreshes(), 0);

    rig.shell.queueAnswer(answer::Yes);
    rig.current().OnDelete();
    EXPECT_FALSE(FileExists(file));
    EXPECT_EQ(rig.window.listRefreshes(), 1);
    ASSERT_EQ(rig.shell.boxes().size(), 2u);
    // The question names what it deletes, and a careless Return answers No.
    EXPECT_EQ(rig.shell.boxes()[0].text, "Permanently delete this recording?\na");
    EXPECT_EQ(rig.shell.boxes()[0].caption, "Tavrin");
    EXPECT_EQ(rig.shell.boxes()[0].style,
              platform::mb::IconExclamation | platform::mb::YesNo | platform::mb::DefButton2);
}

TEST(StateIdle, DeleteThatFailsSaysSoAndKeepsTheList) {
    ControllerRig rig;
    rig.window.setSelectedRow(rig.path("gone.wav"));  // no such file
    rig.shell.queueAnswer(answer::Yes);
    rig.current().OnDelete();
    EXPECT_EQ(rig.shell.lastBox().text, "Can't delete this recording!");
    EXPECT_EQ(rig.shell.lastBox().style, platform::mb::IconHand);
    EXPECT_EQ(rig.window.listRefreshes(), 0);
}

TEST(StateIdle, ActivatingAnEmptyRecordingSelectsItWithoutPlaying) {
    ControllerRig rig;
    rig.engine.setDefaultFacts({0, 1, 8000, 8, 0});
    rig.current().OnActivateRecording(rig.path("empty.wav"));
    EXPECT_EQ(rig.shell.lastBox().text, "Can't play an empty file!");
    EXPECT_EQ(rig.shell.lastBox().style, platform::mb::IconHand | platform::mb::YesNo);
    EXPECT_TRUE(rig.in(StateId::FileSelected));
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Record));
    EXPECT_EQ(rig.engine.commands().back(), "OpenFile(" + rig.path("empty.wav") + ",slow)");
}

TEST(RestingStates, OptionsListAndVolume) {
    for (bool selected : {false, true}) {
        ControllerRig rig;
        if (selected) rig.toFileSelected(rig.path("a.wav"));
        rig.current().OnOptions();
        rig.current().OnListTimer();
        rig.current().HandleVolumeThumbTrack(20);
        EXPECT_EQ(rig.window.optionsOpened(), std::vector<bool>{false});
        EXPECT_EQ(rig.window.listRefreshes(), 1);
        EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"SetVolume(80)"});
    }
}

TEST(StateFileSelected, EnterShowsTheRecordingAtItsPosition) {
    ControllerRig rig;
    rig.window.editRecordingOptions().silenceCut = true;
    rig.toFileSelected(rig.path("a.wav"));
    rig.engine.setPositionMs(61'500);
    rig.window.Show(Control::RecordIcon, true);
    rig.window.ShowLevel(40);
    rig.current().Enter();
    for (Control c : {Control::RecordIcon, Control::AppendIcon, Control::InsertIcon, Control::OverwriteIcon,
                      Control::LeftLabel, Control::TimeLeft, Control::VoiceIcon}) {
        EXPECT_FALSE(rig.window.IsShown(c)) << ControlName(c);
    }
    for (Control c : {Control::SilenceIcon, Control::Date, Control::Time, Control::Position, Control::Length}) {
        EXPECT_TRUE(rig.window.IsShown(c)) << ControlName(c);
    }
    EXPECT_EQ(rig.window.level(), 0u);
    EXPECT_EQ(rig.window.positionText(), "00:01:01");
    EXPECT_EQ(rig.window.leftSoftKeyLabel(), "Record");
}

TEST(StateFileSelected, PlayAndThePlayRequestStartPlayback) {
    for (bool request : {false, true}) {
        ControllerRig rig;
        rig.toFileSelected(rig.path("a.wav"));
        if (request) {
            rig.current().OnRequestPlay();
        } else {
            rig.current().OnPlay();
        }
        EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"PlayStart"});
        EXPECT_TRUE(rig.window.IsShown(Control::PlayIcon));
        EXPECT_TRUE(rig.in(StateId::FileSelected));  // until PlayStart
        rig.engine.deliverAll();
        EXPECT_TRUE(rig.in(StateId::Play));
    }
}

TEST(StateFileSelected, AppendHandsTheSwitchesOverWithoutAQuestion) {
    for (bool request : {false, true}) {
        ControllerRig rig;
        rig.window.editRecordingOptions().voiceActivated = true;
        rig.toFileSelected(rig.path("a.wav"));
        if (request) {
            rig.current().OnRequestRecordAppend();
        } else {
            rig.current().OnRecordAppend();
        }
        EXPECT_EQ(rig.engine.commands(), (std::vector<std::string>{"SetCaptureSwitches(1,0)", "RecordAppend"}));
        EXPECT_TRUE(rig.shell.boxes().empty());
    }
}

TEST(StateFileSelected, InsertFromTheMenuRefusesQuietlyOnDetailBitZero) {
    ControllerRig rig;
    rig.toFileSelected(rig.path("a.wav"));
    rig.engine.failNext(Op::RecordInsert, ResultCode(0x22000012, 5));
    rig.current().OnRecordInsert();
    EXPECT_TRUE(rig.shell.boxes().empty());
    EXPECT_TRUE(rig.in(StateId::FileSelected));
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Record));  // entered again

    rig.engine.failNext(Op::RecordInsert, ResultCode(0x21000000, 2112));  // bit 0 clear: told
    rig.current().OnRecordInsert();
    EXPECT_EQ(rig.shell.lastBox().text, "Error code:\n0x21000000\n0x840");
    EXPECT_TRUE(rig.in(StateId::Idle));
}

TEST(StateFileSelected, TheInsertRequestReportsEveryRefusal) {
    ControllerRig rig;
    rig.toFileSelected(rig.path("a.wav"));
    rig.engine.failNext(Op::RecordInsert, ResultCode(0x22000012, 5));
    rig.current().OnRequestRecordInsert();
    EXPECT_EQ(rig.shell.lastBox().text, "Insert aborted");
    EXPECT_TRUE(rig.in(StateId::Idle));
}

TEST(StateFileSelected, OverwriteAnsweredNoChangesNothingAndShowsNoError) {
    for (bool request : {false, true}) {
        ControllerRig rig;
        rig.toFileSelected(rig.path("a.wav"));
        rig.shell.queueAnswer(answer::No);
        if (request) {
            rig.current().OnRequestRecordOverwrite();
        } else {
            rig.current().OnRecordOverwrite();
        }
        ASSERT_EQ(rig.shell.boxes().size(), 1u);
        EXPECT_EQ(rig.shell.boxes()[0].text, "Do you really want to overwrite this recording?\na");
        EXPECT_EQ(rig.shell.boxes()[0].style, platform::mb::IconQuestion | platform::mb::YesNo);
        EXPECT_TRUE(rig.engine.calls().empty());
        EXPECT_TRUE(rig.window.calls().empty());  // soft keys stay enabled

        rig.shell.queueAnswer(answer::Yes);
        rig.current().OnRecordOverwrite();
        EXPECT_EQ(rig.engine.commands(), (std::vector<std::string>{"SetCaptureSwitches(0,0)", "RecordOverwrite"}));
    }
}

TEST(StateFileSelected, RecordStartsANewRecordingFromTheOpenOne) {
    ControllerRig rig;
    rig.toFileSelected(rig.path("a.wav"));
    rig.current().OnRecord();
    EXPECT_EQ(rig.engine.commands().back(), "RecordStart(" + rig.path("Recording1.wav") + ")");
}

TEST(StateFileSelected, RenameCancelledReopensTheSameRecording) {
    ControllerRig rig;
    const std::string a = rig.path("a.wav");
    rig.toFileSelected(a);
    rig.current().OnRename();
    EXPECT_EQ(rig.window.renameDialogs(), std::vector<std::string>{a});
    EXPECT_EQ(rig.engine.commands(), (std::vector<std::string>{"CloseFile", "OpenFile(" + a + ",slow)"}));
    EXPECT_TRUE(rig.in(StateId::FileSelected));
    EXPECT_EQ(rig.window.CurrentPath(), a);
}

TEST(StateFileSelected, RenameDoneOpensTheFileUnderItsNewName) {
    ControllerRig rig;
    rig.toFileSelected(rig.path("a.wav"));
    rig.window.queueRenameResult(rig.path("b.wav"));
    rig.current().OnRename();
    EXPECT_EQ(rig.engine.commands().back(), "OpenFile(" + rig.path("b.wav") + ",slow)");
    EXPECT_EQ(rig.window.CurrentPath(), rig.path("b.wav"));
    EXPECT_TRUE(rig.in(StateId::FileSelected));
    EXPECT_EQ(rig.window.listRefreshes(), 1) << "the row shows the new name at once";
    EXPECT_EQ(rig.window.SelectedRowPath(), rig.path("b.wav"));
}

// The user highlights another row than the one in the panel and chooses
// Delete or Rename: the highlighted recording is the one acted on.
TEST(StateFileSelected, DeleteAndRenameActOnTheHighlightedRow) {
    for (const bool del : {true, false}) {
        SCOPED_TRACE(del ? "delete" : "rename");
        ControllerRig rig;
        const std::string a = rig.path("Meeting notes.wav"), b = rig.path("alpha.wav");
        WriteBytes(a, "x");
        WriteBytes(b, "x");
        rig.toFileSelected(a);
        rig.window.setSelectedRow(b);
        if (del) {
            rig.shell.queueAnswer(answer::Yes);
            rig.current().OnDelete();
            ASSERT_EQ(rig.shell.boxes().size(), 1u);
            EXPECT_EQ(rig.shell.boxes()[0].text, "Permanently delete this recording?\nalpha");
            EXPECT_FALSE(FileExists(b));
            EXPECT_TRUE(FileExists(a));
            EXPECT_TRUE(rig.in(StateId::Idle));
        } else {
            rig.current().OnRename();
            EXPECT_EQ(rig.window.renameDialogs(), std::vector<std::string>{b});
            EXPECT_EQ(rig.window.CurrentPath(), b) << "selected first, then renamed";
            EXPECT_TRUE(rig.in(StateId::FileSelected));
        }
    }
}

TEST(StateFileSelected, AHighlightedRowThatCannotBeOpenedIsToldAndNothingIsDeleted) {
    ControllerRig rig;
    const std::string a = rig.path("a.wav"), b = rig.path("b.wav");
    WriteBytes(a, "x");
    WriteBytes(b, "x");
    rig.toFileSelected(a);
    rig.window.setSelectedRow(b);
    rig.engine.failNext(Op::OpenFile, ResultCode(0x02000001, 0));
    rig.shell.queueAnswer(answer::Yes);
    rig.current().OnDelete();
    EXPECT_TRUE(FileExists(a));
    EXPECT_TRUE(FileExists(b));
    ASSERT_EQ(rig.shell.boxes().size(), 1u);
    EXPECT_EQ(rig.shell.boxes()[0].text, "Can't play - the file is empty");
}

TEST(StateFileSelected, ARenamedRecordingThatCannotBeOpenedIsToldAndDropped) {
    ControllerRig rig;
    rig.toFileSelected(rig.path("a.wav"));
    rig.window.queueRenameResult(rig.path("b.wav"));
    rig.engine.failNext(Op::OpenFile, ResultCode(0x21000000, 1996));
    rig.current().OnRename();
    EXPECT_EQ(rig.shell.lastBox().text, "Error code:\n0x21000000\n0x7CC");
    EXPECT_TRUE(rig.in(StateId::Idle));
    EXPECT_EQ(rig.window.CurrentPath(), "");
}

TEST(StateFileSelected, DeleteOfTheOpenRecordingClosesDeletesAndRefreshes) {
    ControllerRig rig;
    const std::string a = rig.path("a.wav");
    WriteBytes(a, "x");
    rig.toFileSelected(a);

    rig.shell.queueAnswer(answer::No);
    rig.current().OnDelete();
    EXPECT_TRUE(rig.in(StateId::FileSelected));
    EXPECT_TRUE(rig.engine.calls().empty());

    rig.shell.queueAnswer(answer::Yes);
    rig.current().OnDelete();
    EXPECT_FALSE(FileExists(a));
    EXPECT_TRUE(rig.in(StateId::Idle));
    EXPECT_EQ(rig.window.CurrentPath(), "");
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"CloseFile"});
    EXPECT_EQ(rig.window.listRefreshes(), 1);
}

TEST(StateFileSelected, DeleteThatFailsLeavesTheRecordingDropped) {
    ControllerRig rig;
    rig.toFileSelected(rig.path("never-written.wav"));
    rig.shell.queueAnswer(answer::Yes);
    rig.current().OnDelete();
    EXPECT_EQ(rig.shell.lastBox().text, "Can't delete this recording!");
    EXPECT_TRUE(rig.in(StateId::Idle));
    EXPECT_EQ(rig.window.listRefreshes(), 0);
}

TEST(StateFileSelected, KeysAreComparedInOrderAndTheFirstMatchActs) {
    struct Case {
        Function function;
        std::string firstCommand;
    };
    const std::vector<Case> cases{
        {Function::Record, "ProbeFormats"},      {Function::RecordPause, "ProbeFormats"},
        {Function::RecordStop, "ProbeFormats"},  {Function::Append, "SetCaptureSwitches(0,0)"},
        {Function::AppendStop, "SetCaptureSwitches(0,0)"},  // no confirmation
        {Function::Insert, "SetCaptureSwitches(0,0)"},
        {Function::Play, "PlayStart"},           {Function::PlayPause, "PlayStart"},
        {Function::Forward, "GetPositionMs"},    {Function::Rewind, "GetPositionMs"},
    };
    for (const Case& c : cases) {
        ControllerRig rig;
        rig.toFileSelected(rig.path("a.wav"));
        rig.settings.keys().set(c.function, kKey1);
        rig.current().OnKey(kKey1);
        ASSERT_FALSE(rig.engine.calls().empty());
        EXPECT_EQ(rig.engine.calls().front(), c.firstCommand);
        EXPECT_TRUE(rig.shell.boxes().empty());
    }
    ControllerRig rig;
    rig.toFileSelected(rig.path("a.wav"));
    rig.settings.keys().set(Function::Rewind, kKey1);
    rig.current().OnKey(kKey1);
    EXPECT_EQ(rig.engine.commands(), std::vector<std::string>{"SetPosition(0)"});
    rig.clear();
    rig.settings.keys().set(Function::Stop, kKey1);  // a function this state has no use for
    rig.settings.keys().set(Function::Rewind, 0);
    rig.current().OnKey(kKey1);
    EXPECT_TRUE(rig.engine.calls().empty());
    // The Overwrite key asks first, as the menu item does.
    rig.settings.keys().set(Function::Stop, 0);
    rig.settings.keys().set(Function::Overwrite, kKey1);
    rig.shell.queueAnswer(platform::answer::Yes);
    rig.current().OnKey(kKey1);
    ASSERT_EQ(rig.shell.boxes().size(), 1u);
    EXPECT_EQ(rig.shell.lastBox().text, "Do you really want to overwrite this recording?\na");
    EXPECT_EQ(rig.engine.commands(), (std::vector<std::string>{"SetCaptureSwitches(0,0)", "RecordOverwrite"}));
}

TEST(StateFileSelected, PositionSetEntersAgainAndShowsThePosition) {
    ControllerRig rig;
    rig.toFileSelected(rig.path("a.wav"));
    rig.engine.setPositionMs(2'000);
    rig.current().OnPosSet();
    EXPECT_EQ(rig.window.positionText(), "00:00:02");
    EXPECT_TRUE(rig.window.softKeyEnabled(cmd::Record));
    EXPECT_TRUE(rig.in(StateId::FileSelected));
}

}  // namespace
}  // namespace tavrin::test
