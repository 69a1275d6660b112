#include "wav/HeaderLayout.h"

#include <cstring>

namespace tavrin::wav {
namespace {

constexpr std::uint32_t kRiffSizePos = 4;

bool InCount(std::uint32_t offset, std::uint32_t count) { return offset >= count && offset - count < 4; }

}  // namespace

bool IsCountByte(const HeaderPlaces& places, std::uint32_t offset) {
    return InCount(offset, kRiffSizePos) || InCount(offset, places.dataChunkPos + 4) ||
           (places.factValuePos != 0 && InCount(offset, places.factValuePos));
}

void SetHeaderCounts(std::uint8_t* header, const HeaderPlaces& places, std::uint32_t fileEnd,
                     std::uint32_t dataSize) {
    StoreLe32(header + kRiffSizePos, fileEnd - 8);
    StoreLe32(header + places.dataChunkPos + 4, dataSize);
    // A fact value that would reach into the data chunk's header is none.
    if (places.factValuePos != 0 && places.factValuePos + 4 <= places.dataChunkPos)
        StoreLe32(header + places.factValuePos, dataSize / kGsmBlockBytes);
}

NewHeader BuildNewHeader(const WaveFormat& format, std::uint32_t dataSize) {
    NewHeader header;
    std::uint8_t* bytes = header.bytes.data();
    std::memcpy(bytes, "RIFF", 4);
    std::memcpy(bytes + kAfterRiffSize, "WAVEfmt ", 8);
    StoreLe32(bytes + kFmtChunkPos + 4, format.recordSize());
    std::uint32_t at = kFmtChunkPos + 8 + static_cast<std::uint32_t>(SerializeWaveFormat(format, bytes + kFmtChunkPos + 8));
    if (format.isGsm()) {
        std::memcpy(bytes + at, "fact", 4);
        StoreLe32(bytes + at + 4, 4);
        header.places.factValuePos = at + 8;
        at += 12;
    }
    std::memcpy(bytes + at, "data", 4);
    header.places.dataChunkPos = at;
    SetHeaderCounts(bytes, header.places, header.Size() + dataSize, dataSize);
    return header;
}

}  // namespace tavrin::wav
