#include "storage/ReadCache.h"

#include <algorithm>
#include <cstring>

#include "storage/StorageContext.h"
#include "storage/Strategy.h"

namespace tavrin::storage {
namespace {

void ClearCounters(StorageContext& ctx) {
    ctx.cacheConsumed = 0;
    ctx.cacheFill = 0;
    ctx.cacheRemainder = 0;
}

// After the last piece the next playback starts from the beginning. The
// low-level seek is used rather than SeekToSample(0), which refuses a
// recording shorter than one block and would leave the read point at the end.
void Rewind(StorageContext& ctx, Strategy& strategy) {
    ClearCounters(ctx);
    static_cast<void>(strategy.SeekTo(ctx.header.dataChunkPos + 8));
}

}  // namespace

void EmptyReadCache(StorageContext& ctx) { ClearCounters(ctx); }

std::uint32_t PlaybackOffset(const StorageContext& ctx, std::uint32_t readPoint) {
    const std::int64_t q = std::int64_t{readPoint} - ctx.cacheFill + ctx.cacheConsumed;
    return q < 0 ? 0 : static_cast<std::uint32_t>(q);
}

Status ReadThroughCache(StorageContext& ctx, Strategy& strategy, std::uint8_t* destination, std::uint32_t bytes) {
    // A fill never exceeds the area, whatever capacity a file's format asks for.
    const std::uint32_t capacity = std::clamp<std::uint32_t>(ctx.cacheCapacity, 1, kReadCacheBytes);
    std::uint32_t copied = 0;
    for (;;) {
        // The cache holds the end of the audio while the last fill came short.
        const bool lastFill = ctx.cacheRemainder > 0;
        const std::uint32_t held = ctx.cacheFill > ctx.cacheConsumed ? ctx.cacheFill - ctx.cacheConsumed : 0;
        const std::uint32_t take = std::min(held, bytes - copied);
        std::memcpy(destination + copied, ctx.readCache.get() + ctx.cacheConsumed, take);
        ctx.cacheConsumed += take;
        copied += take;
        if (lastFill) ctx.cacheRemainder -= std::min(take, ctx.cacheRemainder);
        if (lastFill && ctx.cacheRemainder == 0) {
            Rewind(ctx, strategy);
            return Status::EndOfData;
        }
        if (copied == bytes) return Status::Ok;

        std::uint32_t got = 0;
        const Status status = strategy.Read(ctx.readCache.get(), capacity, got);
        if (status == Status::FileError) {
            ClearCounters(ctx);
            return Status::FileError;
        }
        ctx.cacheConsumed = 0;
        ctx.cacheFill = got;
        ctx.cacheRemainder = status == Status::EndOfData ? got : 0;
        if (status == Status::EndOfData && got == 0) {
            Rewind(ctx, strategy);
            return Status::EndOfData;
        }
    }
}

}  // namespace tavrin::storage
