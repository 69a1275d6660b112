#include "support/CrashFileSystem.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <type_traits>

namespace tavrin::test {

using platform::DirectoryEntry;
using platform::File;
using platform::Mapping;
using platform::OpenMode;

struct CrashFileSystem::Node {
    // A write not yet synced, kept while tearing: bytes at an offset, or a new length.
    struct Pending {
        bool setsLength = false;
        std::uint32_t at = 0;  // the offset, or the length
        std::vector<std::uint8_t> bytes;
    };
    std::vector<std::uint8_t> now;      // what reads see
    std::vector<std::uint8_t> durable;  // what a power cut leaves
    std::vector<Pending> pending;       // in the order they were made
    // What reads saw when the power went: stores through a mapping made
    // after it (the program runs on in a test) never reach the medium.
    std::optional<std::vector<std::uint8_t>> atCut;
    std::uint32_t syncRequests = 0;
    const void* lockHolder = nullptr;  // the open file that holds its lock
    std::uint64_t serial = NextSerial();  // its identity: a file made anew gets another
    static std::uint64_t NextSerial() {
        static std::uint64_t last = 0;
        return ++last;
    }
};

struct CrashFileSystem::State {
    std::uint32_t capacity;
    std::map<std::string, std::shared_ptr<Node>> files;
    std::set<std::string> folders;
    // The names a power cut leaves.
    std::map<std::string, std::shared_ptr<Node>> durableFiles;
    std::set<std::string> durableFolders;
    std::uint32_t counted = 0;
    std::uint32_t crashCall = 0;
    bool down = false;
    std::uint32_t syncLag = 5;
    std::uint64_t free = 1ull << 30;
    std::uint32_t run = 1;  // the system's run: a reboot starts the next
    std::optional<std::mt19937_64> tearing;

    // Counts a call; false once the power is gone (the failing call included).
    bool up() {
        ++counted;
        if (!down && crashCall != 0 && counted >= crashCall) {
            down = true;
            for (auto& [path, node] : files) node->atCut = node->now;
        }
        return !down;
    }
    bool resize(Node& node, std::uint32_t length) {
        if (length > capacity) return false;
        node.now.resize(length);  // within the reserved capacity: never moves
        return true;
    }
    static void syncAll(Node& node) {
        node.durable = node.now;
        node.pending.clear();
    }
    void logWrite(Node& node, std::uint32_t at, const void* source, std::uint32_t n) {
        if (!tearing || n == 0) return;
        const auto* bytes = static_cast<const std::uint8_t*>(source);
        node.pending.push_back({false, at, std::vector<std::uint8_t>(bytes, bytes + n)});
    }
    void logLength(Node& node, std::uint32_t length) {
        if (tearing) node.pending.push_back({true, length, {}});
    }
};

namespace {

using Node = CrashFileSystem::Node;
using State = CrashFileSystem::State;

// Takes [from, to) out of the writes still pending: a flush made it last,
// and an older write landing late must not undo it. The length the flush
// made last stays too.
void ForgetPending(Node& node, std::uint32_t from, std::uint32_t to) {
    std::vector<Node::Pending> kept;
    for (auto& p : node.pending) {
        if (p.setsLength) continue;
        const auto end = static_cast<std::uint32_t>(p.at + p.bytes.size());
        if (end <= from || p.at >= to) {
            kept.push_back(std::move(p));
            continue;
        }
        if (p.at < from) kept.push_back({false, p.at, {p.bytes.begin(), p.bytes.begin() + (from - p.at)}});
        if (end > to) kept.push_back({false, to, {p.bytes.end() - (end - to), p.bytes.end()}});
    }
    node.pending = std::move(kept);
}

class CrashMapping : public Mapping {
public:
    CrashMapping(std::shared_ptr<State> s, std::shared_ptr<Node> n, std::uint32_t at, std::uint32_t bytes)
        : state(std::move(s)), node(std::move(n)), offset(at), length(bytes) {}
    std::uint8_t* data() override { return node->now.data() + offset; }
    std::uint32_t size() const override { return length; }
    bool flush(std::uint32_t from, std::uint32_t bytes) override {
        if (!state->up() || std::uint64_t{from} + bytes > length) return false;
        if (node->durable.size() < node->now.size()) node->durable.resize(node->now.size());
        std::memcpy(node->durable.data() + offset + from, node->now.data() + offset + from, bytes);
        ForgetPending(*node, offset + from, offset + from + bytes);
        return true;
    }
    void release(std::uint32_t, std::uint32_t) override {}

private:
    std::shared_ptr<State> state;
    std::shared_ptr<Node> node;
    std::uint32_t offset;
    std::uint32_t length;
};

class CrashFile : public File {
public:
    CrashFile(std::shared_ptr<State> s, std::shared_ptr<Node> n, bool canWrite)
        : state(std::move(s)), node(std::move(n)), writable(canWrite) {}
    ~CrashFile() override {
        if (node->lockHolder == this) node->lockHolder = nullptr;
    }
    CrashFile(const CrashFile&) = delete;
    CrashFile& operator=(const CrashFile&) = delete;

