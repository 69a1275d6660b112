#pragma once

#include <cstdint>
#include <cstring>

#include "wav/Formats.h"

namespace tavrin::wav {

// True when the 4 bytes at `id` can be a chunk id (printable ASCII).
[[nodiscard]] bool LooksLikeChunkId(const std::uint8_t* id);

// Every read of a chunk walk goes through here, so no field is taken from
// outside the bytes, whatever sizes a file claims. Offsets are 64-bit so that
// chunk arithmetic cannot wrap.
class ByteView {
public:
    ByteView(const std::uint8_t* bytes, std::uint32_t byteCount) : data(bytes), length(byteCount) {}

    std::uint64_t size() const { return length; }
    bool Contains(std::uint64_t offset, std::uint64_t width) const {
        return data != nullptr && offset <= length && width <= length - offset;
    }
    bool Le16(std::uint64_t offset, std::uint16_t& value) const {
        if (!Contains(offset, 2)) return false;
        value = LoadLe16(data + offset);
        return true;
    }
    bool Le32(std::uint64_t offset, std::uint32_t& value) const {
        if (!Contains(offset, 4)) return false;
        value = LoadLe32(data + offset);
        return true;
    }
    bool IdIs(std::uint64_t offset, const char* id) const {
        return Contains(offset, 4) && std::memcmp(data + offset, id, 4) == 0;
    }
    bool IsChunkId(std::uint64_t offset) const { return Contains(offset, 4) && LooksLikeChunkId(data + offset); }
    // The bytes at `offset`; only after Contains said they are there.
    const std::uint8_t* At(std::uint64_t offset) const { return data + offset; }

private:
    const std::uint8_t* data;
    std::uint32_t length;
};

// A chunk may claim up to 3 bytes more than the file holds (writers that
// dropped a pad byte or rounded the size); beyond that a walk stops.
inline bool ChunkFits(const ByteView& file, std::uint64_t start, std::uint32_t chunkSize) {
    return start + chunkSize + 5 <= file.size();
}

// Where the chunk after the one at `start` begins: word-aligned, so an
// odd-sized chunk is followed by a pad byte, unless a chunk id stands right
// after it (a writer that left the pad byte out).
inline std::uint64_t NextChunk(const ByteView& file, std::uint64_t start, std::uint32_t chunkSize) {
    const std::uint64_t end = start + 8 + std::uint64_t{chunkSize};
    if (chunkSize % 2 == 0 || file.IsChunkId(end)) return end;
    return end + 1;
}

// Calls visit(start, chunkSize) for each chunk from `start` on, in order,
// while its size field lies inside the bytes and `visit` answers true.
template <class Visit>
void WalkChunks(const ByteView& file, std::uint64_t start, Visit&& visit) {
    std::uint32_t chunkSize = 0;
    while (file.Le32(start + 4, chunkSize)) {
        if (!visit(start, chunkSize)) return;
        start = NextChunk(file, start, chunkSize);
    }
}

}  // namespace tavrin::wav
