#include "controller/StateFileSelected.h"

#include "controller/CommandMenu.h"
#include "controller/Controller.h"
#include "recordings/Naming.h"

namespace tavrin::controller {

using settings::Function;

// Every action on a recording takes the highlighted row, selecting it first
// when the panel shows another; a row that cannot be selected has been told.

void StateFileSelected::OnPlay() {
    if (SelectHighlightedRow()) StartPlay();
}

void StateFileSelected::OnRecord() { CheckResult(StartNewRecording(), true); }

void StateFileSelected::OnRecordAppend() {
    if (SelectHighlightedRow()) CheckResult(StartAppend(), true);
}

void StateFileSelected::OnRecordInsert() {
    if (!SelectHighlightedRow()) return;
    const engine::ResultCode result = StartInsert();
    // From the menu, a result with detail bit 0 is a quiet refusal: the
    // recording stays as it was and only the soft keys come back.
    if ((result.Detail() & 1) != 0) {
        Enter();
        return;
    }
    CheckResult(result, true);
}

void StateFileSelected::OnRecordOverwrite() {
    if (SelectHighlightedRow()) CheckResult(StartOverwrite(), true);
}

void StateFileSelected::OnFF() {
    SeekPercent(10);
    ShowPosition();
}

void StateFileSelected::OnREW() {
    SeekPercent(-10);
    ShowPosition();
}

void StateFileSelected::OnRename() {
    if (SelectHighlightedRow()) RenameCurrent();
}

void StateFileSelected::OnDelete() {
    if (!SelectHighlightedRow()) return;
    const std::string path = window().CurrentPath();
    if (!recordings::ConfirmDelete(context.shell, path)) return;
    static_cast<void>(SelectRecording({}));  // closed before it can be deleted
    if (!recordings::DeleteRecording(context.files, context.shell, path)) return;
    ClearNotice();  // whatever it said was about what is gone now
    RefreshFollowingHighlight();  // the panel moves on to the row highlighted next
}

void StateFileSelected::OnKey(std::uint32_t virtualKey) {
    if (HandleVolumeKey(virtualKey)) return;
    const settings::KeyAssignments& keys = window().Settings().keys();
    auto is = [&](Function f) { return keys.matches(f, virtualKey); };
    if (is(Function::Record) || is(Function::RecordPause) || is(Function::RecordStop) ||
        virtualKey == settings::vk::RecordKey) {
        window().CurrentState()->OnRecord();
    } else if (is(Function::Append) || is(Function::AppendStop)) {
        OnRecordAppend();
    } else if (is(Function::Insert)) {
        OnRecordInsert();
    } else if (is(Function::Overwrite)) {
        OnRecordOverwrite();
    } else if (is(Function::Play) || is(Function::PlayPause)) {
        window().CurrentState()->OnPlay();
    } else if (is(Function::Forward)) {
        window().CurrentState()->OnFF();
    } else if (is(Function::Rewind)) {
        window().CurrentState()->OnREW();
    }
}

void StateFileSelected::OnRequestPlay() { StartPlay(); }

// An edit asked for during playback: on the recording that played, at the
// place last heard, unless the user has highlighted another one meanwhile.
void StateFileSelected::OnRequestRecordAppend() {
    if (SelectHighlightedRow()) CheckResult(StartAppend(), true);
}

void StateFileSelected::OnRequestRecordInsert() {
    if (SelectHighlightedRow()) CheckResult(StartInsert(), true);
}

void StateFileSelected::OnRequestRecordOverwrite() {
    if (SelectHighlightedRow()) CheckResult(StartOverwrite(), true);
}

void StateFileSelected::OnActivateRecording(std::string path) { SelectAndPlay(path); }

void StateFileSelected::HandlePositionThumbTrack(std::int32_t slider) { ShowThumbTime(slider); }

void StateFileSelected::HandleVolumeThumbTrack(std::int32_t slider) { SetVolumeFromSlider(slider); }

void StateFileSelected::OnPlayStart() { EnterPlay(); }

void StateFileSelected::OnPosSet() {
    Enter();
    ShowPosition();
}

void StateFileSelected::OnRecordStart() { BeginRecordState(); }
void StateFileSelected::OnAppendRecordStart() { BeginAppendState(); }
void StateFileSelected::OnInsertRecordStart() { BeginInsertState(); }
void StateFileSelected::OnOverwriteRecordStart() { BeginOverwriteState(); }

void StateFileSelected::OnOptions() { OpenOptions(false); }

void StateFileSelected::OnListTimer() { RefreshFollowingHighlight(); }

void StateFileSelected::Enter() {
    Window& w = window();
    for (Control c : {Control::RecordIcon, Control::AppendIcon, Control::InsertIcon, Control::OverwriteIcon,
                      Control::LeftLabel, Control::TimeLeft, Control::PausedLabel}) {
        w.Show(c, false);
    }
    ShowOptionIcons();
    w.ShowLevel(0);
    ShowPosition();
    for (Control c : {Control::Date, Control::Time, Control::Position, Control::Length}) w.Show(c, true);
    FinishEnter(cmd::Record, "Record");
}

void StateFileSelected::UpdateMenu() {
    window().ReplaceMenuItems(BuildMenu(MenuKind::FileSelected, window().Settings().keys()));
}

}  // namespace tavrin::controller
