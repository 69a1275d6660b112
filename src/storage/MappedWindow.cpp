#include "storage/MappedWindow.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "storage/EditJournal.h"
#include "storage/HeaderWriting.h"
#include "storage/Journal.h"
#include "storage/StorageContext.h"

namespace tavrin::storage {

namespace fastfile {
namespace {

constexpr std::uint64_t kLimit32 = std::numeric_limits<std::uint32_t>::max();

std::uint32_t WindowLength(const StorageContext& ctx, std::uint32_t base) {
    return std::min(2 * ctx.viewStep, ctx.fileLimit - std::min(ctx.fileLimit, base));
}

std::uint64_t StepBytes(const StorageContext& ctx) {
    const std::uint64_t unit = ctx.viewStep;
    const std::uint64_t audio = std::uint64_t{kReserveSeconds} * std::max<std::uint32_t>(ctx.header.AvgBytesPerSec(), 1);
    return std::max<std::uint64_t>(2, (audio + unit - 1) / unit) * unit;
}

// Lengthens the reservation towards `wanted` bytes, in whole windows and
// within the free space less the margin; never past 32 bits. False when a
// call failed (rather than the volume having no room).
bool GrowTo(StorageContext& ctx, std::uint64_t wanted) {
    const std::uint64_t unit = ctx.viewStep;
    const std::uint64_t target = std::min((wanted + unit - 1) / unit * unit, kLimit32 - kLimit32 % unit);
    if (target <= ctx.fileLimit) return true;
    const auto freeBytes = ctx.files.freeSpace(platform::FolderOf(ctx.fileName));
    const std::uint64_t available = freeBytes && *freeBytes > kSpareBytes ? *freeBytes - kSpareBytes : 0;
    std::uint64_t grow = target - ctx.fileLimit;
    if (grow > available) grow = available - available % unit;  // the last of the volume
    if (grow == 0 || !ctx.fileHandle->setLength(ctx.fileLimit + static_cast<std::uint32_t>(grow))) {
        const bool full = freeBytes && grow == 0;
        ctx.growthRefusal = full ? platform::IoError{platform::IoError::Kind::Full, 0} : platform::LastIoError();
        if (grow != 0) (void)ctx.fileHandle->setLength(ctx.fileLimit);  // a refused lengthening may still have grown it
        ctx.growthRefused = true;
        ctx.volumeRoom = 0;
        return freeBytes && grow == 0;
    }
    ctx.writing = true;
    ctx.fileLimit += static_cast<std::uint32_t>(grow);
    ctx.volumeRoom = static_cast<std::uint32_t>(std::min(available - grow, kLimit32));
    return true;
}

}  // namespace

bool Prepare(StorageContext& ctx, const std::string& fileName, bool create) {
    const std::uint32_t twice = ctx.twiceGranularity;
    if (twice == 0) return false;
    if (create) {
        const auto freeBytes = ctx.files.freeSpace(platform::FolderOf(fileName));
        if (!freeBytes || *freeBytes < 2ull * twice + kSpareBytes) return false;
        // Noted before the file exists, so that no crash can leave it unknown.
        if (!WriteJournalFor(ctx, JournalEntry::Kind::Create, fileName, false)) return false;
    }
    ctx.readOnly = false;
    ctx.fileHandle = create ? ctx.files.open(fileName, platform::OpenMode::ReadWriteCreate, false)
                            : ctx.OpenToSelect(fileName, false);
    std::uint32_t length = 0;
    // A new recording's name must survive a power cut as its audio will.
    const bool named = !create || (ctx.fileHandle && ctx.files.syncFolder(platform::FolderOf(fileName)));
    if (!ctx.fileHandle || !named || !ctx.fileHandle->size(length)) {
        ctx.fileHandle.reset();
        if (create) ctx.journal.Drop();
        return false;
    }
    if (create) ctx.journal.NoteFile(*ctx.fileHandle);
    if (create) ctx.journal.SealSyncsOf(*ctx.fileHandle, 0);
    ctx.fileName = fileName;
    ctx.dataEnd = length;
    ctx.fileLimit = length;
    ctx.viewBase = 0;
    ctx.viewOffset = 0;
    ctx.viewStep = twice;
    ctx.volumeRoom = 0;
    ctx.growthRefused = false;
    ctx.writing = false;
    if (create) (void)GrowTo(ctx, StepBytes(ctx));
    if (ctx.fileLimit == 0 || !MapWindow(ctx)) {
        ctx.fileHandle.reset();
        return false;
    }
    return true;
}

bool Reserve(StorageContext& ctx, std::uint32_t bytes) {
    // Chunks held for behind the audio need their room at the end as well.
    const std::uint64_t end = std::uint64_t{ctx.viewBase} + ctx.viewOffset + bytes + ctx.journal.Chunks().MostRoom();
    const std::uint64_t step = StepBytes(ctx);
    if (end + step / 2 > ctx.fileLimit && !ctx.growthRefused) {
        (void)GrowTo(ctx, end + step);
        // A window cut short by the old end of the file covers its full
        // length again; should that mapping be refused, the short one stays.
        if (ctx.window && ctx.window->size() < WindowLength(ctx, ctx.viewBase)) {
            if (auto longer = ctx.fileHandle->map(ctx.viewBase, WindowLength(ctx, ctx.viewBase), true)) {
                ctx.window = std::move(longer);
                ctx.view = ctx.window->data();
            }
        }
    }
    return end < ctx.fileLimit;  // the last reserved byte stays unused
}

bool ReserveForInsertion(StorageContext& ctx, std::uint32_t bytes) {
    return GrowTo(ctx, std::uint64_t{ctx.dataEnd} + bytes + ctx.journal.Chunks().MostRoom());
}

std::uint32_t Room(const StorageContext& ctx) {
    const std::uint64_t total = std::uint64_t{ctx.fileLimit} + ctx.volumeRoom;
    const std::uint64_t used = std::uint64_t{ctx.dataEnd} + ctx.journal.Chunks().MostRoom();
    return static_cast<std::uint32_t>(std::min(kLimit32, total - std::min(total, used)));
}

bool HoldTrailer(StorageContext& ctx) {
    if (ctx.trailingBytes <= 1) return true;  // nothing, or a pad byte the new audio takes the place of
    // Still held from an insertion that could not start: the same chunks at the same place.
    const TrailingChunks& held = ctx.journal.Chunks();
    if (held.Held() && held.TakenAt() == ctx.dataEnd) return true;
    return ctx.fileHandle && ctx.journal.HoldChunks(*ctx.fileHandle, ctx.memory, ctx.header.dataChunkPos + 8,
                                                    ctx.dataEnd, ctx.trailingBytes);
}

bool BeginEdit(StorageContext& ctx) {
    const auto freeBytes = ctx.files.freeSpace(platform::FolderOf(ctx.fileName));
    if (!freeBytes) return false;  // the folder is gone (a card was taken out)
    ctx.volumeRoom = static_cast<std::uint32_t>(std::min(*freeBytes - std::min<std::uint64_t>(*freeBytes, kSpareBytes), kLimit32));
    ctx.growthRefused = false;
    if (!WriteJournalFor(ctx, JournalEntry::Kind::Edit, ctx.fileName, false)) return false;
    ctx.journal.SealSyncsOf(*ctx.fileHandle, ctx.header.DataSize());
    return true;
}

bool PublishHeader(StorageContext& ctx, std::uint32_t fileLength) {
    if (!ctx.headerMap) {
        const std::uint32_t bytes = ctx.header.dataChunkPos + 8;
        if (!ctx.fileHandle || ctx.fileLimit < bytes) return false;
        ctx.headerMap = ctx.fileHandle->map(0, bytes, true);
        if (!ctx.headerMap) return false;
    }
    MemorySink sink(ctx.headerMap->data(), ctx.headerMap->size());
    return FinishHeader(sink, ctx.header, fileLength);
}

bool FinishWriting(StorageContext& ctx) {
    bool ok = true;
    if (ctx.writing) {
        if (!ctx.fileHandle) return false;
        // Nothing may stay mapped past the new end of the file.
        ctx.view = nullptr;
        ctx.window.reset();
        std::optional<std::uint32_t> fileEnd = ctx.journal.Chunks().PutBack(*ctx.fileHandle, ctx.dataEnd);
        if (fileEnd) fileEnd = ctx.marks.SettleIn(*ctx.fileHandle, ctx.header.dataChunkPos + 8, ctx.dataEnd, *fileEnd, false);
        if (!fileEnd) {
            // The journal and the chunks' file stay; recovery puts them back.
            ctx.headerMap.reset();
            return false;
        }
        ok = PublishHeader(ctx, *fileEnd);
        ctx.headerMap.reset();
        if (!ok) {
            FileSink throughFile(*ctx.fileHandle);
            ok = FinishHeader(throughFile, ctx.header, *fileEnd);
        }
        const bool cut = ctx.fileHandle->setLength(*fileEnd);
        if (cut) ctx.fileLimit = *fileEnd;
        ok = ctx.fileHandle->sync() && cut && ok;
        // All of it is on the medium: should the journal outlive this, recovery keeps all of it.
        if (ok) ctx.journal.SealNow(ctx.header.DataSize());
        if (ok) ctx.writing = false;
        if (ok) ctx.marks.Settled();
    }
    if (ok) {
        ctx.trailingBytes = ctx.fileLimit - std::min(ctx.fileLimit, ctx.dataEnd);
        ctx.journal.Drop();
    }
    return ok;
}

bool MapWindow(StorageContext& ctx) {
    ctx.view = nullptr;
    ctx.window.reset();
    if (ctx.fileHandle && ctx.viewBase < ctx.fileLimit)
        ctx.window = ctx.fileHandle->map(ctx.viewBase, WindowLength(ctx, ctx.viewBase), !ctx.readOnly);
    if (!ctx.window) return false;
    ctx.view = ctx.window->data();
    return true;
}

bool SeekToByte(StorageContext& ctx, std::uint32_t offset, bool endAllowed) {
    if (!ctx.fileHandle || offset > ctx.dataEnd || (offset == ctx.dataEnd && !endAllowed)) return false;
    const std::uint32_t base = offset - offset % ctx.viewStep;
    if (WindowLength(ctx, base) == 0) {
        // The very end of a file that ends on a window boundary: nothing to
        // map until the file grows.
        ctx.view = nullptr;
        ctx.window.reset();
        ctx.viewBase = base;
    } else if (base != ctx.viewBase || !ctx.window) {
        // The new window is mapped before the old one goes, so a refused
        // mapping leaves the point where it was and the file still held.
        auto moved = ctx.fileHandle->map(base, WindowLength(ctx, base), !ctx.readOnly);
        if (!moved) return false;
        ctx.window = std::move(moved);
        ctx.view = ctx.window->data();
        ctx.viewBase = base;
    }
    ctx.viewOffset = offset - base;
    return true;
}

bool Slide(StorageContext& ctx, bool releaseFirstHalf) {
    while (ctx.viewOffset >= ctx.viewStep) {
        // What lies behind the point is in the file; its pages need not stay
        // in memory (the system still writes them back).
        if (releaseFirstHalf && ctx.window) ctx.window->release(0, ctx.viewStep);
        ctx.viewBase += ctx.viewStep;
        ctx.viewOffset -= ctx.viewStep;
        if (!MapWindow(ctx)) return false;
    }
    return true;
}

bool FollowFile(StorageContext& ctx, std::uint32_t point) {
    ctx.view = nullptr;
    ctx.window.reset();
    std::uint32_t length = 0;
    if (!ctx.fileHandle || !ctx.fileHandle->size(length)) return false;
    ctx.fileLimit = length;
    return SeekToByte(ctx, std::min(point, ctx.dataEnd), true);
}

void DropHandles(StorageContext& ctx) {
    ctx.view = nullptr;
    ctx.window.reset();
    ctx.headerMap.reset();
    ctx.fileHandle.reset();
    ctx.writing = false;
}

bool Release(StorageContext& ctx) {
    ctx.view = nullptr;
    ctx.window.reset();
    bool ok = !ctx.fileHandle || FinishWriting(ctx);
    ctx.headerMap.reset();
    ctx.fileHandle.reset();
    if (!ok && ctx.writing) {
        // One more try on a fresh handle; never create the file again if it is gone.
        auto again = ctx.files.open(ctx.fileName, platform::OpenMode::ReadWrite, false);
        if (again) {
            FileSink sink(*again);
            std::optional<std::uint32_t> fileEnd = ctx.journal.Chunks().PutBack(*again, ctx.dataEnd);
            if (fileEnd) fileEnd = ctx.marks.SettleIn(*again, ctx.header.dataChunkPos + 8, ctx.dataEnd, *fileEnd, false);
            ok = fileEnd && FinishHeader(sink, ctx.header, *fileEnd) && again->setLength(*fileEnd) && again->sync();
        }
        if (ok) ctx.journal.Drop();
    }
    // A journal that could not be settled stays for the next start's
    // recovery, and the chunks' file with it.
    ctx.writing = false;
    ctx.journal.Leave();
    return ok;
}

void Abandon(StorageContext& ctx) { (void)Release(ctx); }

}  // namespace fastfile

}  // namespace tavrin::storage
