#include "storage/EditJournal.h"

#include <algorithm>

#include "storage/StorageContext.h"

namespace tavrin::storage {

void WriteJournalFor(StorageContext& ctx, JournalEntry::Kind kind, const std::string& fileName, bool buffered) {
    JournalEntry entry;
    entry.kind = kind;
    entry.buffered = buffered;
    entry.path = platform::AbsolutePath(fileName);  // recovery may run from anywhere
    entry.blockAlign = std::max<std::uint16_t>(ctx.header.BlockAlign(), 1);
    entry.avgBytesPerSec = ctx.header.AvgBytesPerSec();
    if (kind == JournalEntry::Kind::Create) {
        // The layout every new recording gets (see WriteNewHeader).
        const bool gsm = ctx.header.IsGsm();
        entry.dataChunkPos = gsm ? 52 : 36;
        entry.factValuePos = gsm ? 48 : 0;
        const std::uint8_t wave[4] = {'W', 'A', 'V', 'E'};
        entry.head.assign(wave, wave + 4);
        entry.head.insert(entry.head.end(), ctx.header.fmt.begin(), ctx.header.fmt.begin() + (gsm ? 28 : 24));
        if (gsm) {
            const std::uint8_t fact[12] = {'f', 'a', 'c', 't', 4, 0, 0, 0, 0, 0, 0, 0};
            entry.head.insert(entry.head.end(), fact, fact + 12);
        }
    } else {
        entry.dataChunkPos = ctx.header.dataChunkPos;
        entry.factValuePos = ctx.header.factValuePos;
    }
    ctx.journalPath = WriteJournal(ctx.files, ctx.journalFolder, entry);
}

void DropJournal(StorageContext& ctx) {
    ctx.bufferSpool.Drop();
    if (!ctx.journalPath.empty()) {
        // The spools of an insertion that was moved back go first, the
        // recorded audio's before the splice's.
        for (const std::string& spool : {InsertSpoolPathFor(ctx.journalPath), SpoolPathFor(ctx.journalPath)})
            if (ctx.files.exists(spool)) (void)ctx.files.remove(spool);
        (void)ctx.files.remove(ctx.journalPath);
    }
    ctx.journalPath.clear();
}

}  // namespace tavrin::storage
