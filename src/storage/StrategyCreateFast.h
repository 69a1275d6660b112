#pragma once

#include <cstdint>
#include <string>

#include "storage/Strategy.h"

namespace tavrin::storage {

// A new recording on fast media, written straight into the file through a
// sliding mapped window. The file is reserved ahead of the write point in
// steps of about a minute of audio (never the whole free space of a shared
// disk), and its header follows every block, so that at each moment the file
// is a playable WAV of what was stored, with at most reserved zeros after its
// data chunk. The engine thread never waits for the disk: it asks the file to
// sync soon, and the platform does so on a thread of its own. End finishes the
// header, cuts the reserved tail, syncs, and hands the file to the fast select
// strategy. Append and Overwrite continue here from the select strategy.
class StrategyCreateFast : public Strategy {
public:
    explicit StrategyCreateFast(StorageContext& context);

    [[nodiscard]] Status Create(const std::string& fileName, std::uint16_t tag, std::uint32_t samplesPerSec,
                                std::uint16_t bitsPerSample, std::uint16_t channels) override;
    [[nodiscard]] bool SeekToSample(std::uint32_t block) override;
    std::uint32_t CurrentWriteSample() override;
    [[nodiscard]] Status BackTrack(std::uint32_t bytes) override;
    std::uint32_t SpaceLeft() override;
    [[nodiscard]] Status WriteData(const std::uint8_t* source, std::uint32_t bytes) override;
    [[nodiscard]] Status Close() override;
    [[nodiscard]] Status End() override;
    [[nodiscard]] Status Open(const std::string& fileName) override;
    [[nodiscard]] Status Write(const void* source, std::uint32_t bytes) override;
    [[nodiscard]] bool SeekTo(std::uint32_t offset) override;
    std::uint32_t ReadPosition() override;

private:
    void Publish();
};

}  // namespace tavrin::storage
