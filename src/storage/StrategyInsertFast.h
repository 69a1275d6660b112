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
    [[nodiscard]] Status WriteData(const std::uint8_t* source, std::uint32_t bytes) override;
    [[nodiscard]] Status BackTrack(std::uint32_t bytes) override;
    // Records the insertion into a spool mapped beside the journal instead of
    // the insert area, so that a kill or power cut loses at most its
    // unsynced tail. False (the insert area serves) when it cannot be made.
    bool StartSpool(std::uint32_t point, std::uint32_t capacity);
    [[nodiscard]] Status End() override;
    [[nodiscard]] Status Close() override;
    [[nodiscard]] bool Flush() override;

private:
    void PublishCount();
    void DropSpool();
    [[nodiscard]] bool Splice(std::uint32_t point, std::uint32_t added);
    [[nodiscard]] bool ResumePlayback(std::uint32_t point, std::uint32_t added);
};

}  // namespace tavrin::storage
