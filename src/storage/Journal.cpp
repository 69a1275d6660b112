#include "storage/Journal.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>

#include "wav/Digest.h"
#include "wav/HeaderLayout.h"
#include "wav/WavChunkReader.h"

#include "storage/BufferSpool.h"
#include "storage/JournalFormats.h"

namespace tavrin::storage {
namespace {

constexpr const char* kSuffix = ".journal";

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * n + 1);
    for (std::size_t i = 0; i < n; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out.empty() ? "-" : out;
}

std::optional<std::vector<std::uint8_t>> Unhex(const std::string& text) {
    if (text == "-") return std::vector<std::uint8_t>{};
    if (text.size() % 2 != 0) return std::nullopt;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = digit(text[i]);
        const int low = digit(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return out;
}

std::string FileLine(const platform::FileIdentity& file) {
    return "file " + std::to_string(file.device) + ' ' + std::to_string(file.inode) + '\n';
}

std::optional<std::vector<std::uint64_t>> Numbers(const std::string& line, std::size_t count);

std::optional<platform::FileIdentity> ParseFileLine(const std::string& line) {
    if (!line.starts_with("file ")) return std::nullopt;
    const auto numbers = Numbers(line.substr(5), 2);
    if (!numbers) return std::nullopt;
    return platform::FileIdentity{(*numbers)[0], (*numbers)[1]};
}

// "<16 hex digits of the header digest> <claimed> <held>"
bool ParseStart(const std::string& line, std::optional<JournalEntry::Start>& start) {
    std::uint64_t digest = 0;
    const char* end = line.data() + std::min<std::size_t>(line.size(), 16);
    const auto [next, error] = std::from_chars(line.data(), end, digest, 16);
    if (line.size() < 17 || error != std::errc() || next != line.data() + 16 || line[16] != ' ') return false;
    const auto counts = Numbers(line.substr(17), 2);
    if (!counts || (*counts)[0] > 0xFFFFFFFFu || (*counts)[1] > (*counts)[0]) return false;
    start = JournalEntry::Start{digest, static_cast<std::uint32_t>((*counts)[0]),
                                static_cast<std::uint32_t>((*counts)[1])};
    return true;
}

std::string Number(std::uint64_t v) { return std::to_string(v); }

std::string Format(const JournalEntry& e) {
    char start[64] = "-";
    if (e.start)
        std::snprintf(start, sizeof start, "%016llx %u %u", static_cast<unsigned long long>(e.start->header),
                      static_cast<unsigned>(e.start->claimed), static_cast<unsigned>(e.start->held));
    // The path is spelled in hex: a file name may hold any byte but '/' and NUL.
    std::string out = std::string(kJournalMagic) + '\n' +
                      (e.kind == JournalEntry::Kind::Create ? "create" : "edit") + (e.buffered ? "-buffered" : "") +
                      '\n' + Hex(reinterpret_cast<const std::uint8_t*>(e.path.data()), e.path.size()) + '\n' +
                      Number(e.dataChunkPos) + ' ' + Number(e.factValuePos) + ' ' + Number(e.blockAlign) + ' ' +
                      Number(e.avgBytesPerSec) + '\n' + Hex(e.head.data(), e.head.size()) + '\n' + start + '\n' +
                      "end\n";
    if (e.file) out += FileLine(*e.file);
    return out;
}

std::vector<std::string> Lines(const std::uint8_t* bytes, std::size_t size, bool& lastEnded) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += static_cast<char>(bytes[i]);
        }
    }
    lastEnded = lines.back().empty();
    if (lastEnded) lines.pop_back();
    return lines;
}

// Decimal numbers separated by single spaces, each within 64 bits, nothing else.
std::optional<std::vector<std::uint64_t>> Numbers(const std::string& line, std::size_t count) {
    std::vector<std::uint64_t> out;
    const char* at = line.data();
    const char* end = line.data() + line.size();
    while (out.size() < count) {
        std::uint64_t v = 0;
        const auto [next, error] = std::from_chars(at, end, v);
        if (error != std::errc() || next == at) return std::nullopt;
        out.push_back(v);
        at = next;
        if (out.size() < count) {
            if (at == end || *at != ' ') return std::nullopt;
            ++at;
        }
    }
    if (at != end) return std::nullopt;
    return out;
}

