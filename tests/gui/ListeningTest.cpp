// The window's listening and sharing: the waveform of the recording shown,
// clicked to seek and growing while recording; the playback speed from the
// menu and the keys, on the panel and kept; export from the menu with its
// progress, its question before replacing, and Back to cancel it.
#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTreeWidget>

#include "app/ExportRunner.h"
#include "app/InfoPanel.h"
#include "app/WaveformSource.h"
#include "controller/Commands.h"
#include "gui/GuiHarness.h"

namespace tavrin::test {
namespace {

namespace cmd = controller::cmd;

class ListeningTest : public GuiTest {
public:
    app::MainWindow& startWith(const std::string& name, int milliseconds) {
        WriteRecording(recording(name), milliseconds);
        app::MainWindow& w = start();
        w.RefreshList();
        w.HighlightRow(recording(name));
        return w;
    }
    // Selects the highlighted recording as Action and Stop would.
    void select(app::MainWindow& w, const std::string& name) {
        w.SetCurrentPath(recording(name));
        w.RefreshFileFacts();
        w.RefreshPanel();
    }
    bool exportMenuItem(app::MainWindow& w, const QString& prefix) {
        for (QAction* a : w.exportMenu().actions()) {
            if (a->text().startsWith(prefix)) {
                a->trigger();
                return true;
            }
        }
        return false;
    }
};

TEST_F(ListeningTest, TheShownRecordingsWaveformFillsInAndAClickSeeks) {
    app::MainWindow& w = startWith("Talk", 4000);
    select(w, "Talk");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.waveforms().busy(); }, 10000));
    app::WaveformView& view = w.panel().waveform();
    EXPECT_EQ(view.model().TotalBuckets(), 100u);
    EXPECT_EQ(view.model().Peaks().size(), 100u);
    EXPECT_GT(view.model().Peaks()[50], 0);
    EXPECT_GT(view.width(), 100);

    w.SetCurrentState(*state(controller::StateId::FileSelected));
    engine.clearCalls();
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(view.width() / 4, view.height() / 2));
    EXPECT_TRUE(calledEngine("SetPosition(" + std::to_string(view.model().MsAt(view.width() / 4, view.width())) + ")"))
        << "the click seeks a quarter into the recording";
    deliverEvents();
    EXPECT_EQ(view.positionMs(), view.model().MsAt(view.width() / 4, view.width()))
        << "the cursor follows the seek at rest, where no timer ticks";

    // Nothing selected (idle): a click seeks nothing.
    w.SetCurrentState(*state(controller::StateId::Idle));
    engine.clearCalls();
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(10, view.height() / 2));
    EXPECT_TRUE(engine.calls().empty());
}

TEST_F(ListeningTest, SpeedCyclesFromTheMenuAndTheKeysShowsOnThePanelAndIsKept) {
    app::MainWindow& w = startWith("Talk", 1000);
    EXPECT_EQ(w.panel().speed(), QString::fromUtf8("1×"));
    choose(cmd::Speed);
    EXPECT_EQ(w.panel().speed(), QString::fromUtf8("1.25×"));
    EXPECT_TRUE(calledEngine("SetPlaybackSpeed(125)"));
    EXPECT_EQ(stored("Playback/Speed"), "125");

    ASSERT_TRUE(w.Settings().keys().assign(settings::Function::Faster, settings::vk::Pound));
    ASSERT_TRUE(w.Settings().keys().assign(settings::Function::Slower, settings::vk::Star));
    w.SetKeyForwarding(true);
    Click(w.recordingList(), Qt::Key_NumberSign);
    Click(w.recordingList(), Qt::Key_NumberSign);
    EXPECT_EQ(w.panel().speed(), QString::fromUtf8("1.75×"));
    Click(w.recordingList(), Qt::Key_Asterisk);
    EXPECT_EQ(w.panel().speed(), QString::fromUtf8("1.5×"));
    EXPECT_EQ(stored("Playback/Speed"), "150");
}

TEST_F(ListeningTest, ExportWritesAnOpusCopyBesideTheRecordingAndAsksBeforeReplacing) {
    app::MainWindow& w = startWith("Talk", 3000);
    choose(cmd::Export);
    ASSERT_TRUE(w.exportMenu().isVisible());
    EXPECT_TRUE(w.exportMenu().activeAction()->text().startsWith("Opus")) << "Opus is offered first";
    ASSERT_TRUE(exportMenuItem(w, "Opus"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.exports().running(); }, 20000));
    EXPECT_EQ(w.exports().lastOutcome(), exporting::Outcome::Done);
    EXPECT_TRUE(files.exists(documents + "/Talk.opus"));
    EXPECT_EQ(w.panel().notice(), "Exported Talk.opus");

    // Again: the user is asked, and keeps the copy there is.
    const auto before = ReadBytes(documents + "/Talk.opus");
    shell.queueAnswer(platform::answer::No);
    ASSERT_TRUE(exportMenuItem(w, "Opus"));
    EXPECT_FALSE(w.exports().running());
    ASSERT_FALSE(shell.boxes().empty());
    EXPECT_EQ(shell.lastBox().text, "\"Talk.opus\" already exists.\nReplace it?");
    EXPECT_EQ(ReadBytes(documents + "/Talk.opus"), before);
}

TEST_F(ListeningTest, BackCancelsARunningExportAndLeavesNoFile) {
    app::MainWindow& w = startWith("Long", 300'000);
    choose(cmd::Export);
    ASSERT_TRUE(exportMenuItem(w, "FLAC"));
    ASSERT_TRUE(w.exports().running());
    EXPECT_TRUE(w.panel().notice().startsWith("Exporting Long.flac")) << w.panel().notice().toStdString();
    Click(w.recordingList(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.exports().running(); }, 20000));
    EXPECT_EQ(w.exports().lastOutcome(), exporting::Outcome::Cancelled);
    EXPECT_FALSE(files.exists(documents + "/Long.flac"));
    EXPECT_FALSE(files.exists(documents + "/.Long.flac.part"));
    EXPECT_EQ(w.panel().notice(), "Export cancelled");
    EXPECT_FALSE(w.isMinimized()) << "Back stopped the export instead";
}

}  // namespace
}  // namespace tavrin::test
