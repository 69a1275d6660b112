#include "waveform/PeakCache.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "wav/Digest.h"
#include "wav/Formats.h"

namespace tavrin::waveform {
namespace {

constexpr std::array<std::uint8_t, 4> kMagic{'T', 'V', 'P', 'K'};
constexpr std::uint32_t kVersion = 1;
// magic, version, size (8), seconds (8), nanoseconds (4), bucket count
constexpr std::uint32_t kHeaderBytes = 4 + 4 + 8 + 8 + 4 + 4;
// More than four days of recording: a file claiming more is damaged.
constexpr std::uint32_t kMostBuckets = 10'000'000;

void Put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::vector<std::uint8_t> Header(const platform::DirectoryEntry& entry, std::uint32_t count) {
    std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
    wav::AppendLe32(out, kVersion);
    Put64(out, entry.size);
    Put64(out, static_cast<std::uint64_t>(entry.modifiedSeconds));
    wav::AppendLe32(out, static_cast<std::uint32_t>(entry.modifiedNanoseconds));
    wav::AppendLe32(out, count);
    return out;
}

}  // namespace

std::string PeakCache::FileFor(const std::string& recording) const {
    // Named by the digest of the path: two paths that share one are told
    // apart by the size and time check (a wrong waveform, never a wrong
    // recording).
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.peaks",
                  static_cast<unsigned long long>(wav::Fnv1a64(platform::AbsolutePath(recording))));
    return folder + "/" + name;
}

std::optional<std::vector<std::uint8_t>> PeakCache::Load(const std::string& recording,
                                                        const platform::DirectoryEntry& entry) {
    if (folder.empty()) return std::nullopt;
    const auto bytes = platform::ReadWholeFile(files, FileFor(recording), kHeaderBytes + kMostBuckets);
    if (!bytes || bytes->size() < kHeaderBytes) return std::nullopt;
    const std::uint8_t* p = bytes->data();
    const std::uint32_t count = wav::LoadLe32(p + 28);
    const std::vector<std::uint8_t> expected = Header(entry, count);
    if (!std::equal(expected.begin(), expected.end(), p) || bytes->size() != kHeaderBytes + std::size_t{count}) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(bytes->begin() + kHeaderBytes, bytes->end());
}

bool PeakCache::Store(const std::string& recording, const platform::DirectoryEntry& entry,
                      const std::vector<std::uint8_t>& peaks) {
    if (folder.empty()) return false;
    // The cache folder and the one above it (~/.cache) may not exist yet.
    if (!files.isDirectory(folder)) {
        static_cast<void>(files.createDirectory(platform::FolderOf(folder)));
        if (!files.createDirectory(folder) && !files.isDirectory(folder)) return false;
    }
    // Not synced: a cache torn by a power cut fails the length check, or at
    // worst draws a wrong picture until the recording changes.
    std::vector<std::uint8_t> bytes = Header(entry, static_cast<std::uint32_t>(peaks.size()));
    bytes.insert(bytes.end(), peaks.begin(), peaks.end());
    const std::string target = FileFor(recording);
    const std::string partial = target + ".part";
    auto file = files.open(partial, platform::OpenMode::ReadWriteCreate, false);
    const bool written = file && file->setLength(0) &&
                         platform::WriteAt(*file, 0, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    file.reset();
    if (!written || !files.moveReplacing(partial, target)) {
        static_cast<void>(files.remove(partial));
        return false;
    }
    return true;
}

}  // namespace tavrin::waveform
