#include "controller/StateBase.h"

#include "controller/Controller.h"

namespace tavrin::controller {

void StateBase::OnPlay() { ReportInternalError("OnPlay"); }
void StateBase::OnRecord() { ReportInternalError("OnRecord"); }
void StateBase::OnRecordAppend() { ReportInternalError("OnRecordAppend"); }
void StateBase::OnRecordInsert() { ReportInternalError("OnRecordInsert"); }
void StateBase::OnRecordOverwrite() { ReportInternalError("OnRecordOverwrite"); }
void StateBase::OnStop() { ReportInternalError("OnStop"); }
void StateBase::OnPause() { ReportInternalError("OnPause"); }
void StateBase::OnFF() { ReportInternalError("OnFF"); }
void StateBase::OnREW() { ReportInternalError("OnREW"); }
void StateBase::OnHalt() { ReportInternalError("OnHalt"); }
void StateBase::OnRename() { ReportInternalError("OnRename"); }
void StateBase::OnDelete() { ReportInternalError("OnDelete"); }
void StateBase::OnKey(std::uint32_t) { ReportInternalError("OnKey"); }
void StateBase::OnRequestPlay() { ReportInternalError("OnRequestPlay"); }
void StateBase::OnRequestRecordAppend() { ReportInternalError("OnRequestRecordAppend"); }
void StateBase::OnRequestRecordInsert() { ReportInternalError("OnRequestRecordInsert"); }
void StateBase::OnRequestRecordOverwrite() { ReportInternalError("OnRequestRecordOverwrite"); }
void StateBase::OnActivateRecording(std::string) { ReportInternalError("OnActivateRecording"); }
void StateBase::HandlePositionThumbTrack(std::int32_t) { ReportInternalError("HandlePositionThumbTrack"); }
void StateBase::HandlePositionEndTrack(std::int32_t) { ReportInternalError("HandlePositionEndTrack"); }
void StateBase::HandleVolumeThumbTrack(std::int32_t) { ReportInternalError("HandleVolumeThumbTrack"); }
void StateBase::HandleVolumeEndTrack(std::int32_t) { ReportInternalError("HandleVolumeEndTrack"); }
void StateBase::OnPlayStart() { ReportInternalError("OnPlayStart"); }
void StateBase::OnPlayEnd() { ReportInternalError("OnPlayEnd"); }
void StateBase::OnPosSet() { ReportInternalError("OnPosSet"); }
void StateBase::OnWaterMark() { ReportInternalError("OnWaterMark"); }
void StateBase::OnPausedOn() { ReportInternalError("OnPausedOn"); }
void StateBase::OnPausedOff() { ReportInternalError("OnPausedOff"); }
void StateBase::OnRecordStart() { ReportInternalError("OnRecordStart"); }
void StateBase::OnRecordActivated() { ReportInternalError("OnRecordActivated"); }
void StateBase::OnSilenceCut() { ReportInternalError("OnSilenceCut"); }
void StateBase::OnRecordEnd() { ReportInternalError("OnRecordEnd"); }
void StateBase::OnFileReady() { ReportInternalError("OnFileReady"); }
void StateBase::OnTooSlow() { ReportInternalError("OnTooSlow"); }
void StateBase::OnAppendRecordStart() { ReportInternalError("OnAppendRecordStart"); }
void StateBase::OnAppendRecordActivated() { ReportInternalError("OnAppendRecordActivated"); }
void StateBase::OnAppendSilenceCut() { ReportInternalError("OnAppendSilenceCut"); }
void StateBase::OnAppendRecordEnd() { ReportInternalError("OnAppendRecordEnd"); }
void StateBase::OnAppendFileReady() { ReportInternalError("OnAppendFileReady"); }
void StateBase::OnAppendTooSlow() { ReportInternalError("OnAppendTooSlow"); }
void StateBase::OnInsertRecordStart() { ReportInternalError("OnInsertRecordStart"); }
void StateBase::OnInsertRecordActivated() { ReportInternalError("OnInsertRecordActivated"); }
void StateBase::OnInsertSilenceCut() { ReportInternalError("OnInsertSilenceCut"); }
void StateBase::OnInsertRecordEnd() { ReportInternalError("OnInsertRecordEnd"); }
void StateBase::OnInsertFileReady() { ReportInternalError("OnInsertFileReady"); }
void StateBase::OnInsertTooSlow() { ReportInternalError("OnInsertTooSlow"); }
void StateBase::OnOverwriteRecordStart() { ReportInternalError("OnOverwriteRecordStart"); }
void StateBase::OnOverwriteRecordActivated() { ReportInternalError("OnOverwriteRecordActivated"); }
void StateBase::OnOverwriteSilenceCut() { ReportInternalError("OnOverwriteSilenceCut"); }
void StateBase::OnOverwriteRecordEnd() { ReportInternalError("OnOverwriteRecordEnd"); }
void StateBase::OnOverwriteFileReady() { ReportInternalError("OnOverwriteFileReady"); }
void StateBase::OnOverwriteTooSlow() { ReportInternalError("OnOverwriteTooSlow"); }
void StateBase::OnOptions() { ReportInternalError("OnOptions"); }
void StateBase::OnLevelTimer() { ReportInternalError("OnLevelTimer"); }
void StateBase::OnClockTimer() { ReportInternalError("OnClockTimer"); }
void StateBase::OnBlinkTimer() { ReportInternalError("OnBlinkTimer"); }
void StateBase::OnRemainingTimer() { ReportInternalError("OnRemainingTimer"); }
void StateBase::OnKeepAwakeTimer() { ReportInternalError("OnKeepAwakeTimer"); }
void StateBase::OnListTimer() { ReportInternalError("OnListTimer"); }
void StateBase::Enter() { ReportInternalError("Enter"); }
void StateBase::UpdateMenu() { ReportInternalError("UpdateMenu"); }
void StateBase::OnHighlightRow(std::string) { ReportInternalError("OnHighlightRow"); }
void StateBase::OnEngineError(std::uint32_t code, std::uint32_t detail) {
    engine::ShowResult(context.shell, detail, code);
}

void StateBase::ReportInternalError(std::string_view operation) {
    std::string text(kInternalErrorPrefix);
    text.append(name).append("::").append(operation);
    context.shell.messageBox(text, std::string(kInternalErrorCaption), platform::mb::IconHand);
}

void StateBase::FinishEnter(std::uint32_t leftCommand, const std::string& leftLabel) {
    Window& w = window();
    w.SetLeftSoftKey(leftCommand, leftLabel);
    UpdateMenu();
    w.EnableSoftKey(leftCommand, true);
    w.EnableSoftKey(cmd::Menu, true);
    w.SetKeyForwarding(true);
}

}  // namespace tavrin::controller
