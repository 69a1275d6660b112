#include "storage/TrailingChunks.h"

#include <algorithm>
#include <cstring>

#include "storage/HeaderWriting.h"
#include "storage/JournalFormats.h"
#include "wav/Formats.h"
#include "wav/WavChunkReader.h"

namespace tavrin::storage {
namespace {

using platform::ReadAt;
using platform::WriteAt;

// Writes `pad` zero bytes and then `bytes` at `end`: the file's end after them.
std::optional<std::uint32_t> WriteBehind(platform::File& file, std::uint32_t end, std::uint32_t pad,
                                         const std::uint8_t* bytes, std::uint32_t n) {
    const std::uint64_t fileEnd = std::uint64_t{end} + pad + n;
    if (fileEnd > 0xFFFFFFFFu) return std::nullopt;
    static constexpr std::uint8_t kPad[1] = {0};
    if (!WriteAt(file, end, kPad, pad) || !WriteAt(file, end + pad, bytes, n)) return std::nullopt;
    return static_cast<std::uint32_t>(fileEnd);
}

}  // namespace

std::optional<SavedTrailer> ParseTrailerFile(const std::uint8_t* image, std::size_t size) {
    using namespace kept;
    if (size < kTrailerChunksAt + kMarkBytes) return std::nullopt;
    const std::uint64_t count = wav::LoadLe32(&image[kTrailerCountAt]);
    if (!HasMark(image, kTrailerStart) || kTrailerChunksAt + count + kMarkBytes != size ||
        !HasMark(image + size - kMarkBytes, kTrailerEnd))
        return std::nullopt;
    SavedTrailer saved;
    saved.takenAt = wav::LoadLe32(&image[kPointAt]);
    saved.bytes.assign(image + kTrailerChunksAt, image + size - kMarkBytes);
    return saved;
}

TrailerPlacement PlaceTrailer(const std::uint8_t* bytes, std::uint32_t size, std::uint32_t dataStart,
                              std::uint32_t takenAt, std::uint32_t end) {
    if (end == takenAt) return {};  // the file keeps them exactly as they were
    TrailerPlacement place;
    // After odd-sized audio a pad byte came first, unless its writer left it out.
    const bool oddBefore = (takenAt - dataStart) % 2 != 0;
    if (oddBefore && size > 0 && (size < 4 || !wav::LooksLikeChunkId(bytes))) place.skip = 1;
    place.pad = (end - dataStart) % 2;
    return place;
}

bool TrailingChunks::Take(platform::File& file, platform::Memory& platformMemory, std::uint32_t audioStart,
                          std::uint32_t at, std::uint32_t bytes) {
    LetGo();
    if (bytes == 0 || bytes > kMaxBytes) return false;
    void* block = platformMemory.commit(bytes);
    if (!block) return false;
    memory = &platformMemory;
    data = static_cast<std::uint8_t*>(block);
    size = bytes;
    dataStart = audioStart;
    audioEnd = at;
    if (ReadAt(file, at, data, bytes)) return true;
    LetGo();
    return false;
}

bool TrailingChunks::Save(platform::FileSystem& files, const std::string& path) {
    if (!Held() || !MakeStateFolder(files, platform::FolderOf(path))) return false;
    using namespace kept;
    std::uint8_t head[kTrailerChunksAt];
    std::copy(kTrailerStart.begin(), kTrailerStart.end(), head);
    wav::StoreLe32(head + kPointAt, audioEnd);
    wav::StoreLe32(head + kTrailerCountAt, size);
    auto file = files.open(path, platform::OpenMode::ReadWriteCreate, false);
    // Another program holding it edits the same recording now.
    if (!file || !file->tryLock()) return false;
    // Its name must last as its contents do, before the journal's does.
    const bool whole = file->setLength(0) && WriteAt(*file, 0, head, kTrailerChunksAt) &&
                       WriteAt(*file, kTrailerChunksAt, data, size) &&
                       WriteAt(*file, kTrailerChunksAt + size, kTrailerEnd.data(), kMarkBytes) &&
                       file->sync() && files.syncFolder(platform::FolderOf(path));
    if (whole) {
        savedAt = path;
        lock = std::move(file);
        return true;
    }
    file.reset();
    (void)files.remove(path);
    return false;
}

std::optional<std::uint32_t> TrailingChunks::PutBack(platform::File& file, std::uint32_t end) const {
    if (!Held()) return end;
    const TrailerPlacement place = PlaceTrailer(data, size, dataStart, audioEnd, end);
    return WriteBehind(file, end, place.pad, data + place.skip, size - place.skip);
}

void TrailingChunks::LetGo() {
    if (data) memory->release(data, size);
    data = nullptr;
    size = 0;
    savedAt.clear();
    lock.reset();
}

void TrailingChunks::Forget(platform::FileSystem& files) {
    if (!savedAt.empty()) (void)files.remove(savedAt);
    LetGo();
}

RecoveredAudio RecoveredAudioEnd(platform::File& file, const JournalEntry& entry) {
    const std::uint32_t dataStart = entry.dataChunkPos + 8;
    std::uint32_t size = 0;
    std::uint8_t data[8];
    if (!file.size(size)) return {true, {}};
    if (size < dataStart) return {};  // not the journal's recording: never touched
    if (!ReadAt(file, entry.dataChunkPos, data, 8)) return {true, {}};
    if (std::memcmp(data, "data", 4) != 0) return {};
    // The header is exact by now: the audio ends where it says.
    const std::uint64_t end = std::uint64_t{dataStart} + wav::LoadLe32(data + 4);
    if (end > size) return {true, {}};
    return {false, static_cast<std::uint32_t>(end)};
}

bool RestoreTrailingChunks(platform::FileSystem& files, platform::File& file, const JournalEntry& entry,
                           const std::string& journalPath) {
    const std::string path = TrailerPathFor(journalPath);
    if (entry.kind != JournalEntry::Kind::Edit || !files.exists(path)) return true;
    // A torn one was never followed by this journal: it goes as a stray.
    const std::optional<SavedTrailer> saved = kept::ReadKept(files, path, ParseTrailerFile);
    if (!saved) return true;
    const std::uint32_t dataStart = entry.dataChunkPos + 8;
    const RecoveredAudio audio = RecoveredAudioEnd(file, entry);
    if (audio.failed) return false;
    if (!audio.end) return true;
    const std::uint32_t end = *audio.end;
    const auto bytes = static_cast<std::uint32_t>(saved->bytes.size());
    const TrailerPlacement place = PlaceTrailer(saved->bytes.data(), bytes, dataStart, saved->takenAt, end);
    const std::optional<std::uint32_t> fileEnd = WriteBehind(file, end, place.pad,
                                                             saved->bytes.data() + place.skip, bytes - place.skip);
    if (!fileEnd) return false;
    return file.setLength(*fileEnd) && WriteRiffSize(file, *fileEnd) && file.sync();
}

}  // namespace tavrin::storage
