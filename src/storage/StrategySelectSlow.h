#pragma once

#include <cstdint>
#include <string>

#include "storage/Strategy.h"

namespace tavrin::storage {

// An existing recording on slow media. The file keeps its true length and is
// read with ordinary reads through the 8-second read cache; the file pointer
// is the read point and `dataEnd` the end of the audio. Append and Overwrite
// allocate a memory buffer and hand over to the slow create strategy; Insert
// hands over to the slow insert strategy.
class StrategySelectSlow : public Strategy {
public:
    explicit StrategySelectSlow(StorageContext& context);

    [[nodiscard]] Status Select(const std::string& fileName) override;
    [[nodiscard]] bool SeekToSample(std::uint32_t block) override;
    std::uint32_t CurrentReadSample() override;
    [[nodiscard]] Status ReadData(std::uint8_t* destination, std::uint32_t bytes) override;
    [[nodiscard]] Status End() override;
    [[nodiscard]] Status Close() override;
    [[nodiscard]] bool Append() override;
    [[nodiscard]] bool Overwrite() override;
    [[nodiscard]] bool Insert() override;
    [[nodiscard]] Status Open(const std::string& fileName) override;
    [[nodiscard]] Status Read(void* destination, std::uint32_t bytes, std::uint32_t& count) override;
    [[nodiscard]] Status Expect(const void* bytes, std::uint32_t count) override;
    [[nodiscard]] bool SeekTo(std::uint32_t offset) override;
    std::uint32_t ReadPosition() override;

private:
    // Playback position in bytes, kept inside the audio.
    std::uint32_t PlaybackPosition();
    // Settles audio an earlier failed Flush left behind before the file is
    // edited again.
    [[nodiscard]] bool ReadyForEdit();
    // Journals an Append or Overwrite whose buffer belongs at `point` and
    // spools the buffer (with the held chunks); false when another writer
    // has the recording.
    [[nodiscard]] bool SpoolEdit(std::uint32_t point);
    // Makes the slow create strategy current after a successful Append or
    // Overwrite, else releases everything and goes idle.
    void HandOver(bool toRecording);
    // Frees a buffer and closes the file and any insertion mapping.
    void Release();
};

}  // namespace tavrin::storage
