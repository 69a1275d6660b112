#pragma once

#include <string_view>

#include "controller/RecordingStateBase.h"

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
    // The keys of the running state: Stop stops, Pause resumes.
    void OnKey(std::uint32_t virtualKey) override;
    // A capture that ends while paused ends in the running state, which
    // takes its RecordEnd and FileReady.
    void OnEngineError(std::uint32_t code, std::uint32_t detail) override;
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
    void OnHighlightRow(std::string) override {}

    // The icon's visibility in its blink: 0 shows it on the next tick.
    bool blinkPhase = false;

protected:
    virtual RecordingStateBase& RunningState() = 0;

private:
    Control icon;
};

}  // namespace tavrin::controller
