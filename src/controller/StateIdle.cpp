#include "controller/StateIdle.h"

#include "controller/CommandMenu.h"
#include "controller/Controller.h"
#include "recordings/Naming.h"

namespace tavrin::controller {

using settings::Function;

// The highlighted row, when there is one: it could not be selected as the
// highlight reached it (or nothing was highlighted then), and Play says why.
void StateIdle::OnPlay() {
    const std::string row = window().SelectedRowPath();
    if (!row.empty()) SelectAndPlay(row);
}

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
    if (!recordings::DeleteRecording(context.files, context.shell, path)) return;
    ClearNotice();  // whatever it said was about what is gone now
    RefreshFollowingHighlight();
}

void StateIdle::OnKey(std::uint32_t virtualKey) {
    if (HandleVolumeKey(virtualKey)) return;
    const settings::KeyAssignments& keys = window().Settings().keys();
    auto is = [&](Function f) { return keys.matches(f, virtualKey); };
    if (is(Function::Record) || is(Function::RecordPause) || is(Function::RecordStop) ||
        virtualKey == settings::vk::RecordKey) {
        window().CurrentState()->OnRecord();
    } else if (is(Function::Play) || is(Function::PlayPause)) {
        window().CurrentState()->OnPlay();
    }
}

void StateIdle::OnActivateRecording(std::string path) { SelectAndPlay(path); }

void StateIdle::HandleVolumeThumbTrack(std::int32_t slider) { SetVolumeFromSlider(slider); }

void StateIdle::OnRecordStart() { BeginRecordState(); }

void StateIdle::OnOptions() { OpenOptions(false); }

void StateIdle::OnListTimer() { RefreshFollowingHighlight(); }

void StateIdle::Enter() {
    Window& w = window();
    // Whatever ran before has ended: none of its fields or icons stays behind.
    for (Control c : {Control::CardIcon, Control::SavingIcon, Control::Date, Control::Time, Control::Position,
                      Control::Length, Control::PlayIcon, Control::RecordIcon, Control::AppendIcon,
                      Control::InsertIcon, Control::OverwriteIcon, Control::LeftLabel, Control::TimeLeft,
                      Control::PausedLabel}) {
        w.Show(c, false);
    }
    ShowOptionIcons();
    FinishEnter(cmd::Record, "Record");
}

void StateIdle::UpdateMenu() { window().ReplaceMenuItems(BuildMenu(MenuKind::Idle, window().Settings().keys())); }

}  // namespace tavrin::controller
