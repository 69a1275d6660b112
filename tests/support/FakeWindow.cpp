#include "support/FakeWindow.h"

namespace tavrin::test {

using controller::Control;

const char* ControlName(Control control) {
    switch (control) {
        case Control::Name: return "Name";
        case Control::Date: return "Date";
        case Control::Time: return "Time";
        case Control::Position: return "Position";
        case Control::Length: return "Length";
        case Control::TimeLeft: return "TimeLeft";
        case Control::LeftLabel: return "LeftLabel";
        case Control::CardIcon: return "CardIcon";
        case Control::RecordIcon: return "RecordIcon";
        case Control::AppendIcon: return "AppendIcon";
        case Control::InsertIcon: return "InsertIcon";
        case Control::OverwriteIcon: return "OverwriteIcon";
        case Control::PlayIcon: return "PlayIcon";
        case Control::VoiceIcon: return "VoiceIcon";
        case Control::SilenceIcon: return "SilenceIcon";
        case Control::SavingIcon: return "SavingIcon";
        case Control::PausedLabel: return "PausedLabel";
    }
    return "?";
}

FakeWindow::FakeWindow(settings::Settings& settings) : settingsRef(settings) {
    // As the window starts: the text fields shown, the icons hidden except
    // the saving icon, both soft keys enabled.
    for (Control c : {Control::Name, Control::Date, Control::Time, Control::Position, Control::Length,
                      Control::SavingIcon}) {
        visible[c] = true;
    }
    enabledKeys[controller::cmd::Record] = true;
    enabledKeys[controller::cmd::Menu] = true;
}

bool FakeWindow::softKeyEnabled(std::uint32_t command) const {
    auto found = enabledKeys.find(command);
    return found != enabledKeys.end() && found->second;
}

void FakeWindow::SetCurrentState(controller::State& state) {
    log.push_back("SetCurrentState");
    current = &state;
}

void FakeWindow::SetCurrentPath(std::string path) {
    log.push_back("SetCurrentPath(" + path + ")");
    currentPath = std::move(path);
}

void FakeWindow::SetNewRecordingPath(std::string path) {
    log.push_back("SetNewRecordingPath(" + path + ")");
    newPath = std::move(path);
}

void FakeWindow::SetCurrentFolder(std::string path) {
    log.push_back("SetCurrentFolder(" + path + ")");
    folder = std::move(path);
}

void FakeWindow::SetLengthMs(std::int32_t milliseconds) {
    log.push_back("SetLengthMs(" + std::to_string(milliseconds) + ")");
    length = milliseconds;
}

void FakeWindow::RefreshFileFacts() {
    log.push_back("RefreshFileFacts");
    ++factsRefreshes;
}

void FakeWindow::RefreshPanel() {
    log.push_back("RefreshPanel");
    ++panels;
}

void FakeWindow::SetLeftSoftKey(std::uint32_t command, const std::string& label) {
    log.push_back("SetLeftSoftKey(" + std::to_string(command) + "," + label + ")");
    // The key keeps its enabled state under its new command.
    const bool wasEnabled = softKeyEnabled(leftCommand);
    enabledKeys.erase(leftCommand);
    leftCommand = command;
    leftLabel = label;
    enabledKeys[command] = wasEnabled;
}

void FakeWindow::EnableSoftKey(std::uint32_t command, bool enabled) {
    log.push_back("EnableSoftKey(" + std::to_string(command) + "," + std::to_string(enabled) + ")");
    enabledKeys[command] = enabled;
}

void FakeWindow::CloseSoftKeyMenu() {
    log.push_back("CloseSoftKeyMenu");
    menuIsOpen = false;
}

void FakeWindow::ReplaceMenuItems(const std::vector<controller::MenuItem>& items) {
    log.push_back("ReplaceMenuItems");
    menuItems = items;
}

void FakeWindow::SetKeyForwarding(bool on) {
    log.push_back("SetKeyForwarding(" + std::to_string(on) + ")");
    forwarding = on;
}

void FakeWindow::Show(Control control, bool shown) {
    log.push_back(std::string("Show(") + ControlName(control) + "," + std::to_string(shown) + ")");
    visible[control] = shown;
}

bool FakeWindow::IsShown(Control control) const {
    auto found = visible.find(control);
    return found != visible.end() && found->second;
}

void FakeWindow::SetPositionText(const std::string& text) {
    log.push_back("SetPositionText(" + text + ")");
    position = text;
}

void FakeWindow::SetTimeLeftText(const std::string& text) {
    log.push_back("SetTimeLeftText(" + text + ")");
    timeLeft = text;
}

void FakeWindow::ShowLevel(std::uint32_t percent) {
    log.push_back("ShowLevel(" + std::to_string(percent) + ")");
    levelPercent = percent;
}

void FakeWindow::RefreshList() {
    log.push_back("RefreshList");
    ++lists;
}

void FakeWindow::FlashNotice(const std::string& text) {
    log.push_back("FlashNotice(" + text + ")");
    flashText = text;
}

void FakeWindow::ShowNotice(const std::string& text) {
    log.push_back("ShowNotice(" + text + ")");
    noticeText = text;
}

void FakeWindow::HighlightRow(const std::string& path) {
    log.push_back("HighlightRow(" + path + ")");
    selectedRow = path;
}

std::optional<std::string> FakeWindow::RunRenameDialog(const std::string& path) {
    log.push_back("RunRenameDialog(" + path + ")");
    renamed.push_back(path);
    if (renameScript.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(renameScript.front());
    renameScript.pop_front();
    return answer;
}

void FakeWindow::OpenOptions(bool recordingInProgress) {
    log.push_back("OpenOptions(" + std::to_string(recordingInProgress) + ")");
    options.push_back(recordingInProgress);
    if (optionsDialog) optionsDialog();
}

void FakeWindow::SendRequest(std::uint32_t message) {
    log.push_back("SendRequest(" + std::to_string(message) + ")");
    requests.push_back(message);
    if (onRequest) onRequest(message);
}

void FakeWindow::PostQuit(int exitCode) {
    log.push_back("PostQuit(" + std::to_string(exitCode) + ")");
    quit = exitCode;
}

void FakeWindow::StartLimitTimer(std::uint32_t milliseconds) {
    log.push_back("StartLimitTimer(" + std::to_string(milliseconds) + ")");
    limitMs = milliseconds;
}

void FakeWindow::KillLimitTimer() {
    log.push_back("KillLimitTimer");
    limitMs.reset();
}

void FakeWindow::ResetIdleTimer() {
    log.push_back("ResetIdleTimer");
    ++idleResets;
}

}  // namespace tavrin::test
