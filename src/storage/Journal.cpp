#include "storage/Journal.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sstream>

#include "storage/BufferSpool.h"

namespace tavrin::storage {
namespace {

constexpr const char* kMagic = "tavrin-journal 1";
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

std::string Format(const JournalEntry& e) {
    std::ostringstream out;
    // The path is spelled in hex: a file name may hold any byte but '/' and NUL.
    out << kMagic << '\n'
        << (e.kind == JournalEntry::Kind::Create ? "create" : "edit") << (e.buffered ? "-buffered" : "") << '\n'
        << Hex(reinterpret_cast<const std::uint8_t*>(e.path.data()), e.path.size()) << '\n'
        << e.dataChunkPos << ' ' << e.factValuePos << ' ' << e.blockAlign << ' ' << e.avgBytesPerSec << '\n'
        << Hex(e.head.data(), e.head.size()) << '\n'
        << "end\n";
    return out.str();
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

std::optional<JournalEntry> ReadJournal(platform::FileSystem& files, const std::string& journalPath) {
    const auto bytes = platform::ReadWholeFile(files, journalPath, 1'000'000);
    if (!bytes) return std::nullopt;
    std::istringstream in(std::string(bytes->begin(), bytes->end()));
    std::string magic, kind, path, head, end;
    JournalEntry e;
    if (!std::getline(in, magic) || magic != kMagic || !std::getline(in, kind) || !std::getline(in, path)) return std::nullopt;
    if (!(in >> e.dataChunkPos >> e.factValuePos >> e.blockAlign >> e.avgBytesPerSec >> head >> end) || end != "end")
        return std::nullopt;
    static const std::string kBuffered = "-buffered";
    e.buffered = kind.size() > kBuffered.size() && kind.ends_with(kBuffered);
    if (e.buffered) kind.resize(kind.size() - kBuffered.size());
    if (kind != "create" && kind != "edit") return std::nullopt;
    e.kind = kind == "create" ? JournalEntry::Kind::Create : JournalEntry::Kind::Edit;
    const auto pathBytes = Unhex(path);
    const auto headBytes = Unhex(head);
    if (!pathBytes || pathBytes->empty() || !headBytes || e.blockAlign == 0) return std::nullopt;
    e.path.assign(pathBytes->begin(), pathBytes->end());
    e.head = *headBytes;
    return e;
}

std::string SpoolPathFor(const std::string& journalPath) { return journalPath + ".spool"; }

namespace {
constexpr char kSpoolStart[8] = {'T', 'V', 'S', 'P', 'L', 'I', 'C', 'E'};
constexpr char kSpoolEnd[8] = {'T', 'V', 'S', 'P', 'L', 'E', 'N', 'D'};

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
std::uint32_t Get32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
}  // namespace

bool WriteSpliceSpool(platform::FileSystem& files, const std::string& spoolPath, std::uint32_t point,
                      const std::uint8_t* added, std::uint32_t addedBytes, const std::uint8_t* tail,
                      std::uint32_t tailBytes) {
    std::vector<std::uint8_t> image(kSpoolStart, kSpoolStart + 8);
    Put32(image, point);
    Put32(image, addedBytes);
    Put32(image, tailBytes);
    image.insert(image.end(), added, added + addedBytes);
    image.insert(image.end(), tail, tail + tailBytes);
    image.insert(image.end(), kSpoolEnd, kSpoolEnd + 8);
    auto file = files.open(spoolPath, platform::OpenMode::ReadWriteCreate, false);
    std::uint32_t written = 0;
    return file && file->setLength(0) &&
           file->write(image.data(), static_cast<std::uint32_t>(image.size()), written) && written == image.size() &&
           file->sync() && files.syncFolder(platform::FolderOf(spoolPath));
}

std::optional<SpliceSpool> ReadSpliceSpool(platform::FileSystem& files, const std::string& spoolPath) {
    const auto whole = platform::ReadWholeFile(files, spoolPath, 0xFFFFFFFFu);
    if (!whole || whole->size() < 28) return std::nullopt;
    const std::vector<std::uint8_t>& image = *whole;
    const auto size = static_cast<std::uint32_t>(image.size());
    const std::uint32_t added = Get32(&image[12]);
    const std::uint32_t tail = Get32(&image[16]);
    if (!std::equal(kSpoolStart, kSpoolStart + 8, image.begin()) || std::uint64_t{28} + added + tail != size ||
        !std::equal(kSpoolEnd, kSpoolEnd + 8, image.end() - 8))
        return std::nullopt;
    SpliceSpool spool;
    spool.point = Get32(&image[8]);
    spool.added.assign(image.begin() + 20, image.begin() + 20 + added);
    spool.tail.assign(image.begin() + 20 + added, image.begin() + 20 + added + tail);
    return spool;
}

std::string InsertSpoolPathFor(const std::string& journalPath) { return journalPath + ".insert"; }

std::optional<SpliceSpool> ReadInsertSpool(platform::FileSystem& files, const std::string& spoolPath) {
    const auto whole = platform::ReadWholeFile(files, spoolPath, 0xFFFFFFFFu);
    if (!whole || whole->size() < kInsertSpoolHeader) return std::nullopt;
    const std::vector<std::uint8_t>& image = *whole;
    const auto size = static_cast<std::uint32_t>(image.size());
    static constexpr char kMagic[8] = {'T', 'V', 'I', 'N', 'S', 'E', 'R', 'T'};
    const std::uint32_t count = Get32(&image[12]);
    if (!std::equal(kMagic, kMagic + 8, image.begin()) || std::uint64_t{kInsertSpoolHeader} + count > size)
        return std::nullopt;
    SpliceSpool spool;
    spool.point = Get32(&image[8]);
    spool.added.assign(image.begin() + kInsertSpoolHeader, image.begin() + kInsertSpoolHeader + count);
    return spool;
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
