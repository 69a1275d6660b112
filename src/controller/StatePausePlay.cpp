#include "controller/StatePausePlay.h"

#include "controller/CommandMenu.h"
#include "controller/Controller.h"

namespace tavrin::controller {

using settings::Function;

void StatePausePlay::OnRecordAppend() {
    context.vars.pendingAppend = true;
    OnStop();
}

void StatePausePlay::OnRecordInsert() {
    context.vars.pendingInsert = true;
    OnStop();
}

void StatePausePlay::OnRecordOverwrite() {
    context.vars.pendingOverwrite = true;
    OnStop();
}

void StatePausePlay::OnStop() { SwitchTo(context.play).OnStop(); }

void StatePausePlay::OnPause() {
    window().Show(Control::PlayIcon, true);  // it may be in the dark half of its blink
    HaltStep();
    engine().Resume();
}

void StatePausePlay::OnFF() { SeekPercent(10); }

void StatePausePlay::OnREW() { SeekPercent(-10); }

void StatePausePlay::OnHalt() { OnStop(); }

void StatePausePlay::OnRename() { RenameCurrent(); }

void StatePausePlay::OnKey(std::uint32_t virtualKey) {
    if (HandleVolumeKey(virtualKey)) return;
    const settings::KeyAssignments& keys = window().Settings().keys();
    auto is = [&](Function f) { return keys.matches(f, virtualKey); };
    if (is(Function::Append) || is(Function::AppendStop)) {
        OnRecordAppend();
        return;
    }
    if (is(Function::Insert)) {
        OnRecordInsert();
        return;
    }
    if (is(Function::Overwrite)) {
        OnRecordOverwrite();
        return;
    }
    State& current = *window().CurrentState();
    if (is(Function::Stop) || virtualKey == settings::vk::End) {
        current.OnStop();
    } else if (is(Function::Pause) || is(Function::PlayPause)) {
        current.OnPause();
    } else if (is(Function::Forward)) {
        current.OnFF();
    } else if (is(Function::Rewind)) {
        current.OnREW();
    }
}

void StatePausePlay::OnActivateRecording(std::string path) {
    if (path == window().CurrentPath()) {
        OnPause();  // the same recording again: resume it
        return;
    }
    SwitchTo(context.play).OnActivateRecording(std::move(path));
}

void StatePausePlay::HandlePositionThumbTrack(std::int32_t slider) { ShowThumbTime(slider); }

void StatePausePlay::HandleVolumeThumbTrack(std::int32_t slider) { SetVolumeFromSlider(slider); }

void StatePausePlay::OnPosSet() {
    Enter();
    ShowPosition();
}

void StatePausePlay::OnPausedOff() { EnterAndSwitch(context.play); }

void StatePausePlay::OnAppendRecordStart() { BeginAppendState(); }
void StatePausePlay::OnInsertRecordStart() { BeginInsertState(); }
void StatePausePlay::OnOverwriteRecordStart() { BeginOverwriteState(); }

void StatePausePlay::OnOptions() { OpenOptions(false); }

void StatePausePlay::OnBlinkTimer() {
    window().Show(Control::PlayIcon, !blinkPhase);
    blinkPhase = !blinkPhase;
}

void StatePausePlay::OnListTimer() {
    if (IsLocationGone(window().CurrentPath())) {
        OnStop();  // as in StatePlay: the card went
        return;
    }
    RefreshList();
}

void StatePausePlay::Enter() {
    window().ShowLevel(0);
    window().Show(Control::PausedLabel, true);
    FinishEnter(cmd::Pause, "Resume");
}

void StatePausePlay::UpdateMenu() {
    window().ReplaceMenuItems(BuildMenu(MenuKind::PausePlay, window().Settings().keys()));
}

}  // namespace tavrin::controller
