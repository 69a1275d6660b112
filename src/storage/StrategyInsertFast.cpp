#include "storage/StrategyInsertFast.h"

#include "storage/ReadCache.h"
#include "storage/StorageContext.h"
#include "storage/MappedWindow.h"
#include "storage/StrategySelectFast.h"

namespace tavrin::storage {

StrategyInsertFast::StrategyInsertFast(StorageContext& context) : StrategyCreateSlow(context) {}

Status StrategyInsertFast::End() {
    const std::uint32_t point = ctx.bufferBase;
    const std::uint32_t tail = ctx.heldTail;
    const bool ok = FlushInsertion();
    // After the inserted audio, as much of it as the file holds (at the very
    // end the next read finds the end and starts over from block 0).
    const std::uint32_t resume = ctx.dataEnd >= point + tail ? ctx.dataEnd - tail : point;
    const bool followed = fastfile::FollowFile(ctx, resume);
    EmptyReadCache(ctx);
    ctx.cacheCapacity = ctx.header.CacheCapacity();
    ctx.current = ctx.selectFast.get();
    return ok && followed ? Status::Ok : Status::FileError;
}

Status StrategyInsertFast::Close() {
    const Status ended = End();
    // Audio that End could not write gets its last chance in the select
    // strategy's Close; anything else End reported is final.
    const bool pending = HasPendingAudio();
    const Status closed = ctx.selectFast->Close();
    if (ended != Status::Ok && !pending) return ended;
    return closed;
}

}  // namespace tavrin::storage
