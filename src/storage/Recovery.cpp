#include "storage/Recovery.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "storage/BufferSpool.h"
#include "storage/Journal.h"
#include "storage/JournalMatch.h"
#include "storage/TrailingChunks.h"
#include "wav/Formats.h"

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

// Brings one file in line with its journal. Each write is idempotent.
Outcome Repair(platform::File& file, const JournalEntry& e) {
    Outcome out;
    std::uint32_t size = 0;
    const std::uint32_t audioStart = e.dataChunkPos + 8;
    if (!file.size(size)) return out;
    std::vector<std::uint8_t> header(audioStart);
    const bool whole = size >= audioStart && ReadAt(file, 0, header.data(), audioStart);
    if (e.kind == JournalEntry::Kind::Create) {
        // A header the crash cut short is written again; the audio it counted is whatever made it.
        // The fact value (GSM) counts blocks and changes with the audio.
        const std::size_t fixedBytes = e.factValuePos != 0 ? e.factValuePos - 8 : e.head.size();
        const auto fixedEnd = e.head.begin() + static_cast<std::ptrdiff_t>(fixedBytes);
        const bool intact = whole && std::equal(e.head.begin(), fixedEnd, header.begin() + 8) &&
                            std::equal(header.begin() + e.dataChunkPos, header.begin() + e.dataChunkPos + 4, "data");
        if (!intact) {
            header = NewRecordingHeader(e, 0);
            size = std::max(size, audioStart);
        }
    } else if (!whole) {
        return out;  // checked by MatchJournal: the file changed under recovery
    }
    const std::uint32_t claimed = TrustedDataSize(e, wav::LoadLe32(&header[e.dataChunkPos + 4]));
    std::uint32_t audio = std::min(claimed, size - audioStart);
    audio -= audio % e.blockAlign;
    out.audio = audio;

    std::vector<std::uint8_t> fixed = header;
    wav::StoreLe32(&fixed[4], audioStart + audio - 8);
    wav::StoreLe32(&fixed[e.dataChunkPos + 4], audio);
    if (e.factValuePos != 0 && e.factValuePos + 4 <= e.dataChunkPos)
        wav::StoreLe32(&fixed[e.factValuePos], audio / wav::kGsmBlockBytes);
    std::uint32_t now = 0;
    out.changed = fixed != header || !file.size(now) || now != audioStart + audio;
    if (!out.changed) {
        out.ok = true;
        return out;
    }
    out.ok = WriteAt(file, 0, fixed.data(), audioStart) && file.setLength(audioStart + audio) && file.sync();
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
// change would have written its buffer: the new audio at its point, the old
// audio that follows it, the chunks after the audio (word-aligned), the file
// cut after them and the header finished. Only whole blocks are kept.
Outcome WriteOut(platform::File& file, const JournalEntry& e, const BufferImage& s) {
    Outcome out;
    const std::uint32_t audioStart = e.dataChunkPos + 8;
    const bool create = e.kind == JournalEntry::Kind::Create;
    const std::uint32_t skip = create ? audioStart : 0;  // a new recording's buffer starts with its header
    const std::uint64_t held = s.buffer.size() > skip ? s.buffer.size() - skip : 0;
    const std::uint64_t point = create ? audioStart : std::uint64_t{s.point};
    const std::uint64_t added = held - held % e.blockAlign;
    if (point < audioStart || point + added + s.tailAudio.size() + s.trailer.size() + 1 > 0xFFFFFFFFu) return out;
    std::vector<std::uint8_t> header(audioStart);
    if (create) {
        header = NewRecordingHeader(e, 0);
    } else if (!ReadAt(file, 0, header.data(), audioStart)) {
        return out;
    }
    const auto data = static_cast<std::uint32_t>(point - audioStart + added + s.tailAudio.size());
    auto end = static_cast<std::uint32_t>(point);
    const auto put = [&](const std::uint8_t* bytes, std::uint64_t n) {
        const bool ok = WriteAt(file, end, bytes, static_cast<std::uint32_t>(n));
        end += static_cast<std::uint32_t>(n);
        return ok;
    };
    static constexpr std::uint8_t kPad = 0;
    bool ok = put(s.buffer.data() + skip, added) && put(s.tailAudio.data(), s.tailAudio.size());
    if (ok && !s.trailer.empty()) ok = put(&kPad, data % 2) && put(s.trailer.data(), s.trailer.size());
    wav::StoreLe32(&header[4], end - 8);
    wav::StoreLe32(&header[e.dataChunkPos + 4], data);
    if (e.factValuePos != 0 && e.factValuePos + 4 <= e.dataChunkPos)
        wav::StoreLe32(&header[e.factValuePos], data / wav::kGsmBlockBytes);
    out.ok = ok && WriteAt(file, 0, header.data(), audioStart) && file.setLength(end) && file.sync();
    out.changed = create || added > 0;
    out.audio = data;
    return out;
}

// A buffered change: written out from its spool; without one the change
// never reached the file (a new recording's file, if made, gets its header).
Outcome SettleBuffered(platform::FileSystem& files, platform::File& file, const JournalEntry& e,
                       const std::string& journal) {
    if (const auto image = ReadBufferSpool(files, BufferSpoolPathFor(journal))) return WriteOut(file, e, *image);
    if (e.kind == JournalEntry::Kind::Create) return Repair(file, e);
    return Outcome{false, true, 0};
}

// Settles the journal of a repaired file (its spool first) and notes the
// file when it changed or could not be repaired.
void Report(platform::FileSystem& files, const std::string& journal, const std::string& spool,
            const JournalEntry& e, const Outcome& outcome, std::vector<RecoveredFile>& recovered) {
    if (outcome.ok && files.exists(spool)) (void)files.remove(spool);
    if (outcome.ok) (void)files.remove(journal);
    if (!outcome.changed && outcome.ok) return;
    const std::uint64_t ms = e.avgBytesPerSec == 0 ? 0 : std::uint64_t{outcome.audio} * 1000 / e.avgBytesPerSec;
    recovered.push_back({e.path, static_cast<std::uint32_t>(ms), outcome.ok, {}});
}

// A journal recovery must not act on: it goes aside with what it kept, its
// file stays as it is, and the user hears of it this once.
void SetAside(platform::FileSystem& files, const std::string& journal, const std::string& path, std::string why,
              std::vector<RecoveredFile>& recovered) {
    (void)SetJournalAside(files, journal);
    recovered.push_back({path.empty() ? journal : path, 0, false, std::move(why)});
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
    Outcome outcome = Repair(file, e);
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

void Settle(platform::FileSystem& files, const std::string& journal, const JournalEntry& e,
            std::vector<RecoveredFile>& recovered) {
    std::string why;
    auto file = OpenNamed(files, e.path, why);
    if (!why.empty()) return SetAside(files, journal, e.path, why, recovered);
    if (!file) {
        // Gone from a folder that is there (deleted, or never made):
        // nothing to repair. A card that is not inserted waits for the next run.
        if (!files.exists(e.path) && files.isDirectory(platform::FolderOf(e.path))) (void)files.remove(journal);
        return;
    }
    const JournalMatch match = MatchJournal(files, *file, e, journal);
    if (match.verdict == JournalMatch::Verdict::Unknown) {
        recovered.push_back({e.path, 0, false, {}});
        return;
    }
    if (match.verdict == JournalMatch::Verdict::Another) {
        file.reset();
        return SetAside(files, journal, e.path, match.why, recovered);
    }
    const Outcome outcome =
        e.buffered ? SettleBuffered(files, *file, e, journal) : SettleInPlace(files, *file, e, journal);
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
