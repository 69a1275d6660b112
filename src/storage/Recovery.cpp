#include "storage/Recovery.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "storage/BufferSpool.h"
#include "storage/BufferedChange.h"
#include "storage/MarkBook.h"
#include "storage/ProgressSeal.h"
#include "storage/Journal.h"
#include "storage/JournalMatch.h"
#include "storage/TrailingChunks.h"
#include "wav/HeaderLayout.h"

namespace tavrin::storage {
namespace {

bool InScope(const std::string& path, const std::vector<std::string>& scope) {
    if (scope.empty()) return true;
    for (std::string place : scope) {
        while (place.size() > 1 && place.back() == '/') place.pop_back();
        if (path == place || path.rfind(place + "/", 0) == 0) return true;
    }
    return false;
}

using platform::ReadAt;
using platform::WriteAt;

struct Outcome {
    bool changed = false;
    bool ok = false;
    std::uint32_t audio = 0;
};

// Writes the bytes of `header` that differ from what the file holds there
// (`held`; empty: not known), and notes them held. Only what changes is
// written, so a power cut while it reaches the medium can tear the counts,
// never the identifiers the next recovery knows the file by.
bool WriteChanged(platform::File& file, std::vector<std::uint8_t>& held, const std::vector<std::uint8_t>& header) {
    if (!platform::WriteChangedAt(file, 0, held, header)) return false;
    held = header;
    return true;
}

// Brings one file in line with its journal. Each write is idempotent. A
// seal, when there is one (see ProgressSeal), names the data size instead of
// the header, whose count may have reached the medium before its audio.
Outcome Repair(platform::File& file, const JournalEntry& e, std::optional<std::uint32_t> sealed = std::nullopt) {
    Outcome out;
    std::uint32_t size = 0;
    const std::uint32_t audioStart = e.dataChunkPos + 8;
    if (!file.size(size)) return out;
    std::vector<std::uint8_t> header(audioStart);
    const bool whole = size >= audioStart && ReadAt(file, 0, header.data(), audioStart);
    std::vector<std::uint8_t> held = whole ? header : std::vector<std::uint8_t>{};  // what the file holds there
    if (!e.head.empty()) {
        // A header the crash cut short, or tore, is written again from the
        // journal; the audio it counted is whatever made it.
        if (!whole || !HoldsJournalHeader(e, header)) {
            header = NewRecordingHeader(e, 0);
            size = std::max(size, audioStart);
        }
    } else if (!whole) {
        return out;  // checked by MatchJournal: the file changed under recovery
    }
    const std::uint32_t claimed = TrustedDataSize(e, sealed.value_or(wav::LoadLe32(&header[e.dataChunkPos + 4])));
    std::uint32_t audio = std::min(claimed, size - audioStart);
    audio -= audio % e.blockAlign;
    out.audio = audio;

    std::vector<std::uint8_t> fixed = header;
    wav::SetHeaderCounts(fixed.data(), e.Places(), audioStart + audio, audio);
    std::uint32_t now = 0;
    out.changed = fixed != held || !file.size(now) || now != audioStart + audio;
    if (!out.changed) {
        out.ok = true;
        return out;
    }
    out.ok = WriteChanged(file, held, fixed) && file.setLength(audioStart + audio) && file.sync();
    return out;
}

// Finishes an insertion whose tail was being moved: the spool holds the
// inserted audio and the old tail; the header then counts them.
bool RollForward(platform::File& file, const JournalEntry& e, const SpliceSpool& s) {
    const std::uint64_t end = std::uint64_t{s.point} + s.added.size() + s.tail.size();
    if (s.point < e.dataChunkPos + 8 || end > 0xFFFFFFFFu) return false;
    std::uint8_t size[4];
    wav::StoreLe32(size, static_cast<std::uint32_t>(end - (e.dataChunkPos + 8)));
    const auto added = static_cast<std::uint32_t>(s.added.size());
    return WriteAt(file, s.point, s.added.data(), added) &&
           WriteAt(file, s.point + added, s.tail.data(), static_cast<std::uint32_t>(s.tail.size())) &&
           WriteAt(file, e.dataChunkPos + 4, size, 4) && file.sync();
}

// An insertion cut short while it recorded: its tail is still in place, so
// the audio recorded so far and that tail become a splice spool, which is
// then rolled forward like one cut short while the tail moved.
bool SettleInsertSpool(platform::FileSystem& files, platform::File& file, const JournalEntry& e,
                       const std::string& journal) {
    const std::string insertSpool = InsertSpoolPathFor(journal);
    if (!files.exists(insertSpool)) return true;
    const std::string spool = SpoolPathFor(journal);
    if (!ReadSpliceSpool(files, spool)) {
        std::optional<SpliceSpool> recorded = ReadInsertSpool(files, insertSpool);
        const std::uint32_t audioStart = e.dataChunkPos + 8;
        std::uint8_t count[4];
        std::uint32_t size = 0;
        if (recorded && !recorded->added.empty() && file.size(size) && ReadAt(file, e.dataChunkPos + 4, count, 4)) {
            const std::uint32_t end = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(std::uint64_t{audioStart} + TrustedDataSize(e, wav::LoadLe32(count)), size));
            if (recorded->point < audioStart || recorded->point > end) return false;  // see KeptNonsense
            std::vector<std::uint8_t> tail(end - recorded->point);
            if (!tail.empty() && !ReadAt(file, recorded->point, tail.data(), static_cast<std::uint32_t>(tail.size())))
                return false;
            recorded->added.resize(recorded->added.size() - recorded->added.size() % e.blockAlign);
            if (!WriteSpliceSpool(files, spool, recorded->point, recorded->added.data(),
                                  static_cast<std::uint32_t>(recorded->added.size()), tail.data(),
                                  static_cast<std::uint32_t>(tail.size())))
                return false;
        }
    }
    return files.remove(insertSpool);
}

// A buffered change cut short: its spool is written out as the end of the
// change would have written its buffer (see BufferedChange.h). Only whole
// blocks are kept. A volume still too full keeps what fits, under an exact
// header; the journal and the spool then stay for the next attempt.
Outcome WriteOut(platform::File& file, const JournalEntry& e, BufferImage& s) {
    Outcome out;
    const std::uint32_t audioStart = e.dataChunkPos + 8;
    const bool create = e.kind == JournalEntry::Kind::Create;
    std::vector<std::uint8_t> header(audioStart);
    if (create) {
        header = NewRecordingHeader(e, 0);
    } else if (!ReadAt(file, 0, header.data(), audioStart)) {
        return out;
    }
    if (!create && s.point < audioStart) return out;
    std::vector<std::uint8_t> held = create ? std::vector<std::uint8_t>{} : header;
    // A new recording's buffer starts with its header, as the journal spells it.
    const std::uint32_t lead = create ? audioStart : 0;
    if (create) {
        if (s.buffer.size() < lead) s.buffer.resize(lead);
        std::copy(header.begin(), header.end(), s.buffer.begin());
    }
    s.buffer.resize(lead + (s.buffer.size() - lead) / e.blockAlign * e.blockAlign);
    const BufferedChange change{create ? 0 : s.point, audioStart, e.blockAlign,
                                s.buffer.data(), static_cast<std::uint32_t>(s.buffer.size()),
                                s.tailAudio.data(), static_cast<std::uint32_t>(s.tailAudio.size()),
                                s.trailer.data(), static_cast<std::uint32_t>(s.trailer.size())};
    const ChangeWritten written = WriteBufferedChange(file, change, [&](std::uint32_t audioEnd, std::uint32_t end) {
        wav::SetHeaderCounts(header.data(), e.Places(), end, audioEnd - audioStart);
        return WriteChanged(file, held, header);
    });
    // What fitted lasts even when not all of it did.
    const bool synced = written.laidOut && file.sync();
    out.ok = written.whole && synced;
    out.changed = create || written.layout.kept > lead;
    out.audio = written.laidOut ? written.layout.audioEnd - audioStart : 0;
    return out;
}

// A buffered change: written out from its spool; without one the change
// never reached the file (a new recording's file, if made, gets its header).
Outcome SettleBuffered(platform::FileSystem& files, platform::File& file, const JournalEntry& e,
                       const std::string& journal) {
    if (auto image = ReadBufferSpool(files, BufferSpoolPathFor(journal))) return WriteOut(file, e, *image);
    if (e.kind == JournalEntry::Kind::Create) return Repair(file, e);
    return Outcome{false, true, 0};
}

// A new recording's buffered journal whose file is gone from a folder that is
// there, while its spool holds audio.
bool HoldsNewRecording(platform::FileSystem& files, const JournalEntry& e, const std::string& journal) {
    if (!e.buffered || e.kind != JournalEntry::Kind::Create || files.exists(e.path)) return false;
    if (!files.isDirectory(platform::FolderOf(e.path))) return false;
    const auto image = ReadBufferSpool(files, BufferSpoolPathFor(journal));
    return image && image->buffer.size() > e.dataChunkPos + 8;
}

// Settles the journal of a repaired file (its spool first) and notes the
// file when it changed or could not be repaired.
void Report(platform::FileSystem& files, const std::string& journal, const std::string& spool,
            const JournalEntry& e, const Outcome& outcome, std::vector<RecoveredFile>& recovered) {
    if (outcome.ok && files.exists(spool)) (void)files.remove(spool);
    if (outcome.ok) (void)files.remove(journal);
    if (!outcome.changed && outcome.ok) return;
    const std::uint64_t ms = e.avgBytesPerSec == 0 ? 0 : std::uint64_t{outcome.audio} * 1000 / e.avgBytesPerSec;
    // Audio that could not be written yet stays in the spool, never lost.
    const bool kept = !outcome.ok && e.buffered && files.exists(spool);
    recovered.push_back({e.path, static_cast<std::uint32_t>(ms), outcome.ok, {}, kept ? spool : std::string()});
}

// A journal recovery must not act on: it goes aside with what it kept, its
// file stays as it is, and the user hears of it this once.
void SetAside(platform::FileSystem& files, const std::string& journal, const std::string& path, std::string why,
              std::vector<RecoveredFile>& recovered) {
    (void)SetJournalAside(files, journal);
    recovered.push_back({path.empty() ? journal : path, 0, false, std::move(why), {}});
}

// The digest a writer's claim gives of the audio bytes [from, count) of
// `file`, read a piece at a time; nullopt when they cannot all be read.
std::optional<std::uint32_t> AudioDigest(platform::File& file, std::uint32_t audioStart, std::uint32_t from,
                                         std::uint32_t count) {
    std::uint32_t h = ClaimDigestStart();
    std::vector<std::uint8_t> piece(1u << 20);
    for (std::uint64_t at = from; at < count;) {
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(piece.size(), count - at));
        if (audioStart + at + n > 0xFFFFFFFFu || !ReadAt(file, static_cast<std::uint32_t>(audioStart + at), piece.data(), n))
            return std::nullopt;
        h = ClaimDigest(piece.data(), n, h);
        at += n;
    }
    return h;
}

