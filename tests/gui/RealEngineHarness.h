#pragma once

// The main window on the real engine, with WAV files as microphone and
// speaker, for the tests that drive the program as a user would.
#include <QDir>
#include <QImage>
#include <QSettings>
#include <QTest>
#include <QVariant>
#include <atomic>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "GuiHarness.h"
#include "app/InfoPanel.h"
#include "controller/AudioEngineView.h"
#include "controller/Commands.h"
#include "engine/AudioEngine.h"
#include "engine/Messages.h"
#include "platform/file/FileWaveIn.h"
#include "platform/file/FileWaveOut.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixMemory.h"
#include "support/GatedWaveDevices.h"
#include "support/TempDir.h"
#include "wav/Formats.h"

namespace tavrin::test {

using controller::Control;
using controller::StateId;
namespace cmd = controller::cmd;

inline constexpr int kWaitMs = 20'000;  // a guard against a hung engine, not a timing assumption

// One engine with file-backed devices. Like the program's, it is never
// destroyed, but its thread is ended before the window it reports to is
// (`end`). A gated speaker hears only the buffers the test lets through.
struct RealEngine {
    // `journals`: where storage journals what it changes (empty: nowhere).
    RealEngine(platform::FileSystem& fs, platform::Shell& desktop, std::uint64_t microphoneBytes, std::string speaker,
               bool speakerRealtime, bool gateSpeaker = false, std::string journals = {})
        : files(fs),
          in(files,
             [this, microphoneBytes] {
                 platform::file::FileWaveIn::Options o;
                 o.deliverBytes = microphoneBytes;
                 o.onHeld = [this] { held = true; };
                 return o;
             }()),
          out(files, std::move(speaker), speakerRealtime),
          gate(out),
          engine(engine::EngineServices{in, gateSpeaker ? static_cast<platform::WaveOut&>(gate) : out, files, memory,
                                        system, desktop, clock, thread, cues,
                                        [this](std::function<void()> body) {
                                            engineThread = std::thread([this, body = std::move(body)] {
                                                body();
                                                ended = true;
                                            });
                                            return true;
                                        },
                                        std::move(journals)}),
          view(engine) {}

