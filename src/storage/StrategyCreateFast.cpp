#include "storage/StrategyCreateFast.h"

#include <algorithm>
#include <cstring>

#include "storage/HeaderWriting.h"
#include "storage/MappedWindow.h"
#include "storage/ReadCache.h"
#include "storage/StorageContext.h"
#include "storage/StrategyIdle.h"
#include "storage/StrategySelectFast.h"
#include "wav/HeaderLayout.h"

namespace tavrin::storage {

StrategyCreateFast::StrategyCreateFast(StorageContext& context) : Strategy(context, "StrategyCreateFast") {}

Status StrategyCreateFast::Create(const std::string& fileName, std::uint16_t tag, std::uint32_t samplesPerSec,
                                  std::uint16_t bitsPerSample, std::uint16_t channels) {
    if (fileName.empty()) return Status::InternalError;
    // A new recording never takes the place of an existing file: writing a
    // header at its start would destroy it.
    if (ctx.files.exists(fileName)) return Status::FileError;
    Status status = WriteNewHeader(*this, ctx.header, fileName, tag, samplesPerSec, bitsPerSample, channels);
    if (status == Status::Ok && !fastfile::PublishHeader(ctx, ctx.dataEnd)) status = Status::FileError;
    if (status == Status::Ok) return status;
    // Leave nothing of a recording that could not even be started: its
    // journal goes after its file.
    if (ctx.fileHandle && ctx.fileName == fileName) fastfile::DropHandles(ctx);
    if (ctx.files.exists(fileName)) (void)ctx.files.remove(fileName);
    ctx.journal.Drop();
    return status;
}

Status StrategyCreateFast::Open(const std::string& fileName) {
    if (!fastfile::Prepare(ctx, fileName, true)) return Status::FileError;
    ctx.bufferBase = 0;
    return Write(wav::kUnfinishedRiff.data(), wav::kAfterRiffSize);
}

Status StrategyCreateFast::Write(const void* source, std::uint32_t bytes) {
    if (!ctx.fileHandle || !fastfile::Reserve(ctx, bytes)) return Status::FileError;
    if (!ctx.window && !fastfile::MapWindow(ctx)) {
        fastfile::Abandon(ctx);
        return Status::FileError;
    }
    const auto* from = static_cast<const std::uint8_t*>(source);
    const std::uint32_t endBefore = ctx.dataEnd;
    while (bytes > 0) {
        const std::uint32_t piece = std::min(bytes, ctx.window->size() - std::min(ctx.window->size(), ctx.viewOffset));
        if (piece > 0) {
            std::memcpy(ctx.window->data() + ctx.viewOffset, from, piece);
            ctx.viewOffset += piece;
            ctx.dataEnd = std::max(ctx.dataEnd, ctx.viewBase + ctx.viewOffset);
        }
        if (piece == 0 || !fastfile::Slide(ctx, true)) {
            // A write counts whole or not at all: the header describes the
            // audio before it.
            ctx.dataEnd = endBefore;
            fastfile::Abandon(ctx);
            return Status::FileError;
        }
        from += piece;
        bytes -= piece;
    }
    return Status::Ok;
}

bool StrategyCreateFast::SeekTo(std::uint32_t offset) { return fastfile::SeekToByte(ctx, offset, false); }

std::uint32_t StrategyCreateFast::ReadPosition() { return ctx.viewBase + ctx.viewOffset; }

bool StrategyCreateFast::SeekToSample(std::uint32_t block) {
    if (block >= ctx.header.LengthInBlocks()) return false;
    return fastfile::SeekToByte(ctx, ctx.header.OffsetOfBlock(block), false);
}

std::uint32_t StrategyCreateFast::CurrentWriteSample() { return ctx.header.BlockAt(ctx.viewBase + ctx.viewOffset); }

// The header on the medium follows the audio; the platform syncs it soon,
// off this thread.
void StrategyCreateFast::Publish() {
    if (!fastfile::PublishHeader(ctx, ctx.dataEnd) && ctx.fileHandle) {
        FileSink throughFile(*ctx.fileHandle);
        (void)storage::FinishHeader(throughFile, ctx.header, ctx.dataEnd);
    }
    ctx.journal.Publish(ctx.header.DataSize());
    if (ctx.fileHandle) ctx.fileHandle->syncSoon();
}

Status StrategyCreateFast::BackTrack(std::uint32_t bytes) {
    const std::uint32_t point = ctx.viewBase + ctx.viewOffset;
    // Only this recording's audio can be taken back: never the header, nor
    // the audio an Append or Overwrite started after.
    const std::uint32_t firstOwn = std::max(ctx.bufferBase, ctx.header.dataChunkPos + 8);
    if (bytes > point - std::min(point, firstOwn)) return Status::FileError;
    const std::uint32_t target = point - bytes;
    if (!fastfile::SeekToByte(ctx, target, false)) return Status::FileError;
    ctx.dataEnd = target;
    const std::uint32_t size = ctx.header.DataSize();
    ctx.header.SetDataSize(size - std::min(size, bytes));
    // The audio taken back is written again from here on.
    ctx.journal.SealNow(ctx.header.DataSize());
    Publish();
    return Status::Ok;
}

std::uint32_t StrategyCreateFast::SpaceLeft() { return fastfile::Room(ctx); }

Status StrategyCreateFast::WriteData(const std::uint8_t* source, std::uint32_t bytes) {
    // An edit changes the file only from its first block on. An overwrite's
    // first block is written over audio counted so far: the count comes
    // back to its point before.
    if (!ctx.writing) ctx.journal.SealNow(ctx.header.DataSize());
    ctx.writing = true;
    const bool atEnd = ReadPosition() == ctx.dataEnd;
    if (Write(source, bytes) != Status::Ok) return Status::FileError;
    ctx.header.SetDataSize(ctx.header.DataSize() + bytes);
    if (atEnd) ctx.journal.Appended(source, bytes, ctx.header.DataSize());
    else ctx.journal.Rewritten(ctx.header.DataSize());
    Publish();
    return Status::Ok;
}

Status StrategyCreateFast::End() {
    // An Overwrite ended before its first block still cuts the recording
    // at its position; an Append without a block changes nothing.
    if (!ctx.writing && ctx.dataEnd != ctx.editOldEnd) ctx.writing = true;
    const bool finished = ctx.fileHandle && fastfile::FinishWriting(ctx);
    // Playback starts at block 0; an empty recording has none, so the point
    // goes to where its audio would start, never stays in the header.
    ctx.view = nullptr;
    ctx.window.reset();
    (void)fastfile::SeekToByte(ctx, ctx.header.dataChunkPos + 8, true);
    EmptyReadCache(ctx);
    ctx.cacheCapacity = ctx.header.CacheCapacity();
    ctx.current = ctx.selectFast.get();
    return finished ? Status::Ok : Status::FileError;
}

Status StrategyCreateFast::Close() {
    const Status ended = End();
    const bool released = fastfile::Release(ctx);
    EmptyReadCache(ctx);
    ctx.current = ctx.idle.get();
    return ended == Status::Ok && released ? Status::Ok : Status::FileError;
}

}  // namespace tavrin::storage
