#include "controller/StatePlay.h"

#include "controller/CommandMenu.h"
#include "controller/Controller.h"

namespace tavrin::controller {

using settings::Function;

void StatePlay::OnStop() {
    HaltStep();
    engine().Stop();
}

void StatePlay::OnPause() {
    HaltStep();
    context.vars.pauseReason = pause_reason::User;
    engine().Pause();
}

void StatePlay::OnFF() { SeekPercent(10); }

void StatePlay::OnREW() { SeekPercent(-10); }

void StatePlay::OnHalt() { OnStop(); }

void StatePlay::OnRename() { RenameCurrent(); }

void StatePlay::OnKey(std::uint32_t virtualKey) {
    if (HandleVolumeKey(virtualKey)) return;
    const settings::KeyAssignments& keys = window().Settings().keys();
    auto is = [&](Function f) { return keys.matches(f, virtualKey); };
    State& current = *window().CurrentState();
    if (is(Function::Insert) || is(Function::Overwrite)) {
        // The edit starts where the listener is once the playback has
        // stopped, as when it is chosen in paused playback.
        (is(Function::Insert) ? context.vars.pendingInsert : context.vars.pendingOverwrite) = true;
        OnStop();
    } else if (is(Function::Stop) || virtualKey == settings::vk::End) {
        current.OnStop();
    } else if (is(Function::Pause) || is(Function::PlayPause)) {
        current.OnPause();
    } else if (is(Function::Forward)) {
        current.OnFF();
    } else if (is(Function::Rewind)) {
        current.OnREW();
    }
}

void StatePlay::OnActivateRecording(std::string path) {
    if (path == window().CurrentPath()) {
        OnPause();
        return;
    }
    context.vars.pendingPlayPath = std::move(path);
    HaltStep();
    engine().Stop();
}

void StatePlay::HandlePositionThumbTrack(std::int32_t slider) {
    ControllerVariables& v = context.vars;
    if (!v.thumbDragging) {
        // The PausedOn that follows must not look like the user's pause.
        v.pauseReason = pause_reason::DragStarted;
        engine().Pause();
        v.thumbDragging = true;
    }
    ShowThumbTime(slider);
}

void StatePlay::HandleVolumeThumbTrack(std::int32_t slider) { SetVolumeFromSlider(slider); }

std::uint32_t StatePlay::TakePendingEdit() {
    ControllerVariables& v = context.vars;
    if (v.pendingAppend) {
        v.pendingAppend = false;
        return kRequestRecordAppend;
    }
    if (v.pendingInsert) {
        v.pendingInsert = false;
        return kRequestRecordInsert;
    }
    if (v.pendingOverwrite) {
        v.pendingOverwrite = false;
        return kRequestRecordOverwrite;
    }
    return 0;
}

void StatePlay::OnPlayEnd() {
    Window& w = window();
    HaltStep();
    w.ShowLevel(0);
    w.Show(Control::PlayIcon, false);
    std::uint32_t request = 0;
    ControllerVariables& v = context.vars;
    if (!v.pendingPlayPath.empty()) {
        // An edit chosen for the recording that was playing must not run on
        // this one when it ends.
        v.pendingAppend = v.pendingInsert = v.pendingOverwrite = false;
        w.SetCurrentPath(std::move(v.pendingPlayPath));
        v.pendingPlayPath.clear();
        AudioFileInfo facts;
        const engine::ResultCode result = engine().OpenFile(w.CurrentPath(), MediaOf(w.CurrentPath()), facts);
        if (!result.Ok()) {
            CheckResult(result, true);
            return;
        }
        context.currentFacts = facts;
        w.SetLengthMs(LengthMsOf(facts));
        w.RefreshFileFacts();
        w.RefreshPanel();
        // No Enter: the play request that follows keeps the soft keys greyed
        // until the new playback has started.
        SwitchTo(context.fileSelected);
        request = kRequestPlay;
    } else {
        EnterAndSwitch(context.fileSelected);
        request = TakePendingEdit();
        if (request == 0) {
            // The highlight may have moved on while it played; a card taken
            // out takes its rows, and the panel lets go of its recording.
            if (IsLocationGone(w.CurrentPath())) {
                RefreshFollowingHighlight();
            } else {
                FollowHighlight(false);
            }
            return;
        }
    }
    // Sent, not posted: the request runs now, in StateFileSelected, with the
    // pending flag already cleared, so a second PlayEnd cannot repeat it.
    w.SendRequest(request);
}

void StatePlay::OnPosSet() {
    ControllerVariables& v = context.vars;
    if (v.thumbDragging) {
        v.pauseReason = pause_reason::DragEnded;
        engine().Resume();
        return;
    }
    Enter();
    ShowPosition();
}

void StatePlay::OnPausedOn() {
    // A pause for a slider drag keeps playing as far as the user can tell.
    if (context.vars.pauseReason == pause_reason::User) EnterAndSwitch(context.pausePlay);
}

void StatePlay::OnPausedOff() {
    context.vars.thumbDragging = false;
    Enter();
}

void StatePlay::OnOptions() { OpenOptions(false); }

// A card taken out under the playback: it stops, and the list and the panel
// let go of the card's recordings when it has ended.
void StatePlay::OnListTimer() {
    if (IsLocationGone(window().CurrentPath())) OnStop();
}

void StatePlay::OnLevelTimer() { ShowLevel(); }

void StatePlay::OnClockTimer() {
    if (!context.vars.thumbDragging) ShowPosition();
}

void StatePlay::Enter() {
    Window& w = window();
    for (Control c : {Control::RecordIcon, Control::AppendIcon, Control::InsertIcon, Control::OverwriteIcon}) {
        w.Show(c, false);
    }
    w.Show(Control::PlayIcon, true);
    w.Show(Control::PausedLabel, false);
    FinishEnter(cmd::Pause, "Pause");
}

void StatePlay::UpdateMenu() { window().ReplaceMenuItems(BuildMenu(MenuKind::Play, window().Settings().keys())); }

}  // namespace tavrin::controller