    // Quits the engine thread and waits for it; the window keeps handling
    // what the engine sends meanwhile. An event posted to a window already
    // gone would be a use after free.
    void end() {
        if (!engineThread.joinable()) return;
        static_cast<void>(engine.Queue().post({engine::kWmQuit, 0, nullptr}));
        if (QTest::qWaitFor([this] { return ended.load(); }, 20'000)) engineThread.join();
        else engineThread.detach();
    }

    platform::FileSystem& files;
    platform::PosixMemory memory;
    platform::PosixSystemInfo system;
    platform::SteadyClock clock;
    platform::PosixThread thread;
    platform::SilentCues cues;
    std::atomic<bool> held{false};
    std::thread engineThread;
    std::atomic<bool> ended{false};
    platform::file::FileWaveIn in;
    platform::file::FileWaveOut out;
    GatedWaveOut gate;
    engine::AudioEngine engine;
    controller::AudioEngineView view;
};

// The Recording page's meter on the real engine; the estimates stay fixed.
class EngineTimes : public FixedTimes {
public:
    engine::AudioEngine* engine = nullptr;
    bool startLevelMonitor(std::uint32_t formatBit) override { return engine->StartLevelMonitor(formatBit); }
    std::uint32_t monitorLevelPercent() override { return engine->MonitorLevelPercent(); }
    void stopLevelMonitor() override { engine->StopLevelMonitor(); }
};

class RealEngineTest : public GuiTest {
protected:
    ~RealEngineTest() override {
        if (real) real->end();
    }
    // Two seconds of PCM 8 kHz 8-bit from the microphone.
    static constexpr std::uint64_t kRecordedBytes = 16'000;

    // `engineFiles` is what the engine works through; the window's file system by default.
    void startOnRealEngine(bool speakerRealtime, std::uint64_t microphoneBytes = kRecordedBytes,
                           bool gateSpeaker = false, platform::FileSystem* engineFiles = nullptr) {
        QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        settings.setValue(QStringLiteral("Recording Options/Format"), wav::kCodePcm8k8);
        settings.sync();
        real = new RealEngine(engineFiles ? *engineFiles : files, shell, microphoneBytes, root.file("speaker.wav"),
                              speakerRealtime, gateSpeaker, engineJournals);
        // A tone the meter shows, longer than what is recorded of it.
        if (!std::filesystem::exists(root.file("microphone.wav"))) WriteRecording(root.file("microphone.wav"), 3000);
        std::string error;
        ASSERT_TRUE(real->in.Load(root.file("microphone.wav"), error)) << error;
        engineTimes.engine = &real->engine;
        app::MainWindowServices services{real->view,
                                         [this](platform::EventSink& sink) { return real->engine.Init(sink); },
                                         shell,
                                         files,
                                         store,
                                         power,
                                         engineTimes,
                                         [this](int code) { quits.push_back(code); },
                                         [this] {
                                             const engine::EngineState now = real->engine.State();
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
    // Bytes in the file speaker's file, which is whole once the device closed.
    std::uintmax_t speakerBytes() {
        std::error_code ignored;
        return std::filesystem::file_size(root.file("speaker.wav"), ignored);
    }
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

    // A key for a function, as the Keys page stores it.
    static void storeKey(const char* function, std::uint32_t key) {
        QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        settings.setValue(QStringLiteral("Keys/") + QLatin1String(function), key);
        settings.sync();
    }
    // Recording options as the Recording page stores them.
    static void storeOptions(const std::vector<std::pair<QString, QVariant>>& values) {
        QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        for (const auto& [name, value] : values) settings.setValue(QStringLiteral("Recording Options/") + name, value);
        settings.sync();
    }
    // A microphone of PCM 8 kHz 8-bit with exactly these samples.
    void writeMicrophone(const std::vector<std::uint8_t>& samples) {
        const std::string path = root.file("microphone.wav");
        WriteRecording(path, static_cast<int>(samples.size() / 8));
        std::vector<std::uint8_t> bytes = ReadBytes(path);
        bytes.resize(44);
        bytes.insert(bytes.end(), samples.begin(), samples.end());
        WriteBytes(path, bytes);
    }
    // Records from the microphone until it runs dry, then stops from the menu.
    std::vector<std::uint8_t> recordAll(const std::string& expectedPath) {
        Click(window().recordingList(), Qt::Key_F1);
        EXPECT_TRUE(waitForState(StateId::Record));
        EXPECT_TRUE(QTest::qWaitFor([&] { return real->held.load(); }, kWaitMs)) << "the microphone ran dry";
        pickFromMenu(cmd::Stop);
        EXPECT_TRUE(waitForState(StateId::FileSelected));
        EXPECT_EQ(window().CurrentPath(), expectedPath);
        const std::vector<std::uint8_t> file = ReadBytes(expectedPath);
        return file.size() < 44 ? std::vector<std::uint8_t>{} : std::vector<std::uint8_t>(file.begin() + 44, file.end());
    }

    RealEngine* real = nullptr;
    EngineTimes engineTimes;
    std::string engineJournals;  // the engine's state folder; empty: no journals
};

// 200 ms of PCM 8 kHz 8-bit.
inline constexpr std::size_t kBlock = 1600;

inline std::vector<std::uint8_t> Silence(std::size_t bytes) { return std::vector<std::uint8_t>(bytes, 128); }

// Loud enough for any level up to 45 %: a square wave of +-60 around the middle.
inline std::vector<std::uint8_t> Speech(std::size_t bytes) {
    std::vector<std::uint8_t> v(bytes);
    for (std::size_t i = 0; i < bytes; ++i) v[i] = static_cast<std::uint8_t>(i % 16 < 8 ? 188 : 68 + i % 5);
    return v;
}

inline std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace tavrin::test
