#pragma once

#include "controller/PausedRecordingStateBase.h"

namespace tavrin::controller {

// A new recording is paused.
class StatePauseRecord final : public PausedRecordingStateBase {
public:
    explicit StatePauseRecord(Controller& controller)
        : PausedRecordingStateBase(controller, "StatePauseRecord", Control::RecordIcon) {}

    void OnRename() override;

protected:
    RecordingStateBase& RunningState() override;
};

}  // namespace tavrin::controller
