#include "controller/StateRecordAppend.h"

#include "controller/Controller.h"

namespace tavrin::controller {

using settings::Function;

StateRecordAppend::StateRecordAppend(Controller& controller)
    : RecordingStateBase(controller, "StateRecordAppend",
                         {Control::AppendIcon, "Can't append - storage card too slow", false}) {}

void StateRecordAppend::OnKey(std::uint32_t virtualKey) {
    const settings::KeyAssignments& keys = window().Settings().keys();
    if (keys.matches(Function::Stop, virtualKey) || keys.matches(Function::AppendStop, virtualKey)) {
        window().CurrentState()->OnStop();
    } else if (keys.matches(Function::Pause, virtualKey) || keys.matches(Function::RecordPause, virtualKey)) {
        window().CurrentState()->OnPause();
    }
}

StateBase& StateRecordAppend::PauseState() { return context.pauseRecordAppend; }

}  // namespace tavrin::controller
