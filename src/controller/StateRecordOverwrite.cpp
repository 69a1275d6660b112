#include "controller/StateRecordOverwrite.h"

#include "controller/Controller.h"

namespace tavrin::controller {

StateRecordOverwrite::StateRecordOverwrite(Controller& controller)
    : RecordingStateBase(controller, "StateRecordOverwrite",
                         {Control::OverwriteIcon, "Can't overwrite - storage card too slow", false, std::nullopt}) {}

StateBase& StateRecordOverwrite::PauseState() { return context.pauseRecordOverwrite; }

}  // namespace tavrin::controller
