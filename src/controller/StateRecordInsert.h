#pragma once

#include "controller/RecordingStateBase.h"

namespace tavrin::controller {

// New audio is inserted at the position; what followed moves back. Assigned
// keys do nothing here.
class StateRecordInsert final : public RecordingStateBase {
public:
    explicit StateRecordInsert(Controller& controller);

    void OnInsertRecordActivated() override { MarkActivated(); }
    void OnInsertSilenceCut() override { MarkSilenceCut(); }
    void OnInsertRecordEnd() override { MarkSaving(); }
    void OnInsertFileReady() override { FileReady(); }
    void OnInsertTooSlow() override { TooSlow(); }

protected:
    StateBase& PauseState() override;
};

}  // namespace tavrin::controller
