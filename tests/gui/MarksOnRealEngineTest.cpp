// Marks in the window on the real engine: made with their key while
// recording and while playing, named on the notice line and counted on the
// panel, kept in the file as cue points, and reached again with Next mark and
// Previous mark.
#include <QSettings>
#include <QTest>
#include <QTreeWidget>

#include "RealEngineHarness.h"
#include "app/InfoPanel.h"
#include "controller/Commands.h"
#include "settings/KeyAssignments.h"
#include "wav/Marks.h"

namespace tavrin::test {
namespace {

void StoreKey(const char* function, std::uint32_t key) {
    QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
    settings.setValue(QStringLiteral("Keys/") + QLatin1String(function), key);
    settings.sync();
}

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
    StoreKey("Mark", settings::vk::Digit0 + 7);
    StoreKey("Next Mark", settings::vk::Digit0 + 8);
    StoreKey("Previous Mark", settings::vk::Digit0 + 9);
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
    real->gate.release(2);
    ASSERT_TRUE(real->gate.written().waitFor(2, std::chrono::milliseconds(kWaitMs)));
    const std::uint32_t heardMs = real->engine.GetPositionMs();
    Click(rows(), Qt::Key_7);
    EXPECT_EQ(window().panel().notice(), "Mark 2");
    EXPECT_EQ(window().panel().markCount(), "2 marks");
    EXPECT_EQ(window().CurrentState(), state(StateId::Play)) << "the playback goes on";
    real->gate.openGate();
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

}  // namespace
}  // namespace tavrin::test
