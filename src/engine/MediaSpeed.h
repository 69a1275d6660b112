#pragma once

#include <cstdint>

namespace tavrin::engine {

// How fast the medium of a recording is. On slow media a recording is
// collected in memory and written when it ends; on fast media it goes straight
// to the file, and the engine watches that storing keeps pace.
enum class MediaSpeed : std::uint32_t {
    MediaUnset = 0,
    MediaFast = 1,
    MediaSlow = 2,
};

}  // namespace tavrin::engine
