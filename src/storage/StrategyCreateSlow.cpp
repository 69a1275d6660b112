#include "storage/StrategyCreateSlow.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "storage/BufferedChange.h"
#include "storage/EditJournal.h"
#include "storage/HeaderWriting.h"
#include "storage/ReadCache.h"
#include "storage/StorageContext.h"
#include "storage/StrategySelectSlow.h"
#include "wav/HeaderLayout.h"
#include "wav/WavChunkReader.h"

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
        ctx.journal.Drop();
    }
    return status;
}

Status StrategyCreateSlow::Open(const std::string& fileName) {
    // Memory first: a recording refused for lack of it leaves no empty file behind.
    if (!AllocateBuffer(fileName)) return Status::FileError;
    // Noted before the file exists, so that no crash can leave it unknown.
    if (!StartBufferSpool(JournalEntry::Kind::Create, fileName, 0, nullptr, 0, nullptr, 0)) {
        ReleaseBuffer();
        return Status::FileError;
    }
    ctx.fileHandle = ctx.files.open(fileName, platform::OpenMode::ReadWriteCreate, true);
    // A new recording's name must survive a power cut as its audio will.
    if (!ctx.fileHandle || !ctx.files.syncFolder(platform::FolderOf(fileName))) {
        ctx.fileHandle.reset();
        ReleaseBuffer();
        ctx.journal.Drop();
        return Status::FileError;
    }
    ctx.journal.NoteFile(*ctx.fileHandle);
    ctx.fileName = fileName;
    ctx.bufferBase = 0;
    ctx.dataEnd = 0;
    return Write(wav::kUnfinishedRiff.data(), wav::kAfterRiffSize);
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
    ctx.bufferCapacity = static_cast<std::uint32_t>(capacity);
    ctx.bufferPos = 0;
    ctx.bufferedBytes = 0;
    return true;
}

bool StrategyCreateSlow::StartBufferSpool(JournalEntry::Kind kind, const std::string& fileName, std::uint32_t point,
                                          const std::uint8_t* tailAudio, std::uint32_t tailAudioBytes,
                                          const std::uint8_t* trailer, std::uint32_t trailerBytes) {
    if (!WriteJournalFor(ctx, kind, fileName, true)) return false;
    // A change whose buffer cannot be mirrored goes on without its journal.
    if (!ctx.journal.StartSpool(point, tailAudio, tailAudioBytes, trailer, trailerBytes)) ctx.journal.Drop();
    return true;
}

bool StrategyCreateSlow::HoldTrailer() {
    const std::uint32_t bytes = ctx.trailingBytes;
    if (bytes <= 1) return true;  // nothing, or a pad byte the new audio takes the place of
    // The chunks must leave room to record.
    if (ctx.bufferCapacity / 2 <= bytes) return false;
    std::uint8_t* top = ctx.buffer + ctx.bufferCapacity - bytes;
    if (!platform::ReadAt(*ctx.fileHandle, ctx.dataEnd, top, bytes)) return false;
    // After odd-sized audio a pad byte comes first, unless its writer left it out.
    const bool odd = (ctx.dataEnd - (ctx.header.dataChunkPos + 8)) % 2 != 0;
    ctx.heldTrailer = odd && !wav::LooksLikeChunkId(top) ? bytes - 1 : bytes;
    return true;
}

bool StrategyCreateSlow::BeginInsertion(std::uint32_t point) {
    std::uint32_t size = 0;
    if (!ctx.fileHandle || !ctx.fileHandle->size(size) || point > ctx.dataEnd || ctx.dataEnd > size) return false;
    if (size - point > kMaxInsertTail) return false;
    // The file grows by the inserted audio: the buffer ends where 32 bits do.
    const bool ok = AllocateBuffer(ctx.fileName, size) && HoldTrailer() && HoldTail(point) && SpoolInsertion(point);
    // A refused insertion leaves the recording open and unchanged.
    if (!ok) ReleaseBuffer();
    return ok;
}

bool StrategyCreateSlow::HoldTail(std::uint32_t point) {
    const std::uint32_t bytes = ctx.dataEnd - point;
    if (std::uint64_t{bytes} + ctx.heldTrailer + 1 >= ctx.bufferCapacity / 2) return false;
    std::uint8_t* at = ctx.buffer + ctx.bufferCapacity - ctx.heldTrailer - bytes;
    if (!platform::ReadAt(*ctx.fileHandle, point, at, bytes)) return false;
    ctx.heldTail = bytes;
    return true;
}

bool StrategyCreateSlow::SpoolInsertion(std::uint32_t point) {
    ctx.bufferBase = point;
    const std::uint8_t* top = ctx.buffer + ctx.bufferCapacity;
    return StartBufferSpool(JournalEntry::Kind::Edit, ctx.fileName, point, top - ctx.heldTrailer - ctx.heldTail,
                            ctx.heldTail, top - ctx.heldTrailer, ctx.heldTrailer);
}

void StrategyCreateSlow::SecureSpool() {
    ctx.journal.SecureSpool();
}

void StrategyCreateSlow::SettleJournal() {
    // The marks follow the audio, laid out in the chunks after it.
    const std::optional<std::uint32_t> laid = ctx.marks.SettleIn(
        *ctx.fileHandle, ctx.header.dataChunkPos + 8, ctx.dataEnd, ctx.dataEnd + ctx.trailingBytes, true);
    if (laid) ctx.trailingBytes = *laid - ctx.dataEnd;
    // The change reaches the medium before End answers, journalled or not.
    const bool synced = laid && ctx.fileHandle->sync();
    if (synced) ctx.marks.Settled();
    if (!ctx.journal.Placed()) return;
    if (synced) ctx.journal.Drop();
    else ctx.journal.Leave();
}

