#include "storage/ProgressSeal.h"

#include <algorithm>
#include <array>
#include <vector>

#include "storage/JournalFormats.h"

namespace tavrin::storage {
namespace {

using namespace kept;

std::array<std::uint8_t, kProgressSlotBytes> Slot(std::uint32_t sequence, std::uint32_t count) {
    std::array<std::uint8_t, kProgressSlotBytes> slot{};
    wav::StoreLe32(&slot[kProgressSequenceAt], sequence);
    wav::StoreLe32(&slot[kProgressCountAt], count);
    Seal(slot.data(), kProgressSequenceAt, kProgressSealAt);
    return slot;
}

}  // namespace

std::shared_ptr<ProgressSeal> ProgressSeal::Start(platform::FileSystem& files, const std::string& path,
                                                  platform::File& watched, std::uint32_t count) {
    std::vector<std::uint8_t> image(kProgressBytes, 0);
    std::copy(kProgressMark.begin(), kProgressMark.end(), image.begin());
    const std::string run = files.systemRun().substr(0, kProgressRunBytes - 1);
    std::copy(run.begin(), run.end(), image.begin() + kProgressRunAt);
    const auto first = Slot(1, count);
    std::copy(first.begin(), first.end(), image.begin() + kProgressSlotAt[1]);
    std::shared_ptr<ProgressSeal> seal(new ProgressSeal());
    seal->published.store(count, std::memory_order_relaxed);
    seal->sequence = 1;
    seal->file = files.open(path, platform::OpenMode::ReadWriteCreate, false);
    const bool made = seal->file && seal->file->setLength(0) &&
                      platform::WriteAt(*seal->file, 0, image.data(), kProgressBytes) && seal->file->sync();
    if (made && watched.watchSyncs(seal)) return seal;
    seal->file.reset();
    (void)files.remove(path);
    return nullptr;
}

bool ProgressSeal::Write(std::uint32_t count) {
    if (!file) return false;
    const std::uint32_t next = sequence + 1;
    const auto slot = Slot(next, count);
    if (!platform::WriteAt(*file, kProgressSlotAt[next % 2], slot.data(), kProgressSlotBytes) || !file->sync())
        return false;
    sequence = next;
    return true;
}

bool ProgressSeal::SealNow(std::uint32_t count) {
    std::lock_guard hold(writing);
    generation.fetch_add(1, std::memory_order_acq_rel);
    published.store(count, std::memory_order_release);
    return Write(count);
}

void ProgressSeal::Stop() {
    std::lock_guard hold(writing);
    file.reset();
}

void ProgressSeal::syncing() {
    syncingGeneration = generation.load(std::memory_order_acquire);
    syncingCount = published.load(std::memory_order_acquire);
}

void ProgressSeal::synced() {
    std::lock_guard hold(writing);
    // A count sealed at once since the sync began may have let bytes below
    // what it began with be written again, after it began.
    if (generation.load(std::memory_order_acquire) != syncingGeneration) return;
    // A seal that failed leaves the one before it, which still holds.
    (void)Write(syncingCount);
}

std::string SealPathFor(const std::string& journalPath) { return journalPath + ".seal"; }

std::optional<SealImage> ParseSeal(const std::uint8_t* bytes, std::size_t size) {
    if (size < kProgressBytes || !HasMark(bytes, kProgressMark)) return std::nullopt;
    std::optional<SealImage> seal;
    std::uint32_t newest = 0;
    for (const std::uint32_t at : kProgressSlotAt) {
        const std::uint8_t* slot = bytes + at;
        const std::uint32_t sequence = wav::LoadLe32(slot + kProgressSequenceAt);
        if (sequence == 0 || !Sealed(slot, kProgressSequenceAt, kProgressSealAt) || (seal && sequence < newest))
            continue;
        newest = sequence;
        seal = SealImage{wav::LoadLe32(slot + kProgressCountAt), {}};
    }
    if (!seal) return seal;
    const auto* run = reinterpret_cast<const char*>(bytes + kProgressRunAt);
    seal->run.assign(run, std::find(run, run + kProgressRunBytes, '\0'));
    return seal;
}

std::optional<std::uint32_t> ReadSeal(platform::FileSystem& files, const std::string& path) {
    if (!files.exists(path)) return std::nullopt;
    const auto seal = ReadKept(files, path, ParseSeal);
    if (!seal) return std::nullopt;
    const std::string now = files.systemRun();
    if (!now.empty() && now == seal->run) return std::nullopt;
    return seal->count;
}

}  // namespace tavrin::storage
