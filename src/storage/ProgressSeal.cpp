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
    seal->sealedCount = count;
    seal->RestartClaim(count);
    seal->file = files.open(path, platform::OpenMode::ReadWriteCreate, false);
    const bool made = seal->file && seal->file->setLength(0) &&
                      platform::WriteAt(*seal->file, 0, image.data(), kProgressBytes) && seal->file->sync();
    if (made) seal->claims = files.open(path, platform::OpenMode::ReadWrite, false);
    if (seal->claims && watched.watchSyncs(seal)) return seal;
    seal->claims.reset();
    seal->file.reset();
    (void)files.remove(path);
    return nullptr;
}

void ProgressSeal::RestartClaim(std::uint32_t count) {
    claiming = true;
    claimFrom = count;
    claimDigest = ClaimDigestStart();
}

void ProgressSeal::Appended(const std::uint8_t* bytes, std::uint32_t n, std::uint32_t count) {
    Publish(count);
    if (!claiming || !claims) return;
    claimDigest = ClaimDigest(bytes, n, claimDigest);
    std::array<std::uint8_t, kClaimBytes> claim{};
    wav::StoreLe32(&claim[kClaimFromAt], claimFrom);
    wav::StoreLe32(&claim[kClaimCountAt], count);
    wav::StoreLe32(&claim[kClaimDigestAt], claimDigest);
    Seal(claim.data(), kClaimFromAt, kClaimSealAt);
    // Never waited for: a claim that did not make it leaves the seal.
    if (!platform::WriteAt(*claims, kProgressClaimAt, claim.data(), kClaimBytes)) claiming = false;
}

void ProgressSeal::Rewritten(std::uint32_t count) {
    Publish(count);
    claiming = false;
}

bool ProgressSeal::Write(std::uint32_t count) {
    if (!file) return false;
    const std::uint32_t next = sequence + 1;
    const auto slot = Slot(next, count);
    if (!platform::WriteAt(*file, kProgressSlotAt[next % 2], slot.data(), kProgressSlotBytes) || !file->sync())
        return false;
    sequence = next;
    sealedCount = count;
    return true;
}

bool ProgressSeal::SealNow(std::uint32_t count) {
    std::lock_guard hold(writing);
    // Already sealed, and nothing after it was ever counted: nothing to do.
    const std::uint32_t before = published.exchange(count, std::memory_order_acq_rel);
    RestartClaim(count);
    if (file && count == sealedCount && before <= count) return true;
    generation.fetch_add(1, std::memory_order_acq_rel);
    return Write(count);
}

void ProgressSeal::Stop() {
    claims.reset();
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
        seal = SealImage{wav::LoadLe32(slot + kProgressCountAt), {}, std::nullopt};
    }
    if (!seal) return seal;
    const auto* run = reinterpret_cast<const char*>(bytes + kProgressRunAt);
    seal->run.assign(run, std::find(run, run + kProgressRunBytes, '\0'));
    const std::uint8_t* claim = bytes + kProgressClaimAt;
    if (Sealed(claim, kClaimFromAt, kClaimSealAt) && wav::LoadLe32(claim + kClaimCountAt) != 0)
        seal->claim = SealClaim{wav::LoadLe32(claim + kClaimFromAt), wav::LoadLe32(claim + kClaimCountAt),
                                wav::LoadLe32(claim + kClaimDigestAt)};
    return seal;
}

std::optional<std::uint32_t> ReadSeal(platform::FileSystem& files, const std::string& path, const DigestOf& digestOf) {
    if (!files.exists(path)) return std::nullopt;
    const auto seal = ReadKept(files, path, ParseSeal);
    if (!seal) return std::nullopt;
    const std::string now = files.systemRun();
    if (!now.empty() && now == seal->run) return std::nullopt;
    // A claim counts only where the seal vouches for the bytes before it.
    const auto& c = seal->claim;
    if (c && c->from <= seal->count && c->count > seal->count && c->from <= c->count &&
        digestOf(c->from, c->count) == c->digest)
        return c->count;
    return seal->count;
}

std::uint32_t ClaimDigestStart() { return wav::kFnv32Basis; }

std::uint32_t ClaimDigest(const std::uint8_t* bytes, std::size_t n, std::uint32_t h) {
    return wav::Fnv1a32(bytes, n, h);
}

}  // namespace tavrin::storage
