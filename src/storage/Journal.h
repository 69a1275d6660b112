#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "wav/HeaderLayout.h"

namespace tavrin::storage {

// What the program notes, in a folder of its own, before it changes a
// recording on fast media, so that the next start can repair a file a crash
// left half-written. Only files named in a journal are ever repaired: a WAV
// that merely looks unfinished is never touched.
//
// A journal is written whole and synced before the recording file changes,
// and removed only after the file is finished and synced. A torn journal is
// recognised (it lacks its last line) and ignored: the file it would name had
// not been touched yet. Its lines, and the files kept beside it, are drawn in
// JournalFormats.h.
struct JournalEntry {
    enum class Kind { Create, Edit };
    Kind kind = Kind::Create;
    // Slow media: the file changes only when the edit's buffer is written out
    // at its end, and the buffer is kept in a spool beside the journal (see
    // BufferSpool.h). Without that spool the file was never touched.
    bool buffered = false;
    std::string path;
    // Offset of the "data" chunk header and of the GSM fact value (0: none).
    std::uint32_t dataChunkPos = 0;
    std::uint32_t factValuePos = 0;
    std::uint32_t blockAlign = 1;
    std::uint32_t avgBytesPerSec = 0;
    // A new recording's header up to its data chunk ("RIFF" and its size
    // excluded), so that a header the crash cut short can be written again.
    // An edit's, as it began, where it is no longer than kMaxEditHead: a
    // header an edit changes in place may tear at a power cut.
    std::vector<std::uint8_t> head;
    // Which file the change was made to: recovery changes no other. Missing
    // in journals of earlier versions, and in a new recording's journal until
    // its file was made.
    std::optional<platform::FileIdentity> file;
    // An edit: what the file was when it began. Missing in journals of
    // earlier versions.
    struct Start {
        std::uint64_t header = 0;  // digest of its header (see HeaderDigest)
        std::uint32_t claimed = 0;  // the data size that header gave
        std::uint32_t held = 0;     // the audio bytes the file held (less, when it was cut short)
        friend bool operator==(const Start&, const Start&) = default;
    };
    std::optional<Start> start;

