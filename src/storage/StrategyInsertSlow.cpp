#include "storage/StrategyInsertSlow.h"

#include "storage/ReadCache.h"
#include "storage/StorageContext.h"
#include "storage/StrategySelectSlow.h"

namespace tavrin::storage {

StrategyInsertSlow::StrategyInsertSlow(StorageContext& context) : StrategyCreateSlow(context) {}

Status StrategyInsertSlow::End() {
    const std::uint32_t point = ctx.bufferBase;
    const std::uint32_t tail = ctx.heldTail;
    const bool ok = FlushInsertion();
    // After the inserted audio, as much of it as the file holds; the old
    // audio that followed the point comes next.
    const std::uint32_t resume = ctx.dataEnd >= point + tail ? ctx.dataEnd - tail : point;
    if (ctx.fileHandle) static_cast<void>(ctx.fileHandle->seek(resume));
    EmptyReadCache(ctx);
    ctx.cacheCapacity = ctx.header.CacheCapacity();
    ctx.current = ctx.selectSlow.get();
    return ok ? Status::Ok : Status::FileError;
}

}  // namespace tavrin::storage
