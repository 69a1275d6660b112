#include "storage/StrategyInsertSlow.h"

#include <cstring>

#include "storage/EditJournal.h"
#include "storage/HeaderWriting.h"
#include "storage/ReadCache.h"
#include "storage/StorageContext.h"
#include "storage/StrategySelectSlow.h"

namespace tavrin::storage {

StrategyInsertSlow::StrategyInsertSlow(StorageContext& context) : StrategyCreateSlow(context) {}

bool StrategyInsertSlow::DropWindow(std::uint32_t length) {
    ctx.mappingHandle.reset();
    ctx.view = nullptr;
    if (ctx.fileHandle->setLength(length)) return true;
    ctx.owedLength = length;  // retried before the next edit and at Close
    return false;
}

void StrategyInsertSlow::Undo(std::uint32_t oldSize, bool headerTouched) {
    const std::uint32_t k = ctx.bufferedBytes;
    const std::uint32_t tail = oldSize - ctx.bufferBase;
    std::memmove(ctx.view, ctx.view + k, tail);
    // Even when this flush fails the pages hold the old bytes and reach the
    // file when the mapping goes.
    static_cast<void>(ctx.mappingHandle->flush(0, tail));
    static_cast<void>(DropWindow(oldSize));
    ctx.header.SetDataSize(ctx.header.DataSize() - k);
    if (headerTouched) {
        FileSink sink(*ctx.fileHandle);
        static_cast<void>(FinishHeader(sink, ctx.header, oldSize));
    }
}

bool StrategyInsertSlow::Insert(std::uint32_t oldSize) {
    const std::uint32_t k = ctx.bufferedBytes;
    const std::uint32_t tail = oldSize - ctx.bufferBase;
    std::memmove(ctx.view + k, ctx.view, tail);
    std::memcpy(ctx.view, ctx.buffer, k);
    // The file is cut to its new length while still mapped, so that a
    // refused cut can still be undone through the mapping.
    if (!ctx.mappingHandle->flush(0, tail + k) || !ctx.fileHandle->setLength(oldSize + k)) {
        Undo(oldSize, false);
        return false;
    }
    FileSink sink(*ctx.fileHandle);
    if (!FinishHeader(sink, ctx.header, oldSize + k)) {
        Undo(oldSize, true);
        return false;
    }
    ctx.mappingHandle.reset();
    ctx.view = nullptr;
    ctx.dataEnd += k;
    return true;
}

bool StrategyInsertSlow::Flush() {
    if (!ctx.mappingHandle || !ctx.fileHandle) return false;
    // The mapping runs from the insertion point over the tail and the area.
    const std::uint32_t oldSize = ctx.bufferBase + (ctx.mappingHandle->size() - ctx.bufferCapacity);
    SecureSpool();
    const bool ok = ctx.bufferedBytes > 0 ? Insert(oldSize) : DropWindow(oldSize);
    if (ok) {
        SettleJournal();
    } else if (!ctx.owedLength) {
        DropJournal(ctx);  // the old recording is back
    }
    ctx.buffer = nullptr;
    ctx.bufferOwned = false;
    ctx.bufferCapacity = 0;
    ctx.bufferPos = 0;
    ctx.bufferedBytes = 0;
    return ok;
}

Status StrategyInsertSlow::End() {
    const std::uint32_t inserted = ctx.bufferedBytes;
    const bool ok = Flush();
    // Playback goes on right after the inserted audio, or where the insertion
    // would have been.
    if (ctx.fileHandle) static_cast<void>(ctx.fileHandle->seek(ctx.bufferBase + (ok ? inserted : 0)));
    EmptyReadCache(ctx);
    ctx.current = ctx.selectSlow.get();
    return ok ? Status::Ok : Status::FileError;
}

}  // namespace tavrin::storage
