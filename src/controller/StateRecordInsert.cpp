#include "controller/StateRecordInsert.h"

#include "controller/Controller.h"

namespace tavrin::controller {

StateRecordInsert::StateRecordInsert(Controller& controller)
    : RecordingStateBase(controller, "StateRecordInsert",
                         {Control::InsertIcon, "Can't insert - storage card too slow", false, std::nullopt}) {}

StateBase& StateRecordInsert::PauseState() { return context.pauseRecordInsert; }

}  // namespace tavrin::controller
