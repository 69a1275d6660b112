#include "storage/StrategySelectSlow.h"

#include <algorithm>
#include <limits>

#include "storage/Journal.h"
#include "storage/HeaderReading.h"
#include "storage/ReadCache.h"
#include "storage/StorageContext.h"
#include "storage/StrategyCreateSlow.h"
#include "storage/StrategyIdle.h"
#include "storage/StrategyInsertSlow.h"
#include "wav/WavChunkReader.h"

namespace tavrin::storage {

StrategySelectSlow::StrategySelectSlow(StorageContext& context) : Strategy(context, "StrategySelectSlow") {}

Status StrategySelectSlow::Open(const std::string& fileName) {
    // Opening a recording never creates one: a missing name is an error.
    ctx.fileHandle = ctx.OpenToSelect(fileName, true);
    if (!ctx.fileHandle) return Status::FileError;
    ctx.cacheRemainder = 0;
    ctx.fileName = fileName;
    ctx.dataEnd = std::numeric_limits<std::uint32_t>::max();  // the header is read before the end is known
    std::uint8_t riff[8];
    std::uint32_t got = 0;
    if (!ctx.fileHandle->read(riff, sizeof riff, got) || got != sizeof riff) {
        Release();
        return Status::FileError;
    }
    return Status::Ok;
}

Status StrategySelectSlow::Select(const std::string& fileName) {
    EmptyReadCache(ctx);
    Status status = ReadHeaderStrict(*this, fileName, ctx.header);
    std::uint32_t size = 0;
    if (status == Status::Ok && !ctx.fileHandle->size(size)) status = Status::FileError;
    if (status != Status::Ok) {
        // Nothing may be played from, or written into, a file whose header
        // was not understood: without a file every later call fails cleanly.
        Release();
        return status;
    }
    // The audio ends where the data chunk says, or earlier when the file was
    // cut short; chunks after it are not audio. The image is made to agree,
    // so that an edit writes sizes that match the file.
    const std::uint32_t dataStart = ctx.header.dataChunkPos + 8;
    const std::uint64_t declaredEnd = std::uint64_t{dataStart} + ctx.header.DataSize();
    ctx.dataEnd = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, declaredEnd));
    ctx.trailingBytes = size - ctx.dataEnd;
    ctx.header.SetDataSize(ctx.dataEnd - dataStart);
    ctx.cacheCapacity = ctx.header.CacheCapacity();
    return Status::Ok;
}

Status StrategySelectSlow::Read(void* destination, std::uint32_t bytes, std::uint32_t& count) {
    count = 0;
    if (!ctx.fileHandle) return Status::FileError;
    const std::uint32_t at = ctx.fileHandle->tell();
    const std::uint32_t wanted = std::min(bytes, ctx.dataEnd > at ? ctx.dataEnd - at : 0u);
    if (wanted > 0) {
        if (!ctx.fileHandle->read(destination, wanted, count)) {
            // Bytes of a failed read are not handed out, so they must not be skipped either.
            if (count > 0) static_cast<void>(ctx.fileHandle->seek(at));
            count = 0;
            return Status::FileError;
        }
    }
    return count < bytes ? Status::EndOfData : Status::Ok;
}

Status StrategySelectSlow::Expect(const void* bytes, std::uint32_t count) {
    const auto* expected = static_cast<const std::uint8_t*>(bytes);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t byte = 0;
        std::uint32_t got = 0;
        if (Read(&byte, 1, got) != Status::Ok || byte != expected[i]) return Status::FileError;
    }
    return Status::Ok;
}

bool StrategySelectSlow::SeekTo(std::uint32_t offset) {
    return ctx.fileHandle && offset <= ctx.dataEnd && ctx.fileHandle->seek(offset);
}

std::uint32_t StrategySelectSlow::ReadPosition() { return ctx.fileHandle ? ctx.fileHandle->tell() : 0; }

