#include "waveform/Peaks.h"

#include <algorithm>
#include <cstdlib>

#include "wav/Formats.h"

namespace tavrin::waveform {

std::uint32_t BucketsFor(std::uint64_t lengthMs) {
    return static_cast<std::uint32_t>((lengthMs + kBucketMs - 1) / kBucketMs);
}

std::uint8_t PeakOfPercent(std::uint32_t percent) {
    return static_cast<std::uint8_t>(std::min<std::uint32_t>(percent, 100) * 255 / 100);
}

PeakReader::PeakReader(const wav::WavInfo& format, platform::File& recording)
    : info(format), source(recording), decoder(format.formatTag, format.bitsPerSample) {
    if (!decoder.Usable() || format.dataStart == 0) return;
    unitBytes = decoder.UnitBytes() * std::max<std::uint16_t>(format.channels, 1);
    // GSM: one block is 40 ms; PCM: the samples (frames) of 40 ms.
    bucketUnits = format.formatTag == wav::kTagGsm ? 1 : format.samplesPerSec / kBucketsPerSecond;
    if (bucketUnits == 0) return;
    units = format.dataLength / unitBytes;
    total = (units + bucketUnits - 1) / bucketUnits;
    samples.resize(std::size_t{bucketUnits} * decoder.SamplesPerUnit() * format.channels);
}

std::uint32_t PeakReader::Next(std::uint32_t count, std::vector<std::uint8_t>& into) {
    if (done >= units || count == 0) return 0;
    // One read for the whole stretch: a read per 40 ms bucket costs more than measuring it.
    const std::uint32_t stretch = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        std::uint64_t{count} * bucketUnits, units - done));
    bytes.resize(std::size_t{stretch} * unitBytes);
    // A recording cut short since it was opened ends its peaks there.
    if (!platform::ReadAt(source, info.dataStart + done * unitBytes, bytes.data(), stretch * unitBytes)) return 0;
    std::uint32_t measured = 0;
    for (std::uint32_t at = 0; at < stretch; at += bucketUnits) {
        const std::uint32_t take = std::min(bucketUnits, stretch - at);
        const std::uint32_t got = decoder.Decode(bytes.data() + std::size_t{at} * unitBytes, take * unitBytes, samples.data());
        int peak = 0;
        for (std::uint32_t i = 0; i < got; ++i) peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
        into.push_back(static_cast<std::uint8_t>(std::min(peak, 32767) * 255 / 32767));
        ++measured;
    }
    done += stretch;
    return measured;
}

}  // namespace tavrin::waveform
