#pragma once

#include "controller/StateBase.h"

namespace tavrin::controller {

// The engine plays the current recording. PlayEnd takes the controller back
// to StateFileSelected and starts whatever was asked for meanwhile: another
// recording to play, or an edit chosen while playback was paused.
class StatePlay final : public StateBase {
public:
    explicit StatePlay(Controller& controller) : StateBase(controller, "StatePlay") {}

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
    void OnPlayEnd() override;
    void OnPosSet() override;
    void OnPausedOn() override;
    void OnPausedOff() override;
    void OnOptions() override;
    void OnLevelTimer() override;
    void OnClockTimer() override;
    void OnBlinkTimer() override {}
    void OnRemainingTimer() override {}
    void OnKeepAwakeTimer() override {}
    void OnListTimer() override;
    void Enter() override;
    void UpdateMenu() override;
    // The panel keeps the recording that plays; it follows the highlight once playback ends.
    void OnHighlightRow(std::string) override {}

private:
    // The request that PlayEnd hands on, or 0 for none.
    std::uint32_t TakePendingEdit();
};

}  // namespace tavrin::controller