// Why the fields of a whole journal cannot describe a change this program
// made; empty when they can. Checked before any of them is used.
std::string Nonsense(const JournalEntry& e) {
    if (e.path.empty() || e.path[0] != '/' || e.path.find('\0') != std::string::npos)
        return "it names no file by its full path";
    if (e.blockAlign == 0 || e.blockAlign > 0xFFFF) return "its block size is out of range";
    // "RIFF", its size, "WAVE" and a PCM fmt chunk come before any data chunk.
    if (e.dataChunkPos < 36 || e.dataChunkPos > kMaxJournalHeader - 8) return "its data chunk lies out of range";
    if (e.factValuePos != 0 && (e.factValuePos < 20 || e.factValuePos > e.dataChunkPos - 4))
        return "its fact value lies out of range";
    if (e.kind == JournalEntry::Kind::Edit) {
        // The header it began from, to be written again should it tear: its
        // own, as the digest of its start says.
        if (e.head.empty()) return {};
        if (!e.start || e.head.size() + 8 != e.dataChunkPos ||
            HeaderDigest(NewRecordingHeader(e, 0).data(), e.dataChunkPos, e.factValuePos) != e.start->header)
            return "an edit with a header it did not begin from";
        return {};
    }
    if (e.start) return "a new recording with an edit's header";
    // A new recording's header is written from the journal: it must be one
    // this program writes and reads back as it says.
    if (e.head.size() + 8 != e.dataChunkPos) return "its header does not end at its data chunk";
    const std::vector<std::uint8_t> header = NewRecordingHeader(e, 0);
    wav::WavInfo info;
    if (wav::ParseWavBytes(header.data(), static_cast<std::uint32_t>(header.size()), info) != wav::kParsePlayable ||
        info.dataStart != e.dataChunkPos + 8 || info.blockAlign != e.blockAlign ||
        info.avgBytesPerSec != e.avgBytesPerSec)
        return "its header is not one of a recording";
    if (e.factValuePos != 0 && std::memcmp(&header[e.factValuePos - 8], "fact", 4) != 0)
        return "its fact value is not in a fact chunk";
    return {};
}

}  // namespace

std::string JournalPathFor(const std::string& folder, const std::string& recordingPath) {
    char name[32];
    std::snprintf(name, sizeof name, "%016zx", std::hash<std::string>{}(recordingPath));
    return folder + "/" + name + kSuffix;
}

bool MakeStateFolder(platform::FileSystem& files, const std::string& folder) {
    if (folder.empty() || folder == "." || files.isDirectory(folder)) return true;
    const std::string parent = platform::FolderOf(folder);
    if (parent != folder && !MakeStateFolder(files, parent)) return false;
    if (!files.createDirectory(folder) && !files.isDirectory(folder)) return false;
    (void)files.syncFolder(parent);
    return true;
}

namespace {

HeldJournal Refused(bool inUse) {
    HeldJournal refused;
    refused.refused = true;
    refused.inUse = inUse;
    return refused;
}

// Whether a journal in place is held by a live writer.
bool HeldByWriter(platform::FileSystem& files, const std::string& path) {
    auto other = files.open(path, platform::OpenMode::ReadOnly, false);
    return other && !other->tryLock();
}

}  // namespace

HeldJournal ClaimJournal(platform::FileSystem& files, const std::string& folder, const std::string& recordingPath) {
    if (folder.empty() || !MakeStateFolder(files, folder)) return {};
    const std::string path = JournalPathFor(folder, recordingPath);
    // The journal is written whole under another name first: recovery, in
    // this process or another, only ever finds one that is complete and
    // locked. Whoever holds the lock of that name may change the recording.
    const std::string fresh = path + ".new";
    std::unique_ptr<platform::File> file;
    // Recovery removes a claim a crash left behind once it can lock it: one
    // it removed between this open and this lock is no claim, and the name
    // is claimed afresh.
    for (int attempt = 0; attempt < 2 && !file; ++attempt) {
        file = files.open(fresh, platform::OpenMode::ReadWriteCreate, false);
        if (!file) return {};
        if (!file->tryLock()) return Refused(true);
        auto named = files.open(fresh, platform::OpenMode::ReadOnly, false);
        if (!named || named->tryLock()) file.reset();
    }
    if (!file) return {};
    if (files.exists(path)) {
        const bool inUse = HeldByWriter(files, path);
        (void)files.remove(fresh);  // still locked: no other writer can have it
        return Refused(inUse);
    }
    return {path, std::move(file)};
}

