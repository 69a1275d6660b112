#pragma once

#include "controller/RecordingStateBase.h"

namespace tavrin::controller {

// New audio replaces what follows the position. Assigned keys do nothing here.
class StateRecordOverwrite final : public RecordingStateBase {
public:
    explicit StateRecordOverwrite(Controller& controller);

    void OnOverwriteRecordActivated() override { MarkActivated(); }
    void OnOverwriteSilenceCut() override { MarkSilenceCut(); }
    void OnOverwriteRecordEnd() override { MarkSaving(); }
    void OnOverwriteFileReady() override { FileReady(); }
    void OnOverwriteTooSlow() override { TooSlow(); }

protected:
    StateBase& PauseState() override;
};

}  // namespace tavrin::controller