bool StrategySelectSlow::SeekToSample(std::uint32_t block) {
    if (block >= ctx.header.LengthInBlocks()) return false;
    EmptyReadCache(ctx);
    return SeekTo(ctx.header.OffsetOfBlock(block));
}

std::uint32_t StrategySelectSlow::CurrentReadSample() {
    return ctx.header.BlockAt(PlaybackOffset(ctx, ReadPosition()));
}

Status StrategySelectSlow::ReadData(std::uint8_t* destination, std::uint32_t bytes) {
    if (!ctx.fileHandle) return Status::FileError;
    // A positioning that failed earlier must not make header bytes play as audio.
    const std::uint32_t dataStart = ctx.header.dataChunkPos + 8;
    if (ctx.fileHandle->tell() < dataStart && !SeekTo(dataStart)) return Status::FileError;
    return ReadThroughCache(ctx, *this, destination, bytes);
}

Status StrategySelectSlow::End() { return Status::Ok; }

void StrategySelectSlow::Release() {
    ctx.createSlow->ReleaseBuffer();
    ctx.fileHandle.reset();
}

Status StrategySelectSlow::Close() {
    const Status status = ctx.createSlow->SettlePendingAudio();
    Release();
    ctx.current = ctx.idle.get();
    EmptyReadCache(ctx);
    return status;
}

bool StrategySelectSlow::ReadyForEdit() {
    return ctx.fileHandle && ctx.createSlow->SettlePendingAudio() == Status::Ok;
}

std::uint32_t StrategySelectSlow::PlaybackPosition() {
    const std::uint32_t dataStart = ctx.header.dataChunkPos + 8;
    return std::clamp(PlaybackOffset(ctx, ReadPosition()), dataStart, std::max(dataStart, ctx.dataEnd));
}

bool StrategySelectSlow::Append() {
    const bool ok = ReadyForEdit() && ctx.createSlow->AllocateBuffer(ctx.fileName, ctx.dataEnd) && ctx.createSlow->HoldTrailer() &&
                    SpoolEdit(ctx.dataEnd);
    HandOver(ok);
    return ok;
}

bool StrategySelectSlow::Overwrite() {
    const std::uint32_t p = PlaybackPosition();
    // The file keeps its old tail until End writes the new audio and cuts it,
    // so an Overwrite that never gets going leaves the recording whole.
    const bool ok = ReadyForEdit() && ctx.createSlow->AllocateBuffer(ctx.fileName, p) && ctx.createSlow->HoldTrailer() &&
                    SpoolEdit(p);
    if (ok) {
        ctx.header.SetDataSize(p - (ctx.header.dataChunkPos + 8));
        ctx.dataEnd = p;
    }
    HandOver(ok);
    return ok;
}

bool StrategySelectSlow::SpoolEdit(std::uint32_t point) {
    ctx.bufferBase = point;
    const std::uint8_t* chunks = ctx.buffer + ctx.bufferCapacity - ctx.heldTrailer;
    return ctx.createSlow->StartBufferSpool(JournalEntry::Kind::Edit, ctx.fileName, point, nullptr, 0, chunks,
                                            ctx.heldTrailer);
}

void StrategySelectSlow::HandOver(bool toRecording) {
    // A refused Append or Overwrite ends with nothing open: the idle strategy
    // holds no file.
    if (!toRecording) Release();
    ctx.current = toRecording ? static_cast<Strategy*>(ctx.createSlow.get()) : static_cast<Strategy*>(ctx.idle.get());
    EmptyReadCache(ctx);
}

bool StrategySelectSlow::Insert() {
    const std::uint32_t p = PlaybackPosition();
    if (!ReadyForEdit() || !ctx.createSlow->BeginInsertion(p)) return false;
    ctx.current = ctx.insertSlow.get();
    EmptyReadCache(ctx);
    return true;
}

}  // namespace tavrin::storage
