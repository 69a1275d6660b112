#pragma once

#include "controller/PausedRecordingStateBase.h"

namespace tavrin::controller {

// An insert is paused. Assigned keys do nothing here.
class StatePauseRecordInsert final : public PausedRecordingStateBase {
public:
    explicit StatePauseRecordInsert(Controller& controller)
        : PausedRecordingStateBase(controller, "StatePauseRecordInsert", Control::InsertIcon) {}


protected:
    RecordingStateBase& RunningState() override;
};

}  // namespace tavrin::controller
