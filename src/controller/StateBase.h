#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "controller/State.h"
#include "controller/StateCommon.h"

namespace tavrin::controller {

inline constexpr std::string_view kInternalErrorCaption = "Internal Error";
inline constexpr std::string_view kInternalErrorPrefix = "Please, contact Korvel technical support\nCode:\n";

// The base of the twelve states. Every operation reports the internal error
// naming the state and the operation, and changes nothing else: an event that
// must not occur in a state is never silently swallowed. Each state overrides
// what it handles and what it deliberately ignores.
class StateBase : public State, public StateCommon {
public:
    StateBase(Controller& controller, std::string_view className) : StateCommon(controller), name(className) {}

    std::string_view ClassName() const { return name; }

    void OnPlay() override;
    void OnRecord() override;
    void OnRecordAppend() override;
    void OnRecordInsert() override;
    void OnRecordOverwrite() override;
    void OnStop() override;
    void OnPause() override;
    void OnFF() override;
    void OnREW() override;
    void OnHalt() override;
    void OnRename() override;
    void OnDelete() override;
    void OnKey(std::uint32_t virtualKey) override;
    void OnRequestPlay() override;
    void OnRequestRecordAppend() override;
    void OnRequestRecordInsert() override;
    void OnRequestRecordOverwrite() override;
    void OnActivateRecording(std::string path) override;
    void HandlePositionThumbTrack(std::int32_t slider) override;
    void HandlePositionEndTrack(std::int32_t slider) override;
    void HandleVolumeThumbTrack(std::int32_t slider) override;
    void HandleVolumeEndTrack(std::int32_t slider) override;
    void OnPlayStart() override;
    void OnPlayEnd() override;
    void OnPosSet() override;
    void OnWaterMark() override;
    void OnPausedOn() override;
    void OnPausedOff() override;
    void OnRecordStart() override;
    void OnRecordActivated() override;
    void OnSilenceCut() override;
    void OnRecordEnd() override;
    void OnFileReady() override;
    void OnTooSlow() override;
    void OnAppendRecordStart() override;
    void OnAppendRecordActivated() override;
    void OnAppendSilenceCut() override;
    void OnAppendRecordEnd() override;
    void OnAppendFileReady() override;
    void OnAppendTooSlow() override;
    void OnInsertRecordStart() override;
    void OnInsertRecordActivated() override;
    void OnInsertSilenceCut() override;
    void OnInsertRecordEnd() override;
    void OnInsertFileReady() override;
    void OnInsertTooSlow() override;
    void OnOverwriteRecordStart() override;
    void OnOverwriteRecordActivated() override;
    void OnOverwriteSilenceCut() override;
    void OnOverwriteRecordEnd() override;
    void OnOverwriteFileReady() override;
    void OnOverwriteTooSlow() override;
    void OnOptions() override;
    void OnLevelTimer() override;
    void OnClockTimer() override;
    void OnBlinkTimer() override;
    void OnRemainingTimer() override;
    void OnKeepAwakeTimer() override;
    void OnListTimer() override;
    void Enter() override;
    void UpdateMenu() override;
    void OnHighlightRow(std::string path) override;
    // Every state tells an error the engine reports as the engine words it;
    // the recording states first see whether they can name its cause.
    void OnEngineError(std::uint32_t code, std::uint32_t detail) override;

protected:
    void ReportInternalError(std::string_view operation);
    // What every Enter ends with: the left soft key, the menu, both soft keys
    // enabled again and assigned keys forwarded.
    void FinishEnter(std::uint32_t leftCommand, const std::string& leftLabel);

private:
    std::string_view name;
};

}  // namespace tavrin::controller
