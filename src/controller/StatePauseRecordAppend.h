#pragma once

#include "controller/PausedRecordingStateBase.h"

namespace tavrin::controller {

// An append is paused. Assigned keys do nothing here.
class StatePauseRecordAppend final : public PausedRecordingStateBase {
public:
    explicit StatePauseRecordAppend(Controller& controller)
        : PausedRecordingStateBase(controller, "StatePauseRecordAppend", Control::AppendIcon) {}


protected:
    RecordingStateBase& RunningState() override;
};

}  // namespace tavrin::controller