// Repairs the file of a fast road's change: an insertion's spools first, then
// the header and the tail, then the chunks kept from after the audio.
Outcome SettleInPlace(platform::FileSystem& files, platform::File& file, const JournalEntry& e,
                      const std::string& journal) {
    if (!SettleInsertSpool(files, file, e, journal)) return {};
    bool rolledForward = false;
    const std::string spool = SpoolPathFor(journal);
    if (files.exists(spool)) {
        const auto splice = ReadSpliceSpool(files, spool);
        if (splice && !RollForward(file, e, *splice)) return {};
        rolledForward = splice.has_value();
    }
    const std::uint32_t audioStart = e.dataChunkPos + 8;
    const auto digestOf = [&](std::uint32_t from, std::uint32_t count) {
        return AudioDigest(file, audioStart, from, count);
    };
    Outcome outcome = Repair(file, e, ReadSeal(files, SealPathFor(journal), digestOf));
    if (outcome.ok) outcome.ok = RestoreTrailingChunks(files, file, e, journal);
    outcome.changed = outcome.changed || rolledForward;
    return outcome;
}

// Opens the file a journal names, never through a link. Null, with `why`
// set when the name is taken by something recovery must not touch.
std::unique_ptr<platform::File> OpenNamed(platform::FileSystem& files, const std::string& path, std::string& why) {
    platform::ClearIoError();
    auto file = files.open(path, platform::OpenMode::ReadWriteNoLink, false);
    if (file || !files.exists(path)) return file;
    if (platform::LastIoError().number == ELOOP) why = "it is a symbolic link";
    if (files.isDirectory(path)) why = "it is a folder";
    return nullptr;
}

