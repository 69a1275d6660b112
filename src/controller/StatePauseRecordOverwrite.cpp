#include "controller/StatePauseRecordOverwrite.h"

#include "controller/Controller.h"

namespace tavrin::controller {

void StatePauseRecordOverwrite::OnKey(std::uint32_t) {}

StateBase& StatePauseRecordOverwrite::RunningState() { return context.recordOverwrite; }

}  // namespace tavrin::controller
