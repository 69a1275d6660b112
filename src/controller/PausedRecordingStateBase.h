#pragma once

#include <string_view>

#include "controller/StateBase.h"

namespace tavrin::controller {

// The shared half of the four pause states of a recording: resume, stop by
// handing over to the running state, and the blinking icon.
class PausedRecordingStateBase : public StateBase {
public:
    PausedRecordingStateBase(Controller& controller, std::string_view className, Control blinkingIcon)
        : StateBase(controller, className), icon(blinkingIcon) {}

    void OnStop() override;
    void OnPause() override;
    void OnHalt() override;
    void OnActivateRecording(std::string) override {}
    void OnPausedOff() override;
    void OnOptions() override;
    void OnLevelTimer() override;
    void OnClockTimer() override {}
    void OnBlinkTimer() override;
    void OnRemainingTimer() override {}
    void OnKeepAwakeTimer() override;
    void OnListTimer() override;
    void Enter() override;
    void UpdateMenu() override;

    // The icon's visibility in its blink: 0 shows it on the next tick.
    bool blinkPhase = false;

protected:
    virtual StateBase& RunningState() = 0;

private:
    Control icon;
};

}  // namespace tavrin::controller
