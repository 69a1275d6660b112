#include "storage/JournalMatch.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "storage/BufferSpool.h"
#include "storage/JournalFormats.h"
#include "storage/TrailingChunks.h"
#include "wav/HeaderLayout.h"
#include "wav/WavChunkReader.h"

namespace tavrin::storage {
namespace {

using platform::ReadAt;
using Verdict = JournalMatch::Verdict;

JournalMatch Another(std::string why) { return {Verdict::Another, std::move(why), 0}; }

// What a new recording's file holds before its first byte of audio: the
// header the journal gave it, a part of it, or zeros where a crash left the
// header unwritten.
bool HoldsNewHeader(const JournalEntry& e, const std::vector<std::uint8_t>& held) {
    if (std::all_of(held.begin(), held.end(), [](std::uint8_t b) { return b == 0; })) return true;
    const std::vector<std::uint8_t> header = NewRecordingHeader(e, 0);
    for (std::uint32_t i = 0; i < held.size(); ++i)
        if (!wav::IsCountByte(e.Places(), i) && held[i] != header[i]) return false;
    return true;
}

// An edit of an earlier version's journal: the file still has the format
// and the data chunk the edit recorded.
bool HoldsEditedFormat(const JournalEntry& e, std::vector<std::uint8_t> header) {
    const auto size = static_cast<std::uint32_t>(header.size());
    wav::SetHeaderCounts(header.data(), e.Places(), size, 0);
    wav::WavInfo info;
    return wav::ParseWavBytes(header.data(), size, info) != wav::kParseUnusable && info.dataStart == size &&
           info.blockAlign == e.blockAlign && info.avgBytesPerSec == e.avgBytesPerSec;
}

// True when chunks (an id, a size, their bytes, word-aligned) follow one
// another from `at` to the end of the file exactly: a finished recording of
// another program, never the zeros or the audio a crash leaves there.
bool ChunksToTheEnd(platform::File& file, std::uint64_t at, std::uint32_t size) {
    for (int chunks = 0; chunks < 1000; ++chunks) {
        if (at == size) return chunks > 0;
        std::uint8_t head[8];
        if (at + 8 > size || !ReadAt(file, static_cast<std::uint32_t>(at), head, 8) || !wav::LooksLikeChunkId(head))
            return false;
        const std::uint32_t bytes = wav::LoadLe32(head + 4);
        at += 8 + std::uint64_t{bytes} + bytes % 2;
    }
    return false;
}

bool FinishedWithChunks(platform::File& file, const JournalEntry& e, const std::vector<std::uint8_t>& header,
                        std::uint32_t size) {
    const std::uint64_t audioEnd = std::uint64_t{e.dataChunkPos} + 8 + wav::LoadLe32(&header[e.dataChunkPos + 4]);
    return audioEnd < size && (ChunksToTheEnd(file, audioEnd, size) || ChunksToTheEnd(file, audioEnd + 1, size));
}

// The point a spool or a trailer file beside the journal holds; nullopt when
// it does not start with `mark`.
std::optional<std::uint32_t> KeptPoint(platform::FileSystem& files, const std::string& path, const kept::Mark& mark) {
    if (!files.exists(path)) return std::nullopt;
    auto file = files.open(path, platform::OpenMode::ReadOnly, false);
    std::uint8_t head[kept::kPointAt + 4];
    if (!file || !ReadAt(*file, 0, head, sizeof head) || !kept::HasMark(head, mark)) return std::nullopt;
    return wav::LoadLe32(head + kept::kPointAt);
}

// Why what the journal kept beside it cannot belong to a file of `size`
// bytes; empty when it can. Read before anything is changed.
std::string KeptNonsense(platform::FileSystem& files, const JournalEntry& e, const std::string& journal,
                         std::uint32_t size) {
    const std::uint32_t audioStart = e.dataChunkPos + 8;
    const auto outside = [&](const std::string& path, const kept::Mark& mark) {
        const auto point = KeptPoint(files, path, mark);
        return point && (*point < audioStart || *point > size);
    };
    // A new recording's buffer starts with its header: it has no point.
    if (e.buffered && e.kind == JournalEntry::Kind::Edit && outside(BufferSpoolPathFor(journal), kept::kBufferMark))
        return "its spool belongs outside the file";
    if (!e.buffered &&
        (outside(SpoolPathFor(journal), kept::kSpliceStart) || outside(InsertSpoolPathFor(journal), kept::kInsertMark)))
        return "its inserted audio belongs outside the file";
    // An overwrite may end the audio before the chunks lay: only their start is bounded.
    const auto chunksAt = KeptPoint(files, TrailerPathFor(journal), kept::kTrailerStart);
    if (!e.buffered && chunksAt && *chunksAt < audioStart) return "its chunks belong inside the header";
    return {};
}

JournalMatch MatchContents(platform::FileSystem& files, platform::File& file, const JournalEntry& e,
                           const std::string& journal, std::uint32_t size, bool sameFile) {
    const std::uint32_t audioStart = e.dataChunkPos + 8;
    const bool create = e.kind == JournalEntry::Kind::Create;
    if (!create && size < audioStart) return Another("it is shorter than the header the edit began from");
    std::vector<std::uint8_t> header(std::min(size, audioStart));
    if (!ReadAt(file, 0, header.data(), static_cast<std::uint32_t>(header.size()))) return {};
    if (create && !sameFile && !HoldsNewHeader(e, header))
        return Another("it holds something other than the new recording begun there");
    // The very file, whose journal kept the header the edit began from: a
    // header torn by a power cut is written again from there.
    const bool keptHeader = !create && sameFile && !e.head.empty();
    if (!create && !keptHeader && std::memcmp(&header[e.dataChunkPos], "data", 4) != 0)
        return Another("its audio is not where the edit left it");
    if (!create && !keptHeader && e.start &&
        HeaderDigest(header.data(), e.dataChunkPos, e.factValuePos) != e.start->header)
        return Another("its header is not the one the edit began from");
    if (!create && !e.start && !HoldsEditedFormat(e, header))
        return Another("its format is not the one the edit recorded");
    // Unless it is the very file, a finished recording of another program
    // could pass for ours; none of our changes leaves chunks after the
    // audio, unless an edit kept them (in a trailer file or its spool).
    const bool keptChunks = e.buffered || files.exists(TrailerPathFor(journal));
    const bool mayHoldChunks = sameFile || header.size() != audioStart || (!create && keptChunks);
    if (!mayHoldChunks && FinishedWithChunks(file, e, header, size))
        return Another("it is a finished recording with chunks after its audio");
    if (std::string why = KeptNonsense(files, e, journal, size); !why.empty()) return Another(std::move(why));
    return {Verdict::Matches, {}, size};
}

}  // namespace

JournalMatch MatchJournal(platform::FileSystem& files, platform::File& file, const JournalEntry& entry,
                          const std::string& journalPath) {
    std::uint32_t size = 0;
    if (!file.size(size)) return {};
    const auto identity = entry.file ? file.identity() : std::nullopt;
    return MatchContents(files, file, entry, journalPath, size, identity && *identity == *entry.file);
}

}  // namespace tavrin::storage
