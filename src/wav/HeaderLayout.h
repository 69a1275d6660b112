#pragma once

#include <array>
#include <cstdint>

#include "wav/Formats.h"

namespace tavrin::wav {

// Where the counts of a header lie: the data chunk's header, and the fact
// value that a GSM recording keeps as its count of blocks (0: none). The
// third count, the RIFF size, is always at offset 4.
struct HeaderPlaces {
    std::uint32_t dataChunkPos = 0;
    std::uint32_t factValuePos = 0;
};

// Whether byte `offset` of a header belongs to one of its counts: RIFF size,
// data size, fact value. A change of the audio changes these and no others.
bool IsCountByte(const HeaderPlaces& places, std::uint32_t offset);

// Sets the counts of `header` (which holds at least the data chunk's header)
// for `dataSize` bytes of audio in a file of `fileEnd` bytes: the RIFF size,
// the data size and, where the header has one, the fact value.
void SetHeaderCounts(std::uint8_t* header, const HeaderPlaces& places, std::uint32_t fileEnd,
                     std::uint32_t dataSize);

// The header every recording this program makes begins with, numbers
// little-endian:
//
//    0  "RIFF"  RIFF size (file length - 8)
//    8  "WAVE"
//   12  "fmt "  record size (16 PCM, 20 GSM)
//   20  wave-format record; GSM adds cbSize and samplesPerBlock
//   PCM: 36 "data" data size; audio from 44
//   GSM: 40 "fact" 4, 48 blocks; 52 "data" data size; audio from 60
inline constexpr std::uint32_t kAfterRiffSize = 8;
// What a new file begins with until its header is finished.
inline constexpr std::array<std::uint8_t, kAfterRiffSize> kUnfinishedRiff{'R', 'I', 'F', 'F', 0, 0, 0, 0};
inline constexpr std::uint32_t kFmtChunkPos = 12;
inline constexpr std::uint32_t kMostNewHeaderBytes = 60;

struct NewHeader {
    std::array<std::uint8_t, kMostNewHeaderBytes> bytes{};
    HeaderPlaces places;
    // Bytes before the first audio byte: 44 or 60.
    std::uint32_t Size() const { return places.dataChunkPos + 8; }
};

// The header of `format` for `dataSize` bytes of audio, counts included.
NewHeader BuildNewHeader(const WaveFormat& format, std::uint32_t dataSize);

}  // namespace tavrin::wav