void StrategyCreateSlow::ReleaseBuffer() {
    if (ctx.buffer) ctx.memory.release(ctx.buffer, ctx.bufferCapacity);
    ctx.heldTrailer = 0;
    ctx.heldTail = 0;
    ctx.buffer = nullptr;
    ctx.bufferCapacity = 0;
    ctx.bufferPos = 0;
    ctx.bufferedBytes = 0;
}

bool StrategyCreateSlow::HasPendingAudio() const { return ctx.buffer != nullptr; }

std::uint32_t StrategyCreateSlow::Room() const {
    // What is held for behind the new audio takes the end of the buffer,
    // with room for a pad byte before the chunks.
    const std::uint64_t held = std::uint64_t{ctx.heldTail} + ctx.heldTrailer + (ctx.heldTrailer ? 1 : 0);
    return ctx.bufferCapacity > held ? static_cast<std::uint32_t>(ctx.bufferCapacity - held) : 0;
}

Status StrategyCreateSlow::Write(const void* source, std::uint32_t bytes) {
    // The last byte of the buffer is never used.
    if (!ctx.buffer || std::uint64_t{ctx.bufferPos} + bytes >= Room()) return Status::FileError;
    std::memcpy(ctx.buffer + ctx.bufferPos, source, bytes);
    ctx.bufferPos += bytes;
    ctx.bufferedBytes = std::max(ctx.bufferedBytes, ctx.bufferPos);
    ctx.journal.Spool().Store(ctx.bufferPos - bytes, static_cast<const std::uint8_t*>(source), bytes, ctx.bufferedBytes);
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
    ctx.journal.Spool().Shorten(p);
    ctx.header.SetDataSize(ctx.header.DataSize() - std::min(removed, ctx.header.DataSize()));
    return Status::Ok;
}

std::uint32_t StrategyCreateSlow::SpaceLeft() { return Room() > ctx.bufferedBytes ? Room() - ctx.bufferedBytes : 0; }

BufferedChange StrategyCreateSlow::Change() const {
    BufferedChange c;
    c.point = ctx.bufferBase;
    c.dataStart = ctx.header.dataChunkPos + 8;
    c.blockAlign = std::max<std::uint16_t>(ctx.header.BlockAlign(), 1);
    c.buffer = ctx.buffer;
    c.bufferBytes = ctx.bufferedBytes;
    // What is held for behind the new audio lies at the top of the buffer.
    const std::uint8_t* top = ctx.buffer + ctx.bufferCapacity;
    c.tail = top - ctx.heldTrailer - ctx.heldTail;
    c.tailBytes = ctx.heldTail;
    c.chunks = top - ctx.heldTrailer;
    c.chunkBytes = ctx.heldTrailer;
    return c;
}

void StrategyCreateSlow::SetAudioEnd(std::uint32_t audioEnd) {
    ctx.dataEnd = audioEnd;
    ctx.header.SetDataSize(audioEnd - std::min(audioEnd, ctx.header.dataChunkPos + 8));
}

bool StrategyCreateSlow::Flush() {
    if (!ctx.buffer || !ctx.fileHandle) return false;
    const std::uint64_t audioEnd = std::uint64_t{ctx.bufferBase} + ctx.bufferedBytes + ctx.heldTail;
    if (audioEnd + 1 + ctx.heldTrailer > std::numeric_limits<std::uint32_t>::max()) return false;
    SetAudioEnd(static_cast<std::uint32_t>(audioEnd));
    SecureSpool();
    // A new recording carries its header in the buffer: finished there, the
    // whole file reaches the medium with one write. An edit's header lies in
    // the file before the buffer and is finished there afterwards.
    if (ctx.bufferBase == 0 && ctx.bufferedBytes >= ctx.header.dataChunkPos + 8) {
        MemorySink memory(ctx.buffer, ctx.bufferedBytes);
        if (!FinishHeader(memory, ctx.header, ctx.bufferedBytes)) return false;
    }
    // Always from the buffer's own offset: the next attempt writes the same bytes again.
    const ChangeWritten written =
        WriteBufferedChange(*ctx.fileHandle, Change(), [this](std::uint32_t end, std::uint32_t fileEnd) {
            HeaderImage image = ctx.header;
            image.SetDataSize(end - std::min(end, ctx.header.dataChunkPos + 8));
            FileSink sink(*ctx.fileHandle);
            return FinishHeader(sink, image, fileEnd);
        });
    // Playback and a later edit see what the file holds; the buffer and its
    // spool keep everything for another attempt.
    SetAudioEnd(written.laidOut ? written.layout.audioEnd : ctx.bufferBase);
    if (written.laidOut) ctx.trailingBytes = written.layout.fileEnd - written.layout.audioEnd;
    // A new recording is never left with a torn header.
    if (!written.laidOut && ctx.bufferBase == 0) (void)ctx.fileHandle->setLength(0);
    if (!written.whole) return false;
    SettleJournal();
    ReleaseBuffer();
    return true;
}

bool StrategyCreateSlow::FlushInsertion() {
    if (!ctx.buffer || ctx.bufferedBytes > 0) return !ctx.buffer || Flush();
    ReleaseBuffer();
    ctx.journal.Drop();
    return true;
}

Status StrategyCreateSlow::SettlePendingAudio() {
    if (!HasPendingAudio()) return Status::Ok;
    if (Flush()) return Status::Ok;
    // The file holds what fit; the journal and its spool keep the whole change
    // (never the only copy of the audio is let go), so that recovery writes it
    // out once there is room. The caller reports the failure.
    ctx.journal.Leave();
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
    // Audio that could not all be written stays in the buffer and is written
    // again at the latest by Close; until then the file holds what fit.
    const bool written = !ctx.buffer || Flush();
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
