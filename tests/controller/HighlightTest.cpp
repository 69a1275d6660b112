// The window acts on what the user sees: the resting states select the row
// the user highlights, and every action on a recording takes that row, even
// when the panel still shows another (the highlight moved while the
// controller was busy, or while playing).

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ControllerRig.h"

namespace tavrin::test {
namespace {

using controller::Control;
using controller::State;
using settings::Function;
namespace answer = platform::answer;

constexpr std::uint32_t kKey = settings::vk::Digit0 + 1;

// Two recordings the engine can open: the panel shows a, the user has
// highlighted b.
struct TwoRows {
    TwoRows() {
        WriteBytes(a, ReadBytes(TAVRIN_FIXTURE_DIR "/pcm-8k-8bit.wav"));
        WriteBytes(b, ReadBytes(TAVRIN_FIXTURE_DIR "/pcm-8k-8bit.wav"));
        rig.window.setSelectedRow(a);
        rig.toFileSelected(a);
        rig.window.setSelectedRow(b);
        rig.shell.queueAnswer(answer::Yes);  // the overwrite question
    }
    ControllerRig rig;
    std::string a = rig.path("a.wav"), b = rig.path("b.wav");
};

struct ActionCase {
    const char* name;
    std::function<void(ControllerRig&)> act;
    const char* engineCommand;  // what runs on b once it is selected
};

const std::vector<ActionCase> kActions{
    {"Play", [](ControllerRig& r) { r.current().OnPlay(); }, "PlayStart"},
    {"Append", [](ControllerRig& r) { r.current().OnRecordAppend(); }, "RecordAppend"},
    {"Insert", [](ControllerRig& r) { r.current().OnRecordInsert(); }, "RecordInsert"},
    {"Overwrite", [](ControllerRig& r) { r.current().OnRecordOverwrite(); }, "RecordOverwrite"},
    {"append asked during playback", [](ControllerRig& r) { r.current().OnRequestRecordAppend(); }, "RecordAppend"},
    {"insert asked during playback", [](ControllerRig& r) { r.current().OnRequestRecordInsert(); }, "RecordInsert"},
    {"overwrite asked during playback", [](ControllerRig& r) { r.current().OnRequestRecordOverwrite(); },
     "RecordOverwrite"},
    {"Play key", [](ControllerRig& r) { r.settings.keys().set(Function::Play, kKey); r.current().OnKey(kKey); },
     "PlayStart"},
    {"Append key",
     [](ControllerRig& r) { r.settings.keys().set(Function::AppendStop, kKey); r.current().OnKey(kKey); },
     "RecordAppend"},
    {"Insert key", [](ControllerRig& r) { r.settings.keys().set(Function::Insert, kKey); r.current().OnKey(kKey); },
     "RecordInsert"},
    {"Overwrite key",
     [](ControllerRig& r) { r.settings.keys().set(Function::Overwrite, kKey); r.current().OnKey(kKey); },
     "RecordOverwrite"},
};

TEST(HighlightedRow, EveryActionOnARecordingSelectsTheHighlightedRowFirst) {
    for (const ActionCase& c : kActions) {
        SCOPED_TRACE(c.name);
        TwoRows t;
        c.act(t.rig);
        const std::vector<std::string> commands = t.rig.engine.commands();
        ASSERT_GE(commands.size(), 2u);
        EXPECT_EQ(commands.front(), "OpenFile(" + t.b + ",slow)");
        EXPECT_EQ(commands.back(), c.engineCommand);
        EXPECT_EQ(t.rig.window.CurrentPath(), t.b);
        for (const auto& box : t.rig.shell.boxes()) {
            if (box.text.rfind("Do you really want to overwrite", 0) == 0) {
                EXPECT_EQ(box.text, "Do you really want to overwrite this recording?\nb") << "names what it overwrites";
            } else {
                ADD_FAILURE() << box.text;
            }
        }
    }
}

// Moving the highlight is all it takes: the panel shows the row at once and
// the menu offers what the row allows. A row that cannot be played leaves
// nothing selected and says why on the panel, without a box.
TEST(HighlightedRow, TheRestingStatesFollowTheHighlightAndSayWhyARowCannotBeOpened) {
    TwoRows t;
    const std::string empty = t.rig.path("empty.wav"), stereo = t.rig.path("stereo.wav");
    WriteBytes(empty, "x");
    WriteBytes(stereo, ReadBytes(TAVRIN_FIXTURE_DIR "/pcm-stereo.wav"));
    t.rig.engine.clearCalls();
    t.rig.current().OnHighlightRow(t.b);
    EXPECT_EQ(t.rig.engine.commands(), std::vector<std::string>{"OpenFile(" + t.b + ",slow)"});
    EXPECT_TRUE(t.rig.in(StateId::FileSelected));

    t.rig.window.setSelectedRow(empty);
    t.rig.engine.failNext(ScriptedEngine::Op::OpenFile, engine::ResultCode(0x21000000, 1996));
    t.rig.current().OnHighlightRow(empty);
    EXPECT_TRUE(t.rig.in(StateId::Idle));
    EXPECT_EQ(t.rig.window.CurrentPath(), "");
    EXPECT_EQ(t.rig.window.notice(), "Can't play - the file is empty");
    EXPECT_TRUE(t.rig.shell.boxes().empty()) << t.rig.shell.lastBox().text;

    // From Idle, the next row; the word about the last one goes.
    t.rig.window.setSelectedRow(t.a);
    t.rig.current().OnHighlightRow(t.a);
    EXPECT_TRUE(t.rig.in(StateId::FileSelected));
    EXPECT_EQ(t.rig.window.CurrentPath(), t.a);
    EXPECT_EQ(t.rig.window.notice(), "");

    // A stereo file opens for its facts, but Play says it cannot be played.
    t.rig.engine.setFacts(stereo, {0, 2, 44100, 16, 1000});
    t.rig.window.setSelectedRow(stereo);
    t.rig.current().OnHighlightRow(stereo);
    t.rig.clear();
    t.rig.current().OnPlay();
    EXPECT_EQ(t.rig.shell.lastBox().text, "Can't play - stereo recording");
    EXPECT_TRUE(t.rig.engine.commands().empty());
    EXPECT_TRUE(t.rig.window.softKeyEnabled(controller::cmd::Record));
}

// The Play key and the Play command of Idle play the highlighted row; a row
// that cannot be played says why, in words, in one box.
TEST(HighlightedRow, IdlePlaysTheHighlightedRowOrSaysWhyNot) {
    struct Case {
        const char* name;
        std::string file;  // fixture, or "" for no file at all
        const char* box;   // nullptr: plays
    };
    for (const Case& c : {Case{"playable", "pcm-8k-8bit.wav", nullptr},
                          Case{"not a WAV file", "", "Can't play - not a WAV file"},
                          Case{"another codec", "adpcm.wav", "Can't play - audio format not supported"},
                          Case{"gone", "-", "Recording not found"}}) {
        SCOPED_TRACE(c.name);
        ControllerRig rig;
        const std::string row = rig.path("row.wav");
        if (c.file.empty()) WriteBytes(row, std::string("ID3\x03 an MP3 named .wav, long enough for a WAV header"));
        if (!c.file.empty() && c.file != "-") WriteBytes(row, ReadBytes(std::string(TAVRIN_FIXTURE_DIR "/") + c.file));
        if (c.box) rig.engine.failNext(ScriptedEngine::Op::OpenFile, engine::ResultCode(0x21000000, 1996));
        rig.window.setSelectedRow(row);
        rig.settings.keys().set(Function::PlayPause, kKey);
        rig.current().OnKey(kKey);
        if (!c.box) {
            EXPECT_EQ(rig.engine.commands().back(), "PlayStart");
            continue;
        }
        ASSERT_EQ(rig.shell.boxes().size(), 1u);
        EXPECT_EQ(rig.shell.boxes()[0].text, c.box);
        EXPECT_TRUE(rig.in(StateId::Idle));
    }
}

// Playback keeps the panel on what plays; once it ends, the panel shows the
// row the user highlighted meanwhile, and a card taken out under it lets the
// panel go.
TEST(HighlightedRow, PlaybackKeepsItsRecordingAndTheEndFollowsTheHighlight) {
    TwoRows t;
    t.rig.window.setSelectedRow(t.a);
    t.rig.toPlay(t.a);
    t.rig.window.setSelectedRow(t.b);
    t.rig.current().OnHighlightRow(t.b);
    EXPECT_TRUE(t.rig.engine.calls().empty());
    t.rig.current().OnStop();
    t.rig.engine.deliverAll();
    EXPECT_TRUE(t.rig.in(StateId::FileSelected));
    EXPECT_EQ(t.rig.window.CurrentPath(), t.b);
}

}  // namespace
}  // namespace tavrin::test
