#include "controller/StatePauseRecordAppend.h"

#include "controller/Controller.h"

namespace tavrin::controller {

void StatePauseRecordAppend::OnKey(std::uint32_t) {}

StateBase& StatePauseRecordAppend::RunningState() { return context.recordAppend; }

}  // namespace tavrin::controller
