#include "storage/JournalSession.h"

#include <cassert>
#include <utility>

#include "storage/KeptCut.h"
#include "storage/Recovery.h"

namespace tavrin::storage {

JournalSession::JournalSession(platform::FileSystem& fileSystem, MarkBook& markBook)
    : files(fileSystem), marks(markBook) {}

// A session still holding something when its storage goes (tests and
// tools) leaves it for recovery, as a crash would.
JournalSession::~JournalSession() { Leave(); }

void JournalSession::SetFolder(std::string where) {
    assert(phase == Phase::Off || phase == Phase::Free);
    folder = std::move(where);
    phase = folder.empty() ? Phase::Off : Phase::Free;
    CheckInvariants();
}

void JournalSession::Recover(const std::string& recordingName) {
    if (phase == Phase::Off) return;
    (void)RecoverRecordings(files, folder, {platform::AbsolutePath(recordingName)});
}

bool JournalSession::Claim(const std::string& recordingName) {
    refusal = Refusal::None;
    if (phase == Phase::Off || lock) return true;  // nothing to claim, or claimed already
    // Recovery may run from anywhere: journals name recordings from the root.
    HeldJournal claim = ClaimJournal(files, folder, platform::AbsolutePath(recordingName));
    if (claim.refused) {
        refusal = claim.inUse ? Refusal::InUse : Refusal::Unsettled;
        return false;
    }
    if (claim.lock) {
        claimed = std::move(claim.path);
        lock = std::move(claim.lock);
        phase = Phase::Claimed;
    }
    CheckInvariants();
    return true;
}

bool JournalSession::Place(const JournalEntry& entry) {
    if (phase != Phase::Claimed) return true;  // no claim could be made: the change goes on without
    // A trailer file an earlier session left behind must not go with this journal.
    if (!chunks.Held()) {
        const std::string stale = TrailerPathFor(claimed);
        if (files.exists(stale)) (void)files.remove(stale);
    }
    HeldJournal claim{std::exchange(claimed, {}), std::move(lock)};
    phase = Phase::Free;
    if (!PlaceJournal(files, claim, entry)) {
        spool.Drop();  // made whole for a journal that never came
        CheckInvariants();
        if (!claim.refused) return true;  // the change goes on without a journal
        refusal = Refusal::InUse;
        return false;
    }
    placed = std::move(claim.path);
    lock = std::move(claim.lock);
    phase = Phase::Placed;
    // The marks the change moves, and those made since it began, go beside it.
    marks.AttachLog(files, placed);
    CheckInvariants();
    return true;
}

void JournalSession::NoteFile(platform::File& file) {
    if (phase != Phase::Placed) return;
    // Without the note recovery still acts on a file that holds no more than
    // the header it began: nothing is lost when it cannot be made.
    if (const auto identity = file.identity()) (void)NoteJournalFile(*lock, *identity);
}

void JournalSession::SealSyncsOf(platform::File& file, std::uint32_t dataSize) {
    Unseal(true);
    if (phase != Phase::Placed) return;
    seal = ProgressSeal::Start(files, SealPathFor(placed), file, dataSize);
    // A seal's name lasts with the folder, as the journal's did.
    if (seal && !files.syncFolder(folder)) Unseal(true);
    CheckInvariants();
}

void JournalSession::SealNow(std::uint32_t dataSize) {
    if (seal && !seal->SealNow(dataSize)) Unseal(true);
}

// Without its seal recovery trusts the counts in the file, as it did before
// there were seals: a seal that cannot follow goes rather than stay behind.
void JournalSession::Unseal(bool remove) {
    if (!seal) return;
    seal->Stop();
    seal.reset();
    const std::string path = SealPathFor(placed);
    if (remove && !placed.empty() && files.exists(path)) (void)files.remove(path);
}

void JournalSession::Drop() {
    spool.Drop();
    // The seal goes before the journal: a journal without one trusts the file.
    Unseal(true);
    bool gone = true;
    if (phase == Phase::Placed) {
        // The spools of an insertion that was moved back go first, the
        // recorded audio's before the splice's.
        for (const std::string& kept : {InsertSpoolPathFor(placed), SpoolPathFor(placed)})
            if (files.exists(kept)) (void)files.remove(kept);
        gone = files.remove(placed);
    }
    LetGoOfLock();
    // The file of the chunks held from after the audio goes only after the
    // journal: a journal without it would have recovery cut them off.
    if (gone) {
        chunks.Forget(files);
        marks.ForgetLog();
    } else {
        chunks.LetGo();
        marks.LeaveLog();
    }
}

void JournalSession::Leave() {
    spool.Leave();
    Unseal(false);
    chunks.LetGo();
    marks.LeaveLog();
    LetGoOfLock();
}

void JournalSession::Abandon() {
    if (phase == Phase::Placed) Leave();
    else Drop();
}

void JournalSession::LetGoOfLock() {
    HeldJournal claim{std::exchange(claimed, {}), std::move(lock)};
    ReleaseClaim(files, claim);
    placed.clear();
    phase = folder.empty() ? Phase::Off : Phase::Free;
    CheckInvariants();
}

bool JournalSession::HoldChunks(platform::File& file, platform::Memory& memory, std::uint32_t dataStart,
                                std::uint32_t audioEnd, std::uint32_t bytes) {
    if (!chunks.Take(file, memory, dataStart, audioEnd, bytes)) return false;
    const std::string& journal = phase == Phase::Placed ? placed : claimed;
    if (journal.empty() || chunks.Save(files, TrailerPathFor(journal))) return true;
    chunks.LetGo();
    return false;
}

bool JournalSession::StartSpool(std::uint32_t point, const std::uint8_t* tailAudio, std::uint32_t tailAudioBytes,
                                const std::uint8_t* trailer, std::uint32_t trailerBytes) {
    if (phase != Phase::Placed) return true;
    return spool.Start(files, BufferSpoolPathFor(placed), point, tailAudio, tailAudioBytes, trailer, trailerBytes);
}

bool JournalSession::StartWholeSpool(std::uint32_t point, const std::vector<std::uint8_t>& buffer,
                                     const std::vector<std::uint8_t>& tailAudio,
                                     const std::vector<std::uint8_t>& trailer) {
    if (phase != Phase::Claimed) return false;
    return spool.StartWhole(files, BufferSpoolPathFor(claimed), point, buffer, tailAudio, trailer);
}

void JournalSession::SecureSpool() {
    if (spool.Active() && !spool.Sync()) Drop();
}

std::string JournalSession::KeptCutPath(const std::string& recordingName) {
    if (phase == Phase::Off || !MakeStateFolder(files, folder)) return {};
    return KeptCutPathFor(PathFor(recordingName));
}

std::string JournalSession::PathFor(const std::string& recordingName) const {
    return JournalPathFor(folder, platform::AbsolutePath(recordingName));
}

void JournalSession::CheckInvariants() const {
#ifndef NDEBUG
    // Off: journals are not written, so nothing is held.
    assert((phase == Phase::Off) == folder.empty());
    // Claimed and Placed hold the lock and exactly the one path of their phase.
    assert((phase == Phase::Claimed) == !claimed.empty());
    assert((phase == Phase::Placed) == !placed.empty());
    assert((lock != nullptr) == (phase == Phase::Claimed || phase == Phase::Placed));
    // A spool lies beside a claim or a journal, never alone; a seal beside a journal.
    assert(!spool.Active() || lock != nullptr);
    assert(!seal || phase == Phase::Placed);
#endif
}

}  // namespace tavrin::storage
