#include "controller/StateRecord.h"

#include "controller/Controller.h"

namespace tavrin::controller {

using settings::Function;

StateRecord::StateRecord(Controller& controller)
    : RecordingStateBase(controller, "StateRecord",
                         {Control::RecordIcon, "Can't record - storage card too slow", true}) {}

void StateRecord::OnRename() { RenameCurrent(); }

void StateRecord::OnKey(std::uint32_t virtualKey) {
    const settings::KeyAssignments& keys = window().Settings().keys();
    if (keys.matches(Function::Stop, virtualKey) || keys.matches(Function::RecordStop, virtualKey)) {
        window().CurrentState()->OnStop();
    } else if (keys.matches(Function::Pause, virtualKey) || keys.matches(Function::RecordPause, virtualKey)) {
        window().CurrentState()->OnPause();
    }
}

StateBase& StateRecord::PauseState() { return context.pauseRecord; }

}  // namespace tavrin::controller
