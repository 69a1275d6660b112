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

PeakReader::PeakReader(const wav::WavChunkReader& recording)
    : source(recording), decoder(recording.FormatTag(), recording.BitsPerSample()) {
    if (!decoder.Usable() || recording.DataStart() == nullptr) return;
    unitBytes = decoder.UnitBytes() * std::max<std::uint16_t>(recording.Channels(), 1);
    // GSM: one block is 40 ms; PCM: the samples (frames) of 40 ms.
    bucketUnits = recording.FormatTag() == wav::kTagGsm ? 1 : recording.SamplesPerSec() / kBucketsPerSecond;
    if (bucketUnits == 0) return;
    units = recording.DataLength() / unitBytes;
    total = (units + bucketUnits - 1) / bucketUnits;
    samples.resize(std::size_t{bucketUnits} * decoder.SamplesPerUnit() * recording.Channels());
}

std::uint32_t PeakReader::Next(std::uint32_t count, std::vector<std::uint8_t>& into) {
    std::uint32_t measured = 0;
    while (measured < count && done < units) {
        const std::uint32_t take = std::min(bucketUnits, units - done);
        const std::uint32_t got =
            decoder.Decode(source.DataStart() + std::size_t{done} * unitBytes, take * unitBytes, samples.data());
        int peak = 0;
        for (std::uint32_t i = 0; i < got; ++i) peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
        into.push_back(static_cast<std::uint8_t>(std::min(peak, 32767) * 255 / 32767));
        done += take;
        ++measured;
    }
    return measured;
}

}  // namespace tavrin::waveform
