#include "storage/StorageContext.h"

#include <cassert>
#include <vector>

#include "storage/BufferedChange.h"
#include "storage/EditJournal.h"
#include "storage/HeaderWriting.h"
#include "storage/ReadCache.h"
#include "storage/MappedWindow.h"
#include "storage/StrategyCreateFast.h"
#include "storage/StrategyCreateSlow.h"
#include "storage/StrategyIdle.h"
#include "storage/StrategyInsertFast.h"
#include "storage/StrategyInsertSlow.h"
#include "storage/StrategySelectFast.h"
#include "storage/StrategySelectSlow.h"

namespace tavrin::storage {
namespace {

// Handles an earlier failure left behind with the idle strategy current (a
// refused Append or Overwrite keeps the file open): they go before anything
// new is opened. The mappings must go before the file they map.
void DropLeftovers(StorageContext& ctx) {
    ctx.window.reset();
    ctx.headerMap.reset();
    ctx.view = nullptr;
    // A journal left by a session that could not finish stays for recovery.
    ctx.writing = false;
    ctx.journal.Leave();
    ctx.createSlow->ReleaseBuffer();
    ctx.fileHandle.reset();
    ctx.trailingBytes = 0;
}

// The marks in the chunks after the selected recording's audio, or else
// those of a "cue " chunk before it.
void LoadMarks(StorageContext& ctx) {
    wav::MarkList found;
    const wav::MarkScale scale = wav::ScaleOf(ctx.header.FormatTag(), ctx.header.BlockAlign());
    const std::uint32_t bytes = ctx.trailingBytes;
    if (ctx.fileHandle && bytes > 1 && bytes <= TrailingChunks::kMaxBytes) {
        std::vector<std::uint8_t> after(bytes);
        // The slow strategies read on from the file pointer.
        const std::uint32_t at = ctx.fileHandle->tell();
        if (platform::ReadAt(*ctx.fileHandle, ctx.dataEnd, after.data(), bytes)) {
            const bool odd = (ctx.dataEnd - (ctx.header.dataChunkPos + 8)) % 2 != 0;
            const std::uint32_t skip = odd && !wav::LooksLikeChunkId(after.data()) ? 1 : 0;
            found = wav::MarksInChunks(after.data() + skip, bytes - skip, scale, ctx.header.LengthInBlocks());
        }
        (void)ctx.fileHandle->seek(at);
    }
    // Only a header with room beside its fmt and fact chunks can hold one.
    const std::uint64_t known = 12 + 8 + (std::uint64_t{ctx.header.FmtSize()} + 1) / 2 * 2 +
                                (ctx.header.factValuePos != 0 ? 12 : 0);
    if (found.empty() && ctx.fileHandle && ctx.header.dataChunkPos >= known + 12) {
        const std::uint32_t at = ctx.fileHandle->tell();
        found = MarksBeforeAudio(*ctx.fileHandle, ctx.header.dataChunkPos + 8, scale, ctx.header.LengthInBlocks())
                    .value_or(wav::MarkList{});
        (void)ctx.fileHandle->seek(at);
    }
    ctx.marks.Load(std::move(found), scale, ctx.header.LengthInBlocks());
}

}  // namespace

StorageContext::StorageContext(platform::FileSystem& fileSystem, platform::Memory& platformMemory,
                               const platform::SystemInfo& systemInfo, platform::Shell& platformShell)
    : selectFast(std::make_unique<StrategySelectFast>(*this)),
      selectSlow(std::make_unique<StrategySelectSlow>(*this)),
      idle(std::make_unique<StrategyIdle>(*this)),
      createFast(std::make_unique<StrategyCreateFast>(*this)),
      createSlow(std::make_unique<StrategyCreateSlow>(*this)),
      insertSlow(std::make_unique<StrategyInsertSlow>(*this)),
      insertFast(std::make_unique<StrategyInsertFast>(*this)),
      twiceGranularity(2 * systemInfo.allocationGranularity()),
      journal(fileSystem, marks),
      readCache(std::make_unique_for_overwrite<std::uint8_t[]>(kReadCacheBytes)),
      files(fileSystem),
      memory(platformMemory),
      system(systemInfo),
      shell(platformShell) {
    current = idle.get();
    header.fmt[0] = 'f';
    header.fmt[1] = 'm';
    header.fmt[2] = 't';
    header.fmt[3] = ' ';
    wav::StoreLe32(&header.fmt[4], 24);
}

// The engine lives as long as the process, so this only runs in tests and
// tools; it gives back what is still held without writing anything.
StorageContext::~StorageContext() { DropLeftovers(*this); }

Status StorageContext::Select(const std::string& name, platform::Media media) {
    assert(sequence.CalledOnValidSequence());
    // Another recording closes this one: its cut can no longer be undone.
    if (keptCut.Held() && name != keptCut.Recording()) keptCut.Forget();
    if (!IsIdle()) static_cast<void>(current->Close());  // finishes a recording in progress first
    DropLeftovers(*this);
    // A recording a crash left unfinished (its repair at start-up failed, or
    // its card was out then) is repaired before anything reads it: its
    // reserved zeros must never pass for audio or for chunks after it.
    journal.Recover(name);
    current = media == platform::Media::Slow ? static_cast<Strategy*>(selectSlow.get())
                                             : static_cast<Strategy*>(selectFast.get());
    const Status status = current->Select(name);
    if (status == Status::Ok) LoadMarks(*this);
    return status;
}

Status StorageContext::Create(const std::string& name, std::uint16_t tag, std::uint32_t samplesPerSec,
                              std::uint16_t bitsPerSample, std::uint16_t channels, platform::Media media) {
    assert(sequence.CalledOnValidSequence());
    keptCut.Forget();
    if (!IsIdle()) static_cast<void>(current->Close());
    DropLeftovers(*this);
    // A journal left by a crash under this name is settled first; another
    // writer making the same recording, or a journal recovery could not
    // settle, refuses the new one.
    journal.Recover(name);
    if (!journal.Claim(name)) return Status::FileError;
    const auto blockAlign = static_cast<std::uint16_t>(channels * bitsPerSample / 8);
    marks.Load({}, wav::ScaleOf(tag, blockAlign), 0);
    marks.BeginChange(wav::AudioEdit::Kind::Append, 0, 0);
    current = media == platform::Media::Fast ? static_cast<Strategy*>(createFast.get())
                                             : static_cast<Strategy*>(createSlow.get());
    const Status status = current->Create(name, tag, samplesPerSec, bitsPerSample, channels);
    if (status != Status::Ok && !journal.Placed()) journal.Drop();
    return status;
}

bool StorageContext::SeekToSample(std::uint32_t block) {
    assert(sequence.CalledOnValidSequence());
    const bool moved = current->SeekToSample(block);
    // A refused seek changes nothing: emptying the cache then would move
    // playback on to the end of the last fill.
    if (moved) EmptyReadCache(*this);
    return moved;
}

std::uint32_t StorageContext::CurrentReadSample() { return Owned().CurrentReadSample(); }
std::uint32_t StorageContext::CurrentWriteSample() { return Owned().CurrentWriteSample(); }
std::uint32_t StorageContext::SpaceLeft() { return Owned().SpaceLeft(); }
Status StorageContext::BackTrack(std::uint32_t bytes) { return Owned().BackTrack(bytes); }
Status StorageContext::WriteData(const std::uint8_t* source, std::uint32_t bytes) {
    platform::ClearIoError();
    const Status status = Owned().WriteData(source, bytes);
    if (status == Status::Ok) return status;
    failureCause = platform::LastIoError();
    // The block that finds no room fails no call itself: the reservation's
    // refusal says why.
    if (failureCause.kind == platform::IoError::Kind::None && growthRefused) failureCause = growthRefusal;
    return status;
}
Status StorageContext::ReadData(std::uint8_t* destination, std::uint32_t bytes) {
    return Owned().ReadData(destination, bytes);
}
bool StorageContext::Insert() {
    keptCut.Forget();
    if (RefuseReadOnly()) return false;
    editOldEnd = dataEnd;
    editOldDataSize = header.DataSize();
    marks.BeginChange(wav::AudioEdit::Kind::Insert, current->CurrentReadSample(), LengthInBlocks());
    return Claimed(&Strategy::Insert);
}

// Nothing of the recording is touched before the claim: not even the chunks
// after its audio are saved beside a journal another writer may hold.
bool StorageContext::Claimed(bool (Strategy::*edit)()) {
    if (!journal.Claim(fileName)) return false;
    const bool ok = (Owned().*edit)();
    if (!ok && !journal.Placed()) journal.Drop();
    if (!ok) marks.CancelChange();
    return ok;
}

Strategy& StorageContext::Owned() {
    assert(sequence.CalledOnValidSequence());
    return *current;
}

Status StorageContext::End() {
    assert(sequence.CalledOnValidSequence());
    platform::ClearIoError();
    return NoteCause(current->End());
}

Status StorageContext::Close() {
    assert(sequence.CalledOnValidSequence());
    keptCut.Forget();
    platform::ClearIoError();
    return NoteCause(current->Close());
}

// The file calls note why they failed; the last noted cause is the one the
// operation's answer rests on.
Status StorageContext::NoteCause(Status status) {
    failureCause = status == Status::Ok ? platform::IoError{} : platform::LastIoError();
    return status;
}
std::unique_ptr<platform::File> StorageContext::OpenToSelect(const std::string& name, bool writeThrough) {
    readOnly = false;
    platform::ClearIoError();
    if (auto file = files.open(name, platform::OpenMode::ReadWrite, writeThrough)) return file;
    if (platform::LastIoError().kind != platform::IoError::Kind::ReadOnly) return nullptr;
    auto file = files.open(name, platform::OpenMode::ReadOnly, writeThrough);
    readOnly = file != nullptr;
    return file;
}

// A file that may only be read is never changed: the edit is refused and
// the cause says why.
bool StorageContext::RefuseReadOnly() {
    failureCause = readOnly ? platform::IoError{platform::IoError::Kind::ReadOnly, 0} : platform::IoError{};
    return readOnly;
}

bool StorageContext::Append() {
    keptCut.Forget();
    if (RefuseReadOnly()) return false;
    editOldEnd = dataEnd;
    editOldDataSize = header.DataSize();
    marks.BeginChange(wav::AudioEdit::Kind::Append, LengthInBlocks(), LengthInBlocks());
    return Claimed(&Strategy::Append);
}
bool StorageContext::Overwrite() {
    keptCut.Forget();
    if (RefuseReadOnly()) return false;
    editOldEnd = dataEnd;
    editOldDataSize = header.DataSize();
    marks.BeginChange(wav::AudioEdit::Kind::Overwrite, current->CurrentReadSample(), LengthInBlocks());
    return Claimed(&Strategy::Overwrite);
}

void StorageContext::CancelEdit() {
    const bool direct = current == createFast.get() && !writing;
    const bool insertion = current == insertSlow.get() || current == insertFast.get();
    const bool buffered = (current == createSlow.get() || insertion) && createSlow->HasPendingAudio() && bufferedBytes == 0;
    if (!direct && !buffered) return;
    const bool fast = direct || current == insertFast.get();
    // Nothing reached the file: the journal and what it kept go.
    const std::uint32_t point = bufferBase;
    marks.CancelChange();
    if (buffered) createSlow->ReleaseBuffer();
    journal.Drop();
    // The chunks after the audio were never written over.
    if (direct) trailingBytes = fileLimit - std::min(fileLimit, editOldEnd);
    dataEnd = editOldEnd;
    header.SetDataSize(editOldDataSize);
    // A slow insertion read its tail through the file pointer, which is the
    // playback point there; a fast one's window never moved.
    if (insertion && !fast && fileHandle) (void)fileHandle->seek(point);
    current = fast ? static_cast<Strategy*>(selectFast.get()) : static_cast<Strategy*>(selectSlow.get());
}

bool StorageContext::SaveMarks() {
    assert(sequence.CalledOnValidSequence());
    if (!marks.Pending()) return true;
    // A mark is an edit of its own: the last cut stays as it is.
    keptCut.Forget();
    const bool resting = current == selectFast.get() || current == selectSlow.get();
    if (!resting || RefuseReadOnly() || !fileHandle) return false;
    const std::uint32_t at = fileHandle->tell();
    marks.BeginChange(wav::AudioEdit::Kind::Append, LengthInBlocks(), LengthInBlocks());
    // As any edit: the chunks after the audio beside the journal first.
    bool ok = journal.Claim(fileName) && fastfile::HoldTrailer(*this) &&
              WriteJournalFor(*this, JournalEntry::Kind::Edit, fileName, false);
    std::optional<std::uint32_t> laid;
    if (ok) laid = marks.SettleIn(*fileHandle, header.dataChunkPos + 8, dataEnd, dataEnd + trailingBytes, true);
    ok = laid && fileHandle->sync();
    if (ok) {
        trailingBytes = *laid - dataEnd;
        if (current == selectFast.get()) fileLimit = *laid;
        journal.Drop();
        marks.Settled();
    } else {
        // A journal in place stays for recovery, which selecting the
        // recording again runs first.
        journal.Abandon();
        marks.CancelChange();
    }
    (void)fileHandle->seek(at);
    return ok;
}

Status StorageContext::Cut(std::uint32_t from, std::uint32_t to, Undo undo) {
    assert(sequence.CalledOnValidSequence());
    keptCut.Forget();
    const bool fast = current == selectFast.get();
    if ((!fast && current != selectSlow.get()) || RefuseReadOnly() || !fileHandle) return Status::FileError;
    const std::uint32_t length = LengthInBlocks();
    if (from >= to || to > length || !SaveMarks()) return Status::FileError;
    const std::uint32_t dataStart = header.dataChunkPos + 8;
    const std::uint32_t point = header.OffsetOfBlock(from);
    const std::uint32_t after = to == length ? dataEnd : header.OffsetOfBlock(to);
    // What moves back: the audio after the cut and the chunks after the audio.
    std::vector<std::uint8_t> tail(dataEnd - after);
    std::vector<std::uint8_t> chunks(trailingBytes);
    if (!platform::ReadAt(*fileHandle, after, tail.data(), static_cast<std::uint32_t>(tail.size())) ||
        !platform::ReadAt(*fileHandle, dataEnd, chunks.data(), trailingBytes))
        return Status::FileError;
    // After odd-sized audio a pad byte comes first, unless its writer left it out.
    const bool odd = (dataEnd - dataStart) % 2 != 0;
    const std::uint32_t skip =
        odd && !chunks.empty() && (chunks.size() < 4 || !wav::LooksLikeChunkId(chunks.data())) ? 1 : 0;
    const auto chunkBytes = static_cast<std::uint32_t>(chunks.size() - skip);
    // Kept before the cut begins; a cut that cannot be kept is made all the
    // same, and cannot be undone.
    if (const std::string keptAt = undo == Undo::Keep ? journal.KeptCutPath(fileName) : ""; !keptAt.empty())
        (void)keptCut.Keep(files, keptAt, *fileHandle, point, after - point, chunks.data() + skip, chunkBytes);
    marks.BeginChange(wav::AudioEdit::Kind::Cut, from, length);
    if (!WriteJournalFor(*this, JournalEntry::Kind::Edit, fileName, true) ||
        !journal.StartSpool(point, tail.data(), static_cast<std::uint32_t>(tail.size()), chunks.data() + skip,
                            chunkBytes)) {
        journal.Drop();
        marks.CancelChange();
        keptCut.Forget();
        return Status::FileError;
    }
    const BufferedChange change{point, dataStart, std::max<std::uint16_t>(header.BlockAlign(), 1), nullptr, 0,
                                tail.data(), static_cast<std::uint32_t>(tail.size()), chunks.data() + skip,
                                chunkBytes};
    HeaderImage image = header;
    const ChangeWritten written = WriteBufferedChange(*fileHandle, change, [&](std::uint32_t end, std::uint32_t fileEnd) {
        image.SetDataSize(end - dataStart);
        FileSink sink(*fileHandle);
        return FinishHeader(sink, image, fileEnd);
    });
    std::optional<std::uint32_t> laid;
    if (written.whole)
        laid = marks.SettleIn(*fileHandle, dataStart, written.layout.audioEnd, written.layout.fileEnd, true);
    const bool ok = laid && fileHandle->sync();
    if (ok) {
        journal.Drop();
        marks.Settled();
    } else {
        // The spool beside the journal finishes the cut at the next look.
        journal.Leave();
        marks.CancelChange();
    }
    // The recording is read afresh, as after any change of its length.
    const std::string name = fileName;
    const Status again = Select(name, fast ? platform::Media::Fast : platform::Media::Slow);
    if (again == Status::Ok) (void)SeekToSample(std::min(from, LengthInBlocks() == 0 ? 0 : LengthInBlocks() - 1));
    const std::optional<FilePrint> print =
        ok && again == Status::Ok ? PrintOf(*fileHandle, header.dataChunkPos + 8, dataEnd) : std::nullopt;
    if (print) keptCut.NoteCutFile(name, *print, from);
    else keptCut.Forget();
    return ok && again == Status::Ok ? Status::Ok : Status::FileError;
}

bool StorageContext::CanUndoCut() const {
    return keptCut.Held() && (current == selectFast.get() || current == selectSlow.get()) && !readOnly;
}

Status StorageContext::UndoCut() {
    assert(sequence.CalledOnValidSequence());
    if (!CanUndoCut() || !fileHandle) return Status::FileError;
    const bool fast = current == selectFast.get();
    const std::uint32_t dataStart = header.dataChunkPos + 8;
    const std::uint32_t point = keptCut.Point();
    const std::uint32_t from = keptCut.FromBlock();
    // The slow strategies read on from the file pointer: a refusal leaves it be.
    const std::uint32_t at = fileHandle->tell();
    const auto refuse = [&] {
        (void)fileHandle->seek(at);
        return Status::FileError;
    };
    // Only the file the cut left takes its audio back.
    const std::optional<FilePrint> print = PrintOf(*fileHandle, dataStart, dataEnd);
    std::vector<std::uint8_t> removed, chunks, tail;
    bool ok = print && keptCut.Fits(*print) && point >= dataStart && point <= dataEnd && keptCut.Read(removed, chunks);
    if (ok) tail.resize(dataEnd - point);
    ok = ok && platform::ReadAt(*fileHandle, point, tail.data(), static_cast<std::uint32_t>(tail.size()));
    if (!ok) {
        keptCut.Forget();
        return refuse();
    }
    // The spool is whole before the journal names it: recovery then writes
    // all of it out, or finds no journal and leaves the cut recording.
    if (!journal.Claim(fileName)) return refuse();
    if (!journal.StartWholeSpool(point, removed, tail, chunks) ||
        !WriteJournalFor(*this, JournalEntry::Kind::Edit, fileName, true) || !journal.Placed()) {
        journal.Drop();
        return refuse();
    }
    keptCut.Forget();
    const BufferedChange change{point, dataStart, std::max<std::uint16_t>(header.BlockAlign(), 1), removed.data(),
                                static_cast<std::uint32_t>(removed.size()), tail.data(),
                                static_cast<std::uint32_t>(tail.size()), chunks.data(),
                                static_cast<std::uint32_t>(chunks.size())};
    HeaderImage image = header;
    const ChangeWritten written = WriteBufferedChange(*fileHandle, change, [&](std::uint32_t end, std::uint32_t fileEnd) {
        image.SetDataSize(end - dataStart);
        FileSink sink(*fileHandle);
        return FinishHeader(sink, image, fileEnd);
    });
    ok = written.whole && fileHandle->sync();
    // Not settled: the spool beside the journal finishes it at the next look.
    if (ok) journal.Drop();
    else journal.Leave();
    const std::string name = fileName;
    const Status again = Select(name, fast ? platform::Media::Fast : platform::Media::Slow);
    if (again == Status::Ok) (void)SeekToSample(std::min(from, LengthInBlocks() == 0 ? 0 : LengthInBlocks() - 1));
    return ok && again == Status::Ok ? Status::Ok : Status::FileError;
}

std::uint16_t StorageContext::FormatTag() const { return header.FormatTag(); }
std::uint16_t StorageContext::Channels() const { return header.Channels(); }
std::uint32_t StorageContext::SamplesPerSec() const { return header.SamplesPerSec(); }
std::uint32_t StorageContext::AvgBytesPerSec() const { return header.AvgBytesPerSec(); }
std::uint16_t StorageContext::BlockAlign() const { return header.BlockAlign(); }
std::uint16_t StorageContext::BitsPerSample() const { return header.BitsPerSample(); }
std::uint16_t StorageContext::CbSize() const { return header.CbSize(); }
std::uint16_t StorageContext::SamplesPerBlock() const { return header.SamplesPerBlock(); }
std::uint32_t StorageContext::LengthInBlocks() const { return header.LengthInBlocks(); }
std::uint32_t StorageContext::DataSize() const { return header.DataSize(); }

bool StorageContext::IsIdle() const { return current == idle.get(); }

void StorageContext::ReportInternalError(const char* className, const char* operation) {
    const std::string text =
        std::string("Please, contact Korvel technical support\nCode:\n") + className + "::" + operation;
    shell.messageBox(text, "Internal Error", platform::mb::IconHand | platform::mb::Ok);
}

}  // namespace tavrin::storage
