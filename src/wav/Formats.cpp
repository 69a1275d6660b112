#include "wav/Formats.h"

#include <algorithm>

namespace tavrin::wav {
namespace {

constexpr WaveFormat Pcm(std::uint32_t rate, std::uint16_t bits) {
    return WaveFormat{kTagPcm, 1, rate, rate * bits / 8, static_cast<std::uint16_t>(bits / 8), bits, 0, 0};
}

constexpr WaveFormat kGsmRecord{kTagGsm, 1, 8000, 1625, 65, 0, 2, 320};

constexpr std::array<FormatEntry, 6> kCatalogue{{
    {kCodeGsm, "GSM  2kB/s", kGsmRecord},
    {kCodePcm8k8, "PCM  8kHz  8-Bit", Pcm(8000, 8)},
    {kCodePcm11k8, "PCM 11kHz  8-Bit", Pcm(11025, 8)},
    {kCodePcm8k16, "PCM  8kHz 16-Bit", Pcm(8000, 16)},
    {kCodePcm11k16, "PCM 11kHz 16-Bit", Pcm(11025, 16)},
    {kCodePcm22k16, "PCM 22kHz 16-Bit", Pcm(22050, 16)},
}};

}  // namespace

const std::array<FormatEntry, 6>& Catalogue() { return kCatalogue; }

const FormatEntry* FindByCode(std::uint32_t code) {
    auto it = std::find_if(kCatalogue.begin(), kCatalogue.end(), [&](const auto& e) { return e.code == code; });
    return it == kCatalogue.end() ? nullptr : &*it;
}

const FormatEntry* FindByLabel(std::string_view label) {
    auto it = std::find_if(kCatalogue.begin(), kCatalogue.end(), [&](const auto& e) { return e.label == label; });
    return it == kCatalogue.end() ? nullptr : &*it;
}

std::optional<std::string_view> LabelOfCode(std::uint32_t code) {
    const FormatEntry* e = FindByCode(code);
    return e ? std::optional(e->label) : std::nullopt;
}

std::optional<std::uint32_t> CodeOfLabel(std::string_view label) {
    const FormatEntry* e = FindByLabel(label);
    return e ? std::optional(e->code) : std::nullopt;
}

std::vector<FormatEntry> OfferedFormats(std::uint32_t acceptedMask) {
    std::vector<FormatEntry> offered;
    for (const auto& e : kCatalogue)
        if (acceptedMask & e.code) offered.push_back(e);
    return offered;
}

WaveFormat BuildWaveFormat(std::uint16_t tag, std::uint32_t samplesPerSec, std::uint16_t bitsPerSample,
                           std::uint16_t channels) {
    if (tag == kTagGsm) return kGsmRecord;
    WaveFormat f;
    f.formatTag = tag;
    f.channels = channels;
    f.samplesPerSec = samplesPerSec;
    f.bitsPerSample = bitsPerSample;
    f.avgBytesPerSec = samplesPerSec * bitsPerSample * channels / 8;
    f.blockAlign = static_cast<std::uint16_t>(bitsPerSample * channels / 8);
    return f;
}

std::size_t SerializeWaveFormat(const WaveFormat& f, std::uint8_t* out) {
    StoreLe16(out + 0, f.formatTag);
    StoreLe16(out + 2, f.channels);
    StoreLe32(out + 4, f.samplesPerSec);
    StoreLe32(out + 8, f.avgBytesPerSec);
    StoreLe16(out + 12, f.blockAlign);
    StoreLe16(out + 14, f.bitsPerSample);
    if (!f.isGsm()) return 16;
    StoreLe16(out + 16, f.cbSize);
    StoreLe16(out + 18, f.samplesPerBlock);
    return 20;
}

std::uint32_t BlockBytes(std::uint16_t tag, std::uint16_t channels, std::uint16_t bitsPerSample) {
    if (tag == kTagGsm) return kGsmBlockBytes;
    return static_cast<std::uint32_t>(channels) * ((bitsPerSample + 7u) / 8u);
}

std::uint32_t LengthInBlocks(std::uint16_t tag, std::uint16_t channels, std::uint16_t bitsPerSample,
                             std::uint32_t dataSize) {
    if (tag == kTagGsm) return dataSize / kGsmBlockBytes;
    const std::uint32_t bytes = bitsPerSample / 8u;
    if (channels == 0 || bytes == 0) return 0;  // a record the readers refuse anyway
    return dataSize / channels / bytes;
}

std::uint32_t OffsetOfBlock(std::uint32_t dataChunkPos, std::uint32_t n, std::uint16_t tag,
                            std::uint16_t channels, std::uint16_t bitsPerSample) {
    return dataChunkPos + 8 + n * BlockBytes(tag, channels, bitsPerSample);
}

std::uint32_t BlockAtOffset(std::uint32_t p, std::uint32_t dataChunkPos, std::uint16_t tag, std::uint16_t channels,
                            std::uint16_t bitsPerSample) {
    const std::int64_t rel = static_cast<std::int64_t>(p) - dataChunkPos - 8;
    const std::int64_t unit = tag == kTagGsm ? kGsmBlockBytes : static_cast<std::int64_t>(channels) * (bitsPerSample / 8);
    if (rel <= 0 || unit <= 0) return 0;
    return static_cast<std::uint32_t>(rel / unit);
}

}  // namespace tavrin::wav
