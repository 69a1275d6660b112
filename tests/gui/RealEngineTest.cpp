// The main window on the real engine, with WAV files as microphone and
// speaker: a recording made with F1 and the menu's Stop, played back to its
// end, and screenshots of the window while recording and while playing.
#include <QDir>
#include <QPushButton>
#include <QImage>
#include <QPixmap>
#include <QSettings>
#include <QTimer>
#include <QVariant>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include "RealEngineHarness.h"
#include "app/Artwork.h"
#include "app/InfoPanel.h"
#include "controller/AudioEngineView.h"
#include "controller/Commands.h"
#include "engine/AudioEngine.h"
#include "engine/Messages.h"
#include "platform/file/FileWaveIn.h"
#include "platform/file/FileWaveOut.h"
#include "platform/posix/PosixClock.h"
#include "platform/ReleasingFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "support/GatedWaveDevices.h"
#include "support/TempDir.h"
#include "ui/RecordingOptionsDialog.h"
#include "platform/posix/TerminationSignals.h"
#include "recordings/StorageLocations.h"
#include "ui/SoftKeyBar.h"
#include "wav/Formats.h"

namespace tavrin::test {
namespace {

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
    startOnRealEngine(false, kRecordedBytes, false, releasing);
    recordTwoSeconds();
    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    ASSERT_EQ(window().CurrentPath(), card + "/Recording1.wav");
    EXPECT_EQ(OpenFilesInside(card), 0) << "the selected recording holds its card";

