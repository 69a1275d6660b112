#pragma once

#include <array>
#include <cstdint>

#include "wav/Formats.h"

namespace tavrin::storage {

// The parts of a recording's header that change, in file byte order: the fmt
// chunk ("fmt ", u32 size, wave-format record with cbSize and
// samplesPerBlock), a scratch word for a fact chunk being read, the data
// chunk header ("data", u32 dataSize) and where the data chunk and the fact
// value lie in the file. dataSize is kept current while audio is written; the
// file's header is rewritten from this image when a recording is finished.
struct HeaderImage {
    std::array<std::uint8_t, 28> fmt{};
    std::uint32_t factScratch = 0;
    std::array<std::uint8_t, 8> data{};
    std::uint32_t dataChunkPos = 0;
    std::uint32_t factValuePos = 0;  // 0: the file has no fact chunk, nothing to update

    std::uint32_t FmtSize() const { return wav::LoadLe32(&fmt[4]); }
    std::uint16_t FormatTag() const { return wav::LoadLe16(&fmt[8]); }
    std::uint16_t Channels() const { return wav::LoadLe16(&fmt[10]); }
    std::uint32_t SamplesPerSec() const { return wav::LoadLe32(&fmt[12]); }
    std::uint32_t AvgBytesPerSec() const { return wav::LoadLe32(&fmt[16]); }
    std::uint16_t BlockAlign() const { return wav::LoadLe16(&fmt[20]); }
    std::uint16_t BitsPerSample() const { return wav::LoadLe16(&fmt[22]); }
    std::uint16_t CbSize() const { return wav::LoadLe16(&fmt[24]); }
    std::uint16_t SamplesPerBlock() const { return wav::LoadLe16(&fmt[26]); }
    bool IsGsm() const { return FormatTag() == wav::kTagGsm; }
    wav::WaveFormat Format() const {
        return {FormatTag(), Channels(), SamplesPerSec(), AvgBytesPerSec(), BlockAlign(), BitsPerSample(), CbSize(),
                SamplesPerBlock()};
    }

    std::uint32_t DataSize() const { return wav::LoadLe32(&data[4]); }
    void SetDataSize(std::uint32_t bytes) { wav::StoreLe32(&data[4], bytes); }

    std::uint32_t LengthInBlocks() const {
        return wav::LengthInBlocks(FormatTag(), Channels(), BitsPerSample(), DataSize());
    }
    std::uint32_t OffsetOfBlock(std::uint32_t n) const {
        return wav::OffsetOfBlock(dataChunkPos, n, FormatTag(), Channels(), BitsPerSample());
    }
    std::uint32_t BlockAt(std::uint32_t offset) const {
        return wav::BlockAtOffset(offset, dataChunkPos, FormatTag(), Channels(), BitsPerSample());
    }
    // Bytes per read-cache fill: 8 seconds of the format, at most the cache.
    std::uint32_t CacheCapacity() const;
};

}  // namespace tavrin::storage