bool PlaceJournal(platform::FileSystem& files, HeldJournal& claim, const JournalEntry& entry) {
    if (claim.path.empty() || !claim.lock) return false;
    const std::string text = Format(entry);
    const std::string fresh = claim.path + ".new";
    std::uint32_t written = 0;
    // The journal's name must last as its contents do: a power cut that took
    // it would leave the recording unknown to recovery.
    const bool whole = claim.lock->setLength(0) &&
                       claim.lock->write(text.data(), static_cast<std::uint32_t>(text.size()), written) &&
                       written == text.size() && claim.lock->sync();
    const bool moved = whole && files.moveNoReplace(fresh, claim.path);
    if (moved && files.syncFolder(platform::FolderOf(claim.path))) return true;
    if (moved) {
        (void)files.remove(claim.path);
    } else if (whole && files.exists(claim.path)) {
        claim.refused = true;  // taken under our feet, which a claim rules out; never replaced
        claim.inUse = true;
    }
    ReleaseClaim(files, claim);
    return false;
}

void ReleaseClaim(platform::FileSystem& files, HeldJournal& claim) {
    // Removed while still locked: no other writer can have taken it meanwhile.
    if (claim.lock && !claim.path.empty()) (void)files.remove(claim.path + ".new");
    claim.lock.reset();
    claim.path.clear();
}

HeldJournal WriteJournal(platform::FileSystem& files, const std::string& folder, const JournalEntry& entry) {
    HeldJournal journal = ClaimJournal(files, folder, entry.path);
    if (journal.lock && !PlaceJournal(files, journal, entry)) return journal.refused ? Refused(journal.inUse) : HeldJournal{};
    return journal;
}

namespace {

// Whether `lines` begin as one of this program's journals: the first line
// is a magic line, or the start of one when nothing came after it.
bool BeginsAsJournal(const std::vector<std::string>& lines, bool lastEnded) {
    if (lines.empty()) return true;
    const bool whole = lines.size() > 1 || lastEnded;
    for (const std::string magic : {kJournalMagic, kJournalMagicFirst}) {
        if (whole ? lines[0] == magic : magic.starts_with(lines[0])) return true;
    }
    return false;
}

}  // namespace

JournalText ParseJournal(const std::uint8_t* bytes, std::size_t size) {
    JournalText text;
    bool lastEnded = false;
    const std::vector<std::string> lines = Lines(bytes, size, lastEnded);
    // Written whole under another name and then moved into place, a journal
    // lacks its end line only when a disk lost its tail; what is left of it
    // still begins as one of this program's journals. Anything else (another
    // version's, or no journal at all) is not removed as torn.
    const auto end = std::find(lines.begin(), lines.end(), "end");
    const bool torn = end == lines.end() || (end + 1 == lines.end() && !lastEnded);
    if (torn && BeginsAsJournal(lines, lastEnded)) return text;
    text.verdict = JournalText::Verdict::Nonsense;
    if (torn) {
        text.why = "it is not a journal of this program";
        return text;
    }
    const bool first = !lines.empty() && lines[0] == kJournalMagicFirst;
    const std::size_t fields = first ? 4 : 5;  // kind, path, numbers, head (, start header)
    if (!first && lines[0] != kJournalMagic) {
        text.why = "it is not a journal of this program";
        return text;
    }
    if (end - lines.begin() != static_cast<std::ptrdiff_t>(fields + 1)) {
        text.why = "it has lines missing or too many";
        return text;
    }
    JournalEntry& e = text.entry;
    std::string kind = lines[1];
    static const std::string kBuffered = "-buffered";
    e.buffered = kind.ends_with(kBuffered);
    if (e.buffered) kind.resize(kind.size() - kBuffered.size());
    const auto path = Unhex(lines[2]);
    const auto numbers = Numbers(lines[3], 4);
    const auto head = Unhex(lines[4]);
    if (kind != "create" && kind != "edit") {
        text.why = "it names no change this program makes";
    } else if (!path || !numbers || !head || (*numbers)[0] > 0xFFFFFFFFu || (*numbers)[1] > 0xFFFFFFFFu ||
               (*numbers)[2] > 0xFFFFFFFFu || (*numbers)[3] > 0xFFFFFFFFu) {
        text.why = "its fields cannot be read";
    } else if (!first && lines[5] != "-" && !ParseStart(lines[5], e.start)) {
        text.why = "its starting point cannot be read";
    }
    if (!text.why.empty()) return text;
    e.kind = kind == "create" ? JournalEntry::Kind::Create : JournalEntry::Kind::Edit;
    e.path.assign(path->begin(), path->end());
    e.dataChunkPos = static_cast<std::uint32_t>((*numbers)[0]);
    e.factValuePos = static_cast<std::uint32_t>((*numbers)[1]);
    e.blockAlign = static_cast<std::uint32_t>((*numbers)[2]);
    e.avgBytesPerSec = static_cast<std::uint32_t>((*numbers)[3]);
    e.head = *head;
    // The file it names, noted after the end line once the file was made;
    // a note cut short counts as none.
    if (!first && end + 1 != lines.end() && (end + 2 != lines.end() || lastEnded)) e.file = ParseFileLine(end[1]);
    text.why = Nonsense(e);
    if (text.why.empty()) text.verdict = JournalText::Verdict::Whole;
    return text;
}

