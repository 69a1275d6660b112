#include "storage/KeptCut.h"

#include <algorithm>

#include "storage/JournalFormats.h"
#include "wav/Digest.h"
#include "wav/Formats.h"

namespace tavrin::storage {
namespace {

using kept::kCutAudioAt;
using platform::ReadAt;
using platform::WriteAt;

// The removed audio is copied in steps of this size: a cut of an hour needs
// no hour of memory to be kept.
constexpr std::uint32_t kStep = 1u << 20;

bool Copy(platform::File& from, std::uint32_t at, platform::File& to, std::uint32_t into, std::uint32_t bytes) {
    std::vector<std::uint8_t> step(std::min(bytes, kStep));
    for (std::uint32_t done = 0; done < bytes;) {
        const std::uint32_t n = std::min(bytes - done, kStep);
        if (!ReadAt(from, at + done, step.data(), n) || !WriteAt(to, into + done, step.data(), n)) return false;
        done += n;
    }
    return true;
}

}  // namespace

std::optional<FilePrint> PrintOf(platform::File& file, std::uint32_t dataStart, std::uint32_t dataEnd) {
    FilePrint print;
    if (!file.size(print.size) || dataStart > dataEnd || dataEnd > print.size) return std::nullopt;
    std::vector<std::uint8_t> header(dataStart);
    std::vector<std::uint8_t> after(print.size - dataEnd);
    // A slow recording reads on from the file pointer: it stays where it was.
    const std::uint32_t at = file.tell();
    const bool read = ReadAt(file, 0, header.data(), dataStart) &&
                      ReadAt(file, dataEnd, after.data(), static_cast<std::uint32_t>(after.size()));
    if (!file.seek(at) || !read) return std::nullopt;
    print.identity = file.identity();
    print.digest = wav::Fnv1a32(after.data(), after.size(), wav::Fnv1a32(header.data(), header.size()));
    return print;
}

std::string KeptCutPathFor(const std::string& journalPath) { return journalPath + ".undo"; }

bool KeptCut::Keep(platform::FileSystem& fileSystem, const std::string& keptPath, platform::File& source,
                   std::uint32_t at, std::uint32_t bytes, const std::uint8_t* chunks, std::uint32_t chunkCount) {
    Forget();
    if (std::uint64_t{kCutAudioAt} + bytes + chunkCount > 0xFFFFFFFFu) return false;
    auto kept = fileSystem.open(keptPath, platform::OpenMode::ReadWriteCreate, false);
    std::uint8_t head[kCutAudioAt];
    std::copy(kept::kCutMark.begin(), kept::kCutMark.end(), head);
    wav::StoreLe32(head + kept::kPointAt, at);
    wav::StoreLe32(head + kept::kCutCountAt, bytes);
    wav::StoreLe32(head + kept::kCutChunksCountAt, chunkCount);
    // Locked before anything is written: recovery elsewhere leaves it be.
    const bool locked = kept && kept->tryLock();
    const bool made = locked && kept->setLength(0) && WriteAt(*kept, 0, head, kCutAudioAt) &&
                      Copy(source, at, *kept, kCutAudioAt, bytes) &&
                      WriteAt(*kept, kCutAudioAt + bytes, chunks, chunkCount) && kept->sync() &&
                      fileSystem.syncFolder(platform::FolderOf(keptPath));
    if (!made) {
        kept.reset();
        if (locked) (void)fileSystem.remove(keptPath);
        return false;
    }
    files = &fileSystem;
    file = std::move(kept);
    path = keptPath;
    point = at;
    audioBytes = bytes;
    chunkBytes = chunkCount;
    return true;
}

void KeptCut::NoteCutFile(const std::string& cutRecording, const FilePrint& cutPrint, std::uint32_t from) {
    if (!file) return;
    recording = cutRecording;
    print = cutPrint;
    fromBlock = from;
    noted = true;
}

bool KeptCut::Read(std::vector<std::uint8_t>& audio, std::vector<std::uint8_t>& chunks) const {
    if (!file) return false;
    std::uint8_t head[kCutAudioAt];
    if (!ReadAt(*file, 0, head, kCutAudioAt) || !kept::HasMark(head, kept::kCutMark) ||
        wav::LoadLe32(head + kept::kPointAt) != point || wav::LoadLe32(head + kept::kCutCountAt) != audioBytes ||
        wav::LoadLe32(head + kept::kCutChunksCountAt) != chunkBytes)
        return false;
    audio.resize(audioBytes);
    chunks.resize(chunkBytes);
    return ReadAt(*file, kCutAudioAt, audio.data(), audioBytes) &&
           ReadAt(*file, kCutAudioAt + audioBytes, chunks.data(), chunkBytes);
}

void KeptCut::Forget() {
    noted = false;
    recording.clear();
    if (!file) return;
    file.reset();
    (void)files->remove(path);
    path.clear();
}

}  // namespace tavrin::storage
