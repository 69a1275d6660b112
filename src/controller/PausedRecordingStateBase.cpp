#include "controller/PausedRecordingStateBase.h"

#include "controller/CommandMenu.h"
#include "controller/Controller.h"

namespace tavrin::controller {

// The running state knows how to stop; it becomes current without Enter,
// since Stop greys the soft keys anyway.
void PausedRecordingStateBase::OnStop() { SwitchTo(RunningState()).OnStop(); }

void PausedRecordingStateBase::OnPause() {
    HaltStep();
    engine().Resume();  // the engine answers with PausedOff
}

void PausedRecordingStateBase::OnHalt() { OnStop(); }

void PausedRecordingStateBase::OnKey(std::uint32_t virtualKey) {
    if (HandleVolumeKey(virtualKey)) return;
    State& current = *window().CurrentState();
    switch (RunningState().MeaningOf(virtualKey)) {
        case RecordingKey::Stop: current.OnStop(); break;
        case RecordingKey::Pause: current.OnPause(); break;
        case RecordingKey::None: break;
    }
}

void PausedRecordingStateBase::OnEngineError(std::uint32_t code, std::uint32_t detail) {
    if (!EndsCapture(code, detail)) {
        StateBase::OnEngineError(code, detail);
        return;
    }
    SwitchTo(RunningState()).OnEngineError(code, detail);
}

void PausedRecordingStateBase::OnPausedOff() { EnterAndSwitch(RunningState()); }

void PausedRecordingStateBase::OnOptions() { OpenOptions(true); }

void PausedRecordingStateBase::OnLevelTimer() { ShowLevel(); }

void PausedRecordingStateBase::OnBlinkTimer() {
    window().Show(icon, !blinkPhase);
    blinkPhase = !blinkPhase;
}

void PausedRecordingStateBase::OnKeepAwakeTimer() { KeepAwake(); }

void PausedRecordingStateBase::OnListTimer() { RefreshList(); }

void PausedRecordingStateBase::Enter() {
    window().Show(Control::PausedLabel, true);
    FinishEnter(cmd::Pause, "Resume");
}

void PausedRecordingStateBase::UpdateMenu() {
    window().ReplaceMenuItems(BuildMenu(MenuKind::PausedRecording, window().Settings().keys()));
}

}  // namespace tavrin::controller
