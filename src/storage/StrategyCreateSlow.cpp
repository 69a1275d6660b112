#include "storage/StrategyCreateSlow.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "storage/EditJournal.h"
#include "storage/HeaderWriting.h"
#include "storage/ReadCache.h"
#include "storage/StorageContext.h"
#include "storage/StrategySelectSlow.h"

namespace tavrin::storage {

StrategyCreateSlow::StrategyCreateSlow(StorageContext& context) : Strategy(context, "StrategyCreateSlow") {}

Status StrategyCreateSlow::Create(const std::string& fileName, std::uint16_t tag, std::uint32_t samplesPerSec,
                                  std::uint16_t bitsPerSample, std::uint16_t channels) {
    ctx.bufferBase = 0;
    // A new recording never takes the place of an existing file.
    if (ctx.files.exists(fileName)) return Status::FileError;
    const Status status = WriteNewHeader(*this, ctx.header, fileName, tag, samplesPerSec, bitsPerSample, channels);
    // A half-written header must never reach the file: End then has nothing to write.
    if (status != Status::Ok) {
        ReleaseBuffer();
        DropJournal(ctx);
    }
    return status;
}

Status StrategyCreateSlow::Open(const std::string& fileName) {
    // Memory first: a recording refused for lack of it leaves no empty file behind.
    if (!AllocateBuffer(fileName)) return Status::FileError;
    // Noted before the file exists, so that no crash can leave it unknown.
    StartBufferSpool(JournalEntry::Kind::Create, fileName, 0, nullptr, 0, nullptr, 0);
    ctx.fileHandle = ctx.files.open(fileName, platform::OpenMode::ReadWriteCreate, true);
    // A new recording's name must survive a power cut as its audio will.
    if (!ctx.fileHandle || !ctx.files.syncFolder(platform::FolderOf(fileName))) {
        ctx.fileHandle.reset();
        ReleaseBuffer();
        DropJournal(ctx);
        return Status::FileError;
    }
    NoteNewFile(ctx);
    ctx.fileName = fileName;
    ctx.bufferBase = 0;
    ctx.dataEnd = 0;
    static constexpr std::uint8_t kRiff[8] = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
    return Write(kRiff, sizeof kRiff);
}

bool StrategyCreateSlow::AllocateBuffer(const std::string& fileName, std::uint32_t fileOffset) {
    const std::uint64_t twice = ctx.twiceGranularity;
    const std::optional<std::uint64_t> free = ctx.files.freeSpace(platform::FolderOf(fileName));
    if (!free || *free < 2 * twice + kSpareDiskBytes) return false;
    // Every offset of a recording is 32-bit: the buffer ends where the file must.
    const std::uint64_t room = std::numeric_limits<std::uint32_t>::max() - fileOffset;
    if (room < 2 * twice) return false;
    std::uint64_t capacity = std::min<std::uint64_t>(*free - kSpareDiskBytes, room);
    const std::uint64_t memory = ctx.memory.availablePhysical();
    if (memory < 4 * twice) return false;
    if (memory < capacity + 2 * twice) capacity = memory - 2 * twice;

    void* block = ctx.memory.commit(capacity);
    while (!block && capacity > twice) {
        capacity = capacity > kAllocationStep ? capacity - kAllocationStep : 0;
        if (capacity == 0) break;
        block = ctx.memory.commit(capacity);
    }
    if (!block) return false;
    ctx.buffer = static_cast<std::uint8_t*>(block);
    ctx.bufferOwned = true;
    ctx.bufferCapacity = static_cast<std::uint32_t>(capacity);
    ctx.bufferPos = 0;
    ctx.bufferedBytes = 0;
    return true;
}

void StrategyCreateSlow::StartBufferSpool(JournalEntry::Kind kind, const std::string& fileName, std::uint32_t point,
                                          const std::uint8_t* tailAudio, std::uint32_t tailAudioBytes,
                                          const std::uint8_t* trailer, std::uint32_t trailerBytes) {
    WriteJournalFor(ctx, kind, fileName, true);
    if (ctx.journalPath.empty()) return;
    if (!ctx.bufferSpool.Start(ctx.files, BufferSpoolPathFor(ctx.journalPath), point, tailAudio, tailAudioBytes,
                               trailer, trailerBytes))
        DropJournal(ctx);
}

void StrategyCreateSlow::SecureSpool() {
    if (ctx.bufferSpool.Active() && !ctx.bufferSpool.Sync()) DropJournal(ctx);
}

void StrategyCreateSlow::SettleJournal() {
    if (ctx.journalPath.empty()) return;
    if (ctx.fileHandle->sync()) {
        DropJournal(ctx);
    } else {
        LeaveJournal(ctx);
    }
}

void StrategyCreateSlow::ReleaseBuffer() {
    if (ctx.buffer && ctx.bufferOwned) ctx.memory.release(ctx.buffer, ctx.bufferCapacity);
    ctx.heldTrailer = 0;
    ctx.buffer = nullptr;
    ctx.bufferOwned = false;
    ctx.bufferCapacity = 0;
    ctx.bufferPos = 0;
    ctx.bufferedBytes = 0;
}

bool StrategyCreateSlow::HasPendingAudio() const { return ctx.buffer != nullptr && ctx.bufferOwned; }

std::uint32_t StrategyCreateSlow::Room() const {
    // Chunks held for behind the audio take the end of the buffer, with a pad byte before them.
    const std::uint32_t held = ctx.heldTrailer ? ctx.heldTrailer + 1 : 0;
    return ctx.bufferCapacity > held ? ctx.bufferCapacity - held : 0;
}

Status StrategyCreateSlow::Write(const void* source, std::uint32_t bytes) {
    // The last byte of the buffer is never used.
    if (!ctx.buffer || std::uint64_t{ctx.bufferPos} + bytes >= Room()) return Status::FileError;
    std::memcpy(ctx.buffer + ctx.bufferPos, source, bytes);
    ctx.bufferPos += bytes;
    ctx.bufferedBytes = std::max(ctx.bufferedBytes, ctx.bufferPos);
    ctx.bufferSpool.Store(ctx.bufferPos - bytes, static_cast<const std::uint8_t*>(source), bytes, ctx.bufferedBytes);
    return Status::Ok;
}

Status StrategyCreateSlow::WriteData(const std::uint8_t* source, std::uint32_t bytes) {
    const std::uint32_t before = ctx.bufferedBytes;
    // Every buffered strategy stores audio the same way; naming the class
    // spares the engine thread an indirect call per block.
    if (StrategyCreateSlow::Write(source, bytes) != Status::Ok) return Status::FileError;
    // Only what lengthens the recording counts; bytes written over audio
    // already held (after a seek) do not.
    ctx.header.SetDataSize(ctx.header.DataSize() + (ctx.bufferedBytes - before));
    return Status::Ok;
}

bool StrategyCreateSlow::SeekInBuffer(std::uint32_t offset) {
    if (offset >= ctx.bufferedBytes) return false;
    ctx.bufferPos = offset;
    return true;
}

bool StrategyCreateSlow::SeekTo(std::uint32_t offset) {
    // Only what is still in the buffer can be reached; the file before it is finished.
    return offset >= ctx.bufferBase && SeekInBuffer(offset - ctx.bufferBase);
}

std::uint32_t StrategyCreateSlow::ReadPosition() { return ctx.bufferBase + ctx.bufferPos; }

bool StrategyCreateSlow::SeekToSample(std::uint32_t block) {
    if (block >= ctx.header.LengthInBlocks()) return false;
    return SeekTo(ctx.header.OffsetOfBlock(block));
}

std::uint32_t StrategyCreateSlow::CurrentWriteSample() { return ctx.header.BlockAt(ctx.bufferBase + ctx.bufferPos); }

Status StrategyCreateSlow::BackTrack(std::uint32_t bytes) {
    if (bytes > ctx.bufferPos) return Status::FileError;
    const std::uint32_t p = ctx.bufferPos - bytes;
    // Only this recording's audio can be taken back, never the header before it.
    if (std::uint64_t{ctx.bufferBase} + p < std::uint64_t{ctx.header.dataChunkPos} + 8) return Status::FileError;
    if (!SeekInBuffer(p)) return Status::FileError;
    const std::uint32_t removed = ctx.bufferedBytes - p;
    ctx.bufferedBytes = p;
    ctx.bufferSpool.Shorten(p);
    ctx.header.SetDataSize(ctx.header.DataSize() - std::min(removed, ctx.header.DataSize()));
    return Status::Ok;
}

std::uint32_t StrategyCreateSlow::SpaceLeft() { return Room() > ctx.bufferedBytes ? Room() - ctx.bufferedBytes : 0; }

std::optional<std::uint32_t> StrategyCreateSlow::WriteHeldTrailer(HeaderSink& sink, std::uint32_t audioEnd) {
    if (ctx.heldTrailer == 0) return audioEnd;
    // Chunks start word-aligned: after odd-sized audio comes a pad byte.
    const std::uint32_t pad = (audioEnd - (ctx.header.dataChunkPos + 8)) % 2;
    static constexpr std::uint8_t kPad = 0;
    if (pad && !sink.Write(&kPad, 1)) return std::nullopt;
    if (!sink.Write(ctx.buffer + ctx.bufferCapacity - ctx.heldTrailer, ctx.heldTrailer)) return std::nullopt;
    return audioEnd + pad + ctx.heldTrailer;
}

bool StrategyCreateSlow::Flush() {
    if (!ctx.buffer || !ctx.fileHandle) return false;
    const std::uint64_t end = std::uint64_t{ctx.bufferBase} + ctx.bufferedBytes;
    const std::uint32_t trailer = ctx.heldTrailer ? ctx.heldTrailer + 1 : 0;
    if (end + trailer > std::numeric_limits<std::uint32_t>::max()) return false;
    const auto audioEnd = static_cast<std::uint32_t>(end);
    SecureSpool();
    // A new recording carries its header in the buffer: finished there, the
    // whole file reaches the card with one write. An edit's header lies in
    // the file before the buffer and is finished there afterwards.
    const bool headerInBuffer = ctx.bufferBase == 0 && ctx.bufferedBytes >= ctx.header.dataChunkPos + 8;
    if (headerInBuffer) {
        MemorySink memory(ctx.buffer, ctx.bufferedBytes);
        if (!FinishHeader(memory, ctx.header, audioEnd)) return false;
    }
    // Always from the buffer's own offset: a failed attempt may have left the
    // file pointer anywhere, and the next attempt writes the same bytes again.
    FileSink sink(*ctx.fileHandle);
    if (!sink.SeekTo(ctx.bufferBase)) return false;
    if (ctx.bufferedBytes > 0 && !sink.Write(ctx.buffer, ctx.bufferedBytes)) return false;
    const std::optional<std::uint32_t> fileEnd = WriteHeldTrailer(sink, audioEnd);
    if (!fileEnd) return false;
    // Whatever lay beyond (the discarded tail) goes.
    std::uint32_t size = 0;
    if (!ctx.fileHandle->size(size) || (size != *fileEnd && !ctx.fileHandle->setLength(*fileEnd))) return false;
    if (!headerInBuffer && !FinishHeader(sink, ctx.header, *fileEnd)) return false;
    SettleJournal();
    ctx.dataEnd = audioEnd;
    ctx.trailingBytes = *fileEnd - audioEnd;
    ReleaseBuffer();
    return true;
}

bool StrategyCreateSlow::RestoreBeforeBuffer() {
    const std::uint32_t base = ctx.bufferBase;
    ctx.dataEnd = base;
    const std::uint32_t dataStart = ctx.header.dataChunkPos + 8;
    ctx.header.SetDataSize(base > dataStart ? base - dataStart : 0);
    if (!ctx.fileHandle) return false;
    // A new recording goes back to the empty file it was until End.
    if (base == 0) return ctx.fileHandle->setLength(base);
    // Chunks the edit held go back behind the audio they followed.
    FileSink sink(*ctx.fileHandle);
    std::optional<std::uint32_t> fileEnd = base;
    if (ctx.heldTrailer) fileEnd = sink.SeekTo(base) ? WriteHeldTrailer(sink, base) : std::nullopt;
    const std::uint32_t length = fileEnd.value_or(base);
    ctx.trailingBytes = length - base;
    const bool cut = ctx.fileHandle->setLength(length);
    return FinishHeader(sink, ctx.header, length) && fileEnd.has_value() && cut;
}

Status StrategyCreateSlow::SettlePendingAudio() {
    if (!HasPendingAudio()) return Status::Ok;
    if (Flush()) return Status::Ok;
    // The audio is lost either way; the caller reports it. A file that could
    // not be put back keeps its journal, so that the next start repairs it.
    if (RestoreBeforeBuffer()) {
        DropJournal(ctx);
    } else {
        LeaveJournal(ctx);
    }
    ReleaseBuffer();
    return Status::FileError;
}

void StrategyCreateSlow::HandOverToSelect() {
    EmptyReadCache(ctx);
    ctx.cacheCapacity = ctx.header.CacheCapacity();
    // Playback of the finished recording starts at block 0.
    if (ctx.fileHandle) static_cast<void>(ctx.fileHandle->seek(ctx.header.dataChunkPos + 8));
    ctx.current = ctx.selectSlow.get();
}

Status StrategyCreateSlow::End() {
    bool written = true;
    if (ctx.buffer) {
        written = Flush();
        // The audio stays in the buffer and is written again at the latest
        // by Close; until then the file ends where the buffer begins.
        if (!written) ctx.dataEnd = ctx.bufferBase;
    }
    HandOverToSelect();
    return written ? Status::Ok : Status::FileError;
}

Status StrategyCreateSlow::Close() {
    const Status ended = End();
    // Audio that End could not write is still pending and gets its last
    // chance in the select strategy's Close; anything else End reported is final.
    const bool pending = HasPendingAudio();
    const Status closed = ctx.selectSlow->Close();
    if (ended != Status::Ok && !pending) return ended;
    return closed;
}

}  // namespace tavrin::storage
