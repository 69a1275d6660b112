#include "storage/StrategyInsertFast.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "storage/HeaderWriting.h"
#include "storage/Journal.h"
#include "storage/ReadCache.h"
#include "storage/StorageContext.h"
#include "storage/StrategyCreateFast.h"
#include "storage/StrategyIdle.h"
#include "storage/StrategySelectFast.h"
#include "wav/Formats.h"

namespace tavrin::storage {
namespace {

// Finishes the header inside a mapping of the file's first bytes and keeps
// what it replaced, so that an insertion that cannot be completed puts the
// old header back.
class MappedHeaderSink final : public HeaderSink {
public:
    explicit MappedHeaderSink(platform::Mapping& header)
        : mapping(header), saved(header.data(), header.data() + header.size()) {}

    bool SeekTo(std::uint32_t offset) override {
        if (offset > mapping.size()) return false;
        point = offset;
        return true;
    }
    bool Write(const void* source, std::uint32_t bytes) override {
        if (bytes > mapping.size() - point) return false;
        std::memcpy(mapping.data() + point, source, bytes);
        point += bytes;
        return true;
    }
    [[nodiscard]] bool Flush() { return mapping.flush(0, mapping.size()); }
    void Undo() {
        std::memcpy(mapping.data(), saved.data(), saved.size());
        (void)mapping.flush(0, mapping.size());
    }

private:
    platform::Mapping& mapping;
    std::vector<std::uint8_t> saved;
    std::uint32_t point = 0;
};

}  // namespace

StrategyInsertFast::StrategyInsertFast(StorageContext& context) : StrategyCreateSlow(context) {}

bool StrategyInsertFast::StartSpool(std::uint32_t point, std::uint32_t capacity) {
    if (ctx.journalPath.empty() || capacity == 0) return false;
    const std::string path = InsertSpoolPathFor(ctx.journalPath);
    auto file = ctx.files.open(path, platform::OpenMode::ReadWriteCreate, false);
    std::unique_ptr<platform::Mapping> map;
    // The spool's name must last before audio is trusted to it.
    if (file && file->setLength(0) && file->setLength(kInsertSpoolHeader + capacity) &&
        ctx.files.syncFolder(platform::FolderOf(path)))
        map = file->map(0, kInsertSpoolHeader + capacity, true);
    if (!map) {
        map.reset();
        file.reset();
        (void)ctx.files.remove(path);
        return false;
    }
    static constexpr std::uint8_t kMagic[8] = {'T', 'V', 'I', 'N', 'S', 'E', 'R', 'T'};
    std::memcpy(map->data(), kMagic, 8);
    wav::StoreLe32(map->data() + 8, point);
    wav::StoreLe32(map->data() + 12, 0);
    ctx.spoolFile = std::move(file);
    ctx.spoolMap = std::move(map);
    ctx.buffer = ctx.spoolMap->data() + kInsertSpoolHeader;
    return true;
}

void StrategyInsertFast::PublishCount() {
    if (!ctx.spoolMap) return;
    wav::StoreLe32(ctx.spoolMap->data() + 12, ctx.bufferedBytes);
    ctx.spoolFile->syncSoon();
}

void StrategyInsertFast::DropSpool() {
    if (!ctx.spoolFile) return;
    ctx.spoolMap.reset();
    ctx.spoolFile.reset();
    (void)ctx.files.remove(InsertSpoolPathFor(ctx.journalPath));
}

Status StrategyInsertFast::WriteData(const std::uint8_t* source, std::uint32_t bytes) {
    const Status status = StrategyCreateSlow::WriteData(source, bytes);
    if (status == Status::Ok) PublishCount();
    return status;
}

Status StrategyInsertFast::BackTrack(std::uint32_t bytes) {
    const Status status = StrategyCreateSlow::BackTrack(bytes);
    if (status == Status::Ok) PublishCount();
    return status;
}

std::uint32_t StrategyInsertFast::CurrentWriteSample() {
    return ctx.header.BlockAt(ctx.viewBase + ctx.viewOffset + ctx.bufferPos);
}

// Opens the gap at `point` and fills it with the buffered audio, then
// finishes the header for the longer recording. Either all of it reaches the
// medium or the tail and the header are moved back, leaving the old recording.
bool StrategyInsertFast::Splice(std::uint32_t point, std::uint32_t added) {
    platform::Mapping& insertion = *ctx.mappingHandle;
    const std::uint32_t tail = ctx.dataEnd - point;
    if (std::uint64_t{tail} + added > insertion.size()) return false;
    auto header = ctx.fileHandle->map(0, ctx.header.dataChunkPos + 8, true);
    if (!header) return false;
    MappedHeaderSink sink(*header);

    std::uint8_t* at = insertion.data();
    // What the finished insertion holds from `point` on goes to a spool
    // first, so that a crash while the tail moves is rolled forward.
    const std::string spool = ctx.journalPath.empty() ? std::string() : SpoolPathFor(ctx.journalPath);
    if (!spool.empty() && !WriteSpliceSpool(ctx.files, spool, point, ctx.buffer, added, at, tail)) {
        (void)ctx.files.remove(spool);
        return false;
    }
    std::memmove(at + added, at, tail);
    std::memcpy(at, ctx.buffer, added);
    bool done = insertion.flush(0, added + tail);
    if (done) {
        done = FinishHeader(sink, ctx.header, ctx.dataEnd + added) && sink.Flush();
        if (!done) sink.Undo();
    }
    if (!done) {
        std::memmove(at, at + added, tail);
        // Only once the old tail is back may the spool that would redo the move go.
        if (insertion.flush(0, tail) && !spool.empty()) (void)ctx.files.remove(spool);
        return false;
    }
    // The recorded audio's spool goes before the splice's, and its removal
    // must last before the splice's may: a recovery that found the former
    // alone would insert it a second time.
    DropSpool();
    if (!spool.empty() && ctx.files.syncFolder(platform::FolderOf(spool))) (void)ctx.files.remove(spool);
    ctx.dataEnd += added;
    return true;
}

// Maps a fresh window after the file changed under the playing one, and
// places playback right after the inserted audio, as on slow media (at the
// very end the next read finds the end and starts over from block 0).
bool StrategyInsertFast::ResumePlayback(std::uint32_t point, std::uint32_t added) {
    ctx.view = nullptr;
    ctx.window.reset();
    if (fastfile::SeekToByte(ctx, point + added, true)) return true;
    (void)fastfile::Release(ctx);
    return false;
}

bool StrategyInsertFast::Flush() {
    if (!ctx.mappingHandle || !ctx.fileHandle) return false;
    const std::uint32_t point = ctx.viewBase + ctx.viewOffset;
    const std::uint32_t added = ctx.bufferedBytes;
    bool ok = added == 0 || Splice(point, added);
    if (!ok) {
        const std::uint32_t size = ctx.header.DataSize();
        ctx.header.SetDataSize(size - std::min(size, added));  // the recording is the old one again
    }
    ctx.mappingHandle.reset();
    ctx.spoolMap.reset();
    ctx.spoolFile.reset();
    ctx.view = ctx.window ? ctx.window->data() : nullptr;
    // The room reserved for the insertion goes again; that drops the window.
    const bool finished = fastfile::FinishWriting(ctx);
    const bool resumed = ResumePlayback(point, ok ? added : 0);
    ok = ok && resumed && finished;
    ctx.buffer = nullptr;
    ctx.bufferedBytes = 0;
    ctx.bufferCapacity = 0;
    ctx.bufferPos = 0;
    return ok;
}

Status StrategyInsertFast::End() {
    const bool inserted = Flush();
    EmptyReadCache(ctx);
    ctx.cacheCapacity = ctx.header.CacheCapacity();
    ctx.current = ctx.selectFast.get();
    return inserted ? Status::Ok : Status::FileError;
}

Status StrategyInsertFast::Close() {
    const Status ended = End();
    const bool cut = fastfile::Release(ctx);
    EmptyReadCache(ctx);
    ctx.current = ctx.idle.get();
    return ended == Status::Ok && cut ? Status::Ok : Status::FileError;
}

}  // namespace tavrin::storage
