#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tavrin::waveform {

// What the panel draws of the selected recording: its peaks as far as they
// are known, how many it has in all, and the part already played. While a
// recording is made, it grows from the level of each stored block.
class Waveform {
public:
    // Starts over for a recording of `totalBuckets` (0: not known yet).
    void Reset(std::uint32_t totalBuckets = 0);
    std::vector<std::uint8_t>& Peaks() { return peaks; }
    const std::vector<std::uint8_t>& Peaks() const { return peaks; }
    std::uint32_t TotalBuckets() const { return std::max<std::uint32_t>(total, static_cast<std::uint32_t>(peaks.size())); }
    void SetTotal(std::uint32_t totalBuckets) { total = totalBuckets; }

    // A recording in progress has reached `lengthMs` and its last block
    // measured `levelPercent`: the buckets up to there take that level. A
    // point inside what is known (an overwrite, an insertion) marks that
    // bucket; the file is measured again once the edit is done.
    void Grow(std::uint32_t lengthMs, std::uint32_t levelPercent);

    // Which bucket a point `x` of `width` points across stands for, and back.
    std::uint32_t BucketAt(int x, int width) const;
    // The position, in milliseconds, a click at `x` of `width` asks for.
    std::uint32_t MsAt(int x, int width) const;

private:
    std::vector<std::uint8_t> peaks;
    std::uint32_t total = 0;
};

}  // namespace tavrin::waveform
