#include "controller/StateRecordAppend.h"

#include "controller/Controller.h"

namespace tavrin::controller {

StateRecordAppend::StateRecordAppend(Controller& controller)
    : RecordingStateBase(controller, "StateRecordAppend",
                         {Control::AppendIcon, "Can't append - storage card too slow", false,
                          settings::Function::AppendStop}) {}

StateBase& StateRecordAppend::PauseState() { return context.pauseRecordAppend; }

}  // namespace tavrin::controller
