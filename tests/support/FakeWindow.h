#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "controller/Window.h"

namespace tavrin::test {

// A main window for controller tests: it keeps what the states set, records
// every call that changes something (so a test can check that nothing
// changed), and runs its dialogs from a script. Requests sent to itself go to
// the request handler, normally the dispatch to the current state.
class FakeWindow : public controller::Window {
public:
    explicit FakeWindow(settings::Settings& settings);

    // --- what happened ----------------------------------------------------------
    // Every changing call, in order, e.g. "Show(PlayIcon,1)", "SetCurrentState".
    const std::vector<std::string>& calls() const { return log; }
    void clearCalls() { log.clear(); }
    bool softKeyEnabled(std::uint32_t command) const;
    const std::string& leftSoftKeyLabel() const { return leftLabel; }
    bool keyForwarding() const { return forwarding; }
    bool menuOpen() const { return menuIsOpen; }
    const std::string& positionText() const { return position; }
    const std::string& timeLeftText() const { return timeLeft; }
    std::uint32_t level() const { return levelPercent; }
    const std::string& notice() const { return noticeText; }
    const std::string& flashed() const { return flashText; }
    const std::vector<controller::MenuItem>& menu() const { return menuItems; }
    std::optional<std::uint32_t> limitTimer() const { return limitMs; }
    // What LimitRemainingMs answers while the limit timer runs.
    void setLimitLeft(std::optional<std::uint32_t> ms) { limitLeft = ms; }
    std::optional<int> quitCode() const { return quit; }
    int fileFactsRefreshes() const { return factsRefreshes; }
    int panelRefreshes() const { return panels; }
    int listRefreshes() const { return lists; }
    const std::vector<std::string>& renameDialogs() const { return renamed; }
    const std::vector<bool>& optionsOpened() const { return options; }
    const std::vector<std::uint32_t>& sentRequests() const { return requests; }
    int idleTimerResets() const { return idleResets; }

    // --- set-up -------------------------------------------------------------------
    void setRequestHandler(std::function<void(std::uint32_t)> handler) { onRequest = std::move(handler); }
    void setSelectedRow(std::string path) { selectedRow = std::move(path); }
    // The next rename dialog ends with this new path, or cancelled (nullopt).
    // Unscripted dialogs are cancelled.
    void queueRenameResult(std::optional<std::string> renamedTo) { renameScript.push_back(std::move(renamedTo)); }
    void setPowerStatus(controller::PowerStatus status) { power = status; }
    // What the user does in the options list when it opens.
    void setOptionsDialog(std::function<void()> dialog) { optionsDialog = std::move(dialog); }
    void openMenu() { menuIsOpen = true; }
    // The fixed options as a later version might offer them.
    settings::RecordingOptions& editRecordingOptions() { return recordingOptions; }

    // --- Window ---------------------------------------------------------------------
    controller::State* CurrentState() override { return current; }
    void SetCurrentState(controller::State& state) override;
    const std::string& CurrentPath() const override { return currentPath; }
    void SetCurrentPath(std::string path) override;
    const std::string& NewRecordingPath() const override { return newPath; }
    void SetNewRecordingPath(std::string path) override;
    const std::string& CurrentFolder() const override { return folder; }
    void SetCurrentFolder(std::string path) override;
    std::int32_t LengthMs() const override { return length; }
    void SetLengthMs(std::int32_t milliseconds) override;
    void RefreshFileFacts() override;
    void RefreshPanel() override;
    std::uint32_t LeftSoftKeyCommand() const override { return leftCommand; }
    void SetLeftSoftKey(std::uint32_t command, const std::string& label) override;
    void EnableSoftKey(std::uint32_t command, bool enabled) override;
    void CloseSoftKeyMenu() override;
    void ReplaceMenuItems(const std::vector<controller::MenuItem>& items) override;
    void SetKeyForwarding(bool on) override;
    settings::Settings& Settings() override { return settingsRef; }
    const settings::RecordingOptions& RecordingOptions() const override { return recordingOptions; }
    void Show(controller::Control control, bool shown) override;
    bool IsShown(controller::Control control) const override;
    void SetPositionText(const std::string& text) override;
    void SetTimeLeftText(const std::string& text) override;
    void ShowLevel(std::uint32_t percent) override;
    void ShowNotice(const std::string& text) override;
    void FlashNotice(const std::string& text) override;
    std::string SelectedRowPath() override { return selectedRow; }
    void RefreshList() override;
    void HighlightRow(const std::string& path) override;
    std::optional<std::string> RunRenameDialog(const std::string& path) override;
    void OpenOptions(bool recordingInProgress) override;
    void SendRequest(std::uint32_t message) override;
    void PostQuit(int exitCode) override;
    void StartLimitTimer(std::uint32_t milliseconds) override;
    void KillLimitTimer() override;
    std::optional<std::uint32_t> LimitRemainingMs() const override { return limitLeft; }
    controller::PowerStatus GetPowerStatus() override { return power; }
    void ResetIdleTimer() override;

private:
    settings::Settings& settingsRef;
    settings::RecordingOptions recordingOptions;
    std::vector<std::string> log;
    controller::State* current = nullptr;
    std::string currentPath, newPath, folder;
    std::int32_t length = 0;
    std::uint32_t leftCommand = controller::cmd::Record;
    std::string leftLabel = "Record";
    std::map<std::uint32_t, bool> enabledKeys;
    bool forwarding = false;
    bool menuIsOpen = false;
    std::map<controller::Control, bool> visible;
    std::string position, timeLeft, noticeText, flashText;
    std::uint32_t levelPercent = 0;
    std::vector<controller::MenuItem> menuItems;
    std::optional<std::uint32_t> limitMs;
    std::optional<std::uint32_t> limitLeft;
    std::optional<int> quit;
    int factsRefreshes = 0, panels = 0, lists = 0, idleResets = 0;
    std::string selectedRow;
    std::deque<std::optional<std::string>> renameScript;
    std::vector<std::string> renamed;
    std::vector<bool> options;
    std::vector<std::uint32_t> requests;
    std::function<void(std::uint32_t)> onRequest;
    std::function<void()> optionsDialog;
    controller::PowerStatus power;
};

// The control's name as the call log writes it.
const char* ControlName(controller::Control control);

}  // namespace tavrin::test
