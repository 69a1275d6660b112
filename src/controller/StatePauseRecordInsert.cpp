#include "controller/StatePauseRecordInsert.h"

#include "controller/Controller.h"

namespace tavrin::controller {

RecordingStateBase& StatePauseRecordInsert::RunningState() { return context.recordInsert; }

}  // namespace tavrin::controller
