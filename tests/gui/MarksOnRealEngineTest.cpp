// Marks in the window on the real engine: made with their key while
// recording and while playing, named on the notice line and counted on the
// panel, kept in the file as cue points, and reached again with Next mark and
// Previous mark.
#include <QCoreApplication>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "RealEngineHarness.h"
#include "app/InfoPanel.h"
#include "controller/Commands.h"
#include "settings/KeyAssignments.h"
#include "wav/Marks.h"

namespace tavrin::test {
namespace {

wav::MarkList MarksOf(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    wav::WavInfo info;
    if (wav::ParseWavBytes(bytes.data(), static_cast<std::uint32_t>(bytes.size()), info) != wav::kParsePlayable)
        return {};
    return wav::ReadMarks(bytes.data(), static_cast<std::uint32_t>(bytes.size()), info);
}

class MarksOnRealEngine : public RealEngineTest {
protected:
    QTreeWidget& rows() { return window().recordingList(); }
};

TEST_F(MarksOnRealEngine, MarkWhileRecordingAndPlayingThenMoveToTheMarks) {
    storeKey("Mark", settings::vk::Digit0 + 7);
    storeKey("Next Mark", settings::vk::Digit0 + 8);
    storeKey("Previous Mark", settings::vk::Digit0 + 9);
    startOnRealEngine(false, kRecordedBytes, true);

    // While recording: at the place being recorded, here its end.
    recordTwoSeconds();
    Click(rows(), Qt::Key_7);
    EXPECT_EQ(window().panel().notice(), "Mark 1");
    EXPECT_EQ(window().panel().markCount(), "1 mark");
    EXPECT_EQ(window().CurrentState(), state(StateId::Record)) << "the recording goes on";
    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    const std::string path = recording("Recording1");
    ASSERT_EQ(MarksOf(path), (wav::MarkList{{1, 16000, "Mark 1"}}));
    EXPECT_EQ(window().panel().markCount(), "1 mark");

    // While playing: at the place heard.
    playFirstRow();
    ASSERT_TRUE(waitForState(StateId::Play));
    // Two buffers heard: once both are back the engine has queued two more
    // behind the closed gate and the place heard stays put.
    real->gate.release(2);
    ASSERT_TRUE(real->gate.written().waitFor(4, std::chrono::milliseconds(kWaitMs)));
    const std::uint32_t heardMs = real->engine.GetPositionMs();
    Click(rows(), Qt::Key_7);
    EXPECT_EQ(window().panel().notice(), "Mark 2");
    EXPECT_EQ(window().panel().markCount(), "2 marks");
    EXPECT_EQ(window().CurrentState(), state(StateId::Play)) << "the playback goes on";
    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    const wav::MarkList marks = MarksOf(path);
    ASSERT_EQ(marks.size(), 2u) << "the mark made while playing is in the file";
    EXPECT_EQ(marks[0].label, "Mark 2");
    EXPECT_EQ(marks[0].block / 8, heardMs) << "where it was heard";
    EXPECT_GT(ReadBytes(path).size(), 44 + kRecordedBytes) << "the marks follow the audio";

    // Next and previous: whichever side of it the place is, one of them
    // reaches the mark heard and the other finds none further that way (the
    // mark at the very end is no place to play from).
    Click(rows(), Qt::Key_8);
    Click(rows(), Qt::Key_9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return real->engine.GetPositionMs() == heardMs; }, kWaitMs))
        << real->engine.GetPositionMs();
    // At rest a move is made at once.
    Click(rows(), Qt::Key_9);
    EXPECT_EQ(real->engine.GetPositionMs(), heardMs) << "none before it: nothing moves";
    for (const auto& box : shell.boxes()) ADD_FAILURE() << box.text;
}

