#pragma once

#include <cstdint>
#include <string>

#include "storage/HeaderImage.h"
#include "storage/Status.h"

namespace tavrin::storage {

// The low-level reading operations of whatever holds the file: a select
// strategy, or a read-only source for tools that must never write.
class HeaderSource {
public:
    virtual ~HeaderSource() = default;
    // Opens the existing file and reads its first 8 bytes ("RIFF" and size).
    [[nodiscard]] virtual Status Open(const std::string& fileName) = 0;
    [[nodiscard]] virtual Status Read(void* destination, std::uint32_t n, std::uint32_t& count) = 0;
    [[nodiscard]] virtual Status Expect(const void* bytes, std::uint32_t count) = 0;
    [[nodiscard]] virtual bool SeekTo(std::uint32_t offset) = 0;
    virtual std::uint32_t ReadPosition() = 0;
};

// Reads the header of a recording for playback and editing: walks the chunks
// as the chunk reader does (skipping all it does not need, word-aligned),
// takes the fmt record, the fact value and the data chunk where they stand,
// and accepts exactly the formats the chunk reader calls playable (and
// stereo PCM). On Ok the source's read point is the first audio byte and
// `image` describes the file. The caller empties its read cache before and
// sets its cache capacity after.
[[nodiscard]] Status ReadHeaderStrict(HeaderSource& source, const std::string& fileName, HeaderImage& image);

}  // namespace tavrin::storage