JournalText ReadJournal(platform::FileSystem& files, const std::string& journalPath) {
    const auto bytes = platform::ReadWholeFile(files, journalPath, 1'000'000);
    if (!bytes) return {};
    return ParseJournal(bytes->data(), bytes->size());
}

bool NoteJournalFile(platform::File& journal, const platform::FileIdentity& file) {
    const std::string line = FileLine(file);
    std::uint32_t size = 0;
    const auto bytes = static_cast<std::uint32_t>(line.size());
    return journal.size(size) && platform::WriteAt(journal, size, line.data(), bytes) && journal.sync();
}

std::uint64_t HeaderDigest(const std::uint8_t* header, std::uint32_t dataChunkPos, std::uint32_t factValuePos) {
    std::uint64_t digest = wav::kFnv64Basis;
    for (std::uint32_t i = 0; i < dataChunkPos + 8; ++i)
        digest = wav::Fnv1a64Step(digest, wav::IsCountByte({dataChunkPos, factValuePos}, i) ? 0 : header[i]);
    return digest;
}

std::vector<std::uint8_t> NewRecordingHeader(const JournalEntry& e, std::uint32_t audio) {
    // The head runs from "WAVE" to the data chunk, where the journal says it ends.
    const auto dataChunkPos = static_cast<std::uint32_t>(e.head.size()) + wav::kAfterRiffSize;
    std::vector<std::uint8_t> h(dataChunkPos + 8);
    std::copy(wav::kUnfinishedRiff.begin(), wav::kUnfinishedRiff.end(), h.begin());
    std::copy(e.head.begin(), e.head.end(), h.begin() + wav::kAfterRiffSize);
    std::memcpy(&h[dataChunkPos], "data", 4);
    wav::SetHeaderCounts(h.data(), {dataChunkPos, e.factValuePos}, dataChunkPos + 8 + audio, audio);
    return h;
}

bool HoldsJournalHeader(const JournalEntry& e, const std::vector<std::uint8_t>& header) {
    const std::vector<std::uint8_t> spelled = NewRecordingHeader(e, 0);
    if (header.size() < spelled.size()) return false;
    for (std::uint32_t i = 0; i < spelled.size(); ++i)
        if (!wav::IsCountByte(e.Places(), i) && header[i] != spelled[i]) return false;
    return true;
}

std::uint32_t TrustedDataSize(const JournalEntry& e, std::uint32_t claimed) {
    if (e.start && claimed == e.start->claimed) return std::min(claimed, e.start->held);
    return claimed;
}

std::string SetAsideFolder(const std::string& folder) { return folder + "/set-aside"; }

bool SetJournalAside(platform::FileSystem& files, const std::string& journalPath) {
    const std::string folder = platform::FolderOf(journalPath);
    const std::string aside = SetAsideFolder(folder);
    if (!MakeStateFolder(files, aside)) return false;
    const std::string name = journalPath.substr(folder.size() + 1);
    const std::string stem = name.substr(0, name.size() - std::string(kSuffix).size());
    static const char* const kKept[] = {".trailer", ".buffer", ".buffer.seal", ".seal", ".insert", ".spool", ".marks"};
    for (int n = 1; n < 1000; ++n) {
        const std::string target = aside + "/" + stem + (n > 1 ? "." + std::to_string(n) : "") + kSuffix;
        const auto taken = [&](const std::string& suffix) { return files.exists(target + suffix); };
        if (taken("") || std::any_of(std::begin(kKept), std::end(kKept), taken)) continue;
        // What it kept goes first: left behind without its journal, it would go as a stray.
        for (const char* kept : kKept)
            if (files.exists(journalPath + kept)) (void)files.moveNoReplace(journalPath + kept, target + kept);
        const bool moved = files.moveNoReplace(journalPath, target);
        (void)files.syncFolder(aside);
        (void)files.syncFolder(folder);
        return moved;
    }
    return false;
}

std::string SpoolPathFor(const std::string& journalPath) { return journalPath + ".spool"; }

