#include "engine/LevelMonitor.h"

#include "engine/BlockPeak.h"

namespace tavrin::engine {

LevelMonitor::~LevelMonitor() { Stop(); }

bool LevelMonitor::Start(const platform::AudioFormat& wanted) {
    std::lock_guard lock(device);
    if (open) return true;
    const std::uint32_t bytes = wanted.avgBytesPerSec / 5;
    if (bytes == 0 || bytes > sizeof blocks[0]) return false;
    // Before the device opens: every notification of this run carries the new number.
    runs.fetch_add(1, std::memory_order_relaxed);
    if (waveIn.open(wanted, *this) != platform::mmr::NoError) return false;
    open = true;
    format = wanted;
    fullScale = FullScaleOf(wanted);
    peak = 0;
    for (std::size_t h = 0; h < headers.size(); ++h) {
        headers[h] = platform::WaveBuffer{blocks[h], bytes, 0, 0};
        if (waveIn.prepare(headers[h]) != platform::mmr::NoError || waveIn.add(headers[h]) != platform::mmr::NoError) {
            CloseDevice();
            return false;
        }
    }
    if (waveIn.start() != platform::mmr::NoError) {
        CloseDevice();
        return false;
    }
    return true;
}

void LevelMonitor::Stop() {
    std::lock_guard lock(device);
    if (open) CloseDevice();
}

void LevelMonitor::CloseDevice() {
    open = false;
    // The reset hands every buffer back; their notifications find the
    // monitor closed and are dropped.
    static_cast<void>(waveIn.reset());
    for (auto& header : headers) static_cast<void>(waveIn.unprepare(header));
    static_cast<void>(waveIn.close());
    peak = 0;
}

bool LevelMonitor::Running() const {
    std::lock_guard lock(device);
    return open;
}

unsigned LevelMonitor::LevelPercent() const {
    return static_cast<unsigned>(static_cast<std::int32_t>(peak)) * 100u /
           static_cast<unsigned>(static_cast<std::int32_t>(fullScale));
}

void LevelMonitor::OnData(platform::WaveBuffer* buffer, std::uint32_t run) {
    std::lock_guard lock(device);
    if (!open || run != runs.load(std::memory_order_relaxed)) return;
    if (buffer != &headers[0] && buffer != &headers[1]) return;
    peak = CapturedPeakOf(format, *buffer, buffer->length, scratch);
    static_cast<void>(waveIn.add(*buffer));
}

void LevelMonitor::notify(std::uint32_t message, platform::WaveBuffer* buffer, std::uint32_t) noexcept {
    if (message != platform::mm::WimData) return;
    static_cast<void>(queue.post({kMonitorData, runs.load(std::memory_order_relaxed), buffer}));
}

}  // namespace tavrin::engine
