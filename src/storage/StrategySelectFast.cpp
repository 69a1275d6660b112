#include "storage/StrategySelectFast.h"

#include <algorithm>
#include <cstring>

#include "storage/ReadCache.h"
#include "storage/StorageContext.h"
#include "storage/StrategyCreateFast.h"
#include "storage/StrategyIdle.h"
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
    const bool cut = fastfile::Release(ctx);
    EmptyReadCache(ctx);
    ctx.current = ctx.idle.get();
    return cut ? Status::Ok : Status::FileError;
}

bool StrategySelectFast::Append() {
    if (!fastfile::HoldTrailer(ctx)) return false;
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
    if (!fastfile::HoldTrailer(ctx)) return false;
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
    // The insert area is the only buffer an insertion on fast media uses.
    if (!ctx.fileHandle || point > ctx.dataEnd || (ctx.buffer && ctx.bufferOwned)) return false;
    const std::uint32_t tail = ctx.dataEnd - point;
    if (tail > kMaxInsertTail || !fastfile::HoldTrailer(ctx)) return false;
    // Room for the insert area after the audio, reserved now and cut at End.
    if (!fastfile::BeginEdit(ctx)) {
        ctx.keptChunks.Forget(ctx.files);
        return false;
    }
    if (!fastfile::ReserveForInsertion(ctx, kInsertAreaBytes)) {
        (void)fastfile::FinishWriting(ctx);  // nothing was reserved: only the journal goes
        return false;
    }
    // The playing window stays mapped until the insertion ends, so a refused
    // insertion leaves playback exactly where it was. The chunks held go
    // behind the audio at the end, so the area ends before their room.
    const std::uint32_t reserved = ctx.fileLimit - ctx.dataEnd;
    const std::uint32_t chunks = std::min(reserved, ctx.keptChunks.MostRoom());
    const std::uint32_t capacity = std::min(reserved - chunks, kInsertAreaBytes);
    auto insertion = ctx.fileHandle->map(point, tail + capacity, true);
    if (!insertion) return false;
    if (!fastfile::SeekToByte(ctx, point, true)) return false;
    ctx.mappingHandle = std::move(insertion);
    ctx.view = ctx.mappingHandle->data();
    ctx.buffer = ctx.insertArea.get();
    ctx.bufferOwned = false;
    ctx.bufferCapacity = capacity;
    ctx.bufferBase = point;
    ctx.bufferedBytes = 0;
    ctx.bufferPos = 0;
    ctx.trailingBytes = 0;
    (void)ctx.insertFast->StartSpool(point, capacity);
    EmptyReadCache(ctx);
    ctx.current = ctx.insertFast.get();
    return true;
}

}  // namespace tavrin::storage
