#pragma once

#include <cstdint>

#include "storage/StrategyCreateSlow.h"

namespace tavrin::storage {

// A recording being inserted into a file on slow media. It is collected like
// an Append, in a buffer as large as the volume's free space and memory allow
// and mirrored into a spool; the old audio after the insertion point and the
// chunks after it are held at the top of that buffer (and in the spool). The
// file is not touched until End, which writes the new audio at the point and
// the held bytes after it. A volume that fills up then keeps what fits; the
// spool keeps the rest for recovery.
class StrategyInsertSlow : public StrategyCreateSlow {
public:
    explicit StrategyInsertSlow(StorageContext& context);

    // Playback goes on right after the inserted audio.
    [[nodiscard]] Status End() override;
};

}  // namespace tavrin::storage
