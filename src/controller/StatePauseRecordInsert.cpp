#include "controller/StatePauseRecordInsert.h"

#include "controller/Controller.h"

namespace tavrin::controller {

void StatePauseRecordInsert::OnKey(std::uint32_t) {}

StateBase& StatePauseRecordInsert::RunningState() { return context.recordInsert; }

}  // namespace tavrin::controller
