#pragma once

#include <cstdint>

namespace tavrin::platform {

// How a recording's medium is written. On fast media (the machine's own
// disks and cards) a recording goes straight into its file while it is made;
// on slow media (network and FUSE file systems) it is collected in memory
// and a spool beside its journal, and written when it ends.
enum class Media : std::uint8_t { Fast, Slow };

}  // namespace tavrin::platform
