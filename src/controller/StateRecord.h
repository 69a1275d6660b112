#pragma once

#include "controller/RecordingStateBase.h"

namespace tavrin::controller {

// A new recording runs. On Stop the engine finishes the file and the
// recording is reopened in StateFileSelected at its start.
class StateRecord final : public RecordingStateBase {
public:
    explicit StateRecord(Controller& controller);

    void OnRename() override;
    void OnRecordActivated() override { MarkActivated(); }
    void OnSilenceCut() override { MarkSilenceCut(); }
    void OnRecordEnd() override { MarkSaving(); }
    void OnFileReady() override { FileReady(); }
    void OnTooSlow() override { TooSlow(); }

protected:
    StateBase& PauseState() override;
};

}  // namespace tavrin::controller
