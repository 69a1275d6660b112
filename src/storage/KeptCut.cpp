#include "storage/KeptCut.h"

#include <algorithm>
#include <cstring>

#include "wav/Formats.h"

namespace tavrin::storage {
namespace {

using platform::ReadAt;
using platform::WriteAt;

constexpr std::uint8_t kMagic[8] = {'T', 'V', 'U', 'N', 'D', 'C', 'U', 'T'};
constexpr std::uint32_t kHead = 20;
// The removed audio is copied in steps of this size: a cut of an hour needs
// no hour of memory to be kept.
constexpr std::uint32_t kStep = 1u << 20;

// FNV-1a, carried on over several ranges.
std::uint32_t Digest(std::uint32_t h, const std::vector<std::uint8_t>& bytes) {
    for (const std::uint8_t b : bytes) h = (h ^ b) * 16777619u;
    return h;
}

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
    print.digest = Digest(Digest(2166136261u, header), after);
    return print;
}

std::string KeptCutPathFor(const std::string& journalPath) { return journalPath + ".undo"; }

bool KeptCut::Keep(platform::FileSystem& fileSystem, const std::string& keptPath, platform::File& source,
                   std::uint32_t at, std::uint32_t bytes, const std::uint8_t* chunks, std::uint32_t chunkCount) {
    Forget();
    if (std::uint64_t{kHead} + bytes + chunkCount > 0xFFFFFFFFu) return false;
    auto kept = fileSystem.open(keptPath, platform::OpenMode::ReadWriteCreate, false);
    std::uint8_t head[kHead];
    std::memcpy(head, kMagic, 8);
    wav::StoreLe32(head + 8, at);
    wav::StoreLe32(head + 12, bytes);
    wav::StoreLe32(head + 16, chunkCount);
    // Locked before anything is written: recovery elsewhere leaves it be.
    const bool locked = kept && kept->tryLock();
    const bool made = locked && kept->setLength(0) && WriteAt(*kept, 0, head, kHead) &&
                      Copy(source, at, *kept, kHead, bytes) && WriteAt(*kept, kHead + bytes, chunks, chunkCount) &&
                      kept->sync() && fileSystem.syncFolder(platform::FolderOf(keptPath));
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
    std::uint8_t head[kHead];
    if (!ReadAt(*file, 0, head, kHead) || std::memcmp(head, kMagic, 8) != 0 || wav::LoadLe32(head + 8) != point ||
        wav::LoadLe32(head + 12) != audioBytes || wav::LoadLe32(head + 16) != chunkBytes)
        return false;
    audio.resize(audioBytes);
    chunks.resize(chunkBytes);
    return ReadAt(*file, kHead, audio.data(), audioBytes) && ReadAt(*file, kHead + audioBytes, chunks.data(), chunkBytes);
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
