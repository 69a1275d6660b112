#include "controller/StatePauseRecordAppend.h"

#include "controller/Controller.h"

namespace tavrin::controller {

RecordingStateBase& StatePauseRecordAppend::RunningState() { return context.recordAppend; }

}  // namespace tavrin::controller
