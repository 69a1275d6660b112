#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/FileSystem.h"

namespace tavrin::storage {

// How much of a change is surely on the medium, kept beside its journal so
// that recovery never counts audio a power cut lost or tore.
//
// A change writes its audio (into the recording on fast media, into the
// buffer spool on slow media) with a count of it, and the platform syncs
// both soon, in no order the disk promises: the count may land while the
// audio it counts does not, or tear. The seal names a count only once a sync
// that began after it was written has succeeded; it is written on the
// syncing thread, and synced there before the next sync begins.
//
// Beside it the writer claims, with every block and without waiting, the
// count it has written and a digest of the bytes since the seal's start: a
// program killed, or a power cut after which all of it landed anyway, leaves
// a claim the bytes still match. Recovery trusts the greater of the seal and
// a claim it checked, over any count the file holds. The layout is drawn in
// JournalFormats.h.
class ProgressSeal final : public platform::SyncWatcher {
public:
    // Makes the seal at `path` naming `count`, synced, and has `watched`
    // tell the seal of its syncs from now on. Null when it could not be made
    // (nothing is left behind) or `watched` cannot tell of its syncs.
    [[nodiscard]] static std::shared_ptr<ProgressSeal> Start(platform::FileSystem& files, const std::string& path,
                                                             platform::File& watched, std::uint32_t count);

    // The count once what was written so far is on the medium. Called before
    // the sync is asked for, on the thread that writes.
    void Publish(std::uint32_t count) { published.store(count, std::memory_order_release); }
    // The same after `n` bytes were appended at the end of what is counted
    // (the count was `count` - n): claimed as well.
    void Appended(const std::uint8_t* bytes, std::uint32_t n, std::uint32_t count);
    // Bytes were written over what is counted: no claim follows them any more.
    void Rewritten(std::uint32_t count);
    // Seals `count` at once and waits for it: a count that shrinks must be
    // sealed before the bytes after it are written again. Claims start again from it.
    [[nodiscard]] bool SealNow(std::uint32_t count);
    // Seals no more; the seal stays where it is, for recovery or for removal.
    void Stop();

    void syncing() override;
    void synced() override;

private:
    ProgressSeal() = default;
    bool Write(std::uint32_t count);  // under `writing`

    std::atomic<std::uint32_t> published{0};
    // Bumped by SealNow: a sync that began before it seals nothing.
    std::atomic<std::uint32_t> generation{0};
    // The syncing thread's, from syncing() to synced().
    std::uint32_t syncingCount = 0;
    std::uint32_t syncingGeneration = 0;
    std::mutex writing;
    std::unique_ptr<platform::File> file;  // null once stopped
    std::uint32_t sequence = 0;
    std::uint32_t sealedCount = 0;  // the count of the newest slot
    // The writing thread's: the claim and the handle it goes through.
    std::unique_ptr<platform::File> claims;
    bool claiming = true;  // the bytes from claimFrom on were only appended
    std::uint32_t claimFrom = 0;
    std::uint32_t claimDigest = 0;
    void RestartClaim(std::uint32_t count);
};

std::string SealPathFor(const std::string& journalPath);

// What a writer claimed: the bytes [from, count) digest to `digest`.
struct SealClaim {
    std::uint32_t from = 0;
    std::uint32_t count = 0;
    std::uint32_t digest = 0;
};
// What a seal holds: the count of its newest whole slot, the system's run it
// was made in, and the writer's last claim when it is whole.
struct SealImage {
    std::uint32_t count = 0;
    std::string run;
    std::optional<SealClaim> claim;
};
// Nullopt when it is not a seal, or no slot is whole.
[[nodiscard]] std::optional<SealImage> ParseSeal(const std::uint8_t* bytes, std::size_t size);

// The digest of the bytes [from, count) the counts stand for; nullopt when
// they cannot be read.
using DigestOf = std::function<std::optional<std::uint32_t>(std::uint32_t from, std::uint32_t count)>;

// The count recovery trusts from the seal at `path`: the seal's, or the
// writer's claim where `digestOf` the bytes matches it. None when there is no
// seal, or when the system still runs as it did when the seal was made: then
// the program was killed, not the power cut, all it wrote stays, and the
// counts it wrote with its audio hold, up to the last block stored.
[[nodiscard]] std::optional<std::uint32_t> ReadSeal(platform::FileSystem& files, const std::string& path,
                                                    const DigestOf& digestOf);
// The digest a claim gives of `n` bytes following ones that digested to `h`.
std::uint32_t ClaimDigest(const std::uint8_t* bytes, std::size_t n, std::uint32_t h);
std::uint32_t ClaimDigestStart();

}  // namespace tavrin::storage
