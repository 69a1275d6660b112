#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wav/Formats.h"

namespace tavrin::test {

// Builds WAV files byte by byte, so that each test states the exact layout it
// is about, including layouts no writer should produce.
class WavBytes {
public:
    WavBytes& Id(const char* id) {
        bytes.insert(bytes.end(), id, id + 4);
        return *this;
    }
    WavBytes& U16(std::uint16_t v) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        return *this;
    }
    WavBytes& U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    WavBytes& Fill(std::size_t n, std::uint8_t value = 0x5A) {
        bytes.insert(bytes.end(), n, value);
        return *this;
    }
    // "RIFF", a size of 0 (see FixRiffSize) and "WAVE".
    WavBytes& Riff() { return Id("RIFF").U32(0).Id("WAVE"); }
    // A chunk whose size field says `claimed` and that holds `present` bytes of filler.
    WavBytes& Chunk(const char* id, std::uint32_t claimed, std::size_t present) {
        return Id(id).U32(claimed).Fill(present);
    }
    WavBytes& Chunk(const char* id, std::uint32_t size) { return Chunk(id, size, size); }
    // fmt chunk of `size` bytes holding `record` (16 or 20 bytes), padded with zeros.
    WavBytes& Fmt(const wav::WaveFormat& record, std::uint32_t size) {
        std::uint8_t raw[20] = {};
        const std::size_t n = wav::SerializeWaveFormat(record, raw);
        Id("fmt ").U32(size);
        bytes.insert(bytes.end(), raw, raw + (n < size ? n : size));
        if (size > n) Fill(size - n, 0);
        return *this;
    }
    WavBytes& Fmt(const wav::WaveFormat& record) { return Fmt(record, record.recordSize()); }
    WavBytes& Fact(std::uint32_t blocks) { return Id("fact").U32(4).U32(blocks); }
    WavBytes& Data(std::uint32_t size) { return Chunk("data", size); }
    // RIFF size = file length - 8 + delta.
    WavBytes& FixRiffSize(std::int64_t delta = 0) {
        wav::StoreLe32(&bytes[4], static_cast<std::uint32_t>(static_cast<std::int64_t>(bytes.size()) - 8 + delta));
        return *this;
    }
    WavBytes& Truncate(std::size_t length) {
        bytes.resize(length);
        return *this;
    }

    std::uint32_t size() const { return static_cast<std::uint32_t>(bytes.size()); }
    const std::uint8_t* data() const { return bytes.data(); }
    std::string str() const { return std::string(bytes.begin(), bytes.end()); }

    std::vector<std::uint8_t> bytes;
};

inline wav::WaveFormat PcmRecord(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels = 1) {
    return wav::BuildWaveFormat(wav::kTagPcm, rate, bits, channels);
}
inline wav::WaveFormat GsmRecord() { return wav::BuildWaveFormat(wav::kTagGsm, 8000, 0, 1); }

// The file a recording of `dataBytes` bytes in `record` is written as.
inline WavBytes RecordingFile(const wav::WaveFormat& record, std::uint32_t dataBytes) {
    WavBytes w;
    w.Riff().Fmt(record);
    if (record.isGsm()) w.Fact(dataBytes / wav::kGsmBlockBytes);
    w.Data(dataBytes).FixRiffSize();
    return w;
}

}  // namespace tavrin::test
