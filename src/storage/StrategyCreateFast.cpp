#include "storage/StrategyCreateFast.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "storage/HeaderWriting.h"
#include "storage/ReadCache.h"
#include "storage/StorageContext.h"
#include "storage/StrategyIdle.h"
#include "storage/StrategySelectFast.h"

namespace tavrin::storage {

namespace fastfile {
namespace {

std::uint32_t WindowLength(const StorageContext& ctx, std::uint32_t base) {
    return std::min(2 * ctx.viewStep, ctx.fileLimit - base);
}

// Room to reserve beyond the recording: the free space less a margin, in whole
// windows, and never so much that the file's length leaves 32 bits.
std::uint32_t Reserve(std::uint64_t freeBytes, std::uint32_t length, std::uint32_t twiceGranularity) {
    const std::uint64_t unit = 2ull * twiceGranularity;
    std::uint64_t reserve = freeBytes - kSpareBytes;
    reserve = std::min<std::uint64_t>(reserve, std::numeric_limits<std::uint32_t>::max() - length);
    return static_cast<std::uint32_t>(reserve - reserve % unit);
}

}  // namespace

bool Prepare(StorageContext& ctx, const std::string& fileName, bool create) {
    const std::uint32_t twice = ctx.twiceGranularity;
    if (twice == 0) return false;
    const auto freeBytes = ctx.files.freeSpace(platform::FolderOf(fileName));
    if (!freeBytes || *freeBytes < 2ull * twice + kSpareBytes) return false;

    const auto mode = create ? platform::OpenMode::ReadWriteCreate : platform::OpenMode::ReadWrite;
    auto file = ctx.files.open(fileName, mode, true);
    if (!file) return false;
    // A new recording's name must survive a power cut as its audio will.
    if (create && !ctx.files.syncFolder(platform::FolderOf(fileName))) return false;
    std::uint32_t length = 0;
    if (!file->size(length)) return false;
    const std::uint32_t reserve = Reserve(*freeBytes, length, twice);
    if (reserve < 2 * twice) return false;  // a file near 4 GiB: no whole window left to record into

    const std::uint32_t limit = length + reserve;
    if (!file->setLength(limit)) {
        (void)file->setLength(length);  // a refused lengthening may still have grown the file
        return false;
    }
    auto first = file->map(0, std::min(2 * twice, limit), true);
    if (!first) {
        (void)file->setLength(length);
        return false;
    }
    ctx.fileHandle = std::move(file);
    ctx.window = std::move(first);
    ctx.view = ctx.window->data();
    ctx.dataEnd = length;
    ctx.fileLimit = limit;
    ctx.viewBase = 0;
    ctx.viewOffset = 0;
    ctx.viewStep = twice;
    ctx.fileName = fileName;
    return true;
}

bool MapWindow(StorageContext& ctx) {
    ctx.view = nullptr;
    ctx.window.reset();
    if (ctx.fileHandle && ctx.viewBase < ctx.fileLimit)
        ctx.window = ctx.fileHandle->map(ctx.viewBase, WindowLength(ctx, ctx.viewBase), true);
    if (!ctx.window) return false;
    ctx.view = ctx.window->data();
    return true;
}

bool SeekToByte(StorageContext& ctx, std::uint32_t offset, bool endAllowed) {
    if (!ctx.fileHandle || offset > ctx.dataEnd || (offset == ctx.dataEnd && !endAllowed)) return false;
    const std::uint32_t base = offset - offset % ctx.viewStep;
    if (base != ctx.viewBase || !ctx.window) {
        // The new window is mapped before the old one goes, so a refused
        // mapping leaves the point where it was and the file still held.
        auto moved = ctx.fileHandle->map(base, WindowLength(ctx, base), true);
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
        // What lies behind the point has reached the medium; its pages need not stay in memory.
        if (releaseFirstHalf && ctx.window) ctx.window->release(0, ctx.viewStep);
        ctx.viewBase += ctx.viewStep;
        ctx.viewOffset -= ctx.viewStep;
        if (!MapWindow(ctx)) return false;
    }
    return true;
}

bool Release(StorageContext& ctx) {
    ctx.view = nullptr;
    ctx.window.reset();
    ctx.mappingHandle.reset();
    if (!ctx.fileHandle) return true;
    // Chunks after the audio of a file that was only played stay with it.
    const std::uint32_t length = ctx.dataEnd + ctx.trailingBytes;
    bool cut = ctx.fileHandle->setLength(length);
    ctx.fileHandle.reset();
    if (!cut) {
        // One more try on a fresh handle; never create the file again if it is gone.
        auto again = ctx.files.open(ctx.fileName, platform::OpenMode::ReadWrite, true);
        cut = again && again->setLength(length);
    }
    return cut;
}

void Abandon(StorageContext& ctx) {
    ctx.view = nullptr;
    ctx.window.reset();
    ctx.mappingHandle.reset();
    if (ctx.fileHandle) {
        FileSink sink(*ctx.fileHandle);
        (void)FinishHeader(sink, ctx.header, ctx.dataEnd);
    }
    (void)Release(ctx);
}

}  // namespace fastfile

StrategyCreateFast::StrategyCreateFast(StorageContext& context) : Strategy(context, "StrategyCreateFast") {}

Status StrategyCreateFast::Create(const std::string& fileName, std::uint16_t tag, std::uint32_t samplesPerSec,
                                  std::uint16_t bitsPerSample, std::uint16_t channels) {
    if (fileName.empty()) return Status::InternalError;
    // A new recording never takes the place of an existing file: writing a
    // header at its start would destroy it.
    if (ctx.files.exists(fileName)) return Status::FileError;
    const Status status = WriteNewHeader(*this, ctx.header, fileName, tag, samplesPerSec, bitsPerSample, channels);
    if (status == Status::Ok) return status;
    // Leave nothing of a recording that could not even be started.
    if (ctx.fileHandle && ctx.fileName == fileName) {
        ctx.dataEnd = 0;
        (void)fastfile::Release(ctx);
    }
    if (ctx.files.exists(fileName)) (void)ctx.files.remove(fileName);
    return status;
}

Status StrategyCreateFast::Open(const std::string& fileName) {
    if (!fastfile::Prepare(ctx, fileName, true)) return Status::FileError;
    ctx.bufferBase = 0;
    static constexpr std::uint8_t kRiff[8] = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
    if (Write(kRiff, sizeof kRiff) != Status::Ok) {
        (void)fastfile::Release(ctx);
        return Status::FileError;
    }
    return Status::Ok;
}

Status StrategyCreateFast::Write(const void* source, std::uint32_t bytes) {
    if (!ctx.window) return Status::FileError;
    const std::uint64_t point = std::uint64_t{ctx.viewBase} + ctx.viewOffset;
    if (point + bytes >= ctx.fileLimit) return Status::FileError;  // the last reserved byte stays unused
    const auto* from = static_cast<const std::uint8_t*>(source);
    const std::uint32_t endBefore = ctx.dataEnd;
    while (bytes > 0) {
        const std::uint32_t piece = std::min(bytes, ctx.window->size() - ctx.viewOffset);
        std::memcpy(ctx.window->data() + ctx.viewOffset, from, piece);
        const bool flushed = ctx.window->flush(ctx.viewOffset, piece);
        if (flushed) {
            ctx.viewOffset += piece;
            ctx.dataEnd = std::max(ctx.dataEnd, ctx.viewBase + ctx.viewOffset);
        }
        if (!flushed || !fastfile::Slide(ctx, true)) {
            // A write counts whole or not at all: the header left on the medium
            // describes the audio before it.
            ctx.dataEnd = endBefore;
            if (ctx.fileHandle) fastfile::Abandon(ctx);
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
    return Status::Ok;
}

std::uint32_t StrategyCreateFast::SpaceLeft() { return ctx.fileLimit - std::min(ctx.fileLimit, ctx.dataEnd); }

Status StrategyCreateFast::WriteData(const std::uint8_t* source, std::uint32_t bytes) {
    if (Write(source, bytes) != Status::Ok) return Status::FileError;
    ctx.header.SetDataSize(ctx.header.DataSize() + bytes);
    return Status::Ok;
}

bool StrategyCreateFast::FinishHeader() {
    if (!ctx.fileHandle) return false;
    StrategySink throughWindow(*this);
    if (storage::FinishHeader(throughWindow, ctx.header, ctx.dataEnd)) return true;
    // The window could not be moved to the header: write it through the file.
    if (!ctx.fileHandle) return false;
    FileSink throughFile(*ctx.fileHandle);
    return storage::FinishHeader(throughFile, ctx.header, ctx.dataEnd);
}

Status StrategyCreateFast::End() {
    const bool finished = FinishHeader();
    // Playback starts at block 0; an empty recording has none, so the point
    // goes to where its audio would start, never stays in the header.
    (void)fastfile::SeekToByte(ctx, ctx.header.dataChunkPos + 8, true);
    EmptyReadCache(ctx);
    ctx.cacheCapacity = ctx.header.CacheCapacity();
    ctx.current = ctx.selectFast.get();
    return finished ? Status::Ok : Status::FileError;
}

Status StrategyCreateFast::Close() {
    const Status ended = End();
    const bool cut = fastfile::Release(ctx);
    EmptyReadCache(ctx);
    ctx.current = ctx.idle.get();
    return ended == Status::Ok && cut ? Status::Ok : Status::FileError;
}

}  // namespace tavrin::storage
