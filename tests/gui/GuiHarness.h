#pragma once

#include <gtest/gtest.h>

#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "platform/Power.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/qt/QtSettingsStore.h"
#include "support/RecordingShell.h"
#include "support/ScriptedEngine.h"
#include "support/TempDir.h"
#include "ui/RecordingProbe.h"

class QWidget;

namespace tavrin::test {

// Runs steps on modal dialogs as they come up: each step waits until the
// active modal dialog has the given object name, then runs (from a fresh
// event, so that a dialog it opens can run its own loop meanwhile).
class ModalScript : public QObject {
public:
    using Step = std::function<void(QWidget& dialog)>;

    ModalScript();
    ~ModalScript() override;
    void then(const QString& dialogName, Step step);
    bool finished() const { return steps.empty() && !running; }
    // Names of the dialogs still awaited, for a failure message.
    QString pending() const;

private:
    void poll();

    struct Pending {
        QString name;
        Step step;
    };
    std::deque<Pending> steps;
    QTimer timer;
    bool running = false;
};

// Key presses as the keypad makes them: press and release on a widget.
void Click(QWidget& target, int qtKey);
void ClickText(QWidget& target, const QString& text);

// Saves a picture of a window into the build folder's screenshots, for people to look at.
void SaveScreenshot(QWidget& window, const QString& name);

// A mono 8-bit 8 kHz PCM recording of `milliseconds` of a soft tone.
void WriteRecording(const std::string& path, int milliseconds);

// The real file system, counting the folder listings asked of it.
class CountingFileSystem : public platform::PosixFileSystem {
public:
    std::optional<std::vector<platform::DirectoryEntry>> list(const std::string& folder) override {
        ++listings;
        return PosixFileSystem::list(folder);
    }
    std::optional<std::vector<platform::DirectoryEntry>> listNames(const std::string& folder) override {
        ++listings;
        return PosixFileSystem::listNames(folder);
    }
    int listings = 0;
};

class FakePower : public platform::Power {
public:
    platform::PowerStatus status() override { return current; }
    void keepAwake() override { ++renewals; }
    platform::PowerStatus current{true, platform::battery::NoBattery};
    int renewals = 0;
};

class FixedTimes : public ui::RecordingProbe {
public:
    std::int32_t totalSeconds(std::uint32_t, const std::string&) override { return total; }
    std::int32_t singleSeconds(std::uint32_t, const std::string&) override { return single; }
    std::int32_t total = 7384;  // 02:03:04
    std::int32_t single = 65;   // 00:01:05
};

// The main window on the scripted engine, with a documents folder and a
// configuration of its own; message boxes go to a recording shell.
class GuiTest : public ::testing::Test {
protected:
    GuiTest();
    ~GuiTest() override;

    // Builds, initialises and shows the window; the engine's events go to it.
    app::MainWindow& start();
    app::MainWindow& window() { return *main; }
    std::string recording(const std::string& name) const { return documents + "/" + name + ".wav"; }
    std::string configFile() const { return config + "/Korvel Software/Tavrin.conf"; }
    // The value stored under "group/name" in the configuration file, read afresh.
    QString stored(const QString& key) const;

    void deliverEvents();
    // The command a soft key or menu item would give.
    void choose(std::uint32_t command);
    // Opens the soft-key menu with F2 and picks the item of `command` with Return.
    void pickFromMenu(std::uint32_t command);
    // Runs the timer's tick now, as its period ending would.
    void tick(int timerId);
    bool calledEngine(const std::string& call) const;
    controller::State* state(controller::StateId id);

    TempDir root;
    std::string documents;
    std::string config;
    RecordingShell shell;
    CountingFileSystem files;
    platform::QtSettingsStore store;
    ScriptedEngine engine;
    FakePower power;
    FixedTimes times;
    std::vector<int> quits;
    // The sound server's sources as the microphone page finds them, the
    // choices handed to the input device, and the notice of a missing one.
    std::vector<ui::MicrophoneSource> sources;
    std::vector<std::string> microphonesUsed;
    std::optional<std::string> inputNotice;
    engine::ResultCode startResult;
    std::string journals;  // where the window looks for recordings to repair; empty: nowhere
    std::unique_ptr<app::MainWindow> main;
};

}  // namespace tavrin::test