    playFirstRow();
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


// Where the user chooses the edit from, and how.
enum class EditFrom { Selected, Playing, Paused };

struct EditCase {
    const char* name;
    EditFrom from;
    bool insert;  // else overwrite
    bool byKey;   // else the menu
};

// A microphone whose bytes cannot be mistaken for the tone of the recording.
void WritePatternMicrophone(const std::string& path, std::uint32_t samples) {
    WriteRecording(path, static_cast<int>(samples / 8));
    std::vector<std::uint8_t> bytes = ReadBytes(path);
    for (std::size_t i = 44; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(7 * i % 251);
    WriteBytes(path, bytes);
}

class EditOnRealEngine : public RealEngineTest, public ::testing::WithParamInterface<EditCase> {};

// Insert and Overwrite reach the file at the place the user heard last: a
// selected recording wound to 0.3 s, or playback of which the speaker took
// three 200 ms pieces while reading ran two pieces ahead.
TEST_P(EditOnRealEngine, EditsAtThePositionHeard) {
    const EditCase c = GetParam();
    constexpr std::uint32_t kPiece = 1600;         // 200 ms of PCM 8 kHz 8-bit
    constexpr std::uint32_t kMicrophone = 2 * kPiece;
    const std::string edited = recording("a");
    WriteRecording(edited, 3000);
    const std::vector<std::uint8_t> before = ReadBytes(edited);
    WritePatternMicrophone(root.file("microphone.wav"), 8000);
    const std::vector<std::uint8_t> microphone = ReadBytes(root.file("microphone.wav"));
    if (c.byKey) {
        QSettings keys(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        keys.setValue(QStringLiteral("Keys/Insert"), settings::vk::Digit0 + 1);
        keys.setValue(QStringLiteral("Keys/Overwrite"), settings::vk::Digit0 + 2);
        keys.sync();
    }
    startOnRealEngine(false, kMicrophone, true);
    playFirstRow();
    ASSERT_TRUE(waitForState(StateId::Play));

    std::uint32_t at = 0;  // in samples
    if (c.from == EditFrom::Selected) {
        pickFromMenu(cmd::Stop);  // nothing was heard yet
        ASSERT_TRUE(waitForState(StateId::FileSelected));
        choose(cmd::FF);  // a tenth of the length
        ASSERT_TRUE(QTest::qWaitFor([&] { return window().softKeys().isCommandEnabled(cmd::Menu); }, kWaitMs));
        at = 2400;
    } else {
        real->gate.release(3);
        ASSERT_TRUE(real->gate.written().waitFor(5, std::chrono::milliseconds(kWaitMs)));
        at = 3 * kPiece;
        if (c.from == EditFrom::Paused) {
            Click(window().recordingList(), Qt::Key_F1);
            ASSERT_TRUE(waitForState(StateId::PausePlay));
        }
    }
    const std::uint32_t command = c.insert ? cmd::Insert : cmd::Overwrite;
    if (c.byKey) {
        Click(window().recordingList(), c.insert ? Qt::Key_1 : Qt::Key_2);
    } else {
        pickFromMenu(command);
    }
    ASSERT_TRUE(waitForState(c.insert ? StateId::RecordInsert : StateId::RecordOverwrite));
    ASSERT_TRUE(QTest::qWaitFor([&] { return real->held.load(); }, kWaitMs)) << "the microphone ran dry";
    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));

    // The recording up to `at`, the microphone's audio, then for an insert
    // the rest moved back; an overwrite replaces everything from `at` on.
    std::vector<std::uint8_t> expected(before.begin() + 44, before.begin() + 44 + at);
    expected.insert(expected.end(), microphone.begin() + 44, microphone.begin() + 44 + kMicrophone);
    if (c.insert) expected.insert(expected.end(), before.begin() + 44 + at, before.end());
    const std::vector<std::uint8_t> after = ReadBytes(edited);
    ASSERT_EQ(after.size(), 44 + expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), after.begin() + 44)) << "spliced at the wrong place";
    EXPECT_EQ(after[40] | after[41] << 8 | after[42] << 16, static_cast<int>(expected.size()));
    if (!c.insert) {
        ASSERT_FALSE(shell.boxes().empty());
        EXPECT_EQ(shell.boxes().front().text, "Do you really want to overwrite this recording?\na");
    } else {
        EXPECT_TRUE(shell.boxes().empty()) << shell.boxes().front().text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    FromMenuAndKeys, EditOnRealEngine,
    ::testing::Values(EditCase{"InsertSelectedMenu", EditFrom::Selected, true, false},
                      EditCase{"OverwriteSelectedMenu", EditFrom::Selected, false, false},
                      EditCase{"InsertSelectedKey", EditFrom::Selected, true, true},
                      EditCase{"OverwriteSelectedKey", EditFrom::Selected, false, true},
                      EditCase{"InsertPausedMenu", EditFrom::Paused, true, false},
                      EditCase{"OverwritePausedMenu", EditFrom::Paused, false, false},
                      EditCase{"InsertPausedKey", EditFrom::Paused, true, true},
                      EditCase{"OverwritePausedKey", EditFrom::Paused, false, true},
                      EditCase{"InsertPlayingKey", EditFrom::Playing, true, true},
                      EditCase{"OverwritePlayingKey", EditFrom::Playing, false, true}),
    [](const ::testing::TestParamInfo<EditCase>& param) { return std::string(param.param.name); });


// Two seconds and a half block of silence, then speech: the recording holds
// the speech from at most one block after it began (the block that wakes the
// recording is not kept), and no silence before it.
TEST_F(RealEngineTest, VoiceActivationStartsWithinOneBlockOfTheSpeech) {
    storeOptions({{"Voice Activation", 1}, {"Activation Level", 10}});
    const std::size_t onset = 10 * kBlock + kBlock / 2;
    const std::vector<std::uint8_t> microphone = Join({Silence(onset), Speech(8 * kBlock - kBlock / 2)});
    writeMicrophone(microphone);
    startOnRealEngine(false, microphone.size());
    const std::vector<std::uint8_t> audio = recordAll(recording("Recording1"));
    ASSERT_FALSE(audio.empty());
    const std::size_t start = microphone.size() - audio.size();
    EXPECT_GE(start, onset);
    EXPECT_LE(start - onset, kBlock) << "started " << start - onset << " bytes after the speech";
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), microphone.begin() + static_cast<std::ptrdiff_t>(start)));
    EXPECT_TRUE(window().IsShown(Control::VoiceIcon));
}

// A six-second pause between two seconds of speech keeps the two seconds of
// silence asked for; the speech on either side is whole.
TEST_F(RealEngineTest, SilenceCutShortensAPauseToTheSilenceTime) {
    storeOptions({{"Silence Cut", 1}, {"Silence Level", 10}, {"Silence Seconds", 2}});
    const std::vector<std::uint8_t> before = Speech(5 * kBlock), after = Speech(5 * kBlock);
    writeMicrophone(Join({before, Silence(30 * kBlock), after}));
    startOnRealEngine(false, 40 * kBlock);
    const std::vector<std::uint8_t> audio = recordAll(recording("Recording1"));
    EXPECT_EQ(audio, Join({before, Silence(10 * kBlock), after}));
    EXPECT_EQ(field(Control::Length), "/00:00:04");
}

