#pragma once

#include <cstdint>

#include "storage/StrategyCreateSlow.h"

namespace tavrin::storage {

// A recording being inserted into a file on fast media. The audio is
// collected as on slow media (see StrategyInsertSlow): in a buffer as large as
// the volume's free space and memory allow, mirrored into a spool beside the
// journal, with the old audio after the point and the chunks after it held at
// its top. End writes it into the file and maps the playing window afresh.
class StrategyInsertFast : public StrategyCreateSlow {
public:
    explicit StrategyInsertFast(StorageContext& context);

    // Playback goes on right after the inserted audio.
    [[nodiscard]] Status End() override;
    [[nodiscard]] Status Close() override;
};

}  // namespace tavrin::storage