// A new recording's file whose identity the journal lacks is known only by
// what it holds, which the repair is about to change: a power cut while that
// change reaches the medium could leave bytes by which the next recovery knows
// it no more. Its identity is noted in the journal first (synced), as the
// recording would have noted it.
void NoteFileFirst(platform::FileSystem& files, const std::string& journal, const JournalEntry& e,
                   platform::File& file) {
    if (e.kind != JournalEntry::Kind::Create || e.file) return;
    const auto identity = file.identity();
    const auto writable = identity ? files.open(journal, platform::OpenMode::ReadWrite, false) : nullptr;
    if (writable) (void)NoteJournalFile(*writable, *identity);
}

void Settle(platform::FileSystem& files, const std::string& journal, const JournalEntry& e,
            std::vector<RecoveredFile>& recovered) {
    std::string why;
    auto file = OpenNamed(files, e.path, why);
    if (!why.empty()) return SetAside(files, journal, e.path, why, recovered);
    if (!file && HoldsNewRecording(files, e, journal)) {
        // A new recording on slow media is empty until it ends, and may have
        // been deleted as such: its audio is in the spool, the only copy.
        file = files.open(e.path, platform::OpenMode::ReadWriteCreate, false);
    }
    if (!file) {
        // Gone from a folder that is there (deleted, or never made):
        // nothing to repair. A card that is not inserted waits for the next run.
        if (!files.exists(e.path) && files.isDirectory(platform::FolderOf(e.path))) (void)files.remove(journal);
        return;
    }
    const JournalMatch match = MatchJournal(files, *file, e, journal);
    if (match.verdict == JournalMatch::Verdict::Unknown) {
        recovered.push_back({e.path, 0, false, {}, {}});
        return;
    }
    if (match.verdict == JournalMatch::Verdict::Another) {
        file.reset();
        return SetAside(files, journal, e.path, match.why, recovered);
    }
    NoteFileFirst(files, journal, e, *file);
    Outcome outcome = e.buffered ? SettleBuffered(files, *file, e, journal) : SettleInPlace(files, *file, e, journal);
    // The marks go where the change left the audio they point at.
    if (outcome.ok) outcome.ok = RestoreMarks(files, *file, e, journal);
    file.reset();
    Report(files, journal, e.buffered ? BufferSpoolPathFor(journal) : SpoolPathFor(journal), e, outcome, recovered);
}

}  // namespace

