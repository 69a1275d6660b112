#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "storage/BufferSpool.h"
#include "storage/ProgressSeal.h"
#include "storage/Journal.h"
#include "storage/MarkBook.h"
#include "storage/TrailingChunks.h"

namespace tavrin::storage {

// The crash safety of one change of one recording: the journal that names
// it and the files kept beside the journal (the buffer spool, the chunks
// after the audio, the marks' log). Nothing else in the storage touches
// journal files; the strategies ask this session.
//
// A change walks the phases in order, and every path back ends in Free:
//
//   Free ──Claim──▶ Claimed ──Place──▶ Placed ──Drop──▶ Free  (finished, on the medium)
//     ▲                │                  └────Leave──▶ Free  (left for recovery)
//     └────Drop/Leave──┘  (a claim never placed only goes)
//
// Off: no journal folder, so nothing is ever written and every call that
// would write one answers as if it had been (the change goes on without).
class JournalSession {
public:
    enum class Phase {
        Off,      // no folder: journals are not written
        Free,     // nothing claimed
        Claimed,  // the claim (".new") is made and locked: no other writer may begin
        Placed,   // the journal is in place and locked: the recording may change
    };
    // Why a claim was refused, besides the file itself: another writer, in
    // this process or another, is changing the recording, or a change of it
    // that could not be finished waits for recovery.
    enum class Refusal { None, InUse, Unsettled };

    JournalSession(platform::FileSystem& files, MarkBook& marks);
    ~JournalSession();
    JournalSession(const JournalSession&) = delete;
    JournalSession& operator=(const JournalSession&) = delete;

    // Where journals are kept; empty turns them off. Only while Free or Off.
    void SetFolder(std::string folder);
    const std::string& Folder() const { return folder; }
    Phase Current() const { return phase; }
    bool Placed() const { return phase == Phase::Placed; }
    Refusal LastRefusal() const { return refusal; }

    // Repairs what a crash left of a change of `recordingName`, before the
    // recording is read or changed again.
    void Recover(const std::string& recordingName);

    // Claims `recordingName` for a change before anything of it is touched
    // (see ClaimJournal). False when refused (LastRefusal says why); true,
    // without a claim, when none could be made or journals are off. Claiming
    // again while Claimed or Placed keeps what is held.
    [[nodiscard]] bool Claim(const std::string& recordingName);
    // Writes `entry` under the claim, synced and put in place before it
    // answers; the marks' log is kept beside it from then on. False when
    // another writer took the name first; true, without a journal (Free),
    // when it could not be written.
    [[nodiscard]] bool Place(const JournalEntry& entry);
    // Notes in a new recording's journal the file just made for it.
    void NoteFile(platform::File& file);

    // The change is finished and on the medium: the spools go, then the
    // journal, then the file of the chunks held from after the audio (which
    // stays when the journal could not go). A claim never placed goes too.
    void Drop();
    // The change could not be settled: the journal and what it kept stay for
    // recovery; the session lets go of them and of the lock.
    void Leave();
    // A change that failed: a journal in place is left for recovery, a claim
    // never placed goes.
    void Abandon();

    // --- What is kept beside the journal --------------------------------------
    // The chunks after the audio of a fast edit, taken from `file` at
    // `audioEnd` and saved beside the claim or journal (only held in memory
    // while neither is held: journals off, or no claim could be made). False,
    // holding nothing, when they could not be.
    [[nodiscard]] bool HoldChunks(platform::File& file, platform::Memory& memory, std::uint32_t dataStart,
                                  std::uint32_t audioEnd, std::uint32_t bytes);
    TrailingChunks& Chunks() { return chunks; }
    const TrailingChunks& Chunks() const { return chunks; }
    // A buffered change's spool beside the placed journal (see BufferSpool).
    // True without one when no journal is placed; false, nothing left
    // behind, when it could not be made.
    [[nodiscard]] bool StartSpool(std::uint32_t point, const std::uint8_t* tailAudio, std::uint32_t tailAudioBytes,
                                  const std::uint8_t* trailer, std::uint32_t trailerBytes);
    // A spool whole before its journal, beside the claim. False without a claim.
    [[nodiscard]] bool StartWholeSpool(std::uint32_t point, const std::vector<std::uint8_t>& buffer,
                                       const std::vector<std::uint8_t>& tailAudio,
                                       const std::vector<std::uint8_t>& trailer);
    BufferSpool& Spool() { return spool; }
    // Makes the spool reach the medium; a spool that cannot is dropped with
    // its journal (the change goes on without).
    void SecureSpool();
    // A change made in place: from now on the syncs of `file` seal how much
    // of its audio is on the medium (see ProgressSeal), starting at `dataSize`.
    // Nothing when no journal is placed or the platform cannot tell of its syncs.
    void SealSyncsOf(platform::File& file, std::uint32_t dataSize);
    // The data size once what was written so far is on the medium; before the
    // sync is asked for.
    void Publish(std::uint32_t dataSize) {
        if (seal) seal->Publish(dataSize);
    }
    // The same after `n` bytes were appended at the end of the audio, or
    // written over it (see ProgressSeal).
    void Appended(const std::uint8_t* bytes, std::uint32_t n, std::uint32_t dataSize) {
        if (seal) seal->Appended(bytes, n, dataSize);
    }
    void Rewritten(std::uint32_t dataSize) {
        if (seal) seal->Rewritten(dataSize);
    }
    // A data size that shrank: sealed before audio after it is written again.
    void SealNow(std::uint32_t dataSize);
    // Where what a cut removes is kept while it may be undone, the folder
    // made; empty when journals are off or the folder cannot be made.
    std::string KeptCutPath(const std::string& recordingName);

private:
    std::string PathFor(const std::string& recordingName) const;
    void LetGoOfLock();
    // Debug builds check that the fields agree with the phase after every
    // change of either.
    void CheckInvariants() const;

    platform::FileSystem& files;
    MarkBook& marks;
    Phase phase = Phase::Off;
    Refusal refusal = Refusal::None;
    std::string folder;
    std::string placed;   // Placed: the journal's path
    std::string claimed;  // Claimed: the claim's path
    // Claimed or Placed: the open handle whose lock stands for the session.
    std::unique_ptr<platform::File> lock;
    BufferSpool spool;
    TrailingChunks chunks;
    std::shared_ptr<ProgressSeal> seal;  // a change made in place, while placed
    void Unseal(bool remove);
};

}  // namespace tavrin::storage
