// The main window on the real engine, with WAV files as microphone and
// speaker: a recording made with F1 and the menu's Stop, played back to its
// end, and screenshots of the window while recording and while playing.
#include <QDir>
#include <QPushButton>
#include <QImage>
#include <QPixmap>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>

#include "GuiHarness.h"
#include "app/Artwork.h"
#include "app/InfoPanel.h"
#include "controller/AudioEngineView.h"
#include "controller/Commands.h"
#include "engine/AudioEngine.h"
#include "platform/file/FileWaveIn.h"
#include "platform/file/FileWaveOut.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixMemory.h"
#include "platform/posix/TerminationSignals.h"
#include "ui/SoftKeyBar.h"
#include "wav/Formats.h"

namespace tavrin::test {
namespace {

using controller::Control;
using controller::StateId;
namespace cmd = controller::cmd;

constexpr int kWaitMs = 20'000;  // a guard against a hung engine, not a timing assumption

class SilentCues : public platform::CueSounds {
public:
    void playSync(const char*) override {}
};

// One engine with file-backed devices. Like the program's, it is never
// destroyed: its thread is not joined.
struct RealEngine {
    RealEngine(platform::FileSystem& fs, platform::Shell& desktop, std::uint64_t microphoneBytes, std::string speaker,
               bool speakerRealtime)
        : files(fs),
          in(files,
             [this, microphoneBytes] {
                 platform::file::FileWaveIn::Options o;
                 o.deliverBytes = microphoneBytes;
                 o.onHeld = [this] { held = true; };
                 return o;
             }()),
          out(files, std::move(speaker), speakerRealtime),
          engine(engine::EngineServices{in, out, files, memory, system, desktop, clock, thread, cues}),
          view(engine) {}

    platform::FileSystem& files;
    platform::PosixMemory memory;
    platform::PosixSystemInfo system;
    platform::SteadyClock clock;
    platform::PosixThread thread;
    SilentCues cues;
    std::atomic<bool> held{false};
    platform::file::FileWaveIn in;
    platform::file::FileWaveOut out;
    engine::AudioEngine engine;
    controller::AudioEngineView view;
};

class RealEngineTest : public GuiTest {
protected:
    // Two seconds of PCM 8 kHz 8-bit from the microphone.
    static constexpr std::uint64_t kRecordedBytes = 16'000;

    void startOnRealEngine(bool speakerRealtime) {
        QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        settings.setValue(QStringLiteral("Recording Options/Format"), wav::kCodePcm8k8);
        settings.sync();
        real = new RealEngine(files, shell, kRecordedBytes, root.file("speaker.wav"), speakerRealtime);
        // A tone the meter shows, longer than what is recorded of it.
        WriteRecording(root.file("microphone.wav"), 3000);
        std::string error;
        ASSERT_TRUE(real->in.Load(root.file("microphone.wav"), error)) << error;
        app::MainWindowServices services{real->view,
                                         [this](platform::EventSink& sink) { return real->engine.Init(sink); },
                                         shell,
                                         files,
                                         store,
                                         power,
                                         times,
                                         [this](int code) { quits.push_back(code); },
                                         [this] {
                                             const engine::EngineState now = real->engine.state;
                                             return now != engine::EngineState::EngineClosed &&
                                                    now != engine::EngineState::EngineFileOpen;
                                         }};
        main = std::make_unique<app::MainWindow>(services);
        ASSERT_TRUE(main->initialise());
        main->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    }
    bool waitForState(StateId id) {
        return QTest::qWaitFor([&] { return window().CurrentState() == state(id); }, kWaitMs);
    }
    void screenshot(const QString& name) {
        QDir().mkpath(QStringLiteral(TAVRIN_SCREENSHOT_DIR));
        const QString path = QStringLiteral(TAVRIN_SCREENSHOT_DIR) + QLatin1Char('/') + name;
        const QImage image = window().grab().toImage();
        ASSERT_TRUE(image.save(path)) << path.toStdString();
        // The panel's own colour shows where the panel is: the picture is not blank.
        const QPoint inPanel = window().panel().geometry().topLeft() + QPoint(3, window().panel().height() / 2);
        EXPECT_NE(image.pixelColor(inPanel), image.pixelColor(QPoint(2, 2)));
    }
    QString field(Control c) { return window().panel().text(c); }
    // Action is ignored for a moment after the menu closed; then it plays the selected row.
    void playFirstRow() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window().actionSuppressed(); }, kWaitMs));
        window().recordingList().setCurrentItem(window().recordingList().topLevelItem(0));
        Click(window().recordingList(), Qt::Key_Return);
    }
    void recordTwoSeconds() {
        Click(window().recordingList(), Qt::Key_F1);
        ASSERT_TRUE(waitForState(StateId::Record));
        ASSERT_TRUE(QTest::qWaitFor([&] { return real->held.load(); }, kWaitMs)) << "the microphone ran dry";
    }

    RealEngine* real = nullptr;
};