std::vector<RecoveredFile> RecoverRecordings(platform::FileSystem& files, const std::string& journalFolder,
                                             const std::vector<std::string>& scope) {
    std::vector<RecoveredFile> recovered;
    const std::vector<std::string> journals = ListJournals(files, journalFolder);
    for (const std::string& journal : journals) {
        // A journal whose program still runs (another window, tavrin-cli)
        // names a recording being written: never repaired under its feet.
        const auto lock = files.open(journal, platform::OpenMode::ReadOnly, false);
        if (!lock || !lock->tryLock()) continue;
        const JournalText text = ReadJournal(files, journal);
        const std::string& path = text.entry.path;
        switch (text.verdict) {
            case JournalText::Verdict::Torn:
                // Torn while it was written: its recording was not touched yet.
                (void)files.remove(journal);
                break;
            case JournalText::Verdict::Nonsense:
                // What it names cannot be trusted: a run for some files leaves it be.
                if (scope.empty() || (!path.empty() && path[0] == '/' && InScope(path, scope)))
                    SetAside(files, journal, path, "its journal makes no sense: " + text.why, recovered);
                break;
            case JournalText::Verdict::Whole:
                if (InScope(path, scope)) Settle(files, journal, text.entry, recovered);
                break;
        }
    }
    RemoveStrays(files, journalFolder);
    // The journals settled stay settled after a power cut: a journal that came
    // back would have its recording repaired, and reported, once more.
    if (!journals.empty()) (void)files.syncFolder(journalFolder);
    return recovered;
}

}  // namespace tavrin::storage
