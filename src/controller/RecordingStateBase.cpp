#include "controller/RecordingStateBase.h"

#include <algorithm>
#include <utility>
#include <optional>

#include "controller/CommandMenu.h"
#include "controller/Controller.h"
#include "controller/Duration.h"
#include "recordings/StorageLocations.h"
#include "wav/Formats.h"

namespace tavrin::controller {
namespace {

constexpr std::string_view kOutOfMemoryMessage = "Recording has stopped. Out of memory.";
// Two seconds of the 200 ms blink tick.
constexpr int kNoticeTicks = 10;
constexpr std::string_view kCardFullNotice = "Card full - recording stopped";
constexpr std::string_view kPhoneFullNotice = "Phone full - recording stopped";
// Storage stopped the capture with room left on the volume: what ran out was
// the recording's own room, a WAV file's 4 GiB, or the memory a recording on
// slow media is held in.
constexpr std::string_view kFileLimitNotice = "File size limit reached - recording stopped";
constexpr std::string_view kMemoryFullNotice = "Memory full - recording stopped";
// Free space the volume still has when it is not the volume that filled up:
// more than a stopped recording gives back of what it had reserved ahead.
constexpr std::uint64_t kRoomLeftBytes = 16u << 20;

// The catalogue code of an open recording's format; 0 when it has none.
std::uint32_t FormatCodeOf(const AudioFileInfo& facts) {
    if (facts.isGsm) return wav::kCodeGsm;
    for (const wav::FormatEntry& entry : wav::Catalogue()) {
        if (!entry.format.isGsm() && entry.format.samplesPerSec == facts.rate &&
            entry.format.bitsPerSample == facts.bits && entry.format.channels == facts.channels) {
            return entry.code;
        }
    }
    return 0;
}

}  // namespace

bool EndsCapture(std::uint32_t code, std::uint32_t detail) {
    return code == engine::rc::InputFailed || (code == engine::rc::StepFailed && detail == engine::detail::RequeueInput);
}

void RecordingStateBase::OnStop() {
    Window& w = window();
    stopAsked = true;
    HaltStep();
    w.Show(kind.icon, false);
    w.Show(Control::PausedLabel, false);
    w.Show(Control::LeftLabel, false);
    w.Show(Control::TimeLeft, false);
    ShowOptionIcons();
    w.SetPositionText(FormatDuration(0));
    w.ShowLevel(0);
    w.ShowNotice({});
    noticeTicks = 0;
    if (w.RecordingOptions().timeLimitOn) w.KillLimitTimer();
    engine().Stop();  // the engine answers with RecordEnd, then FileReady
}

void RecordingStateBase::OnPause() {
    HaltStep();
    engine().Pause();
}

void RecordingStateBase::OnHalt() { OnStop(); }

RecordingKey RecordingStateBase::MeaningOf(std::uint32_t key) const {
    using settings::Function;
    const settings::KeyAssignments& keys = window().Settings().keys();
    // The keypad's record key and End stop whatever records, as on the handset.
    if (keys.matches(Function::Stop, key) || key == settings::vk::RecordKey || key == settings::vk::End ||
        (kind.combinedStop && keys.matches(*kind.combinedStop, key))) {
        return RecordingKey::Stop;
    }
    if (keys.matches(Function::Pause, key) || keys.matches(Function::RecordPause, key)) return RecordingKey::Pause;
    return RecordingKey::None;
}

void RecordingStateBase::OnEngineError(std::uint32_t code, std::uint32_t detail) {
    if (EndsCapture(code, detail)) {
        // The capture ends with what was captured; FileReady says why.
        endCause = CaptureEnd::MicrophoneGone;
        return;
    }
    // Finishing the file failed because its card went: FileReady tells that.
    if (IsLocationGone(window().CurrentPath())) {
        endCause = CaptureEnd::CardRemoved;
        return;
    }
    endCause = CaptureEnd::Told;
    StateBase::OnEngineError(code, detail);
}

void RecordingStateBase::OnKey(std::uint32_t virtualKey) {
    if (HandleVolumeKey(virtualKey)) return;
    State& current = *window().CurrentState();
    switch (MeaningOf(virtualKey)) {
        case RecordingKey::Stop: current.OnStop(); break;
        case RecordingKey::Pause: current.OnPause(); break;
        case RecordingKey::None: break;
    }
}

void RecordingStateBase::OnWaterMark() {
    // Yes and No, as it has always been shown; the answer changes nothing.
    context.shell.messageBox(std::string(kOutOfMemoryMessage), std::string(engine::kProductName),
                             platform::mb::IconHand | platform::mb::YesNo);
    window().ShowNotice({});
    noticeTicks = 0;
    FinishRecording();
}

void RecordingStateBase::OnPausedOn() { EnterAndSwitch(PauseState()); }

void RecordingStateBase::OnOptions() { OpenOptions(true); }

void RecordingStateBase::OnLevelTimer() { ShowLevel(); }

void RecordingStateBase::OnClockTimer() { ShowPosition(); }  // the position is the length recorded so far

void RecordingStateBase::OnBlinkTimer() {
    Window& w = window();
    if (w.RecordingOptions().voiceActivated) {
        // Blinks until the first loud block, then stays on.
        w.Show(Control::VoiceIcon, activated || !w.IsShown(Control::VoiceIcon));
    }
    if (saving) w.Show(Control::SavingIcon, !w.IsShown(Control::SavingIcon));
    if (noticeTicks > 0 && --noticeTicks == 0) w.ShowNotice({});
}

void RecordingStateBase::MarkActivated() {
    activated = true;
    window().ShowNotice({});
}

void RecordingStateBase::MarkSilenceCut() {
    window().ShowNotice(std::string(kSilenceCutNotice));
    noticeTicks = kNoticeTicks;
}

std::uint32_t RecordingStateBase::RemainingFormat() {
    const std::uint32_t chosen = window().Settings().format();
    if (kind.newRecording) return chosen;
    // An edit records in the format of the file it extends, whatever the
    // settings say for new recordings.
    const std::uint32_t own = FormatCodeOf(context.currentFacts);
    return own != 0 ? own : chosen;
}

void RecordingStateBase::OnRemainingTimer() {
    Window& w = window();
    // A card taken out under a running recording: what reached it is saved
    // as far as the card lets it, and the recording stops rather than write on into nothing.
    if (!stopAsked && IsLocationGone(w.CurrentPath())) {
        OnStop();
        endCause = CaptureEnd::CardRemoved;
        return;
    }
    const std::string& folder = w.CurrentFolder();
    const std::int32_t seconds = engine().RemainingSeconds(RemainingFormat(), folder, MediaOf(folder));
    // With a time limit, what is left of it when it ends the recording first.
    const std::optional<std::uint32_t> limit = w.LimitRemainingMs();
    if (w.RecordingOptions().timeLimitOn && limit && *limit / 1000 < static_cast<std::uint32_t>(std::max(seconds, 0))) {
        w.SetTimeLeftText(std::to_string((*limit + 59'999) / 60'000) + " min");
        return;
    }
    w.SetTimeLeftText(FormatDuration(seconds));
}

void RecordingStateBase::OnKeepAwakeTimer() { KeepAwake(); }

void RecordingStateBase::Enter() {
    Window& w = window();
    for (Control c : {Control::RecordIcon, Control::AppendIcon, Control::InsertIcon, Control::OverwriteIcon}) {
        w.Show(c, c == kind.icon);
    }
    w.Show(Control::PlayIcon, false);
    w.Show(Control::PausedLabel, false);
    w.Show(Control::LeftLabel, true);
    w.Show(Control::TimeLeft, true);
    if (kind.newRecording) {
        // A new recording has no date or time yet; an edit keeps its file's.
        w.Show(Control::Date, false);
        w.Show(Control::Time, false);
    }
    w.Show(Control::Position, true);
    w.Show(Control::Length, false);
    FinishEnter(cmd::Pause, "Pause");
}

void RecordingStateBase::UpdateMenu() {
    window().ReplaceMenuItems(BuildMenu(MenuKind::Recording, window().Settings().keys()));
}

void RecordingStateBase::FileReady() {
    Window& w = window();
    saving = false;
    w.Show(Control::SavingIcon, false);
    // A word shown while recording goes with it.
    w.ShowNotice({});
    noticeTicks = 0;
    const bool stoppedUnasked = !stopAsked;
    stopAsked = false;
    const CaptureEnd cause = std::exchange(endCause, CaptureEnd::Unknown);
    if (cause == CaptureEnd::CardRemoved || (stoppedUnasked && IsLocationGone(w.CurrentPath()))) {
        // Nothing can be reopened from a card that is gone; its journal
        // stays, and the recording is repaired when the card comes back.
        static_cast<void>(engine().CloseFile());
        static_cast<void>(SelectRecording({}));
        Tell(std::string(kCardRemovedNotice));
        return;
    }
    FinishRecording();
    const std::string& path = w.CurrentPath();
    if (!stoppedUnasked || path.empty()) return;
    if (cause == CaptureEnd::MicrophoneGone) {
        Tell(std::string(kMicrophoneGoneNotice));
        return;
    }
    if (cause == CaptureEnd::Told) return;  // the box said why
    // Otherwise only a store that failed (the room ran out) stops a capture unasked.
    Tell(std::string(RoomRunOut(path)));
}

// Which room ran out, named for what it is.
std::string_view RecordingStateBase::RoomRunOut(const std::string& path) const {
    const std::optional<std::uint64_t> free = context.files.freeSpace(platform::FolderOf(path));
    if (free && *free >= kRoomLeftBytes) return MediaOf(path) == platform::Media::Fast ? kFileLimitNotice : kMemoryFullNotice;
    const bool onCard = !recordings::IsInside(path, recordings::WithoutTrailingSlash(context.shell.documentsFolder()));
    return onCard ? kCardFullNotice : kPhoneFullNotice;
}

void RecordingStateBase::TooSlow() {
    // Stop first: the engine thread waits for this box, and the stop command
    // is handled as soon as it is closed, keeping what was recorded so far.
    OnStop();
    context.shell.messageBox(std::string(kind.tooSlowText), std::string(engine::kProductName),
                             platform::mb::IconHand | platform::mb::YesNo);
}

}  // namespace tavrin::controller
