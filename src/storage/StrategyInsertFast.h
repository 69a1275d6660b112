#pragma once

#include <cstdint>

#include "storage/StrategyCreateSlow.h"

namespace tavrin::storage {

// A recording being inserted into a file on fast media. The new audio is
// collected in memory like a slow recording; Flush moves the file's tail up
// within the insertion window, copies the audio into the gap and finishes the
// header, so the file is either the old recording or the completed insertion.
class StrategyInsertFast : public StrategyCreateSlow {
public:
    explicit StrategyInsertFast(StorageContext& context);

    std::uint32_t CurrentWriteSample() override;
    [[nodiscard]] Status End() override;
    [[nodiscard]] Status Close() override;
    [[nodiscard]] bool Flush() override;

private:
    [[nodiscard]] bool Splice(std::uint32_t point, std::uint32_t added);
    [[nodiscard]] bool ResumePlayback(std::uint32_t point, std::uint32_t added);
};

}  // namespace tavrin::storage
