#pragma once

#include "controller/RecordingStateBase.h"

namespace tavrin::controller {

// New audio is added at the end of the open recording.
class StateRecordAppend final : public RecordingStateBase {
public:
    explicit StateRecordAppend(Controller& controller);

    void OnAppendRecordActivated() override { MarkActivated(); }
    void OnAppendSilenceCut() override { MarkSilenceCut(); }
    void OnAppendRecordEnd() override { MarkSaving(); }
    void OnAppendFileReady() override { FileReady(); }
    void OnAppendTooSlow() override { TooSlow(); }

protected:
    StateBase& PauseState() override;
};

}  // namespace tavrin::controller