// The three cuts at rest, each asking first with the recording's name and
// the length it removes; the panel and the file follow each one.
TEST_F(MarksOnRealEngine, TheThreeCutsAskFirstAndShortenTheRecording) {
    storeKey("Mark", settings::vk::Digit0 + 7);
    WriteRecording(recording("a"), 3000);
    startOnRealEngine(false);
    ASSERT_EQ(field(Control::Name), "a");
    const auto at = [&](std::int32_t ms) {
        ASSERT_TRUE(real->engine.SetPosition(ms));
        QCoreApplication::processEvents();
    };
    at(1000);
    Click(rows(), Qt::Key_7);
    at(2000);
    Click(rows(), Qt::Key_7);
    ASSERT_EQ(MarksOf(recording("a")).size(), 2u);

    struct Step {
        std::int32_t atMs;
        std::uint32_t command;
        const char* question;
        const char* length;
        std::size_t audioBytes;
    };
    const Step steps[] = {
        {1500, cmd::CutBetweenMarks, "Remove 00:00:01 from a?", "/00:00:02", 16000},
        {1000, cmd::CutToHere, "Remove 00:00:01 from a?", "/00:00:01", 8000},
        {500, cmd::CutFromHere, "Remove 00:00:01 from a?", "/00:00:00", 4000},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.question);
        at(step.atMs);
        shell.queueAnswer(platform::answer::No);
        pickFromMenu(step.command);
        ASSERT_EQ(shell.boxes().size(), 1u);
        EXPECT_EQ(shell.boxes().back().text, step.question);
        shell.clearBoxes();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window().actionSuppressed(); }, kWaitMs));
        shell.queueAnswer(platform::answer::Yes);
        pickFromMenu(step.command);
        ASSERT_EQ(shell.boxes().size(), 1u);
        shell.clearBoxes();
        EXPECT_EQ(field(Control::Length), step.length);
        EXPECT_EQ(window().CurrentState(), state(StateId::FileSelected));
        const std::vector<std::uint8_t> bytes = ReadBytes(recording("a"));
        ASSERT_GE(bytes.size(), 44u);
        EXPECT_EQ(bytes[40] | bytes[41] << 8 | bytes[42] << 16, static_cast<int>(step.audioBytes));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window().actionSuppressed(); }, kWaitMs));
    }
    // The mark at the start of the stretch between the marks went with it,
    // the one at its end moved to the cut, then to the start with the cut
    // before it; the cut after it left it be.
    EXPECT_EQ(MarksOf(recording("a")), (wav::MarkList{{2, 0, "Mark 2"}}));
}

}  // namespace
}  // namespace tavrin::test

namespace tavrin::test {
namespace {

class UndoCutOnRealEngine : public RealEngineTest {
protected:
    // Whether the menu offers "Undo cut" now (it is built as it opens).
    bool undoOffered() {
        Click(window().recordingList(), Qt::Key_F2);
        QMenu& menu = window().softKeyMenu();
        bool enabled = false;
        for (QAction* a : menu.actions())
            if (a->data().toUInt() == cmd::UndoCut) enabled = a->isEnabled();
        menu.hide();
        QCoreApplication::processEvents();
        return enabled;
    }
    void settle() { ASSERT_TRUE(QTest::qWaitFor([&] { return !window().actionSuppressed(); }, kWaitMs)); }
};

// A cut and its undo through the menu: the old length and bytes come back,
// and nothing is left in the state folder.
TEST_F(UndoCutOnRealEngine, UndoCutGivesBackTheOldLengthAndBytes) {
    engineJournals = root.file("state");
    WriteRecording(recording("a"), 3000);
    const std::vector<std::uint8_t> old = ReadBytes(recording("a"));
    startOnRealEngine(false);
    EXPECT_FALSE(undoOffered()) << "nothing was cut yet";
    ASSERT_TRUE(real->engine.SetPosition(1000));
    QCoreApplication::processEvents();
    shell.queueAnswer(platform::answer::Yes);
    pickFromMenu(cmd::CutToHere);
    settle();
    ASSERT_EQ(field(Control::Length), "/00:00:02");
    ASSERT_EQ(ReadBytes(recording("a")).size(), old.size() - 8000);
    EXPECT_TRUE(undoOffered());
    settle();

    pickFromMenu(cmd::UndoCut);
    settle();
    EXPECT_EQ(field(Control::Length), "/00:00:03");
    EXPECT_TRUE(ReadBytes(recording("a")) == old) << "the undone cut is not the old recording";
    EXPECT_EQ(window().CurrentState(), state(StateId::FileSelected));
    EXPECT_FALSE(undoOffered()) << "a cut undone twice";
    EXPECT_TRUE(std::filesystem::is_empty(engineJournals)) << "the kept audio outlived the undo";
}

}  // namespace
}  // namespace tavrin::test
