#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDateTime>
#include <QWidget>

#include "app/WindowClosing.h"
#include "controller/Controller.h"
#include "controller/EngineView.h"
#include "controller/PlaybackSpeed.h"
#include "controller/Window.h"
#include "engine/ResultCode.h"
#include "platform/EventSink.h"
#include "platform/FileSystem.h"
#include "platform/Power.h"
#include "platform/Shell.h"
#include "settings/Settings.h"
#include "settings/Store.h"
#include "ui/OptionsContext.h"
#include "ui/RecordingProbe.h"

class QMenu;
class QTimer;
class QTreeWidget;

namespace tavrin::ui {
class SoftKeyBar;
}

namespace tavrin::app {

class ExportRunner;
class InfoPanel;
class RecordingRows;
class WaveformSource;

// Identifiers and periods of the window's timers.
namespace timer {
inline constexpr int KeepAwake = 20;  // 60 s
inline constexpr int Clock = 22;      // 500 ms
inline constexpr int Level = 23;      // 200 ms
inline constexpr int Limit = 26;      // one shot: the recording-time limit
inline constexpr int List = 28;       // 5 s
inline constexpr int Suppress = 29;   // one shot, 200 ms after the menu closed
}  // namespace timer

// What the main window works with. The engine is seen through the
// operations the states call; `startEngine` starts its thread with the window
// as the receiver of its events.
struct MainWindowServices {
    controller::EngineView& engine;
    std::function<engine::ResultCode(platform::EventSink&)> startEngine;
    platform::Shell& shell;
    platform::FileSystem& files;
    settings::Store& store;
    platform::Power& power;
    ui::RecordingProbe& recordingProbe;
    // Ends the program's main loop; QCoreApplication::exit when not given.
    std::function<void(int)> quit;
    // Whether the engine has a device running or starting: between a Record
    // or Play and its start event the states still rest, but the engine does
    // not. Not given: never.
    std::function<bool()> engineBusy;
    // The sound server's sources for the microphone page (none when not
    // given), and where the chosen one goes (empty name: the desktop's default).
    std::function<std::vector<ui::MicrophoneSource>()> microphones = {};
    std::function<void(const std::string&)> useMicrophone = {};
    // After a recording started: what to tell the user about its microphone
    // (the chosen one was missing), once.
    std::function<std::optional<std::string>()> takeInputNotice = {};
    // Where storage journals the recordings it changes; recordings a crash
    // left unfinished are repaired from there at start-up. Empty: none.
    std::string journalFolder = {};
};

// The recorder's only window, shaped like the handset it was made for: the
// recording list, the information panel and the two soft keys. It owns the
// states, the settings and the current recording's facts, hands every
// command, engine event, assigned key and timer tick to the current state,
// and shows what the states tell it to. It decides nothing itself but how
// it closes while a recording runs (`WindowClosing`).
class MainWindow : public QWidget, public controller::Window, public platform::EventSink {
    Q_OBJECT
public:
    explicit MainWindow(const MainWindowServices& services, QWidget* parent = nullptr);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The start-up steps, in their order. False when the window cannot work;
    // the program then ends with code 2.
    [[nodiscard]] bool initialise();

    // --- controller::Window -------------------------------------------------------
    controller::State* CurrentState() override { return current; }
    void SetCurrentState(controller::State& state) override;
    const std::string& CurrentPath() const override { return currentPath; }
    void SetCurrentPath(std::string path) override { currentPath = std::move(path); }
    const std::string& NewRecordingPath() const override { return newRecordingPath; }
    void SetNewRecordingPath(std::string path) override {
        newRecordingPath = std::move(path);
        newRecordingStarting = true;  // until the next change of state
    }
    const std::string& CurrentFolder() const override { return currentFolder; }
    void SetCurrentFolder(std::string folder) override { currentFolder = std::move(folder); }
    std::int32_t LengthMs() const override { return lengthMs; }
    void SetLengthMs(std::int32_t milliseconds) override { lengthMs = milliseconds; }
    void RefreshFileFacts() override;
    void RefreshPanel() override;
    std::uint32_t LeftSoftKeyCommand() const override;
    void SetLeftSoftKey(std::uint32_t command, const std::string& label) override;
    void EnableSoftKey(std::uint32_t command, bool enabled) override;
    void CloseSoftKeyMenu() override;
    void ReplaceMenuItems(const std::vector<controller::MenuItem>& items) override;
    void SetKeyForwarding(bool on) override { keyForwarding = on; }
    settings::Settings& Settings() override { return options; }
    const settings::RecordingOptions& RecordingOptions() const override { return options.recordingOptions(); }
    void Show(controller::Control control, bool shown) override;
    bool IsShown(controller::Control control) const override;
    void SetPositionText(const std::string& text) override;
    void SetTimeLeftText(const std::string& text) override;
    void ShowLevel(std::uint32_t percent) override;
    void ShowNotice(const std::string& text) override;
    void FlashNotice(const std::string& text) override;
    void ShowMarkCount(std::uint32_t count) override;
    std::string SelectedRowPath() override;
    void RefreshList() override;
    void HighlightRow(const std::string& path) override;
    std::optional<std::string> RunRenameDialog(const std::string& path) override;
    void OpenOptions(bool recordingInProgress) override;
    void SendRequest(std::uint32_t message) override { dispatch(message, 0, 0); }
    void PostQuit(int exitCode) override;
    void StartLimitTimer(std::uint32_t milliseconds) override;
    void KillLimitTimer() override;
    std::optional<std::uint32_t> LimitRemainingMs() const override;
    controller::PowerStatus GetPowerStatus() override;
    void ResetIdleTimer() override;

