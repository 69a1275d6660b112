#include "storage/EditJournal.h"

#include <algorithm>

#include "storage/StorageContext.h"
#include "wav/HeaderLayout.h"

namespace tavrin::storage {
namespace {

// An edit names the file it changes and the header it begins from: recovery
// never changes another file put in its place.
void NoteStartingPoint(StorageContext& ctx, JournalEntry& entry) {
    if (!ctx.fileHandle || ctx.journal.Current() == JournalSession::Phase::Off) return;
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
        // Changed in place, the header may tear at a power cut: recovery writes it again from here.
        if (entry.dataChunkPos <= kMaxEditHead)
            entry.head.assign(header.begin() + wav::kAfterRiffSize, header.begin() + entry.dataChunkPos);
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

bool WriteJournalFor(StorageContext& ctx, JournalEntry::Kind kind, const std::string& fileName, bool buffered) {
    if (!ctx.journal.Claim(fileName)) return false;
    if (ctx.journal.Current() != JournalSession::Phase::Claimed) return true;  // no claim: the change goes on without
    return ctx.journal.Place(EntryFor(ctx, kind, platform::AbsolutePath(fileName), buffered));
}

}  // namespace tavrin::storage
