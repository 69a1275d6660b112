#include "storage/BufferSpool.h"

#include <algorithm>

#include "wav/Formats.h"

namespace tavrin::storage {
namespace {

constexpr std::uint8_t kMagic[8] = {'T', 'V', 'B', 'U', 'F', 'F', 'E', 'R'};
constexpr std::uint32_t kFixed = 24;
constexpr std::uint32_t kCountAt = 12;

using platform::WriteAt;

}  // namespace

std::string BufferSpoolPathFor(const std::string& journalPath) { return journalPath + ".buffer"; }

bool BufferSpool::Start(platform::FileSystem& fileSystem, const std::string& spoolPath, std::uint32_t point,
                        const std::uint8_t* tailAudio, std::uint32_t tailAudioBytes, const std::uint8_t* trailer,
                        std::uint32_t trailerBytes) {
    Drop();
    std::vector<std::uint8_t> fixed(kFixed);
    std::copy(kMagic, kMagic + 8, fixed.begin());
    wav::StoreLe32(&fixed[8], point);
    wav::StoreLe32(&fixed[12], 0);
    wav::StoreLe32(&fixed[16], tailAudioBytes);
    wav::StoreLe32(&fixed[20], trailerBytes);
    if (tailAudioBytes) fixed.insert(fixed.end(), tailAudio, tailAudio + tailAudioBytes);
    if (trailerBytes) fixed.insert(fixed.end(), trailer, trailer + trailerBytes);
    auto spool = fileSystem.open(spoolPath, platform::OpenMode::ReadWriteCreate, false);
    const auto size = static_cast<std::uint32_t>(fixed.size());
    if (!spool || !spool->setLength(0) || !WriteAt(*spool, 0, fixed.data(), size) || !spool->sync() ||
        !fileSystem.syncFolder(platform::FolderOf(spoolPath))) {
        spool.reset();
        (void)fileSystem.remove(spoolPath);
        return false;
    }
    files = &fileSystem;
    file = std::move(spool);
    path = spoolPath;
    bufferStart = size;
    return true;
}

bool BufferSpool::StartWhole(platform::FileSystem& fileSystem, const std::string& spoolPath, std::uint32_t point,
                             const std::vector<std::uint8_t>& buffer, const std::vector<std::uint8_t>& tailAudio,
                             const std::vector<std::uint8_t>& trailer) {
    Drop();
    const auto count = [](const std::vector<std::uint8_t>& v) { return static_cast<std::uint32_t>(v.size()); };
    if (std::uint64_t{kFixed} + buffer.size() + tailAudio.size() + trailer.size() > 0xFFFFFFFFu) return false;
    std::uint8_t fixed[kFixed];
    std::copy(kMagic, kMagic + 8, fixed);
    wav::StoreLe32(&fixed[8], point);
    wav::StoreLe32(&fixed[kCountAt], count(buffer));
    wav::StoreLe32(&fixed[16], count(tailAudio));
    wav::StoreLe32(&fixed[20], count(trailer));
    auto spool = fileSystem.open(spoolPath, platform::OpenMode::ReadWriteCreate, false);
    const std::uint32_t start = kFixed + count(tailAudio) + count(trailer);
    const bool locked = spool && spool->tryLock();
    const bool made = locked && spool->setLength(0) && WriteAt(*spool, 0, fixed, kFixed) &&
                      WriteAt(*spool, kFixed, tailAudio.data(), count(tailAudio)) &&
                      WriteAt(*spool, kFixed + count(tailAudio), trailer.data(), count(trailer)) &&
                      WriteAt(*spool, start, buffer.data(), count(buffer)) && spool->sync() &&
                      fileSystem.syncFolder(platform::FolderOf(spoolPath));
    if (!made) {
        spool.reset();
        if (locked) (void)fileSystem.remove(spoolPath);
        return false;
    }
    files = &fileSystem;
    file = std::move(spool);
    path = spoolPath;
    bufferStart = start;
    return true;
}

void BufferSpool::Store(std::uint32_t offset, const std::uint8_t* source, std::uint32_t bytes, std::uint32_t count) {
    if (!file) return;
    if (!WriteAt(*file, bufferStart + offset, source, bytes)) return Drop();
    Shorten(count);
}

void BufferSpool::Shorten(std::uint32_t count) {
    if (!file) return;
    std::uint8_t value[4];
    wav::StoreLe32(value, count);
    if (!WriteAt(*file, kCountAt, value, 4)) return Drop();
    file->syncSoon();
}

bool BufferSpool::Sync() {
    if (!file) return false;
    if (file->sync()) return true;
    Drop();
    return false;
}

void BufferSpool::Drop() {
    if (!file) return;
    file.reset();
    (void)files->remove(path);
    path.clear();
}

void BufferSpool::Leave() {
    file.reset();
    path.clear();
}

std::optional<BufferImage> ParseBufferSpool(const std::uint8_t* image, std::size_t size) {
    if (size < kFixed || !std::equal(kMagic, kMagic + 8, image)) return std::nullopt;
    const std::uint64_t tailAudio = wav::LoadLe32(&image[16]);
    const std::uint64_t trailer = wav::LoadLe32(&image[20]);
    const std::uint64_t start = kFixed + tailAudio + trailer;
    if (start > size) return std::nullopt;
    const std::uint64_t count = std::min<std::uint64_t>(wav::LoadLe32(&image[kCountAt]), size - start);
    BufferImage spool;
    spool.point = wav::LoadLe32(&image[8]);
    spool.tailAudio.assign(image + kFixed, image + kFixed + tailAudio);
    spool.trailer.assign(image + kFixed + tailAudio, image + start);
    spool.buffer.assign(image + start, image + start + count);
    return spool;
}

std::optional<BufferImage> ReadBufferSpool(platform::FileSystem& files, const std::string& path) {
    const auto whole = platform::ReadWholeFile(files, path, 0xFFFFFFFFu);
    if (!whole) return std::nullopt;
    return ParseBufferSpool(whole->data(), whole->size());
}

}  // namespace tavrin::storage