bool WriteSpliceSpool(platform::FileSystem& files, const std::string& spoolPath, std::uint32_t point,
                      const std::uint8_t* added, std::uint32_t addedBytes, const std::uint8_t* tail,
                      std::uint32_t tailBytes) {
    std::vector<std::uint8_t> image(kept::kSpliceStart.begin(), kept::kSpliceStart.end());
    wav::AppendLe32(image, point);
    wav::AppendLe32(image, addedBytes);
    wav::AppendLe32(image, tailBytes);
    image.insert(image.end(), added, added + addedBytes);
    image.insert(image.end(), tail, tail + tailBytes);
    image.insert(image.end(), kept::kSpliceEnd.begin(), kept::kSpliceEnd.end());
    auto file = files.open(spoolPath, platform::OpenMode::ReadWriteCreate, false);
    std::uint32_t written = 0;
    return file && file->setLength(0) &&
           file->write(image.data(), static_cast<std::uint32_t>(image.size()), written) && written == image.size() &&
           file->sync() && files.syncFolder(platform::FolderOf(spoolPath));
}

std::optional<SpliceSpool> ParseSpliceSpool(const std::uint8_t* image, std::size_t size) {
    if (size < kept::kSpliceFrame) return std::nullopt;
    const std::uint64_t added = wav::LoadLe32(&image[kept::kSpliceAddedAt]);
    const std::uint64_t tail = wav::LoadLe32(&image[kept::kSpliceTailAt]);
    if (!kept::HasMark(image, kept::kSpliceStart) || kept::kSpliceFrame + added + tail != size ||
        !kept::HasMark(image + size - kept::kMarkBytes, kept::kSpliceEnd))
        return std::nullopt;
    SpliceSpool spool;
    spool.point = wav::LoadLe32(&image[kept::kPointAt]);
    const std::uint8_t* audio = image + kept::kSpliceAudioAt;
    spool.added.assign(audio, audio + added);
    spool.tail.assign(audio + added, audio + added + tail);
    return spool;
}

std::optional<SpliceSpool> ReadSpliceSpool(platform::FileSystem& files, const std::string& spoolPath) {
    return kept::ReadKept(files, spoolPath, ParseSpliceSpool);
}

std::string InsertSpoolPathFor(const std::string& journalPath) { return journalPath + ".insert"; }

std::optional<SpliceSpool> ParseInsertSpool(const std::uint8_t* image, std::size_t size) {
    if (size < kept::kInsertAudioAt || !kept::HasMark(image, kept::kInsertMark)) return std::nullopt;
    const std::uint64_t count = wav::LoadLe32(&image[kept::kInsertCountAt]);
    if (kept::kInsertAudioAt + count > size) return std::nullopt;
    SpliceSpool spool;
    spool.point = wav::LoadLe32(&image[kept::kPointAt]);
    spool.added.assign(image + kept::kInsertAudioAt, image + kept::kInsertAudioAt + count);
    return spool;
}

std::optional<SpliceSpool> ReadInsertSpool(platform::FileSystem& files, const std::string& spoolPath) {
    return kept::ReadKept(files, spoolPath, ParseInsertSpool);
}

std::string TrailerPathFor(const std::string& journalPath) { return journalPath + ".trailer"; }

void RemoveStrays(platform::FileSystem& files, const std::string& folder) {
    if (folder.empty()) return;
    const auto entries = files.listNames(folder);
    if (!entries) return;
    const std::string journal = kSuffix;
    for (const auto& e : *entries) {
        const std::size_t at = e.name.rfind(journal + ".");
        if (e.isDirectory || at == std::string::npos) continue;
        const std::string path = folder + "/" + e.name;
        if (files.exists(folder + "/" + e.name.substr(0, at + journal.size()))) continue;
        auto lock = files.open(path, platform::OpenMode::ReadOnly, false);
        if (lock && lock->tryLock()) (void)files.remove(path);
    }
}

std::string AudioWaitingFor(platform::FileSystem& files, const std::string& folder, const std::string& recordingPath) {
    if (folder.empty()) return {};
    const std::string journal = JournalPathFor(folder, recordingPath);
    const std::string spool = BufferSpoolPathFor(journal);
    return files.exists(journal) && files.exists(spool) ? spool : std::string();
}

std::vector<std::string> ListJournals(platform::FileSystem& files, const std::string& folder) {
    std::vector<std::string> out;
    if (folder.empty()) return out;
    const auto entries = files.listNames(folder);
    if (!entries) return out;
    const std::string suffix = kSuffix;
    for (const auto& e : *entries) {
        if (e.isDirectory || e.name.size() <= suffix.size()) continue;
        if (e.name.compare(e.name.size() - suffix.size(), suffix.size(), suffix) == 0)
            out.push_back(folder + "/" + e.name);
    }
    return out;
}

}  // namespace tavrin::storage
