#include "controller/StatePauseRecord.h"

#include "controller/Controller.h"

namespace tavrin::controller {

void StatePauseRecord::OnRename() { RenameCurrent(); }

RecordingStateBase& StatePauseRecord::RunningState() { return context.record; }

}  // namespace tavrin::controller
