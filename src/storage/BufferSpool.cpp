#include "storage/BufferSpool.h"

#include <algorithm>
#include <array>

#include "storage/JournalFormats.h"
#include "wav/Formats.h"

namespace tavrin::storage {
namespace {

using namespace kept;
using platform::WriteAt;

// The fixed part: the mark, the point and the three counts.
std::array<std::uint8_t, kBufferFixed> Fixed(std::uint32_t point, std::uint32_t buffer, std::uint32_t tailAudio,
                                             std::uint32_t trailer) {
    std::array<std::uint8_t, kBufferFixed> fixed{};
    std::copy(kBufferMark.begin(), kBufferMark.end(), fixed.begin());
    wav::StoreLe32(&fixed[kPointAt], point);
    wav::StoreLe32(&fixed[kBufferCountAt], buffer);
    wav::StoreLe32(&fixed[kBufferTailAt], tailAudio);
    wav::StoreLe32(&fixed[kBufferChunksAt], trailer);
    return fixed;
}

}  // namespace

std::string BufferSpoolPathFor(const std::string& journalPath) { return journalPath + ".buffer"; }

bool BufferSpool::Start(platform::FileSystem& fileSystem, const std::string& spoolPath, std::uint32_t point,
                        const std::uint8_t* tailAudio, std::uint32_t tailAudioBytes, const std::uint8_t* trailer,
                        std::uint32_t trailerBytes) {
    Drop();
    const auto head = Fixed(point, 0, tailAudioBytes, trailerBytes);
    std::vector<std::uint8_t> fixed(head.begin(), head.end());
    if (tailAudioBytes) fixed.insert(fixed.end(), tailAudio, tailAudio + tailAudioBytes);
    if (trailerBytes) fixed.insert(fixed.end(), trailer, trailer + trailerBytes);
    auto spool = fileSystem.open(spoolPath, platform::OpenMode::ReadWriteCreate, false);
    const auto size = static_cast<std::uint32_t>(fixed.size());
    const bool made = spool && spool->setLength(0) && WriteAt(*spool, 0, fixed.data(), size) && spool->sync();
    // Without a seal the spool's own count is all recovery has, as before there were seals.
    if (made) seal = ProgressSeal::Start(fileSystem, SealPathFor(spoolPath), *spool, 0);
    if (!made || !fileSystem.syncFolder(platform::FolderOf(spoolPath))) {
        spool.reset();
        Unseal(fileSystem, spoolPath);
        (void)fileSystem.remove(spoolPath);
        return false;
    }
    files = &fileSystem;
    file = std::move(spool);
    path = spoolPath;
    bufferStart = size;
    counted = 0;
    return true;
}

bool BufferSpool::StartWhole(platform::FileSystem& fileSystem, const std::string& spoolPath, std::uint32_t point,
                             const std::vector<std::uint8_t>& buffer, const std::vector<std::uint8_t>& tailAudio,
                             const std::vector<std::uint8_t>& trailer) {
    Drop();
    const auto count = [](const std::vector<std::uint8_t>& v) { return static_cast<std::uint32_t>(v.size()); };
    if (std::uint64_t{kBufferFixed} + buffer.size() + tailAudio.size() + trailer.size() > 0xFFFFFFFFu) return false;
    const auto fixed = Fixed(point, count(buffer), count(tailAudio), count(trailer));
    auto spool = fileSystem.open(spoolPath, platform::OpenMode::ReadWriteCreate, false);
    const std::uint32_t start = kBufferFixed + count(tailAudio) + count(trailer);
    const bool locked = spool && spool->tryLock();
    bool made = locked && spool->setLength(0) && WriteAt(*spool, 0, fixed.data(), kBufferFixed) &&
                WriteAt(*spool, kBufferFixed, tailAudio.data(), count(tailAudio)) &&
                WriteAt(*spool, kBufferFixed + count(tailAudio), trailer.data(), count(trailer)) &&
                WriteAt(*spool, start, buffer.data(), count(buffer)) && spool->sync();
    if (made) seal = ProgressSeal::Start(fileSystem, SealPathFor(spoolPath), *spool, count(buffer));
    made = made && fileSystem.syncFolder(platform::FolderOf(spoolPath));
    if (!made) {
        spool.reset();
        if (locked) Unseal(fileSystem, spoolPath);
        if (locked) (void)fileSystem.remove(spoolPath);
        return false;
    }
    files = &fileSystem;
    file = std::move(spool);
    path = spoolPath;
    bufferStart = start;
    counted = count(buffer);
    return true;
}

void BufferSpool::Store(std::uint32_t offset, const std::uint8_t* source, std::uint32_t bytes, std::uint32_t count) {
    if (!file) return;
    if (!WriteAt(*file, bufferStart + offset, source, bytes)) return Drop();
    const bool appended = offset == counted && count == counted + bytes;
    if (!Count(count)) return;
    if (seal && appended) seal->Appended(source, bytes, count);
    if (seal && !appended) seal->Rewritten(count);
    file->syncSoon();
}

void BufferSpool::Shorten(std::uint32_t count) {
    if (!file) return;
    // Bytes after the count may be written again from now on: the seal must
    // not name them.
    if (seal && !seal->SealNow(count)) return Drop();
    if (Count(count)) file->syncSoon();
}

bool BufferSpool::Count(std::uint32_t count) {
    std::uint8_t value[4];
    wav::StoreLe32(value, count);
    if (!WriteAt(*file, kBufferCountAt, value, 4)) {
        Drop();
        return false;
    }
    counted = count;
    return true;
}

void BufferSpool::Unseal(platform::FileSystem& fileSystem, const std::string& spoolPath) {
    if (seal) seal->Stop();
    seal.reset();
    const std::string sealPath = SealPathFor(spoolPath);
    if (fileSystem.exists(sealPath)) (void)fileSystem.remove(sealPath);
}

bool BufferSpool::Sync() {
    if (!file) return false;
    // Recovery writes out what the seal names: all of it, from now on.
    if (file->sync() && (!seal || seal->SealNow(counted))) return true;
    Drop();
    return false;
}

void BufferSpool::Drop() {
    if (!file) return;
    file.reset();
    // The spool goes first: a seal left alone is a stray, a spool without
    // its seal is read by its own count.
    (void)files->remove(path);
    Unseal(*files, path);
    path.clear();
}

void BufferSpool::Leave() {
    if (seal) seal->Stop();
    seal.reset();
    file.reset();
    path.clear();
}

std::optional<BufferImage> ParseBufferSpool(const std::uint8_t* image, std::size_t size,
                                            std::optional<std::uint32_t> sealed) {
    if (size < kBufferFixed || !HasMark(image, kBufferMark)) return std::nullopt;
    const std::uint64_t tailAudio = wav::LoadLe32(&image[kBufferTailAt]);
    const std::uint64_t trailer = wav::LoadLe32(&image[kBufferChunksAt]);
    const std::uint64_t start = kBufferFixed + tailAudio + trailer;
    if (start > size) return std::nullopt;
    const std::uint64_t count = std::min<std::uint64_t>(sealed.value_or(wav::LoadLe32(&image[kBufferCountAt])), size - start);
    BufferImage spool;
    spool.point = wav::LoadLe32(&image[kPointAt]);
    spool.tailAudio.assign(image + kBufferFixed, image + kBufferFixed + tailAudio);
    spool.trailer.assign(image + kBufferFixed + tailAudio, image + start);
    spool.buffer.assign(image + start, image + start + count);
    return spool;
}

std::optional<BufferImage> ReadBufferSpool(platform::FileSystem& files, const std::string& path) {
    // The count in the spool may have landed before the bytes it counts, or
    // torn; the seal names only bytes that were on the medium, or that the
    // writer's claim still matches.
    const auto whole = platform::ReadWholeFile(files, path, 0xFFFFFFFFu);
    if (!whole || whole->size() < kBufferFixed) return std::nullopt;
    // Where the buffer starts; ParseBufferSpool checks it before anything is read there.
    const std::uint64_t start = kBufferFixed + std::uint64_t{wav::LoadLe32(&(*whole)[kBufferTailAt])} +
                                wav::LoadLe32(&(*whole)[kBufferChunksAt]);
    const auto digestOf = [&](std::uint32_t from, std::uint32_t count) -> std::optional<std::uint32_t> {
        if (start + count > whole->size()) return std::nullopt;
        return ClaimDigest(whole->data() + start + from, count - from, ClaimDigestStart());
    };
    return ParseBufferSpool(whole->data(), whole->size(), ReadSeal(files, SealPathFor(path), digestOf));
}

}  // namespace tavrin::storage
