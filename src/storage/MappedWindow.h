#pragma once

#include <cstdint>
#include <string>

namespace tavrin::storage {

class StorageContext;

// The window machinery that the fast strategies share. The file stays extended
// to `fileLimit` while it is held; `window` maps it from `viewBase` (a multiple
// of `viewStep`) for two steps or up to `fileLimit`, and the read/write point
// is `viewBase + viewOffset` with `viewOffset < viewStep` between operations.
namespace fastfile {

// Margin of free space never taken by the reservation.
inline constexpr std::uint32_t kSpareBytes = 10'000;
// Audio reserved ahead of the write point at a time. A minute keeps the
// reservations rare (one every half minute) and a crash's leftover small.
inline constexpr std::uint32_t kReserveSeconds = 60;

// Opens (or, with `create`, creates, journals and reserves) the file and maps
// the first window. An existing file is not lengthened. On failure nothing of
// the context's file fields refers to a handle any more.
[[nodiscard]] bool Prepare(StorageContext& ctx, const std::string& fileName, bool create);

// Makes sure `bytes` more bytes fit after the write point, reserving the next
// step when the point comes within half a step of the reservation's end.
// False when they do not fit and the volume refuses more.
[[nodiscard]] bool Reserve(StorageContext& ctx, std::uint32_t bytes);
// Reserves `bytes` after the audio for an insertion. False only when a call
// failed; a full volume reserves nothing and the insertion then holds nothing.
[[nodiscard]] bool ReserveForInsertion(StorageContext& ctx, std::uint32_t bytes);

// Room for recording: what is reserved plus what the volume still has, less
// what the chunks held for behind the audio will take.
std::uint32_t Room(const StorageContext& ctx);

// Before an edit may write over the chunks another program put after the
// audio, takes them into memory and, where journals are kept, into a trailer
// file beside the journal the edit writes next (see TrailingChunks). False,
// the file untouched, when they cannot be held.
[[nodiscard]] bool HoldTrailer(StorageContext& ctx);

// Starts changing an existing recording: measures the room on its volume and
// journals it (where journals are kept). False, the file untouched, when the
// volume does not answer.
[[nodiscard]] bool BeginEdit(StorageContext& ctx);

// Brings the file's header (RIFF size for a file of `fileLength` bytes, data
// size, GSM fact count) in line with `dataEnd` and the header image, through a
// mapping of the header.
[[nodiscard]] bool PublishHeader(StorageContext& ctx, std::uint32_t fileLength);

// Ends a writing session: the chunks held put behind the audio, header, cut
// after them, sync, journal removed, then the chunks' file. False when any
// step failed; the journal then stays for recovery.
[[nodiscard]] bool FinishWriting(StorageContext& ctx);

// Maps the window that starts at `viewBase`; on failure no window is left.
[[nodiscard]] bool MapWindow(StorageContext& ctx);

// Moves the read/write point to byte `offset`; refused past `dataEnd` (or at
// it, unless `endAllowed`).
[[nodiscard]] bool SeekToByte(StorageContext& ctx, std::uint32_t offset, bool endAllowed);

// Slides the window forward by one step while `viewOffset` has reached it;
// on failure no window is left and the caller gives the file up.
[[nodiscard]] bool Slide(StorageContext& ctx, bool releaseFirstHalf);

// Follows a change written into the file through its handle (a buffered
// insertion): the file's length is read again and the window mapped afresh
// at `point` (at most the end of the audio). False when that cannot be done;
// playback then fails until the file is closed.
[[nodiscard]] bool FollowFile(StorageContext& ctx, std::uint32_t point);

// Drops the window and the file handle without touching the file or its
// journal.
void DropHandles(StorageContext& ctx);

// Drops the handles and, when the session wrote, finishes the file (see
// FinishWriting). False when that could not be done.
[[nodiscard]] bool Release(StorageContext& ctx);

// Gives up a file whose window could not be flushed or moved while a
// recording was written: the header is finished for the audio that reached
// the medium, written through the file itself, before the file is released.
void Abandon(StorageContext& ctx);

}  // namespace fastfile

}  // namespace tavrin::storage
