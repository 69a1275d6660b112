#include "storage/EditJournal.h"

#include <algorithm>

#include "storage/StorageContext.h"
#include "wav/HeaderLayout.h"

namespace tavrin::storage {
namespace {

// An edit names the file it changes and the header it begins from: recovery
// never changes another file put in its place.
void NoteStartingPoint(StorageContext& ctx, JournalEntry& entry) {
    if (!ctx.fileHandle || ctx.journalFolder.empty()) return;
    platform::File& file = *ctx.fileHandle;
    entry.file = file.identity();
    const std::uint32_t bytes = entry.dataChunkPos + 8;
    if (bytes > kMaxJournalHeader) return;
    std::vector<std::uint8_t> header(bytes);
    const std::uint32_t at = file.tell();  // the slow strategies read on from there
    // Selecting a file cut short made its audio end where the file does.
    const std::uint32_t held = ctx.dataEnd - std::min(ctx.dataEnd, bytes);
    if (platform::ReadAt(file, 0, header.data(), bytes)) {
        const std::uint32_t claimed = wav::LoadLe32(&header[entry.dataChunkPos + 4]);
        entry.start = JournalEntry::Start{HeaderDigest(header.data(), entry.dataChunkPos, entry.factValuePos), claimed,
                                          std::min(claimed, held)};
    }
    (void)file.seek(at);
}

JournalEntry EntryFor(StorageContext& ctx, JournalEntry::Kind kind, const std::string& path, bool buffered) {
    JournalEntry entry;
    entry.kind = kind;
    entry.buffered = buffered;
    entry.path = path;
    entry.blockAlign = std::max<std::uint16_t>(ctx.header.BlockAlign(), 1);
    entry.avgBytesPerSec = ctx.header.AvgBytesPerSec();
    if (kind == JournalEntry::Kind::Create) {
        // The header the recording is given, so that recovery can give it again.
        const wav::NewHeader header = wav::BuildNewHeader(ctx.header.Format(), 0);
        entry.dataChunkPos = header.places.dataChunkPos;
        entry.factValuePos = header.places.factValuePos;
        entry.head.assign(&header.bytes[wav::kAfterRiffSize], &header.bytes[header.places.dataChunkPos]);
    } else {
        entry.dataChunkPos = ctx.header.dataChunkPos;
        entry.factValuePos = ctx.header.factValuePos;
        NoteStartingPoint(ctx, entry);
    }
    return entry;
}

}  // namespace

bool ClaimJournalFor(StorageContext& ctx, const std::string& fileName) {
    ctx.refusal = StorageContext::Refusal::None;
    if (ctx.journalLock) return true;  // claimed already
    // Recovery may run from anywhere: journals name recordings from the root.
    HeldJournal claim = ClaimJournal(ctx.files, ctx.journalFolder, platform::AbsolutePath(fileName));
    if (claim.refused) {
        ctx.refusal = claim.inUse ? StorageContext::Refusal::InUse : StorageContext::Refusal::Unsettled;
        return false;
    }
    ctx.journalClaim = std::move(claim.path);
    ctx.journalLock = std::move(claim.lock);
    return true;
}

bool WriteJournalFor(StorageContext& ctx, JournalEntry::Kind kind, const std::string& fileName, bool buffered) {
    if (!ClaimJournalFor(ctx, fileName)) return false;
    if (!ctx.journalLock) return true;  // no journal folder, or no claim could be made
    const JournalEntry entry = EntryFor(ctx, kind, platform::AbsolutePath(fileName), buffered);
    // A trailer file an earlier session left behind must not go with this journal.
    if (!ctx.keptChunks.Held()) {
        const std::string stale = TrailerPathFor(ctx.journalClaim);
        if (ctx.files.exists(stale)) (void)ctx.files.remove(stale);
    }
    HeldJournal claim{ctx.journalClaim, std::move(ctx.journalLock)};
    ctx.journalClaim.clear();
    if (!PlaceJournal(ctx.files, claim, entry)) {
        if (!claim.refused) return true;  // the change goes on without a journal
        ctx.refusal = StorageContext::Refusal::InUse;
        return false;
    }
    ctx.journalPath = std::move(claim.path);
    ctx.journalLock = std::move(claim.lock);
    // The marks the change moves, and those made since it began, go beside it.
    ctx.marks.AttachLog(ctx.files, ctx.journalPath);
    return true;
}

void NoteNewFile(StorageContext& ctx) {
    if (ctx.journalPath.empty() || !ctx.journalLock || !ctx.fileHandle) return;
    // Without the note recovery still acts on a file that holds no more than
    // the header it began: nothing is lost when it cannot be made.
    if (const auto file = ctx.fileHandle->identity()) (void)NoteJournalFile(*ctx.journalLock, *file);
}

void DropJournal(StorageContext& ctx) {
    ctx.bufferSpool.Drop();
    bool gone = true;
    if (!ctx.journalPath.empty()) {
        // The spools of an insertion that was moved back go first, the
        // recorded audio's before the splice's.
        for (const std::string& spool : {InsertSpoolPathFor(ctx.journalPath), SpoolPathFor(ctx.journalPath)})
            if (ctx.files.exists(spool)) (void)ctx.files.remove(spool);
        gone = ctx.files.remove(ctx.journalPath);
    }
    ctx.journalPath.clear();
    HeldJournal claim{ctx.journalClaim, std::move(ctx.journalLock)};
    ReleaseClaim(ctx.files, claim);
    ctx.journalClaim.clear();
    // The file of the chunks held from after the audio goes only after the
    // journal: a journal without it would have recovery cut them off.
    if (gone) {
        ctx.keptChunks.Forget(ctx.files);
        ctx.marks.ForgetLog();
    } else {
        ctx.keptChunks.LetGo();
        ctx.marks.LeaveLog();
    }
}

void LeaveJournal(StorageContext& ctx) {
    ctx.bufferSpool.Leave();
    ctx.keptChunks.LetGo();
    ctx.marks.LeaveLog();
    ctx.journalPath.clear();
    HeldJournal claim{ctx.journalClaim, std::move(ctx.journalLock)};
    ReleaseClaim(ctx.files, claim);
    ctx.journalClaim.clear();
}

}  // namespace tavrin::storage
