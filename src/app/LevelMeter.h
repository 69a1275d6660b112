#pragma once

#include <cstdint>

#include <QRect>

namespace tavrin::app {

inline constexpr int kSegmentCount = 27;

// How many segments light up for a level: segment i shows exactly when
// 3 i < level, so level 0 shows none, 1 to 3 one, and 79 or more all 27.
int SegmentsForLevel(std::uint32_t level);

// Where segment i (0 at the bottom) lies in the information panel, in pixels
// of the 240 x 320 screen: 8 wide at x 165, 1 high, every 2 pixels upwards
// from y 77.
QRect SegmentRect(int index);

}  // namespace tavrin::app
