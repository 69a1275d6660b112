// How long one more recording can last and how much audio the free space
// holds, as the recording options and the recording states show them.
#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "engine/AudioEngine.h"
#include "wav/Formats.h"

namespace tavrin::engine {
namespace {

constexpr std::uint32_t kUnknownRate = 2147483647;
constexpr std::int64_t kProbeStep = 500'000;
constexpr std::int64_t kProbeFloor = 128'000;
// Byte counts stay 32-bit as the estimates have always been made; larger
// free space counts as the most a 32-bit count holds.
constexpr std::uint64_t kMaxBytes = 0xFFFFFFFFu;

std::int32_t Seconds(std::uint64_t bytes, std::uint32_t rate) {
    return static_cast<std::int32_t>(std::min<std::uint64_t>(bytes / rate, std::numeric_limits<std::int32_t>::max()));
}

std::uint64_t FreeBytes(platform::FileSystem& files, const std::string& folder) {
    const std::optional<std::uint64_t> free = files.freeSpace(folder);
    return free ? std::min(*free, kMaxBytes) : 0;
}

}  // namespace

std::uint32_t BytesPerSecondOf(std::uint32_t formatBit) {
    static constexpr std::array<std::pair<std::uint32_t, std::uint32_t>, 7> kRates{{
        {wav::kCodeGsm, 1625},
        {wav::kCodePcm8k8, 8000},
        {wav::kCodePcm8k16, 16000},
        {wav::kCodePcm11k8, 11025},
        {wav::kCodePcm11k16, 22050},
        {0x10, 22050},
        {wav::kCodePcm22k16, 44100},
    }};
    for (const auto& [bit, rate] : kRates)
        if (bit == formatBit) return rate;
    return kUnknownRate;
}

std::int32_t AudioEngine::RemainingSeconds(std::uint32_t formatBit, const std::string& folder, platform::Media folderMedia) {
    const std::uint32_t rate = BytesPerSecondOf(formatBit);
    const std::uint64_t free = FreeBytes(services.files, folder);
    const EngineState now = state;
    // While recording, the room left is that of the file or the memory buffer.
    if (now == EngineState::EngineRecording || now == EngineState::EngineRecordPaused) {
        // Unsigned: a memory buffer of 2 GiB or more must not come out negative.
        return Seconds(spaceLeft, rate);
    }
    if (free == 0) return 0;
    if (folderMedia == platform::Media::Fast) return Seconds(free, rate);

    // On slow media the recording is held in memory until it ends, so what
    // memory can really be had bounds it too.
    std::uint64_t avail = free;
    const std::uint64_t physical = services.memory.availablePhysical();
    if (physical < avail) {
        std::int64_t attempt = static_cast<std::int64_t>(physical);
        avail = 0;
        while (attempt >= 0) {
            if (void* block = services.memory.commit(static_cast<std::size_t>(attempt))) {
                services.memory.release(block, static_cast<std::size_t>(attempt));
                avail = static_cast<std::uint64_t>(attempt);
                break;
            }
            if (attempt <= kProbeFloor) break;
            attempt -= kProbeStep;
        }
    }
    return Seconds(avail, rate);
}

// All the free space holds, in as many recordings as it takes: unlike one
// recording, not bounded by a WAV file's 4 GiB.
std::int32_t AudioEngine::TotalSeconds(std::uint32_t formatBit, const std::string& folder) {
    const std::optional<std::uint64_t> free = services.files.freeSpace(folder);
    return Seconds(free.value_or(0), BytesPerSecondOf(formatBit));
}

}  // namespace tavrin::engine
