#include "controller/StatePauseRecordOverwrite.h"

#include "controller/Controller.h"

namespace tavrin::controller {

RecordingStateBase& StatePauseRecordOverwrite::RunningState() { return context.recordOverwrite; }

}  // namespace tavrin::controller
