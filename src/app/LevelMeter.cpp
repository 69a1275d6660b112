#include "app/LevelMeter.h"

namespace tavrin::app {

int SegmentsForLevel(std::uint32_t level) {
    int shown = 0;
    while (shown < kSegmentCount && 3u * static_cast<std::uint32_t>(shown) < level) ++shown;
    return shown;
}

QRect SegmentRect(int index) { return QRect(165, 77 - 2 * index, 8, 1); }

}  // namespace tavrin::app
