#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tavrin::wav {

inline constexpr std::uint16_t kTagPcm = 0x0001;
inline constexpr std::uint16_t kTagGsm = 0x0031;

// Bytes of one GSM block: two frames, 320 samples, 40 ms at 8000 Hz.
inline constexpr std::uint32_t kGsmBlockBytes = 65;
inline constexpr std::uint32_t kGsmSamplesPerBlock = 320;
inline constexpr std::uint32_t kGsmMsPerBlock = 40;

// The wave-format record as it stands in a file's fmt chunk.
struct WaveFormat {
    std::uint16_t formatTag = kTagPcm;
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSec = 8000;
    std::uint32_t avgBytesPerSec = 8000;
    std::uint16_t blockAlign = 1;
    std::uint16_t bitsPerSample = 8;
    std::uint16_t cbSize = 0;           // GSM only
    std::uint16_t samplesPerBlock = 0;  // GSM only

    bool isGsm() const { return formatTag == kTagGsm; }
    // 16 bytes for PCM, 20 for GSM (with cbSize and samplesPerBlock).
    std::uint32_t recordSize() const { return isGsm() ? 20u : 16u; }
    friend bool operator==(const WaveFormat&, const WaveFormat&) = default;
};

// One entry of the format catalogue: the code the settings store, the label
// the user sees and the record the devices are opened with.
struct FormatEntry {
    std::uint32_t code;
    std::string_view label;
    WaveFormat format;
};

inline constexpr std::uint32_t kCodeGsm = 0x10000000;
inline constexpr std::uint32_t kCodePcm8k8 = 0x20000000;
inline constexpr std::uint32_t kCodePcm11k8 = 0x00000001;
inline constexpr std::uint32_t kCodePcm8k16 = 0x40000000;
inline constexpr std::uint32_t kCodePcm11k16 = 0x00000004;
inline constexpr std::uint32_t kCodePcm22k16 = 0x00000040;

// The six formats, always in this order.
const std::array<FormatEntry, 6>& Catalogue();

const FormatEntry* FindByCode(std::uint32_t code);
const FormatEntry* FindByLabel(std::string_view label);
std::optional<std::string_view> LabelOfCode(std::uint32_t code);
std::optional<std::uint32_t> CodeOfLabel(std::string_view label);

// The catalogue entries whose bit is set in the mask of formats the input
// device accepts, in catalogue order.
std::vector<FormatEntry> OfferedFormats(std::uint32_t acceptedMask);

// Builds the record from (tag, rate, bits, channels). GSM always gets the
// fixed GSM record, whatever else is passed.
WaveFormat BuildWaveFormat(std::uint16_t tag, std::uint32_t samplesPerSec, std::uint16_t bitsPerSample,
                           std::uint16_t channels);

// Writes the record little-endian into `out` (16 or 20 bytes) and returns its size.
std::size_t SerializeWaveFormat(const WaveFormat& format, std::uint8_t* out);

// Bytes of one block: channels x ceil(bits / 8) for PCM, 65 for GSM.
std::uint32_t BlockBytes(std::uint16_t tag, std::uint16_t channels, std::uint16_t bitsPerSample);

// Length in blocks of `dataSize` bytes of audio; truncating divisions.
std::uint32_t LengthInBlocks(std::uint16_t tag, std::uint16_t channels, std::uint16_t bitsPerSample,
                             std::uint32_t dataSize);

// Byte offset of block n of a file whose data chunk id lies at dataChunkPos.
std::uint32_t OffsetOfBlock(std::uint32_t dataChunkPos, std::uint32_t n, std::uint16_t tag,
                            std::uint16_t channels, std::uint16_t bitsPerSample);

// Block at byte offset p; a position before the first audio byte counts as 0.
// A block is a whole sample frame, so a stereo file counts frames, not samples.
std::uint32_t BlockAtOffset(std::uint32_t p, std::uint32_t dataChunkPos, std::uint16_t tag, std::uint16_t channels,
                            std::uint16_t bitsPerSample);

// Little-endian access used by every reader and writer of headers.
inline std::uint16_t LoadLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void StoreLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace tavrin::wav
