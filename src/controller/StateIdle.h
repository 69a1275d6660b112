#pragma once

#include "controller/StateBase.h"

namespace tavrin::controller {

// No recording is open: at start-up, after a recording was dropped or
// deleted, and after a recoverable engine failure. From here the user starts
// a new recording or activates one in the list.
class StateIdle final : public StateBase {
public:
    explicit StateIdle(Controller& controller) : StateBase(controller, "StateIdle") {}

    void OnPlay() override;
    void OnRecord() override;
    void OnHalt() override {}
    void OnRename() override;
    void OnDelete() override;
    void OnKey(std::uint32_t virtualKey) override;
    void OnActivateRecording(std::string path) override;
    void HandleVolumeThumbTrack(std::int32_t slider) override;
    void HandleVolumeEndTrack(std::int32_t) override {}
    void OnRecordStart() override;
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
