#pragma once

#include <cstdint>
#include <string>

#include "storage/Strategy.h"

namespace tavrin::storage {

// An existing recording on fast media: playback through the read cache,
// seeking, and the three edits at the playback position. Append and Overwrite
// hand the open file to the fast create strategy; Insert to the fast insert
// strategy. The file is held mapped like a new recording; what an edit
// reserved is cut back to its real length on Close.
class StrategySelectFast : public Strategy {
public:
    explicit StrategySelectFast(StorageContext& context);

    [[nodiscard]] Status Select(const std::string& fileName) override;
    [[nodiscard]] bool SeekToSample(std::uint32_t block) override;
    std::uint32_t CurrentReadSample() override;
    [[nodiscard]] Status ReadData(std::uint8_t* destination, std::uint32_t bytes) override;
    std::uint32_t SpaceLeft() override;
    [[nodiscard]] Status Close() override;
    [[nodiscard]] Status End() override;
    [[nodiscard]] bool Append() override;
    [[nodiscard]] bool Overwrite() override;
    [[nodiscard]] bool Insert() override;
    [[nodiscard]] Status Open(const std::string& fileName) override;
    [[nodiscard]] Status Read(void* destination, std::uint32_t bytes, std::uint32_t& count) override;
    [[nodiscard]] Status Expect(const void* bytes, std::uint32_t count) override;
    [[nodiscard]] bool SeekTo(std::uint32_t offset) override;
    std::uint32_t ReadPosition() override;

private:
    // Playback position in bytes: the read point less what the cache still holds.
    std::uint32_t PlaybackPoint() const;
    // Hands the file to the fast create strategy for an Append or Overwrite;
    // false when the volume does not answer.
    [[nodiscard]] bool StartEdit();
    // Writes audio a failed insertion End left behind once more (see
    // StrategyCreateSlow::SettlePendingAudio); true when none is left.
    [[nodiscard]] bool SettlePendingAudio();
};

}  // namespace tavrin::storage
