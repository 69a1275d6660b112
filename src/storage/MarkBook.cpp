#include "storage/MarkBook.h"

#include <algorithm>
#include <array>

#include "storage/HeaderWriting.h"
#include "storage/JournalFormats.h"
#include "storage/TrailingChunks.h"
#include "wav/Digest.h"
#include "wav/Formats.h"
#include "wav/WavChunkReader.h"

namespace tavrin::storage {
namespace {

using platform::ReadAt;
using platform::WriteAt;
using Kind = wav::AudioEdit::Kind;

// The layout is drawn in JournalFormats.h.
using namespace kept;

std::vector<std::uint8_t> HeadOf(const MarkChange& c) {
    std::vector<std::uint8_t> head(kMarkLogRecordsAt);
    std::copy(kMarkLogMark.begin(), kMarkLogMark.end(), head.begin());
    wav::StoreLe32(&head[kMarkLogKindAt], static_cast<std::uint32_t>(c.kind));
    wav::StoreLe32(&head[kMarkLogStartAt], c.at);
    wav::StoreLe32(&head[kMarkLogOldLengthAt], c.oldLength);
    wav::StoreLe32(&head[kMarkLogSamplesPerBlockAt], c.scale.samplesPerBlock);
    wav::StoreLe32(&head[kMarkLogBlockBytesAt], c.scale.blockBytes);
    Seal(head.data(), kMarkLogKindAt, kMarkLogSealAt);
    return head;
}

std::array<std::uint8_t, kMarkRecordBytes> RecordOf(const wav::Mark& mark) {
    std::array<std::uint8_t, kMarkRecordBytes> record{};
    wav::StoreLe32(&record[kMarkIdAt], mark.id);
    wav::StoreLe32(&record[kMarkBlockAt], mark.block);
    Seal(record.data(), kMarkIdAt, kMarkSealAt);
    return record;
}

wav::Mark NewMark(std::uint32_t id, std::uint32_t block) { return {id, block, "Mark " + std::to_string(id)}; }

}  // namespace

wav::MarkList MarksAfterChange(const wav::MarkList& old, const MarkChange& change, const wav::MarkList& added,
                               std::uint32_t newLength) {
    wav::AudioEdit edit{change.kind, change.at, 0};
    if (change.kind == Kind::Insert) edit.count = newLength - std::min(newLength, change.oldLength);
    if (change.kind == Kind::Cut) edit.count = change.oldLength - std::min(change.oldLength, newLength);
    wav::MarkList marks = wav::MarksAfter(old, edit);
    // New marks point into the new audio: those beyond what a crash left of
    // it would point into old audio.
    const std::uint32_t start = std::min(change.at, newLength);
    const std::uint32_t kept = change.kind == Kind::Overwrite ? newLength - start
                                                              : newLength - std::min(newLength, change.oldLength);
    for (const wav::Mark& mark : added) {
        if (change.kind != Kind::Cut && mark.block > std::uint64_t{start} + kept) continue;
        wav::InsertInOrder(marks, mark);
    }
    return wav::MarksWithin(marks, newLength);
}

std::string MarkLogPathFor(const std::string& journalPath) { return journalPath + ".marks"; }

std::optional<MarkLog> ParseMarkLog(const std::uint8_t* image, std::size_t size) {
    if (size < kMarkLogRecordsAt || !HasMark(image, kMarkLogMark) || !Sealed(image, kMarkLogKindAt, kMarkLogSealAt))
        return std::nullopt;
    MarkLog log;
    const std::uint32_t kind = wav::LoadLe32(image + kMarkLogKindAt);
    if (kind > static_cast<std::uint32_t>(Kind::Cut)) return std::nullopt;
    log.change.kind = static_cast<Kind>(kind);
    log.change.at = wav::LoadLe32(image + kMarkLogStartAt);
    log.change.oldLength = wav::LoadLe32(image + kMarkLogOldLengthAt);
    log.change.scale = {wav::LoadLe32(image + kMarkLogSamplesPerBlockAt), wav::LoadLe32(image + kMarkLogBlockBytesAt)};
    if (log.change.scale.samplesPerBlock == 0 || log.change.scale.blockBytes == 0) return std::nullopt;
    for (std::size_t at = kMarkLogRecordsAt; at + kMarkRecordBytes <= size && log.added.size() < wav::kMostMarks;
         at += kMarkRecordBytes) {
        const std::uint8_t* record = image + at;
        if (!Sealed(record, kMarkIdAt, kMarkSealAt)) break;  // torn by a crash: the last one written
        wav::InsertInOrder(log.added, NewMark(wav::LoadLe32(record + kMarkIdAt), wav::LoadLe32(record + kMarkBlockAt)));
    }
    return log;
}

std::optional<wav::MarkList> MarksBeforeAudio(platform::File& file, std::uint32_t dataStart, wav::MarkScale scale,
                                              std::uint32_t lengthInBlocks) {
    // RIFF, its size and WAVE come first; the data chunk's own head last.
    constexpr std::uint32_t kFirstChunk = 12;
    if (dataStart < kFirstChunk + 8 || dataStart - 8 - kFirstChunk > TrailingChunks::kMaxBytes) return {};
    std::vector<std::uint8_t> before(dataStart - 8 - kFirstChunk);
    if (!ReadAt(file, kFirstChunk, before.data(), static_cast<std::uint32_t>(before.size()))) return std::nullopt;
    return wav::MarksInChunks(before.data(), static_cast<std::uint32_t>(before.size()), scale, lengthInBlocks);
}

std::optional<std::uint32_t> LayOutMarks(platform::File& file, std::uint32_t dataStart, std::uint32_t audioEnd,
                                         std::uint32_t fileEnd, wav::MarkScale scale, std::uint32_t foundWithin,
                                         const PlaceMarks& place, bool riff) {
    if (fileEnd < audioEnd || audioEnd < dataStart || fileEnd - audioEnd > TrailingChunks::kMaxBytes)
        return std::nullopt;
    std::vector<std::uint8_t> after(fileEnd - audioEnd);
    if (!ReadAt(file, audioEnd, after.data(), static_cast<std::uint32_t>(after.size()))) return std::nullopt;
    // After odd-sized audio a pad byte comes first, unless its writer left it out.
    const bool odd = (audioEnd - dataStart) % 2 != 0;
    const std::size_t skip = odd && !after.empty() && (after.size() < 4 || !wav::LooksLikeChunkId(after.data())) ? 1 : 0;
    const auto* chunks = after.data() + skip;
    const auto size = static_cast<std::uint32_t>(after.size() - skip);
    wav::MarkList found = wav::MarksInChunks(chunks, size, scale, foundWithin);
    if (found.empty()) {
        const auto before = MarksBeforeAudio(file, dataStart, scale, foundWithin);
        if (!before) return std::nullopt;
        found = *before;
    }
    const wav::MarkList marks = place(found);
    std::vector<std::uint8_t> out = wav::ReplaceMarkChunks(chunks, size, marks, scale);
    if (odd && !out.empty()) out.insert(out.begin(), 0);
    const std::uint64_t end = std::uint64_t{audioEnd} + out.size();
    if (end > 0xFFFFFFFFu) return std::nullopt;
    const auto newEnd = static_cast<std::uint32_t>(end);
    // Chunks that stay as they were are not written again: a torn write
    // would garble them, and the next recovery would find no marks there.
    if (!platform::WriteChangedAt(file, audioEnd, after, out) || !file.setLength(newEnd)) return std::nullopt;
    if (riff && !WriteRiffSize(file, newEnd)) return std::nullopt;
    return newEnd;
}

bool RestoreMarks(platform::FileSystem& files, platform::File& file, const JournalEntry& entry,
                  const std::string& journalPath) {
    const std::string path = MarkLogPathFor(journalPath);
    if (!files.exists(path)) return true;
    const auto image = platform::ReadWholeFile(files, path, kMarkLogRecordsAt + kMarkRecordBytes * wav::kMostMarks);
    // A torn head was never followed by a change of the file.
    const std::optional<MarkLog> log = image ? ParseMarkLog(image->data(), image->size()) : std::nullopt;
    if (!log) return true;
    const std::uint32_t dataStart = entry.dataChunkPos + 8;
    const RecoveredAudio audio = RecoveredAudioEnd(file, entry);
    if (audio.failed) return false;
    if (!audio.end) return true;
    const std::uint32_t audioEnd = *audio.end;
    std::uint32_t size = 0;
    if (!file.size(size)) return false;
    const auto blocks = static_cast<std::uint32_t>((audioEnd - dataStart) / log->change.scale.blockBytes);
    // An overwrite changes the file at its first block: audio as long as it
    // was is the old recording, whose marks all stay.
    MarkChange change = log->change;
    wav::MarkList added = log->added;
    if (change.kind == Kind::Overwrite && blocks == change.oldLength) {
        change = {Kind::Append, change.oldLength, change.oldLength, change.scale};
        added.clear();
    }
    const auto laid = LayOutMarks(
        file, dataStart, audioEnd, size, log->change.scale, log->change.oldLength,
        [&](const wav::MarkList& found) { return MarksAfterChange(found, change, added, blocks); }, true);
    return laid && file.sync();
}

void MarkBook::Load(wav::MarkList loaded, wav::MarkScale scale, std::uint32_t lengthInBlocks) {
    std::lock_guard<std::mutex> hold(lock);
    marks = std::move(loaded);
    lastId = 0;
    for (const wav::Mark& m : marks) lastId = std::max(lastId, m.id);
    added.clear();
    settling = 0;
    changing = false;
    change = {Kind::Append, lengthInBlocks, lengthInBlocks, scale};
    length = lengthInBlocks;
}

wav::MarkList MarkBook::Marks() const {
    std::lock_guard<std::mutex> hold(lock);
    wav::MarkList all = marks;
    // While a change runs, the marks it keeps are not known before its end:
    // those it moves stand where they were, the new ones where they were made.
    for (const wav::Mark& mark : added) wav::InsertInOrder(all, mark);
    return all;
}

void MarkBook::BeginChange(Kind kind, std::uint32_t at, std::uint32_t oldLength) {
    std::lock_guard<std::mutex> hold(lock);
    change = {kind, at, oldLength, change.scale};
    length = oldLength;
    changing = true;
}

void MarkBook::CancelChange() {
    std::lock_guard<std::mutex> hold(lock);
    placed.reset();
    changing = false;
    change = {Kind::Append, length, length, change.scale};
}

std::optional<wav::Mark> MarkBook::Add(std::uint32_t block) {
    std::lock_guard<std::mutex> hold(lock);
    if (marks.size() + added.size() >= wav::kMostMarks || lastId == 0xFFFFFFFFu) return std::nullopt;
    const wav::Mark mark = NewMark(++lastId, block);
    added.push_back(mark);
    // A mark the log cannot take still reaches the file at the change's end.
    if (files && log) {
        (void)AppendLocked(mark);
    } else if (files) {
        (void)OpenLogLocked();  // with every mark made so far
    }
    return mark;
}

void MarkBook::Withdraw(std::uint32_t id) {
    std::lock_guard<std::mutex> hold(lock);
    added.erase(std::remove_if(added.begin(), added.end(), [id](const wav::Mark& m) { return m.id == id; }),
                added.end());
}

bool MarkBook::Pending() const {
    std::lock_guard<std::mutex> hold(lock);
    return PendingLocked();
}

bool MarkBook::PendingLocked() const {
    if (!added.empty()) return true;
    if (!changing) return false;
    const bool anyAfter = std::any_of(marks.begin(), marks.end(), [&](const wav::Mark& m) {
        return change.kind == Kind::Overwrite ? m.block > change.at : m.block >= change.at;
    });
    return change.kind != Kind::Append && anyAfter;
}

void MarkBook::AttachLog(platform::FileSystem& fileSystem, const std::string& journalPath) {
    std::lock_guard<std::mutex> hold(lock);
    files = &fileSystem;
    logPath = MarkLogPathFor(journalPath);
    log.reset();
    if (PendingLocked()) (void)OpenLogLocked();
}

bool MarkBook::OpenLogLocked() {
    log = files->open(logPath, platform::OpenMode::ReadWriteCreate, false);
    const std::vector<std::uint8_t> head = HeadOf(change);
    if (!log || !log->setLength(0) || !WriteAt(*log, 0, head.data(), kMarkLogRecordsAt)) {
        log.reset();
        return false;
    }
    logEnd = kMarkLogRecordsAt;
    for (const wav::Mark& mark : added)
        if (!AppendLocked(mark)) return false;
    // Its name must last as its records do.
    if (!log->sync() || !files->syncFolder(platform::FolderOf(logPath))) log.reset();
    return log != nullptr;
}

bool MarkBook::AppendLocked(const wav::Mark& mark) {
    const auto record = RecordOf(mark);
    if (!WriteAt(*log, logEnd, record.data(), kMarkRecordBytes)) {
        log.reset();
        return false;
    }
    logEnd += kMarkRecordBytes;
    // A mark is a key pressed now and then: synced at once, on the UI
    // thread, it is in the log before the key is let go.
    if (!log->sync()) log.reset();
    return log != nullptr;
}

std::optional<std::uint32_t> MarkBook::SettleIn(platform::File& file, std::uint32_t dataStart, std::uint32_t audioEnd,
                                                std::uint32_t fileEnd, bool riff) {
    std::lock_guard<std::mutex> hold(lock);
    settling = added.size();
    const std::uint32_t blocks = (audioEnd - std::min(audioEnd, dataStart)) / change.scale.blockBytes;
    placed.reset();
    if (!PendingLocked()) {
        length = blocks;
        return fileEnd;
    }
    const auto laid = LayOutMarks(
        file, dataStart, audioEnd, fileEnd, change.scale, length,
        [&](const wav::MarkList& found) {
            placed = MarksAfterChange(found, change, added, blocks);
            return *placed;
        },
        riff);
    if (laid) length = blocks;
    if (!laid) placed.reset();
    return laid;
}

void MarkBook::Settled() {
    std::lock_guard<std::mutex> hold(lock);
    // The file holds them now: they count once. Marks made while it was
    // being laid out wait for the next change.
    if (placed) marks = std::move(*placed);
    placed.reset();
    added.erase(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(std::min(settling, added.size())));
    settling = 0;
    changing = false;
    change = {Kind::Append, length, length, change.scale};
}

void MarkBook::ForgetLog() {
    std::lock_guard<std::mutex> hold(lock);
    log.reset();
    if (files && !logPath.empty() && files->exists(logPath)) (void)files->remove(logPath);
    files = nullptr;
    logPath.clear();
}

void MarkBook::LeaveLog() {
    std::lock_guard<std::mutex> hold(lock);
    log.reset();
    files = nullptr;
    logPath.clear();
}

}  // namespace tavrin::storage
