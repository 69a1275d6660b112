#pragma once

#include <cstdint>
#include <string>

#include "platform/FileSystem.h"
#include "storage/HeaderImage.h"
#include "storage/Status.h"

namespace tavrin::storage {

class Strategy;

// Where a header is finished: a strategy's own low-level operations (direct
// strategies) or the file itself (buffered strategies, whose Write goes to
// memory).
class HeaderSink {
public:
    virtual ~HeaderSink() = default;
    [[nodiscard]] virtual bool SeekTo(std::uint32_t offset) = 0;
    [[nodiscard]] virtual bool Write(const void* source, std::uint32_t bytes) = 0;
};

// Finishes through a strategy's SeekTo and Write.
class StrategySink final : public HeaderSink {
public:
    explicit StrategySink(Strategy& target) : strategy(target) {}
    [[nodiscard]] bool SeekTo(std::uint32_t offset) override;
    [[nodiscard]] bool Write(const void* source, std::uint32_t bytes) override;

private:
    Strategy& strategy;
};

// Finishes straight in an open file; a write counts only when every byte made it.
class FileSink final : public HeaderSink {
public:
    explicit FileSink(platform::File& target) : file(target) {}
    [[nodiscard]] bool SeekTo(std::uint32_t offset) override;
    [[nodiscard]] bool Write(const void* source, std::uint32_t bytes) override;

private:
    platform::File& file;
};

// Finishes in memory that holds the file from offset 0 on: the buffer of a
// new recording, so that the whole file reaches the medium with one write.
class MemorySink final : public HeaderSink {
public:
    MemorySink(std::uint8_t* start, std::uint32_t bytes) : memory(start), size(bytes) {}
    [[nodiscard]] bool SeekTo(std::uint32_t offset) override;
    [[nodiscard]] bool Write(const void* source, std::uint32_t bytes) override;

private:
    std::uint8_t* memory;
    std::uint32_t size;
    std::uint32_t at = 0;
};

// Writes the header of a new recording through the strategy's own Open and
// Write: takes the fmt chunk of the new header (wav::BuildNewHeader) into
// `image`, writes "RIFF" 0 (Open), then the rest of that header, and sets
// `dataChunkPos` and `factValuePos` (0 for PCM). Stops at the first failing
// step and returns its status; on Ok the write point is the first audio byte.
[[nodiscard]] Status WriteNewHeader(Strategy& strategy, HeaderImage& image, const std::string& fileName,
                                    std::uint16_t tag, std::uint32_t samplesPerSec, std::uint16_t bitsPerSample,
                                    std::uint16_t channels);

// Finishes the header of a recording whose logical end is `fileLength`: the
// data chunk header at `dataChunkPos`, for GSM the block count at
// `factValuePos` (skipped when the file has no fact chunk), then "RIFF" and
// the RIFF size at offset 0. Every step is tried; true only when all of them
// succeeded.
[[nodiscard]] bool FinishHeader(HeaderSink& sink, HeaderImage& image, std::uint32_t fileLength);

// Writes the RIFF size of a file of `fileEnd` bytes into its header.
[[nodiscard]] bool WriteRiffSize(platform::File& file, std::uint32_t fileEnd);

}  // namespace tavrin::storage