TEST_F(RealEngineTest, RecordStopAndPlayToTheEnd) {
    startOnRealEngine(false);
    recordTwoSeconds();
    EXPECT_EQ(window().softKeys().leftButton().text(), "Pause");

    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    EXPECT_EQ(window().CurrentPath(), recording("Recording1"));
    EXPECT_EQ(field(Control::Name), "Recording1");
    EXPECT_EQ(field(Control::Position), "00:00:00");
    EXPECT_EQ(field(Control::Length), "/00:00:02");
    EXPECT_EQ(window().LengthMs(), 2000);
    ASSERT_EQ(ReadBytes(recording("Recording1")).size(), 44 + kRecordedBytes);
    tick(app::timer::List);
    ASSERT_EQ(window().recordingList().topLevelItemCount(), 1);
    EXPECT_EQ(window().recordingList().topLevelItem(0)->text(1), "Recording1");

    playFirstRow();
    // Played as fast as the file takes it; the speaker's file is complete once the device closed.
    const auto speakerBytes = [&] {
        std::error_code ignored;
        return std::filesystem::file_size(root.file("speaker.wav"), ignored);
    };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return speakerBytes() == 44 + kRecordedBytes && window().CurrentState() == state(StateId::FileSelected);
        },
        kWaitMs))
        << "the playback ends by itself; speaker bytes " << speakerBytes() << " state "
        << (window().CurrentState() == state(StateId::Play) ? "Play" : "other") << " boxes " << shell.boxes().size()
        << (shell.boxes().empty() ? "" : shell.boxes().front().text);
    EXPECT_TRUE(shell.boxes().empty()) << shell.boxes().front().text;
    // What reached the speaker is the recording's audio, all of it.
    const std::vector<std::uint8_t> played = ReadBytes(root.file("speaker.wav"));
    const std::vector<std::uint8_t> recorded = ReadBytes(recording("Recording1"));
    ASSERT_EQ(played.size(), recorded.size());
    EXPECT_TRUE(std::equal(played.begin() + 44, played.end(), recorded.begin() + 44));
}

TEST_F(RealEngineTest, ScreenshotsWhileRecordingAndWhilePlaying) {
    startOnRealEngine(true);
    recordTwoSeconds();
    tick(app::timer::Level);
    tick(app::timer::Clock);
    EXPECT_GT(window().panel().litSegments(), 0) << "the tone shows on the meter";
    EXPECT_TRUE(window().IsShown(Control::RecordIcon));
    screenshot(QStringLiteral("main-window-recording.png"));

    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    tick(app::timer::List);
    playFirstRow();
    ASSERT_TRUE(waitForState(StateId::Play));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            tick(app::timer::Level);
            return window().panel().litSegments() > 0;
        },
        kWaitMs));
    tick(app::timer::Clock);
    EXPECT_TRUE(window().IsShown(Control::PlayIcon));
    screenshot(QStringLiteral("main-window-playing.png"));
    // The program's icon as the window draws it, beside the screenshots.
    EXPECT_TRUE(app::ApplicationIcon().pixmap(128).save(QStringLiteral(TAVRIN_SCREENSHOT_DIR "/tavrin-icon.png")));
    pickFromMenu(cmd::Stop);
    EXPECT_TRUE(waitForState(StateId::FileSelected));
}

std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// What the session sends at logout: the recording is saved whole, with its
// header finished, and the window goes, as a close would have it. A second
// signal while saving must not cut the save short.
TEST_F(RealEngineTest, TerminationSignalsSaveTheRecordingThenCloseTheWindow) {
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        startOnRealEngine(false);
        ASSERT_TRUE(app::CloseOnTerminationSignals(window()));
        recordTwoSeconds();

        const auto sent = std::chrono::steady_clock::now();
        std::raise(signal);
        std::raise(signal);
        const bool closed = QTest::qWaitFor([&] { return !window().isVisible(); }, kWaitMs);
        platform::RestoreTerminationSignals();
        ASSERT_TRUE(closed) << "the window closes once the recording is saved";
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));
        EXPECT_EQ(window().CurrentState(), state(StateId::FileSelected));
        const std::vector<std::uint8_t> file = ReadBytes(recording("Recording1"));
        ASSERT_EQ(file.size(), 44 + kRecordedBytes);
        EXPECT_EQ(Le32(file, 4), file.size() - 8) << "RIFF size";
        EXPECT_EQ(Le32(file, 40), kRecordedBytes) << "data size";
        EXPECT_TRUE(shell.boxes().empty()) << shell.boxes().front().text;
        main.reset();
        std::filesystem::remove(recording("Recording1"));
    }
}

// Closed at once after Record, before the engine's start event arrived: the
// window waits for the start, stops, and leaves either no file or a complete
// one, never the half-made file of a process that ended mid-start.
TEST_F(RealEngineTest, ACloseRightAfterRecordLeavesNoHalfMadeFile) {
    startOnRealEngine(false);
    Click(window().recordingList(), Qt::Key_F1);
    EXPECT_FALSE(window().close());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window().isVisible(); }, kWaitMs));
    EXPECT_TRUE(shell.boxes().empty()) << shell.boxes().front().text;
    if (!FileExists(recording("Recording1"))) return;
    const std::vector<std::uint8_t> file = ReadBytes(recording("Recording1"));
    ASSERT_GT(file.size(), 44u) << "an empty recording would have been removed";
    EXPECT_EQ(Le32(file, 4), file.size() - 8);
    EXPECT_EQ(Le32(file, 40), file.size() - 44);
}

}  // namespace
}  // namespace tavrin::test