    // --- platform::EventSink: the engine's events, from any thread ---------------------
    void post(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override;
    void send(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override;


    // Closes the window as the session asks a program to end: open dialogs
    // and boxes are dismissed first, then the window closes as its close
    // button would, after saving a recording in progress.
    void closeForTermination();
    // A termination signal came, possibly while a start-up step showed a box:
    // the window must not be shown after all.
    bool terminationRequested() const { return terminating; }

    // --- what tests and screenshots look at ----------------------------------------------
    controller::Controller& states() { return *machine; }
    QTreeWidget& recordingList() { return *list; }
    InfoPanel& panel() { return *info; }
    ui::SoftKeyBar& softKeys() { return *keys; }
    QMenu& softKeyMenu() { return *menu; }
    QTimer& timerOf(int id) { return *timers.at(id); }
    bool menuOpen() const { return menuShown; }
    bool actionSuppressed() const { return suppressAction; }
    bool keysForwarded() const { return keyForwarding; }
    const std::optional<QDateTime>& fileTime() const { return recordingTime; }
    controller::PlaybackSpeed& playbackSpeed() { return *speed; }
    ExportRunner& exports() { return *exporter; }
    WaveformSource& waveforms() { return *waveformSource; }
    QMenu& exportMenu() { return *exportChoice; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Built with the window.
    void createList();
    void createPanel();
    void createSoftKeys();
    void createTimers();
    void createOptionsContext();
    // Listening and sharing: the waveform, the playback speed, export.
    void createListening();
    void showSpeed();
    void chooseExport();
    void followPlayback();
    void seekTo(std::uint32_t ms);
    // The start-up steps.
    void readSettings();
    void recoverRecordings();
    void setUpSoftKeys();
    bool startEngine();
    void setUpList();
    void selectFirstRow();
    void startTimers();
    void runTimersForState();
    // What each timer does when it fires.
    void keepAwakeTick();
    void clockTick();
    void levelTick();
    void listTick();
    void limitReached();
    void suppressEnded();
    bool recording() const;
    void arrange();

    void dispatch(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam);
    void command(std::uint32_t id);
    void listKeyUp(std::uint32_t virtualKey);
    void actionOnRow(int row);
    void openMenu();
    void menuAboutToShow();
    void showInputNotice();
    void menuAboutToHide();
    void goBack();
    bool resting() const;
    bool engineBusy() const;
    void dropEmptyNewRecording();
    std::optional<std::uint32_t> probeFormats();

    MainWindowServices services;
    settings::Settings options;
    std::unique_ptr<ui::OptionsContext> optionsContext;
    std::string documentsFolder;

    controller::State* current = nullptr;
    std::string currentPath;
    std::string newRecordingPath;
    std::string currentFolder;
    std::int32_t lengthMs = 0;
    std::optional<QDateTime> recordingTime;
    bool keyForwarding = false;
    bool menuShown = false;
    bool suppressAction = false;
    bool timersStarted = false;  // from the end of the start-up steps on
    bool terminating = false;
    bool newRecordingStarting = false;  // a new recording's RecordStart went out; its start event has not come
    WindowClosing closing{{[this] { return resting(); }, [this] { return engineBusy(); }, [this] { current->OnStop(); },
                           [this] { dropEmptyNewRecording(); }, [this] { close(); }}};
    qreal scale = 2.0;

    RecordingRows* rows = nullptr;
    QTreeWidget* list = nullptr;  // the rows' view
    InfoPanel* info = nullptr;
    ui::SoftKeyBar* keys = nullptr;
    QMenu* menu = nullptr;
    std::map<int, QTimer*> timers;
    QMenu* exportChoice = nullptr;
    std::unique_ptr<controller::PlaybackSpeed> speed;
    std::unique_ptr<WaveformSource> waveformSource;
    std::unique_ptr<ExportRunner> exporter;
    // Last, so that the states are built once the window they call is complete.
    std::unique_ptr<controller::Controller> machine;
};

// Makes SIGTERM, SIGHUP and SIGINT end the program through
// closeForTermination() instead of at once. False when they cannot be caught.
bool CloseOnTerminationSignals(MainWindow& window);

}  // namespace tavrin::app
