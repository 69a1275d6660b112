#pragma once

#include <cstdint>

#include "controller/State.h"

namespace tavrin::controller {

// Hands an application message to the state operation of the same meaning:
// the requests WM_APP + 1..4 and every engine event of WM_APP + 12..17,
// 20..25, 30..35, 40..45 and 50..55. False, and nothing called, for any other
// message (the row activation and the error report carry data the window
// handles itself).
bool DispatchAppMessage(State& state, std::uint32_t message);

}  // namespace tavrin::controller
