#pragma once

#include "controller/StateBase.h"

namespace tavrin::controller {

// A recording is open in the engine and nothing runs: after a recording was
// activated, after playback ended, after a recording or an edit finished.
// It only starts things; the engine's start events move the controller on.
class StateFileSelected final : public StateBase {
public:
    explicit StateFileSelected(Controller& controller) : StateBase(controller, "StateFileSelected") {}

    void OnPlay() override;
    void OnRecord() override;
    void OnRecordAppend() override;
    void OnRecordInsert() override;
    void OnRecordOverwrite() override;
    void OnFF() override;
    void OnREW() override;
    void OnHalt() override {}
    void OnRename() override;
    void OnDelete() override;
    void OnKey(std::uint32_t virtualKey) override;
    void OnRequestPlay() override;
    void OnRequestRecordAppend() override;
    void OnRequestRecordInsert() override;
    void OnRequestRecordOverwrite() override;
    void OnActivateRecording(std::string path) override;
    void HandlePositionThumbTrack(std::int32_t slider) override;
    void HandlePositionEndTrack(std::int32_t) override {}
    void HandleVolumeThumbTrack(std::int32_t slider) override;
    void HandleVolumeEndTrack(std::int32_t) override {}
    void OnPlayStart() override;
    void OnPosSet() override;
    void OnRecordStart() override;
    void OnAppendRecordStart() override;
    void OnInsertRecordStart() override;
    void OnOverwriteRecordStart() override;
    void OnOptions() override;
    void OnLevelTimer() override {}
    void OnClockTimer() override {}
    void OnBlinkTimer() override {}
    void OnRemainingTimer() override {}
    void OnKeepAwakeTimer() override {}
    void OnListTimer() override;
    void Enter() override;
    void UpdateMenu() override;
    void OnHighlightRow(std::string) override { FollowHighlight(true); }
};

}  // namespace tavrin::controller
