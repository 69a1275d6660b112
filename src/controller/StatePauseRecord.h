#pragma once

#include "controller/PausedRecordingStateBase.h"

namespace tavrin::controller {

// A new recording is paused.
class StatePauseRecord final : public PausedRecordingStateBase {
public:
    explicit StatePauseRecord(Controller& controller)
        : PausedRecordingStateBase(controller, "StatePauseRecord", Control::RecordIcon) {}

    void OnRename() override;
    void OnKey(std::uint32_t virtualKey) override;

protected:
    StateBase& RunningState() override;
};

}  // namespace tavrin::controller
