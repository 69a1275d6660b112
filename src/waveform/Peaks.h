#pragma once

#include <cstdint>
#include <vector>

#include "wav/SampleDecoder.h"
#include "platform/FileSystem.h"
#include "wav/WavChunkReader.h"

namespace tavrin::waveform {

// One peak for every 40 ms of a recording (a GSM block; a whole number of
// samples at every rate we record): the largest magnitude in it, 0..255 of
// full scale. An hour is 90,000 bytes.
inline constexpr std::uint32_t kBucketMs = 40;
inline constexpr std::uint32_t kBucketsPerSecond = 1000 / kBucketMs;

// Buckets of a recording of `lengthMs`, the last one partly filled.
std::uint32_t BucketsFor(std::uint64_t lengthMs);
// A level of the engine's meter (percent of full scale) on the peaks' scale.
std::uint8_t PeakOfPercent(std::uint32_t percent);

// Measures the peaks of a recording's audio, bucket by bucket, reading it a
// bucket at a time (an hour mapped whole would hold 160 MB as it is read).
class PeakReader {
public:
    PeakReader(const wav::WavInfo& format, platform::File& recording);
    bool Usable() const { return decoder.Usable() && bucketUnits > 0; }
    std::uint32_t TotalBuckets() const { return total; }
    // Measures up to `count` more buckets and appends them to `into`;
    // returns how many it measured (0 at the end).
    std::uint32_t Next(std::uint32_t count, std::vector<std::uint8_t>& into);

private:
    const wav::WavInfo info;
    platform::File& source;
    std::vector<std::uint8_t> bytes;
    wav::SampleDecoder decoder;
    std::uint32_t unitBytes = 0;
    std::uint32_t bucketUnits = 0;  // units (samples, GSM blocks) per bucket
    std::uint32_t units = 0;
    std::uint32_t done = 0;         // units measured
    std::uint32_t total = 0;
    std::vector<std::int16_t> samples;
};

}  // namespace tavrin::waveform
