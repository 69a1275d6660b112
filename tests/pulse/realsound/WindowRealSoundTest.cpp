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
#include <QTreeWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/EngineHost.h"
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
    ASSERT_TRUE(window.initialise());
    window.show();

    feeder.SetActive(true);
    QTest::keyPress(&window.recordingList(), Qt::Key_F1);
    QTest::keyRelease(&window.recordingList(), Qt::Key_F1);
    ASSERT_TRUE(RunUntil([&] { return window.IsShown(controller::Control::RecordIcon); }, 5.0));
    feeder.Speak(second);
    RunUntil([] { return false; }, double(second.size()) / kPipeRate + 0.6);
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

}  // namespace
}  // namespace tavrin::test

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
