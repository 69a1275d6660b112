#pragma once

#include <cstdint>
#include <string>

namespace tavrin::controller {

// "hh:mm:ss", each part at least two digits; hours are not limited to two.
// Negative durations show as 00:00:00.
std::string FormatDuration(std::int64_t seconds);

}  // namespace tavrin::controller
