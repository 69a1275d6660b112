#include "storage/StrategySelectFast.h"

#include <algorithm>
#include <cstring>

#include "storage/ReadCache.h"
#include "storage/StorageContext.h"
#include "storage/MappedWindow.h"
#include "storage/StrategyCreateFast.h"
#include "storage/StrategyIdle.h"
#include "storage/StrategyCreateSlow.h"
#include "storage/StrategyInsertFast.h"

namespace tavrin::storage {

StrategySelectFast::StrategySelectFast(StorageContext& context) : Strategy(context, "StrategySelectFast") {}

Status StrategySelectFast::Open(const std::string& fileName) {
    // Only an existing recording is opened: a mistyped name must not leave an empty file behind.
    if (!fastfile::Prepare(ctx, fileName, false)) return Status::FileError;
    std::uint8_t riff[8];
    std::uint32_t count = 0;
    if (Read(riff, sizeof riff, count) != Status::Ok || count != sizeof riff) {
        (void)fastfile::Release(ctx);
        return Status::FileError;
    }
    return Status::Ok;
}

Status StrategySelectFast::Select(const std::string& fileName) {
    EmptyReadCache(ctx);
    const Status status = ReadHeaderStrict(*this, fileName, ctx.header);
    if (status != Status::Ok) {
        // The file was lengthened to record into: it goes back as it was.
        (void)fastfile::Release(ctx);
        return status;
    }
    // The audio ends where the data chunk says, or earlier when the file was
    // cut short; chunks after it are not audio, and stay with the file.
    const std::uint32_t length = ctx.dataEnd;
    const std::uint32_t dataStart = ctx.header.dataChunkPos + 8;
    const std::uint64_t declaredEnd = std::uint64_t{dataStart} + ctx.header.DataSize();
    ctx.dataEnd = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, declaredEnd));
    ctx.trailingBytes = length - ctx.dataEnd;
    ctx.header.SetDataSize(ctx.dataEnd - dataStart);
    ctx.cacheCapacity = ctx.header.CacheCapacity();
    return Status::Ok;
}

Status StrategySelectFast::Read(void* destination, std::uint32_t bytes, std::uint32_t& count) {
    count = 0;
    if (!ctx.window) return Status::FileError;
    const std::uint32_t point = ctx.viewBase + ctx.viewOffset;
    const std::uint32_t wanted = std::min(bytes, ctx.dataEnd - std::min(ctx.dataEnd, point));
    auto* to = static_cast<std::uint8_t*>(destination);
    // A read may span several windows; each piece is taken from the window
    // that maps it, so only the file's own bytes are ever handed out.
    while (count < wanted) {
        const std::uint32_t piece = std::min(wanted - count, ctx.window->size() - ctx.viewOffset);
        if (piece == 0) return Status::FileError;
        std::memcpy(to + count, ctx.window->data() + ctx.viewOffset, piece);
        ctx.viewOffset += piece;
        count += piece;
        if (!fastfile::Slide(ctx, false)) {
            (void)fastfile::Release(ctx);
            return Status::FileError;
        }
    }
    return count < bytes ? Status::EndOfData : Status::Ok;
}

Status StrategySelectFast::Expect(const void* bytes, std::uint32_t count) {
    const auto* expected = static_cast<const std::uint8_t*>(bytes);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t got = 0;
        std::uint32_t n = 0;
        if (Read(&got, 1, n) != Status::Ok || n != 1 || got != expected[i]) return Status::FileError;
    }
    return Status::Ok;
}

bool StrategySelectFast::SeekTo(std::uint32_t offset) { return fastfile::SeekToByte(ctx, offset, true); }

std::uint32_t StrategySelectFast::ReadPosition() { return ctx.viewBase + ctx.viewOffset; }

bool StrategySelectFast::SeekToSample(std::uint32_t block) {
    if (block >= ctx.header.LengthInBlocks()) return false;
    EmptyReadCache(ctx);
    return fastfile::SeekToByte(ctx, ctx.header.OffsetOfBlock(block), true);
}

std::uint32_t StrategySelectFast::PlaybackPoint() const {
    return PlaybackOffset(ctx, ctx.viewBase + ctx.viewOffset);
}

std::uint32_t StrategySelectFast::CurrentReadSample() { return ctx.header.BlockAt(PlaybackPoint()); }

Status StrategySelectFast::ReadData(std::uint8_t* destination, std::uint32_t bytes) {
    return ReadThroughCache(ctx, *this, destination, bytes);
}

std::uint32_t StrategySelectFast::SpaceLeft() { return fastfile::Room(ctx); }

Status StrategySelectFast::End() { return Status::Ok; }

Status StrategySelectFast::Close() {
    const bool settled = SettlePendingAudio();
    const bool cut = fastfile::Release(ctx);
    EmptyReadCache(ctx);
    ctx.current = ctx.idle.get();
    return cut && settled ? Status::Ok : Status::FileError;
}

bool StrategySelectFast::Append() {
    if (!SettlePendingAudio() || !fastfile::HoldTrailer(ctx)) return false;
    EmptyReadCache(ctx);
    if (!fastfile::SeekToByte(ctx, ctx.dataEnd, true) || !StartEdit()) {
        // The engine closes nothing once the strategy is idle: give the file back now.
        (void)fastfile::Release(ctx);
        ctx.current = ctx.idle.get();
        return false;
    }
    ctx.bufferBase = ctx.dataEnd;  // where this recording's own audio starts
    ctx.trailingBytes = 0;         // a pad byte goes under the new audio
    return true;
}

bool StrategySelectFast::Overwrite() {
    if (!SettlePendingAudio() || !fastfile::HoldTrailer(ctx)) return false;
    const std::uint32_t point = PlaybackPoint();
    EmptyReadCache(ctx);
    if (!fastfile::SeekToByte(ctx, point, true) || !StartEdit()) {
        (void)fastfile::Release(ctx);
        ctx.current = ctx.idle.get();
        return false;
    }
    // Only the image changes: the file keeps its old audio until the first block arrives.
    const std::uint32_t discarded = ctx.dataEnd - point;
    const std::uint32_t size = ctx.header.DataSize();
    ctx.header.SetDataSize(size - std::min(size, discarded));
    ctx.dataEnd = point;
    ctx.bufferBase = point;
    ctx.trailingBytes = 0;
    return true;
}

bool StrategySelectFast::StartEdit() {
    ctx.editOldEnd = ctx.dataEnd;
    ctx.writing = false;
    if (!fastfile::BeginEdit(ctx)) return false;
    ctx.current = ctx.createFast.get();
    return true;
}

bool StrategySelectFast::Insert() {
    const std::uint32_t point = PlaybackPoint();
    // The audio is collected as on slow media (see BeginInsertion); the
    // playing window stays mapped until the insertion ends, so a refused
    // insertion leaves playback exactly where it was.
    if (!SettlePendingAudio() || !ctx.createSlow->BeginInsertion(point)) return false;
    EmptyReadCache(ctx);
    ctx.current = ctx.insertFast.get();
    return true;
}

bool StrategySelectFast::SettlePendingAudio() {
    // An insertion whose End could not write all of it leaves its buffer
    // for one more attempt; nothing new starts before that.
    if (!ctx.createSlow->HasPendingAudio()) return true;
    const bool settled = ctx.createSlow->SettlePendingAudio() == Status::Ok;
    // The file changed under the window: playback starts over at block 0.
    return fastfile::FollowFile(ctx, ctx.header.dataChunkPos + 8) && settled;
}

}  // namespace tavrin::storage
