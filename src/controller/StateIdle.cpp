#include "controller/StateIdle.h"

#include "controller/CommandMenu.h"
#include "controller/Controller.h"
#include "recordings/Naming.h"

namespace tavrin::controller {

using settings::Function;

void StateIdle::OnRecord() { CheckResult(StartNewRecording(), true); }

void StateIdle::OnRename() {
    const std::string path = window().SelectedRowPath();
    if (path.empty()) return;
    // Nothing is open, so the file can be moved as it is.
    if (const std::optional<std::string> renamed = window().RunRenameDialog(path)) ShowInList(*renamed);
}

void StateIdle::OnDelete() {
    const std::string path = window().SelectedRowPath();
    if (path.empty()) return;
    if (!recordings::ConfirmDelete(context.shell, path)) return;
    if (recordings::DeleteRecording(context.files, context.shell, path)) RefreshList();
}

void StateIdle::OnKey(std::uint32_t virtualKey) {
    const settings::KeyAssignments& keys = window().Settings().keys();
    if (keys.matches(Function::Record, virtualKey) || keys.matches(Function::RecordPause, virtualKey) ||
        keys.matches(Function::RecordStop, virtualKey)) {
        window().CurrentState()->OnRecord();
    }
}

void StateIdle::OnActivateRecording(std::string path) { SelectAndPlay(path); }

void StateIdle::HandleVolumeThumbTrack(std::int32_t slider) { SetVolumeFromSlider(slider); }

void StateIdle::OnRecordStart() { BeginRecordState(); }

void StateIdle::OnOptions() { OpenOptions(false); }

void StateIdle::OnListTimer() { RefreshList(); }

void StateIdle::Enter() {
    Window& w = window();
    w.Show(Control::CardIcon, false);
    w.Show(Control::SavingIcon, false);
    w.Show(Control::Date, false);
    w.Show(Control::Time, false);
    w.Show(Control::Position, false);
    w.Show(Control::Length, false);
    w.Show(Control::PlayIcon, false);
    FinishEnter(cmd::Record, "Record");
}

void StateIdle::UpdateMenu() { window().ReplaceMenuItems(BuildMenu(MenuKind::Idle, window().Settings().keys())); }

}  // namespace tavrin::controller
