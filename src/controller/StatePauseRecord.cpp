#include "controller/StatePauseRecord.h"

#include "controller/Controller.h"

namespace tavrin::controller {

using settings::Function;

void StatePauseRecord::OnRename() { RenameCurrent(); }

void StatePauseRecord::OnKey(std::uint32_t virtualKey) {
    const settings::KeyAssignments& keys = window().Settings().keys();
    if (keys.matches(Function::Stop, virtualKey) || keys.matches(Function::RecordStop, virtualKey)) {
        window().CurrentState()->OnStop();
    } else if (keys.matches(Function::Pause, virtualKey) || keys.matches(Function::RecordPause, virtualKey)) {
        window().CurrentState()->OnPause();  // resumes
    }
}

StateBase& StatePauseRecord::RunningState() { return context.record; }

}  // namespace tavrin::controller
