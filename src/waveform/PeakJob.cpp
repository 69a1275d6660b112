#include "waveform/PeakJob.h"

#include <algorithm>

#include "waveform/PeakCache.h"
#include "waveform/Peaks.h"
#include "wav/WavChunkReader.h"

namespace tavrin::waveform {
namespace {

// Published at a time: ten seconds of recording.
constexpr std::uint32_t kBucketsPerStep = 10 * kBucketsPerSecond;

}  // namespace

void PeakJob::Run() {
    PeakCache store(files, cache);
    const auto entry = files.entry(path);
    if (entry) {
        if (auto kept = store.Load(path, *entry)) {
            cached.store(true, std::memory_order_relaxed);
            Publish(*kept, static_cast<std::uint32_t>(kept->size()));
            finished.store(true, std::memory_order_release);
            return;
        }
    }
    wav::WavChunkReader header(files);
    const bool parsed = header.Open(path) && header.Parse() != wav::kParseUnusable;
    const wav::WavInfo info = header.Info();
    header.Close();
    auto recording = parsed ? files.open(path, platform::OpenMode::ReadOnly, false) : nullptr;
    if (!recording) {
        finished.store(true, std::memory_order_release);
        return;
    }
    PeakReader reader(info, *recording);
    std::vector<std::uint8_t> all;
    all.reserve(reader.TotalBuckets());
    while (reader.Usable() && !cancelled.load(std::memory_order_relaxed)) {
        const std::size_t before = all.size();
        if (reader.Next(kBucketsPerStep, all) == 0) break;
        Publish({all.begin() + static_cast<std::ptrdiff_t>(before), all.end()}, reader.TotalBuckets());
    }
    const bool whole = reader.Usable() && all.size() == reader.TotalBuckets();
    recording.reset();
    // Only the peaks of a recording measured whole, and unchanged meanwhile, are kept.
    if (whole && entry) {
        const auto after = files.entry(path);
        if (after && after->size == entry->size && after->modifiedSeconds == entry->modifiedSeconds &&
            after->modifiedNanoseconds == entry->modifiedNanoseconds) {
            static_cast<void>(store.Store(path, *entry, all));
        }
    }
    finished.store(true, std::memory_order_release);
}

void PeakJob::Publish(const std::vector<std::uint8_t>& more, std::uint32_t total) {
    const std::lock_guard<std::mutex> guard(lock);
    peaks.insert(peaks.end(), more.begin(), more.end());
    totalBuckets = total;
}

std::uint32_t PeakJob::Read(std::vector<std::uint8_t>& into) const {
    const std::lock_guard<std::mutex> guard(lock);
    if (into.size() < peaks.size()) {
        into.insert(into.end(), peaks.begin() + static_cast<std::ptrdiff_t>(into.size()), peaks.end());
    }
    return totalBuckets;
}

}  // namespace tavrin::waveform