    bool read(void* destination, std::uint32_t n, std::uint32_t& got) override {
        got = 0;
        if (!state->up()) return false;
        const auto size = static_cast<std::uint32_t>(node->now.size());
        got = position < size ? std::min(n, size - position) : 0;
        std::memcpy(destination, node->now.data() + position, got);
        position += got;
        return true;
    }
    bool write(const void* source, std::uint32_t n, std::uint32_t& written) override {
        written = 0;
        if (!state->up() || !writable) return false;
        const std::uint64_t end = std::uint64_t{position} + n;
        if (end > node->now.size() && !state->resize(*node, static_cast<std::uint32_t>(end))) return false;
        std::memcpy(node->now.data() + position, source, n);
        state->logWrite(*node, position, source, n);
        position += n;
        written = n;
        return true;
    }
    bool seek(std::uint32_t offset) override {
        if (!state->up()) return false;
        position = offset;
        return true;
    }
    std::uint32_t tell() const override { return position; }
    bool size(std::uint32_t& bytes) override {
        if (!state->up()) return false;
        bytes = static_cast<std::uint32_t>(node->now.size());
        return true;
    }
    bool setLength(std::uint32_t length) override {
        if (!state->up() || !writable || !state->resize(*node, length)) return false;
        state->logLength(*node, length);
        return true;
    }
    std::unique_ptr<Mapping> map(std::uint32_t offset, std::uint32_t length, bool) override {
        if (!state->up() || length == 0 || std::uint64_t{offset} + length > node->now.size()) return nullptr;
        return std::make_unique<CrashMapping>(state, node, offset, length);
    }
    bool sync() override {
        if (!state->up()) return false;
        State::syncAll(*node);
        return true;
    }
    void syncSoon() override {
        if (!state->up()) return;
        if (++node->syncRequests % state->syncLag != 0) return;
        if (watcher) watcher->syncing();
        State::syncAll(*node);
        if (watcher) watcher->synced();
    }
    bool watchSyncs(std::shared_ptr<platform::SyncWatcher> next) override {
        watcher = std::move(next);
        return true;
    }
    bool tryLock() override {
        if (!state->up() || (node->lockHolder != nullptr && node->lockHolder != this)) return false;
        node->lockHolder = this;
        return true;
    }
    std::optional<platform::FileIdentity> identity() override {
        if (!state->up()) return std::nullopt;
        return platform::FileIdentity{1, node->serial};
    }

private:
    std::shared_ptr<State> state;
    std::shared_ptr<Node> node;
    bool writable;
    std::uint32_t position = 0;
    std::shared_ptr<platform::SyncWatcher> watcher;  // told of the syncs syncSoon makes
};

}  // namespace

CrashFileSystem::CrashFileSystem(std::uint32_t capacity) : state(std::make_shared<State>()) {
    state->capacity = capacity;
}
CrashFileSystem::~CrashFileSystem() = default;

void CrashFileSystem::crashAt(std::uint32_t n) { state->crashCall = n == 0 ? 0 : state->counted + n; }
bool CrashFileSystem::crashed() const { return state->down; }
std::uint32_t CrashFileSystem::calls() const { return state->counted; }
void CrashFileSystem::setSyncLag(std::uint32_t lag) { state->syncLag = std::max(lag, 1u); }
void CrashFileSystem::setFreeSpace(std::uint64_t bytes) { state->free = bytes; }

void CrashFileSystem::setTearing(std::uint64_t seed) { state->tearing.emplace(seed); }

namespace {

constexpr std::uint32_t kSector = 512;
enum class Fate { Land, Omit, Tear };

Fate Choose(std::mt19937_64& random) { return static_cast<Fate>(random() % 3); }

void Place(std::vector<std::uint8_t>& image, std::uint32_t at, const std::uint8_t* bytes, std::uint32_t n) {
    if (image.size() < std::size_t{at} + n) image.resize(std::size_t{at} + n);
    std::memcpy(image.data() + at, bytes, n);
}

void Garble(std::vector<std::uint8_t>& image, std::uint32_t at, std::uint32_t n, std::mt19937_64& random) {
    std::vector<std::uint8_t> garbage(n);
    for (auto& byte : garbage) byte = static_cast<std::uint8_t>(random());
    Place(image, at, garbage.data(), n);
}

// One unsynced write reaching the image as `fate` says; a torn one sector by sector.
void Settle(std::vector<std::uint8_t>& image, const Node::Pending& p, Fate fate, std::mt19937_64& random) {
    if (p.setsLength) {
        if (fate != Fate::Omit) image.resize(p.at);
        return;
    }
    const auto end = static_cast<std::uint32_t>(p.at + p.bytes.size());
    if (fate == Fate::Land) Place(image, p.at, p.bytes.data(), end - p.at);
    if (fate != Fate::Tear) return;
    for (std::uint32_t from = p.at; from < end;) {
        const std::uint32_t to = std::min(end, (from / kSector + 1) * kSector);
        if (random() % 2 == 0) Place(image, from, p.bytes.data() + (from - p.at), to - from);
        else Garble(image, from, to - from, random);
        from = to;
    }
}

// What a power cut leaves of `node` when unsynced writes land, vanish or tear:
// first the writes in their order, then each sector changed through a
// mapping (what the file holds beyond what those writes made of it). Stores
// through a mapping are not seen one by one, so the bytes of a sector that
// changed count as one write.
void Tear(Node& node, std::mt19937_64& random) {
    const std::vector<std::uint8_t>& now = node.atCut ? *node.atCut : node.now;
    if (node.pending.empty() && now == node.durable) return;
    std::vector<std::uint8_t> image = node.durable;
    std::vector<std::uint8_t> written = node.durable;
    for (const auto& p : node.pending) {
        Settle(written, p, Fate::Land, random);
        Settle(image, p, Choose(random), random);
    }
    const std::size_t common = std::min(written.size(), now.size());
    for (std::size_t sector = 0; sector < common; sector += kSector) {
        std::size_t from = sector;
        std::size_t to = std::min(common, sector + kSector);
        if (std::memcmp(written.data() + from, now.data() + from, to - from) == 0) continue;
        while (from < to && written[from] == now[from]) ++from;
        while (to > from && written[to - 1] == now[to - 1]) --to;
        to = std::min(to, image.size());
        if (from >= to) continue;
        const auto at = static_cast<std::uint32_t>(from);
        const auto bytes = static_cast<std::uint32_t>(to - from);
        const Fate fate = Choose(random);
        if (fate == Fate::Land) Place(image, at, now.data() + from, bytes);
        if (fate == Fate::Tear) Garble(image, at, bytes, random);
    }
    node.durable = std::move(image);
}

}  // namespace

void CrashFileSystem::reboot() {
    ++state->run;
    state->files = state->durableFiles;
    state->folders = state->durableFolders;
    std::set<const Node*> settled;  // a file under two lasting names settles once
    for (auto& [path, node] : state->files) {
        if (state->tearing && settled.insert(node.get()).second) Tear(*node, *state->tearing);
        node->pending.clear();
        node->atCut.reset();
        node->now = node->durable;
        node->now.reserve(state->capacity);
        node->syncRequests = 0;
        node->lockHolder = nullptr;  // the program that held it is gone
    }
    state->down = false;
    state->crashCall = 0;
}

void CrashFileSystem::kill() {
    // The system writes back all that was written, under the names it has now.
    state->durableFiles = state->files;
    state->durableFolders = state->folders;
    for (auto& [path, node] : state->files) {
        // Whatever a test's program did after it was killed never happened.
        if (node->atCut) node->now = *node->atCut;
        node->atCut.reset();
        State::syncAll(*node);
        node->syncRequests = 0;
        node->lockHolder = nullptr;
    }
    state->down = false;
    state->crashCall = 0;
}

std::string CrashFileSystem::systemRun() { return "run " + std::to_string(state->run); }

void CrashFileSystem::put(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    // A file that is there keeps its identity, as one written over does.
    if (const auto it = state->files.find(path); it != state->files.end() && state->durableFiles.count(path) != 0 &&
                                                 state->durableFiles.at(path) == it->second) {
        it->second->now = bytes;
        it->second->durable = bytes;
        it->second->pending.clear();
        return;
    }
    auto node = std::make_shared<Node>();
    node->now.reserve(state->capacity);
    node->now = bytes;
    node->durable = bytes;
    state->files[path] = node;
    state->durableFiles[path] = node;
}

void CrashFileSystem::putFolder(const std::string& path) {
    state->folders.insert(path);
    state->durableFolders.insert(path);
}

std::optional<std::vector<std::uint8_t>> CrashFileSystem::contents(const std::string& path) const {
    const auto it = state->files.find(path);
    if (it == state->files.end()) return std::nullopt;
    return it->second->now;
}

std::unique_ptr<File> CrashFileSystem::open(const std::string& path, OpenMode mode, bool) {
    if (!state->up()) return nullptr;
    auto it = state->files.find(path);
    if (it == state->files.end()) {
        if (mode != OpenMode::ReadWriteCreate || !state->folders.count(platform::FolderOf(path))) return nullptr;
        auto node = std::make_shared<Node>();
        node->now.reserve(state->capacity);
        it = state->files.emplace(path, node).first;
    }
    return std::make_unique<CrashFile>(state, it->second, mode != OpenMode::ReadOnly);
}

std::optional<std::uint64_t> CrashFileSystem::freeSpace(const std::string& folder) {
    if (!state->up() || !state->folders.count(folder)) return std::nullopt;
    return state->free;
}

bool CrashFileSystem::exists(const std::string& path) { return state->files.count(path) || state->folders.count(path); }
bool CrashFileSystem::isDirectory(const std::string& path) { return state->folders.count(path) > 0; }

bool CrashFileSystem::remove(const std::string& path) {
    return state->up() && (state->files.erase(path) > 0 || state->folders.erase(path) > 0);
}

bool CrashFileSystem::moveNoReplace(const std::string& from, const std::string& to) {
    if (!state->up() || !state->files.count(from) || exists(to)) return false;
    state->files[to] = state->files[from];
    state->files.erase(from);
    return true;
}

bool CrashFileSystem::createDirectory(const std::string& path) {
    if (!state->up() || exists(path)) return false;
    state->folders.insert(path);
    return true;
}

namespace {

// The entries of `map` (a path map or set) directly in `folder`, replaced by those of `from`.
template <typename Container>
void CopyFolder(const Container& from, Container& to, const std::string& folder) {
    const std::string prefix = folder + "/";
    const auto inside = [&](const std::string& path) {
        return path.rfind(prefix, 0) == 0 && path.find('/', prefix.size()) == std::string::npos;
    };
    std::erase_if(to, [&](const auto& entry) {
        if constexpr (std::is_same_v<Container, std::set<std::string>>) return inside(entry);
        else return inside(entry.first);
    });
    for (const auto& entry : from) {
        if constexpr (std::is_same_v<Container, std::set<std::string>>) {
            if (inside(entry)) to.insert(entry);
        } else if (inside(entry.first)) {
            to.insert(entry);
        }
    }
}

}  // namespace

bool CrashFileSystem::syncFolder(const std::string& folder) {
    if (!state->up() || state->folders.count(folder) == 0) return false;
    CopyFolder(state->files, state->durableFiles, folder);
    CopyFolder(state->folders, state->durableFolders, folder);
    return true;
}

std::optional<std::vector<DirectoryEntry>> CrashFileSystem::list(const std::string& folder) {
    if (!state->up() || !state->folders.count(folder)) return std::nullopt;
    std::vector<DirectoryEntry> out;
    const std::string prefix = folder + "/";
    for (const auto& [path, node] : state->files)
        if (path.rfind(prefix, 0) == 0 && path.find('/', prefix.size()) == std::string::npos)
            out.push_back({path.substr(prefix.size()), false, node->now.size(), 0});
    for (const auto& path : state->folders)
        if (path.rfind(prefix, 0) == 0 && path.find('/', prefix.size()) == std::string::npos)
            out.push_back({path.substr(prefix.size()), true, 0, 0});
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return out;
}

}  // namespace tavrin::test