    wav::HeaderPlaces Places() const { return {dataChunkPos, factValuePos}; }
};

// The audio bytes a header's data size of `claimed` may stand for in the
// file of `entry`: all of them, unless the header still gives the size it gave
// when an edit of a file cut short began; then only those the file held,
// never the zeros reserved after them since.
std::uint32_t TrustedDataSize(const JournalEntry& entry, std::uint32_t claimed);

// A new recording's header as its journal spells it, for `audio` bytes; an
// edit's as it began, when its journal kept it.
std::vector<std::uint8_t> NewRecordingHeader(const JournalEntry& entry, std::uint32_t audio);

// Whether `header` (the file's first dataChunkPos + 8 bytes) is the one the
// journal spells, counts aside.
bool HoldsJournalHeader(const JournalEntry& entry, const std::vector<std::uint8_t>& header);

// The longest header an edit's journal keeps.
inline constexpr std::uint32_t kMaxEditHead = 4096;

// The largest header (bytes before the first audio byte) recovery reads.
inline constexpr std::uint32_t kMaxJournalHeader = 16u << 20;

// A digest of the header bytes [0, dataChunkPos + 8) with the counts an edit
// changes (RIFF size, data size, fact value) left out: equal digests mean the
// file still has the header the edit began from.
std::uint64_t HeaderDigest(const std::uint8_t* header, std::uint32_t dataChunkPos, std::uint32_t factValuePos);

// What the bytes of a journal file say.
struct JournalText {
    enum class Verdict {
        Torn,      // it lacks its last line: written in part, its file not touched yet
        Nonsense,  // whole, but its fields do not make sense (`why` says which)
        Whole,
    };
    Verdict verdict = Verdict::Torn;
    JournalEntry entry;  // Whole; for Nonsense as far as it was read
    std::string why;
};
JournalText ParseJournal(const std::uint8_t* bytes, std::size_t size);

// The journal file that stands for `recordingPath` in `folder`.
std::string JournalPathFor(const std::string& folder, const std::string& recordingPath);

// Makes `folder` and its missing parents (~/.local/state may not exist yet),
// each folder's name synced into its parent. False when it could not.
[[nodiscard]] bool MakeStateFolder(platform::FileSystem& files, const std::string& folder);

// A journal, and the open handle that holds its lock: while the program that
// wrote it lives, recovery (of any process) leaves its recording alone, and
// no other writer, of this process or another, may change the recording.
// Empty path: no journal.
struct HeldJournal {
    std::string path;
    std::unique_ptr<platform::File> lock;
    // The recording is being changed by another writer, or its last change
    // still waits for recovery (a journal of it is in place): nothing was
    // written, and the change must not begin.
    bool refused = false;
    bool inUse = false;  // refused because a live writer holds the journal
};

// Claims the right to change `recordingPath`: the journal's name with ".new"
// is made and locked while no journal of the recording is in place. Refused
// (see HeldJournal) when another writer holds either, or a journal waits for
// recovery; a journal in place is never removed or replaced. Empty when the
// claim could not be made for another reason (the change may go on without
// a journal). `path` is the journal's name once placed.
[[nodiscard]] HeldJournal ClaimJournal(platform::FileSystem& files, const std::string& folder,
                                       const std::string& recordingPath);

// Writes `entry` into a claimed journal, syncs it and puts it in place under
// its journal name, then syncs the folder. False (the claim let go, nothing
// left behind) when it could not; `claim.refused` when another writer took
// the name first.
[[nodiscard]] bool PlaceJournal(platform::FileSystem& files, HeldJournal& claim, const JournalEntry& entry);

// Lets go of a claim that was never placed: its ".new" file goes.
void ReleaseClaim(platform::FileSystem& files, HeldJournal& claim);

// Claims and places in one step, making the folder when missing. Empty when
// it could not be written (the recording then goes on without one); refused
// as ClaimJournal is.
[[nodiscard]] HeldJournal WriteJournal(platform::FileSystem& files, const std::string& folder,
                                       const JournalEntry& entry);

// Reads a journal; a file that cannot be read counts as torn.
[[nodiscard]] JournalText ReadJournal(platform::FileSystem& files, const std::string& journalPath);

// Notes in a new recording's journal which file was made for it, once it
// exists; synced before it answers. False when it could not (the journal then
// names no file, and recovery changes only one that holds no more than the
// header it began).
[[nodiscard]] bool NoteJournalFile(platform::File& journal, const platform::FileIdentity& file);

// Where journals recovery must not act on are kept, in the journal folder.
std::string SetAsideFolder(const std::string& folder);
// Moves such a journal, and what it kept beside it, into the set-aside
// folder under names not taken there yet, so that the next start neither
// repeats the report nor loses what they hold. False when the journal could
// not be moved.
[[nodiscard]] bool SetJournalAside(platform::FileSystem& files, const std::string& journalPath);

// An insertion about to move a recording's tail first writes the audio it
// inserts and the tail as they were into a spool beside its journal, so that
// a crash in the middle of the move is rolled forward: the spool holds all
// that the finished insertion must hold from `point` on.
struct SpliceSpool {
    std::uint32_t point = 0;
    std::vector<std::uint8_t> added;
    std::vector<std::uint8_t> tail;
};

std::string SpoolPathFor(const std::string& journalPath);

// Writes and syncs the spool; false when it could not be made whole.
[[nodiscard]] bool WriteSpliceSpool(platform::FileSystem& files, const std::string& spoolPath, std::uint32_t point,
                                    const std::uint8_t* added, std::uint32_t addedBytes, const std::uint8_t* tail,
                                    std::uint32_t tailBytes);

// Reads a spool; nullopt when it is incomplete (the move had not begun).
[[nodiscard]] std::optional<SpliceSpool> ReadSpliceSpool(platform::FileSystem& files, const std::string& spoolPath);
[[nodiscard]] std::optional<SpliceSpool> ParseSpliceSpool(const std::uint8_t* bytes, std::size_t size);

// The audio of an insertion as it was recorded (see JournalFormats.h).
// Recovery of an insertion that never reached its splice turns it into a
// splice spool (the tail is still in place in the file) and rolls that forward.
std::string InsertSpoolPathFor(const std::string& journalPath);
// Point and audio of an insert spool; nullopt when it is not one.
[[nodiscard]] std::optional<SpliceSpool> ReadInsertSpool(platform::FileSystem& files, const std::string& spoolPath);
[[nodiscard]] std::optional<SpliceSpool> ParseInsertSpool(const std::uint8_t* bytes, std::size_t size);

// The chunks after the audio of a file being edited on fast media, kept
// beside its journal (see TrailingChunks.h).
std::string TrailerPathFor(const std::string& journalPath);

// Removes what a journal kept beside it (spools, chunks) once the journal is
// gone: the change was finished, or never began to change its file. A file
// another program holds locked stays (a claim, see ClaimJournal).
void RemoveStrays(platform::FileSystem& files, const std::string& folder);

// Where audio of a change of `recordingPath` waits for recovery because the
// file could not take it (a full volume): the buffer spool beside its
// journal. Empty when no audio waits.
std::string AudioWaitingFor(platform::FileSystem& files, const std::string& folder, const std::string& recordingPath);

// The journal files in `folder`, by name.
std::vector<std::string> ListJournals(platform::FileSystem& files, const std::string& folder);

}  // namespace tavrin::storage
