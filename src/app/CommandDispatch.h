#pragma once

#include <cstdint>

#include "controller/State.h"

namespace tavrin::app {

// Hands a soft-key or menu command to the state operation it stands for:
// Play 7, Record 3, Append 35, Insert 36, Overwrite 37, Stop 8, Pause/Resume
// 19, FF 20, REW 21, Rename 18, Delete 6, Options 5. False, and nothing
// called, for any other identifier (the Menu key 4 opens the menu instead).
bool DispatchCommand(controller::State& state, std::uint32_t command);

}  // namespace tavrin::app
