#include "controller/StateRecord.h"

#include "controller/Controller.h"

namespace tavrin::controller {

StateRecord::StateRecord(Controller& controller)
    : RecordingStateBase(controller, "StateRecord",
                         {Control::RecordIcon, "Can't record - storage card too slow", true,
                          settings::Function::RecordStop}) {}

void StateRecord::OnRename() { RenameCurrent(); }

StateBase& StateRecord::PauseState() { return context.pauseRecord; }

}  // namespace tavrin::controller
