#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/FileSystem.h"
#include "wav/Digest.h"
#include "wav/Formats.h"

namespace tavrin::storage {

// A journal (see Journal.h) is text, one field a line:
//
//   tavrin-journal 2
//   create | edit, with "-buffered" added for a change on slow media
//   the recording's path, in hex
//   dataChunkPos factValuePos blockAlign avgBytesPerSec
//   a new recording's header from "WAVE" to its data chunk, in hex ("-": none)
//   an edit's start: 16 hex digits of the header digest, claimed, held ("-": none)
//   end
//   file <device> <inode>      (noted once a new recording's file exists)
//
// A journal of the first version names itself "tavrin-journal 1" and has
// neither the start line nor the file line.
inline constexpr const char* kJournalMagic = "tavrin-journal 2";
inline constexpr const char* kJournalMagicFirst = "tavrin-journal 1";

}  // namespace tavrin::storage

namespace tavrin::storage::kept {

// The files a change keeps beside its journal. Each starts with a mark of its own and, right after it,
// the file offset its bytes belong at, so that recovery can check where a
// kept file points before it acts on it. Numbers are little-endian.
using Mark = std::array<std::uint8_t, 8>;
inline constexpr std::uint32_t kMarkBytes = 8;
inline constexpr std::uint32_t kPointAt = 8;

// Whether the kMarkBytes at `bytes` are `mark`.
inline bool HasMark(const std::uint8_t* bytes, const Mark& mark) { return std::equal(mark.begin(), mark.end(), bytes); }

// The seal at `sealAt` is the FNV-1a 32 of the fields from `from` up to it:
// enough to tell a record torn by a crash from a whole one.
inline void Seal(std::uint8_t* bytes, std::uint32_t from, std::uint32_t sealAt) {
    wav::StoreLe32(bytes + sealAt, wav::Fnv1a32(bytes + from, sealAt - from));
}
inline bool Sealed(const std::uint8_t* bytes, std::uint32_t from, std::uint32_t sealAt) {
    return wav::LoadLe32(bytes + sealAt) == wav::Fnv1a32(bytes + from, sealAt - from);
}

// Reads a kept file whole and hands it to `parse` (bytes, size), which
// answers an optional; nullopt when it cannot be read.
template <typename Parse>
auto ReadKept(platform::FileSystem& files, const std::string& path, Parse parse) -> decltype(parse(nullptr, 0)) {
    const auto whole = platform::ReadWholeFile(files, path, 0xFFFFFFFFu);
    if (!whole) return std::nullopt;
    return parse(whole->data(), whole->size());
}

// The chunks after the audio of a file edited on fast media (<journal>.trailer,
// see TrailingChunks.h). One that lacks its end mark or its count is torn.
//
//    0  "TVTRAILR"
//    8  where the chunks lay (the end of the audio when they were taken)
//   12  count of chunk bytes (C)
//   16  the chunks
//   16 + C  "TVTREND."
inline constexpr Mark kTrailerStart{'T', 'V', 'T', 'R', 'A', 'I', 'L', 'R'};
inline constexpr Mark kTrailerEnd{'T', 'V', 'T', 'R', 'E', 'N', 'D', '.'};
inline constexpr std::uint32_t kTrailerCountAt = 12;
inline constexpr std::uint32_t kTrailerChunksAt = 16;

// The buffer of a change on slow media (<journal>.buffer, see BufferSpool.h).
// The fixed part and what follows the buffer are synced before the recording
// changes; the buffer count grows as the buffer does.
//
//    0  "TVBUFFER"
//    8  file offset of the buffer's first byte
//   12  count of buffer bytes (B)
//   16  count of old audio bytes after the buffer, an insertion's tail (T)
//   20  count of chunk bytes after the audio (C)
//   24  the old audio, then the chunks, then the buffer
inline constexpr Mark kBufferMark{'T', 'V', 'B', 'U', 'F', 'F', 'E', 'R'};
inline constexpr std::uint32_t kBufferCountAt = 12;
inline constexpr std::uint32_t kBufferTailAt = 16;
inline constexpr std::uint32_t kBufferChunksAt = 20;
inline constexpr std::uint32_t kBufferFixed = 24;

// An insertion's splice (<journal>.spool): the inserted audio and the tail as
// it was, written whole before the tail moves.
//
//    0  "TVSPLICE"
//    8  file offset where the added audio goes
//   12  count of added bytes (A)
//   16  count of tail bytes (T)
//   20  the added audio, then the tail
//   20 + A + T  "TVSPLEND"   (present only once the spool was written whole)
inline constexpr Mark kSpliceStart{'T', 'V', 'S', 'P', 'L', 'I', 'C', 'E'};
inline constexpr Mark kSpliceEnd{'T', 'V', 'S', 'P', 'L', 'E', 'N', 'D'};
inline constexpr std::uint32_t kSpliceAddedAt = 12;
inline constexpr std::uint32_t kSpliceTailAt = 16;
inline constexpr std::uint32_t kSpliceAudioAt = 20;
inline constexpr std::uint32_t kSpliceFrame = kSpliceAudioAt + kMarkBytes;  // all but the audio

// The audio of an insertion as it was recorded (<journal>.insert), which
// earlier versions kept on fast media.
//
//    0  "TVINSERT"
//    8  the insertion point
//   12  count of audio bytes (A)
//   16  the audio
inline constexpr Mark kInsertMark{'T', 'V', 'I', 'N', 'S', 'E', 'R', 'T'};
inline constexpr std::uint32_t kInsertCountAt = 12;
inline constexpr std::uint32_t kInsertAudioAt = 16;

// The audio a cut removed, kept until the cut can no longer be undone
// (<journal>.undo, see KeptCut.h), with the chunks that followed the audio
// before the cut.
//
//    0  "TVUNDCUT"
//    8  file offset the audio was removed from
//   12  count of audio bytes (A)
//   16  count of chunk bytes (C)
//   20  the audio, then the chunks
inline constexpr Mark kCutMark{'T', 'V', 'U', 'N', 'D', 'C', 'U', 'T'};
inline constexpr std::uint32_t kCutCountAt = 12;
inline constexpr std::uint32_t kCutChunksCountAt = 16;
inline constexpr std::uint32_t kCutAudioAt = 20;

// The marks a change moves or adds (<journal>.marks, see MarkBook.h). Each
// run of fields is followed by its seal, the FNV-1a 32 of the run's bytes, so
// that a record torn by a crash is told from a whole one.
//
//    0  "TVMARKS1"
//    8  the edit's kind (0 append, 1 insert, 2 overwrite, 3 cut)
//   12  block where it begins
//   16  blocks of audio before it
//   20  samples per block
//   24  bytes per block
//   28  seal of bytes 8 to 28
//   32  one record a mark, appended as marks are made:
//         +0 id   +4 block   +8 seal of +0 to +8
inline constexpr Mark kMarkLogMark{'T', 'V', 'M', 'A', 'R', 'K', 'S', '1'};
inline constexpr std::uint32_t kMarkLogKindAt = 8;
inline constexpr std::uint32_t kMarkLogStartAt = 12;
inline constexpr std::uint32_t kMarkLogOldLengthAt = 16;
inline constexpr std::uint32_t kMarkLogSamplesPerBlockAt = 20;
inline constexpr std::uint32_t kMarkLogBlockBytesAt = 24;
inline constexpr std::uint32_t kMarkLogSealAt = 28;
inline constexpr std::uint32_t kMarkLogRecordsAt = 32;
inline constexpr std::uint32_t kMarkIdAt = 0;
inline constexpr std::uint32_t kMarkBlockAt = 4;
inline constexpr std::uint32_t kMarkSealAt = 8;
inline constexpr std::uint32_t kMarkRecordBytes = 12;

// How much of a change is on the medium (<journal>.seal for one made in
// place, <journal>.buffer.seal for a spool; see ProgressSeal.h), and in which
// run of the system it was made. Two slots, a sector apart, take the count in
// turn; each is sealed, and recovery takes the whole one with the higher
// sequence number.
//
//    0  "TVSEALED"
//    8  the system's run, NUL-padded (64 bytes)
//   72  slot 0: +0 sequence, +4 count, +8 seal of +0 to +8
//  584  slot 1, the same
// 1096  the writer's claim: +0 from, +4 count, +8 FNV-1a 32 of the bytes
//       [from, count), +12 seal of +0 to +12
inline constexpr Mark kProgressMark{'T', 'V', 'S', 'E', 'A', 'L', 'E', 'D'};
inline constexpr std::uint32_t kProgressRunAt = 8;
inline constexpr std::uint32_t kProgressRunBytes = 64;
inline constexpr std::array<std::uint32_t, 2> kProgressSlotAt{72, 584};
inline constexpr std::uint32_t kProgressSequenceAt = 0;
inline constexpr std::uint32_t kProgressCountAt = 4;
inline constexpr std::uint32_t kProgressSealAt = 8;
inline constexpr std::uint32_t kProgressSlotBytes = 12;
inline constexpr std::uint32_t kProgressClaimAt = 1096;
inline constexpr std::uint32_t kClaimFromAt = 0;
inline constexpr std::uint32_t kClaimCountAt = 4;
inline constexpr std::uint32_t kClaimDigestAt = 8;
inline constexpr std::uint32_t kClaimSealAt = 12;
inline constexpr std::uint32_t kClaimBytes = 16;
inline constexpr std::uint32_t kProgressBytes = 1112;

}  // namespace tavrin::storage::kept
