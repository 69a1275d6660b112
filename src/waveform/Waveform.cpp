#include "waveform/Waveform.h"

#include <algorithm>

#include "waveform/Peaks.h"

namespace tavrin::waveform {

void Waveform::Reset(std::uint32_t totalBuckets) {
    peaks.clear();
    total = totalBuckets;
}

void Waveform::Grow(std::uint32_t lengthMs, std::uint32_t levelPercent) {
    const std::uint32_t buckets = BucketsFor(lengthMs);
    if (buckets <= peaks.size()) {
        if (buckets > 0) peaks[buckets - 1] = PeakOfPercent(levelPercent);
        return;
    }
    peaks.resize(buckets, PeakOfPercent(levelPercent));
    total = std::max(total, buckets);
}

std::uint32_t Waveform::BucketAt(int x, int width) const {
    const std::uint32_t all = TotalBuckets();
    if (width <= 0 || all == 0) return 0;
    const auto at = static_cast<std::uint64_t>(std::clamp(x, 0, width - 1)) * all / static_cast<std::uint32_t>(width);
    return static_cast<std::uint32_t>(at);
}

std::uint32_t Waveform::MsAt(int x, int width) const {
    if (width <= 0) return 0;
    const std::uint64_t lengthMs = std::uint64_t{TotalBuckets()} * kBucketMs;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::clamp(x, 0, width)) * lengthMs /
                                      static_cast<std::uint32_t>(width));
}

}  // namespace tavrin::waveform
