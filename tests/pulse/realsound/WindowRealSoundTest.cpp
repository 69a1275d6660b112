// The program's own window and engine host on the test's PulseAudio (see
// with-pulseaudio.sh): with the second microphone chosen in the settings, a
// recording made with the record key holds what that microphone heard.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QLabel>
#include <QTreeWidget>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/EngineHost.h"
#include "app/InfoPanel.h"
#include "app/MainWindow.h"
#include "controller/Commands.h"
#include "realsound/RealSoundRig.h"
#include "wav/Formats.h"

namespace tavrin::test {
namespace {

using Clock = std::chrono::steady_clock;

// Lets the window work until `done` or `seconds` have passed.
bool RunUntil(const std::function<bool()>& done, double seconds) {
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > until) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(10);
    }
    return true;
}

std::vector<std::int16_t> Decoded(const std::string& wav, const std::string& folder) {
    const std::string raw = folder + "/window.raw";
    if (!Run("sox '" + wav + "' -t raw -r 8000 -e signed-integer -b 16 -c 1 '" + raw + "'")) return {};
    return Samples(ReadFile(raw));
}

TEST(WindowRealSound, TheMicrophoneInTheSettingsIsTheOneRecorded) {
    const char* mic = std::getenv("TAVRIN_TEST_MIC_PIPE");
    const char* mic2 = std::getenv("TAVRIN_TEST_MIC2_PIPE");
    if (!mic || !mic2) GTEST_SKIP() << "run through with-pulseaudio.sh: no sound server";
    const std::string folder = std::filesystem::temp_directory_path() / "tavrin-window-realsound";
    std::filesystem::create_directories(folder);
    const auto first = SpokenText(folder, "One, two, three, four.", "first");
    const auto second = SpokenText(folder, "Seven, eight, nine, ten.", "second");
    ASSERT_FALSE(first.empty() || second.empty()) << "espeak-ng and sox must be installed";
    {
        QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        settings.setValue(QStringLiteral("Recording Options/Microphone"), QStringLiteral("second_microphone"));
        settings.setValue(QStringLiteral("Recording Options/Format"), wav::kCodePcm8k16);
        settings.sync();
    }
    MicFeeder feeder(mic2);
    app::EngineHost& host = app::MakeEngineHost();
    app::MainWindow window(host.windowServices());
    const app::EngineEnding ending(host);  // as the program ends it
    ASSERT_TRUE(window.initialise());
    window.show();

    feeder.SetActive(true);
    QTest::keyPress(&window.recordingList(), Qt::Key_F1);
    QTest::keyRelease(&window.recordingList(), Qt::Key_F1);
    ASSERT_TRUE(RunUntil([&] { return window.IsShown(controller::Control::RecordIcon); }, 5.0));
    feeder.Speak(second);
    // Until the words are through the pipe (a loaded machine lags the clock), then the server's latency.
    ASSERT_TRUE(RunUntil([&] { return !feeder.Speaking(); }, double(second.size()) / kPipeRate + 20.0));
    RunUntil([] { return false; }, 0.6);
    for (QAction* item : window.softKeyMenu().actions()) {
        if (item->data().toUInt() == controller::cmd::Stop) item->trigger();
    }
    const std::string file =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString() + "/Recording1.wav";
    ASSERT_TRUE(RunUntil([&] { return !window.IsShown(controller::Control::RecordIcon) && window.CurrentPath() == file; },
                         10.0));
    feeder.SetActive(false);

    const auto audio = Decoded(file, folder);
    EXPECT_GE(FindIn(second, audio).Share(0.98), 0.8);
    EXPECT_LT(FindIn(first, audio).Median(), 0.5);
    std::filesystem::remove_all(folder);
}

// The chosen microphone unplugged in the middle of a recording (its source
// module unloaded from the server): the recording stops with what was
// captured, the panel says why in words, and no box comes up.
TEST(WindowRealSound, AnUnpluggedMicrophoneStopsTheRecordingAndSaysSo) {
    const char* mic2 = std::getenv("TAVRIN_TEST_MIC2_PIPE");
    if (!mic2) GTEST_SKIP() << "run through with-pulseaudio.sh: no sound server";
    {
        QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        settings.setValue(QStringLiteral("Recording Options/Microphone"), QStringLiteral("second_microphone"));
        settings.setValue(QStringLiteral("Recording Options/Format"), wav::kCodePcm8k16);
        settings.sync();
    }
    MicFeeder feeder(mic2);
    app::EngineHost& host = app::MakeEngineHost();
    app::MainWindow window(host.windowServices());
    const app::EngineEnding ending(host);  // as the program ends it
    ASSERT_TRUE(window.initialise());
    window.show();
    // Any box is noted and closed, so that a box cannot hold the test up.
    std::vector<QString> boxes;
    QTimer boxWatch;
    QObject::connect(&boxWatch, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            boxes.push_back(modal->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))
                                ? modal->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text()
                                : modal->objectName());
            modal->close();
        }
    });
    boxWatch.start(50);

    feeder.SetActive(true);
    QTest::keyClick(&window.recordingList(), Qt::Key_F10);  // the record key
    ASSERT_TRUE(RunUntil([&] { return window.IsShown(controller::Control::RecordIcon); }, 5.0));
    RunUntil([] { return false; }, 1.0);  // a second of audio
    ASSERT_TRUE(test::Run("pactl unload-module $(pactl list short modules | awk '/second_microphone/ {print $1}')"));
    feeder.SetActive(false);
    const bool stopped = RunUntil(
        [&] { return window.CurrentState() == &window.states().fileSelected; },
        10.0);
    // The next test finds its microphone again.
    test::Run(std::string("pactl load-module module-pipe-source source_name=second_microphone file=") + mic2 +
        " format=s16le rate=8000 channels=1 source_properties=device.description=Second");
    ASSERT_TRUE(stopped) << "the recording ends by itself";
    EXPECT_EQ(window.panel().notice().toStdString(), "Microphone disconnected - recording stopped");
    EXPECT_TRUE(boxes.empty()) << boxes.front().toStdString();
    const auto file = ReadFile(window.CurrentPath());
    EXPECT_GT(file.size(), 44u + 8000u) << "what was captured is kept";
}

}  // namespace
}  // namespace tavrin::test

int main(int argc, char** argv) {
    // The test writes into the microphone's pipe; the server closing it must not end the test.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
