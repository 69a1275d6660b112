#include "controller/StateCommon.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "controller/Controller.h"
#include "controller/Duration.h"
#include "recordings/Naming.h"
#include "recordings/Playable.h"
#include "recordings/RecordingList.h"
#include "recordings/StorageLocations.h"

namespace tavrin::controller {
namespace {

constexpr std::string_view kProductCaption = engine::kProductName;
constexpr std::string_view kEmptyFileMessage = "Can't play an empty file!";
constexpr std::string_view kOverwriteQuestion = "Do you really want to overwrite this recording?";
constexpr std::string_view kCardGoneNotice = "Card not found - recording to Phone";

// Volume changes smaller than this are not worth a call into the device.
constexpr std::int32_t kVolumeStep = 6;
// What one press of a volume key changes, in percent.
constexpr std::int32_t kVolumeKeyStep = 10;

}  // namespace

Window& StateCommon::window() const { return context.window; }
EngineView& StateCommon::engine() const { return context.engine; }

platform::Media StateCommon::MediaOf(const std::string& path) const {
    return platform::MediaOf(context.shell, path);
}

bool StateCommon::IsLocationGone(const std::string& path) const {
    if (path.empty()) return false;
    if (!context.files.isDirectory(platform::FolderOf(path))) return true;
    const std::vector<std::string> locations = recordings::StorageLocations(context.shell, context.files).list();
    return std::none_of(locations.begin(), locations.end(),
                        [&](const std::string& location) { return recordings::IsInside(path, location); });
}

void StateCommon::HaltStep() {
    Window& w = window();
    w.CloseSoftKeyMenu();
    w.EnableSoftKey(w.LeftSoftKeyCommand(), false);
    w.EnableSoftKey(cmd::Menu, false);
    w.SetKeyForwarding(false);
}

bool StateCommon::CheckResult(engine::ResultCode result, bool show) {
    if (result.Ok()) return true;
    if (show) engine::ShowResult(context.shell, result.Detail(), result.Code());
    if (result.IsWarning()) {
        // Dropping cannot fail in a way that matters: closing an open file always succeeds.
        static_cast<void>(SelectRecording({}));
    } else if (result.IsFatal()) {
        window().PostQuit(0);
    }
    return false;
}

engine::ResultCode StateCommon::SelectRecording(const std::string& path) {
    Window& w = window();
    w.ShowLevel(0);
    if (path.empty()) {
        // Only a running device makes closing fail, and then there is nothing
        // better to do than to let the device's own events arrive.
        static_cast<void>(engine().CloseFile());
        w.SetCurrentPath({});
        w.RefreshPanel();
        EnterAndSwitch(context.idle);
        return {};
    }
    AudioFileInfo facts;
    engine::ResultCode result;
    if (path != w.CurrentPath()) {
        w.SetCurrentPath(path);
        result = engine().OpenFile(path, MediaOf(path), facts);
    } else {
        result = engine().GetFileInfo(path, facts);  // already open: only its facts
    }
    if (!result.Ok()) return result;
    context.currentFacts = facts;
    w.SetLengthMs(LengthMsOf(facts));
    w.RefreshFileFacts();
    w.RefreshPanel();
    EnterAndSwitch(context.fileSelected);
    return {};
}

bool StateCommon::SelectOrExplain(const std::string& path) {
    const engine::ResultCode result = SelectRecording(path);
    if (result.Ok()) return true;
    if (ExplainUnplayable(path)) {
        // Nothing is left half-selected behind the words.
        static_cast<void>(SelectRecording({}));
        return false;
    }
    return CheckResult(result, true);
}

bool StateCommon::ExplainUnplayable(const std::string& path) {
    const std::string_view why = recordings::WhyNotPlayable(recordings::JudgeRecording(context.files, path));
    if (why.empty()) return false;
    context.shell.messageBox(std::string(why), std::string(kProductCaption), platform::mb::IconExclamation);
    return true;
}

void StateCommon::SelectAndPlay(const std::string& path) {
    if (SelectOrExplain(path)) StartPlay();
}

bool StateCommon::SelectHighlightedRow() {
    const std::string row = window().SelectedRowPath();
    if (row.empty() || row == window().CurrentPath()) return true;
    return SelectOrExplain(row);
}

void StateCommon::FollowHighlight(bool userMoved) {
    Window& w = window();
    const std::string row = w.SelectedRowPath();
    if (row.empty() || (row == w.CurrentPath() && w.CurrentState() == &context.fileSelected)) return;
    if (userMoved) ClearNotice();
    if (SelectRecording(row).Ok()) return;
    static_cast<void>(SelectRecording({}));
    const std::string_view why = recordings::WhyNotPlayable(recordings::JudgeRecording(context.files, row));
    if (!why.empty()) Tell(std::string(why));
}

void StateCommon::StartPlay() {
    ClearNotice();
    Window& w = window();
    if (context.currentFacts.channels > 1) {
        // Opened for its facts, but no speaker takes it.
        context.shell.messageBox(std::string(recordings::kStereoText), std::string(kProductCaption),
                                 platform::mb::IconExclamation);
        w.CurrentState()->Enter();
        return;
    }
    if (w.LengthMs() < 1) {
        // Yes and No, as it has always been shown; the answer changes nothing.
        context.shell.messageBox(std::string(kEmptyFileMessage), std::string(kProductCaption),
                                 platform::mb::IconHand | platform::mb::YesNo);
        w.CurrentState()->Enter();  // gives the soft keys back
        return;
    }
    w.Show(Control::PlayIcon, true);
    HaltStep();
    CheckResult(engine().PlayStart(), true);
}

void StateCommon::EnterPlay() { EnterAndSwitch(context.play); }

engine::ResultCode StateCommon::StartNewRecording() {
    ClearNotice();
    HaltStep();
    Window& w = window();
    settings::Settings& s = w.Settings();
    std::uint32_t accepted = 0;
    const bool probed = engine().ProbeFormats(accepted);
    s.validateFormat(settings::SupportedFormats(probed ? std::optional(accepted) : std::nullopt, context.shell));
    // A format the engine does not take makes RecordStart fail with its own message.
    static_cast<void>(engine().SetFormat(s.format()));
    const settings::RecordingOptions& o = w.RecordingOptions();
    engine().SetCaptureOptions({o.voiceActivated, o.voiceActivationLevel, o.silenceCut, o.silenceCutLevel,
                                o.silenceMilliseconds()});

    // A card that is gone takes its save location with it: record to the
    // documents folder instead, and say so, once: the replacement holds for
    // the rest of the run.
    const std::string wanted = s.saveLocation();
    const std::vector<std::string> locations = recordings::StorageLocations(context.shell, context.files).list();
    s.validateSaveLocation(locations);
    const bool replaced = !wanted.empty() && s.saveLocation() != wanted;
    if (replaced || context.vars.saveLocationReplaced) Tell(std::string(kCardGoneNotice));
    context.vars.saveLocationReplaced = false;
    w.SetCurrentFolder(recordings::PrepareRecordingFolder(context.files, s.saveLocation(), o.subFolder));
    const std::string folder = w.CurrentFolder();
    engine().SetStorage(folder, MediaOf(folder));
    // Its number is new among all the rows the list shows, sub-folders included.
    recordings::RecordingList shown(context.files);
    static_cast<void>(shown.refresh(locations));
    w.SetNewRecordingPath(recordings::NewRecordingPath(context.files, folder, shown.paths()));
    return engine().RecordStart(w.NewRecordingPath());
}

void StateCommon::HandOverSwitches() {
    const settings::RecordingOptions& o = window().RecordingOptions();
    engine().SetCaptureSwitches(o.voiceActivated, o.silenceCut);
}

engine::ResultCode StateCommon::StartAppend() {
    ClearNotice();
    HaltStep();
    HandOverSwitches();
    return engine().RecordAppend();
}

engine::ResultCode StateCommon::StartInsert() {
    ClearNotice();
    HaltStep();
    HandOverSwitches();
    return engine().RecordInsert();
}

engine::ResultCode StateCommon::StartOverwrite() {
    // Named, as the delete question names what it deletes.
    const std::string question =
        std::string(kOverwriteQuestion) + "\n" + recordings::RecordingName(window().CurrentPath());
    const int answer = context.shell.messageBox(question, std::string(kProductCaption),
                                                platform::mb::IconQuestion | platform::mb::YesNo);
    if (answer != platform::answer::Yes) return {};
    ClearNotice();
    HaltStep();
    HandOverSwitches();
    return engine().RecordOverwrite();
}

void StateCommon::BeginCapture(RecordingStateBase& state, Control icon) {
    Window& w = window();
    w.Show(icon, true);
    // Silence skipping is on for the whole recording; the voice icon blinks
    // from its first tick until a voice is heard.
    w.Show(Control::SilenceIcon, w.RecordingOptions().silenceCut);
    w.Show(Control::VoiceIcon, false);
    state.Enter();
    state.activated = false;
    // Whatever the start had to tell (a card gone) stays unless there is a voice to wait for.
    if (w.RecordingOptions().voiceActivated) w.ShowNotice(std::string(kWaitingForVoiceNotice));
    state.stopAsked = false;
    w.SetCurrentState(state);
}

void StateCommon::BeginRecordState() {
    BeginCapture(context.record, Control::RecordIcon);
    Window& w = window();
    w.SetCurrentPath(w.NewRecordingPath());  // the new file is the current recording only now
    RefreshAndArmLimit();
}

void StateCommon::BeginAppendState() {
    BeginCapture(context.recordAppend, Control::AppendIcon);
    RefreshAndArmLimit();
}

void StateCommon::BeginInsertState() {
    BeginCapture(context.recordInsert, Control::InsertIcon);
    RefreshAndArmLimit();
}

void StateCommon::BeginOverwriteState() {
    BeginCapture(context.recordOverwrite, Control::OverwriteIcon);
    RefreshAndArmLimit();
}

void StateCommon::RefreshAndArmLimit() {
    Window& w = window();
    w.RefreshFileFacts();
    w.RefreshPanel();
    const settings::RecordingOptions& o = w.RecordingOptions();
    if (o.timeLimitOn) w.StartLimitTimer(o.timeLimitMilliseconds());
}

void StateCommon::FinishRecording() {
    // The engine has finished the file and selected it; closing cannot fail
    // here, and reopening reports whatever is wrong with the file.
    static_cast<void>(engine().CloseFile());
    ReopenCurrent(true);
    // A new recording is in the list at once, and Action plays it.
    if (!window().CurrentPath().empty()) ShowInList(window().CurrentPath());
}

void StateCommon::ReopenCurrent(bool show) {
    const std::string path = window().CurrentPath();
    AudioFileInfo facts;
    if (!CheckResult(engine().OpenFile(path, MediaOf(path), facts), show)) return;
    if (!CheckResult(SelectRecording(path), true)) return;
    // Position 0 of an open recording is always accepted.
    static_cast<void>(engine().SetPosition(0));
}

void StateCommon::SeekPercent(std::int32_t percent) {
    HaltStep();
    const std::int64_t length = window().LengthMs();
    std::int64_t target = static_cast<std::int64_t>(engine().GetPositionMs()) + length * percent / 100;
    // Upper bound first, so that an empty recording winds to 0 rather than to -1.
    if (target > length - 1) target = length - 1;
    if (target < 0) target = 0;
    // Refused only where no state winds (nothing open, or recording).
    static_cast<void>(engine().SetPosition(static_cast<std::int32_t>(target)));
}

void StateCommon::ShowPosition() { window().SetPositionText(FormatDuration(engine().GetPositionMs() / 1000)); }

void StateCommon::ShowThumbTime(std::int32_t slider) {
    const std::int64_t ms = static_cast<std::int64_t>(window().LengthMs()) * slider / 1000;
    window().SetPositionText(FormatDuration(ms / 1000));
}

void StateCommon::SetVolumeFromSlider(std::int32_t slider) {
    const std::int32_t volume = 100 - slider;
    if (std::abs(volume - context.vars.lastVolume) < kVolumeStep) return;
    if (CheckResult(engine().SetVolume(volume), true)) context.vars.lastVolume = volume;
}

void StateCommon::StepVolume(std::int32_t direction) {
    ControllerVariables& v = context.vars;
    const std::int32_t wanted = std::clamp(v.lastVolume + direction * kVolumeKeyStep, 0, 100);
    SetVolumeFromSlider(100 - wanted);
    window().Settings().writeVolume(v.lastVolume);
    window().FlashNotice("Volume " + std::to_string(v.lastVolume) + "%");
}

bool StateCommon::HandleVolumeKey(std::uint32_t virtualKey) {
    if (virtualKey == settings::vk::VolumeUp) {
        StepVolume(+1);
    } else if (virtualKey == settings::vk::VolumeDown) {
        StepVolume(-1);
    } else {
        return false;
    }
    return true;
}

void StateCommon::ShowLevel() { window().ShowLevel(engine().GetLevelPercent()); }

void StateCommon::RenameCurrent() {
    Window& w = window();
    const std::string kept = w.CurrentPath();
    static_cast<void>(SelectRecording({}));  // the file must be closed to be moved
    const std::optional<std::string> renamed = w.RunRenameDialog(kept);
    if (renamed) ShowInList(*renamed);
    // A recording that cannot be opened again is told and dropped, rather
    // than left behind as the current path of StateIdle.
    CheckResult(SelectRecording(renamed ? *renamed : kept), true);
}

void StateCommon::ShowInList(const std::string& path) {
    Window& w = window();
    w.RefreshList();
    w.HighlightRow(path);
}

void StateCommon::KeepAwake() {
    Window& w = window();
    const PowerStatus power = w.GetPowerStatus();
    const bool batteryFine = power.batteryFlag != battery::Unknown &&
                             (power.batteryFlag & (battery::High | battery::Low | battery::Charging)) != 0;
    if (power.externalPower || batteryFine) w.ResetIdleTimer();
}

void StateCommon::RefreshList() { window().RefreshList(); }

void StateCommon::RefreshFollowingHighlight() {
    Window& w = window();
    const std::string before = w.SelectedRowPath();
    w.RefreshList();
    const std::string after = w.SelectedRowPath();
    if (after.empty() && !before.empty()) {
        static_cast<void>(SelectRecording({}));  // the rows went, the recording with them
    } else if (after != before || (!w.CurrentPath().empty() && after != w.CurrentPath())) {
        FollowHighlight(false);
    }
}

void StateCommon::OpenOptions(bool recordingInProgress) {
    const std::string before = window().Settings().saveLocation();
    window().OpenOptions(recordingInProgress);
    // The icons say what the options now are, whatever the page changed.
    ShowOptionIcons();
    // A location the user chose is no replacement to tell of.
    if (window().Settings().saveLocation() != before) context.vars.saveLocationReplaced = false;
}

void StateCommon::EnterAndSwitch(State& next) {
    next.Enter();
    window().SetCurrentState(next);
}

State& StateCommon::SwitchTo(State& next) {
    window().SetCurrentState(next);
    return next;
}

void StateCommon::Tell(const std::string& text) {
    window().ShowNotice(text);
    context.vars.noticeShown = true;
}

void StateCommon::ClearNotice() {
    if (!context.vars.noticeShown) return;
    window().ShowNotice({});
    context.vars.noticeShown = false;
}

void StateCommon::ShowOptionIcons() {
    Window& w = window();
    const settings::RecordingOptions& o = w.RecordingOptions();
    w.Show(Control::VoiceIcon, o.voiceActivated);
    w.Show(Control::SilenceIcon, o.silenceCut);
}

}  // namespace tavrin::controller
