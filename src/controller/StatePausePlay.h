#pragma once

#include "controller/StateBase.h"

namespace tavrin::controller {

// Playback is paused. Stop, another recording and the edits are handed to
// StatePlay, which stops the engine; an edit chosen here starts at the paused
// position once playback has ended.
class StatePausePlay final : public StateBase {
public:
    explicit StatePausePlay(Controller& controller) : StateBase(controller, "StatePausePlay") {}

    void OnRecordAppend() override;
    void OnRecordInsert() override;
    void OnRecordOverwrite() override;
    void OnStop() override;
    void OnPause() override;
    void OnFF() override;
    void OnREW() override;
    void OnHalt() override;
    void OnRename() override;
    void OnKey(std::uint32_t virtualKey) override;
    void OnActivateRecording(std::string path) override;
    void HandlePositionThumbTrack(std::int32_t slider) override;
    void HandlePositionEndTrack(std::int32_t) override {}
    void HandleVolumeThumbTrack(std::int32_t slider) override;
    void HandleVolumeEndTrack(std::int32_t) override {}
    void OnPosSet() override;
    void OnPausedOff() override;
    void OnAppendRecordStart() override;
    void OnInsertRecordStart() override;
    void OnOverwriteRecordStart() override;
    void OnOptions() override;
    void OnLevelTimer() override {}
    void OnClockTimer() override {}
    void OnBlinkTimer() override;
    void OnRemainingTimer() override {}
    void OnKeepAwakeTimer() override {}
    void OnListTimer() override;
    void Enter() override;
    void UpdateMenu() override;
    // The panel keeps the recording that plays; it follows the highlight once playback ends.
    void OnHighlightRow(std::string) override {}

    // The play icon's visibility in its blink: 0 shows it on the next tick.
    bool blinkPhase = false;
};

}  // namespace tavrin::controller