// The time limit stops the recording when its timer runs out (fired here,
// not waited for), the time left shows its minutes meanwhile, and the
// recording goes into the sub-folder, which the list then shows.
TEST_F(RealEngineTest, TimeLimitStopsTheRecordingInTheSubFolder) {
    storeOptions({{"Time Limit", 1}, {"Time Limit Minutes", 3}, {"Sub-folder", QStringLiteral("Interviews")}});
    startOnRealEngine(false);
    ASSERT_FALSE(std::filesystem::exists(documents + "/Interviews")) << "made by the first recording only";
    recordTwoSeconds();
    const QTimer& limit = window().timerOf(app::timer::Limit);
    ASSERT_TRUE(limit.isActive());
    EXPECT_EQ(limit.interval(), 180'000);
    tick(app::timer::Clock);
    EXPECT_EQ(field(Control::TimeLeft), "3 min");
    tick(app::timer::Limit);  // the three minutes are up
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    EXPECT_FALSE(limit.isActive());
    const std::string made = documents + "/Interviews/Recording1.wav";
    EXPECT_EQ(window().CurrentPath(), made);
    EXPECT_EQ(ReadBytes(made).size(), 44 + kRecordedBytes);
    tick(app::timer::List);
    QTreeWidget& list = window().recordingList();
    ASSERT_EQ(list.topLevelItemCount(), 1);
    EXPECT_EQ(list.topLevelItem(0)->text(1), "Recording1");
    EXPECT_EQ(list.topLevelItem(0)->text(2).toStdString(), made);
}

// The Recording page shows the microphone's level, measured by the engine as
// a recording's is, and lets go of the device when it closes.
TEST_F(RealEngineTest, TheLiveMeterFollowsTheInputAndClosesTheDeviceWithThePage) {
    startOnRealEngine(false, 24'000);  // the whole tone: its peak is 40 of 127
    ModalScript script;
    script.then("optionsListDialog",
                [](QWidget& dialog) { Click(*dialog.findChild<QTreeWidget*>("pageList"), Qt::Key_1); });
    script.then("recordingOptionsDialog", [&](QWidget& dialog) {
        auto& page = static_cast<ui::RecordingOptionsDialog&>(dialog);
        EXPECT_TRUE(page.meter().isVisible());
        EXPECT_TRUE(real->engine.LevelMonitorRunning());
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                page.showLevel();
                return page.meter().level() > 0;
            },
            kWaitMs));
        EXPECT_EQ(page.meter().level(), 40u * 100u / 127u);
        EXPECT_FALSE(std::filesystem::exists(documents + "/Recording1.wav")) << "nothing is recorded";
        SaveScreenshot(dialog, QStringLiteral("recording-options-meter.png"));
        Click(dialog, Qt::Key_Escape);
    });
    script.then("optionsListDialog",
                [](QWidget& dialog) { Click(*dialog.findChild<QTreeWidget*>("pageList"), Qt::Key_F1); });
    pickFromMenu(cmd::Options);
    ASSERT_TRUE(script.finished()) << script.pending().toStdString();
    EXPECT_FALSE(real->engine.LevelMonitorRunning());
    EXPECT_EQ(real->engine.MonitorLevelPercent(), 0u);
    // The device is free again: it opens for someone else.
    struct Ignore : platform::WaveSink {
        void notify(std::uint32_t, platform::WaveBuffer*, std::uint32_t) noexcept override {}
    } sink;
    platform::AudioFormat pcm8k8{platform::kFormatTagPcm, 1, 8000, 8000, 1, 8, 0, 0};
    ASSERT_EQ(real->in.open(pcm8k8, sink), platform::mmr::NoError);
    EXPECT_EQ(real->in.close(), platform::mmr::NoError);
    // And the recording that follows has it to itself.
    recordTwoSeconds();
    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    EXPECT_TRUE(shell.boxes().empty()) << shell.boxes().front().text;
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
