#pragma once

#include "controller/PausedRecordingStateBase.h"

namespace tavrin::controller {

// An overwrite is paused. Assigned keys do nothing here.
class StatePauseRecordOverwrite final : public PausedRecordingStateBase {
public:
    explicit StatePauseRecordOverwrite(Controller& controller)
        : PausedRecordingStateBase(controller, "StatePauseRecordOverwrite", Control::OverwriteIcon) {}


protected:
    RecordingStateBase& RunningState() override;
};

}  // namespace tavrin::controller
