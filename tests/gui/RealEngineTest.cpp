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
#include "platform/ReleasingFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "recordings/StorageLocations.h"
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

    // `engineFiles` is what the engine works through; the window's file system by default.
    void startOnRealEngine(bool speakerRealtime, platform::FileSystem* engineFiles = nullptr) {
        QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        settings.setValue(QStringLiteral("Recording Options/Format"), wav::kCodePcm8k8);
        settings.sync();
        real = new RealEngine(engineFiles ? *engineFiles : files, shell, kRecordedBytes, root.file("speaker.wav"),
                              speakerRealtime);
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
                                         [this](int code) { quits.push_back(code); }};
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

// How many of this process's open files lie inside `folder`.
int OpenFilesInside(const std::string& folder) {
    int count = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
        if (!error && target.rfind(folder + "/", 0) == 0) ++count;
    }
    return count;
}

// A card can be ejected while a recording on it is merely selected: the
// program holds nothing open there unless it plays or records.
TEST_F(RealEngineTest, ARecordingOnACardIsNotHeldOpenWhileSelectedAndStillPlays) {
    const std::string card = root.file("media/CARD");
    std::filesystem::create_directories(card);
    shell.setStorageCards({card});
    QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
    settings.setValue(QStringLiteral("Recording Options/Save Location"), QString::fromStdString(card));
    settings.sync();
    // As the program wires it; left to the engine, which is never destroyed.
    auto* releasing = new platform::ReleasingFileSystem(
        files, [docs = documents](const std::string& path) { return !recordings::IsInside(path, docs); });
    startOnRealEngine(false, releasing);
    recordTwoSeconds();
    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    ASSERT_EQ(window().CurrentPath(), card + "/Recording1.wav");
    EXPECT_EQ(OpenFilesInside(card), 0) << "the selected recording holds its card";

    playFirstRow();
    const auto speakerBytes = [&] {
        std::error_code ignored;
        return std::filesystem::file_size(root.file("speaker.wav"), ignored);
    };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return speakerBytes() == 44 + kRecordedBytes && window().CurrentState() == state(StateId::FileSelected);
        },
        kWaitMs))
        << "the playback ends by itself; speaker bytes " << speakerBytes();
    EXPECT_TRUE(shell.boxes().empty()) << shell.boxes().front().text;
    const std::vector<std::uint8_t> played = ReadBytes(root.file("speaker.wav"));
    const std::vector<std::uint8_t> recorded = ReadBytes(card + "/Recording1.wav");
    ASSERT_EQ(recorded.size(), 44 + kRecordedBytes);
    ASSERT_EQ(played.size(), recorded.size());
    EXPECT_TRUE(std::equal(played.begin() + 44, played.end(), recorded.begin() + 44));
    EXPECT_EQ(OpenFilesInside(card), 0);
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

}  // namespace
}  // namespace tavrin::test
