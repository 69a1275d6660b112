#include "support/FaultyFileSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>

#include "platform/posix/PosixFileSystem.h"

namespace tavrin::test {

using platform::DirectoryEntry;
using platform::File;
using platform::Mapping;
using platform::OpenMode;

struct FaultyFileSystem::Shared {
    std::shared_ptr<FaultPlan> plan;
    std::atomic<int> openFiles{0};
    std::atomic<int> liveMappings{0};
    std::atomic<int> syncRequests{0};
    std::mutex diskMutex;
    std::optional<std::uint64_t> bytesLeft;
    std::uint32_t shortWrites = 0;
    // Net bytes each file was lengthened by setLength since the free space
    // was set; a file removed meanwhile (by any means) gives them back.
    std::map<std::string, std::int64_t> reserved;

    // An injected failure is an I/O error; a full disk is set up with setShortWrite.
    bool fails(Fault kind) {
        if (!plan->shouldFail(kind)) return false;
        platform::NoteIoError({platform::IoError::Kind::Other, EIO});
        return true;
    }
    static void full() { platform::NoteIoError({platform::IoError::Kind::Full, ENOSPC}); }

    // The disk is full when files have grown by bytesLeft more bytes; storing
    // over bytes a file already has needs no space. `end` is the file's size.
    // Answers how many of n bytes at `position` can be stored.
    std::uint32_t writable(std::uint64_t end, std::uint64_t position, std::uint32_t n) {
        std::lock_guard lock(diskMutex);
        if (!bytesLeft) return n;
        const std::uint64_t limit = end + *bytesLeft;
        const std::uint64_t fits = limit > position ? limit - position : 0;
        if (fits >= n) return n;
        ++shortWrites;
        return static_cast<std::uint32_t>(fits);
    }
    bool limited() {
        std::lock_guard lock(diskMutex);
        return bytesLeft.has_value();
    }
    // Books a change of a file's size from `before` to `after` bytes; cutting gives space back.
    void resized(std::uint64_t before, std::uint64_t after) {
        std::lock_guard lock(diskMutex);
        if (!bytesLeft) return;
        if (after > before) *bytesLeft -= std::min(*bytesLeft, after - before);
        else *bytesLeft += before - after;
    }
};

namespace {

using Shared = FaultyFileSystem::Shared;

class FaultyMapping : public Mapping {
public:
    FaultyMapping(std::unique_ptr<Mapping> real, std::shared_ptr<Shared> state)
        : inner(std::move(real)), shared(std::move(state)) {
        ++shared->liveMappings;
    }
    ~FaultyMapping() override { --shared->liveMappings; }
    FaultyMapping(const FaultyMapping&) = delete;
    FaultyMapping& operator=(const FaultyMapping&) = delete;

    std::uint8_t* data() override { return inner->data(); }
    std::uint32_t size() const override { return inner->size(); }
    bool flush(std::uint32_t offset, std::uint32_t length) override {
        return !shared->fails(Fault::Flush) && inner->flush(offset, length);
    }
    void release(std::uint32_t offset, std::uint32_t length) override { inner->release(offset, length); }

private:
    std::unique_ptr<Mapping> inner;
    std::shared_ptr<Shared> shared;
};

class FaultyFile : public File {
public:
    FaultyFile(std::unique_ptr<File> real, std::shared_ptr<Shared> state, std::string name)
        : inner(std::move(real)), shared(std::move(state)), path(std::move(name)) {
        ++shared->openFiles;
    }
    ~FaultyFile() override { --shared->openFiles; }
    FaultyFile(const FaultyFile&) = delete;
    FaultyFile& operator=(const FaultyFile&) = delete;

    bool read(void* destination, std::uint32_t n, std::uint32_t& got) override {
        got = 0;
        return !shared->fails(Fault::Read) && inner->read(destination, n, got);
    }
    bool write(const void* source, std::uint32_t n, std::uint32_t& written) override;
    bool seek(std::uint32_t offset) override { return !shared->fails(Fault::Seek) && inner->seek(offset); }
    std::uint32_t tell() const override { return inner->tell(); }
    bool size(std::uint32_t& bytes) override { return !shared->fails(Fault::Size) && inner->size(bytes); }
    bool setLength(std::uint32_t length) override;
    std::unique_ptr<Mapping> map(std::uint32_t offset, std::uint32_t length, bool writable) override {
        if (shared->fails(Fault::Map)) return nullptr;
        auto mapping = inner->map(offset, length, writable);
        if (!mapping) return nullptr;
        return std::make_unique<FaultyMapping>(std::move(mapping), shared);
    }
    bool sync() override { return !shared->fails(Fault::Flush) && inner->sync(); }
    // Durability is the crash double's business; here a request only counts.
    void syncSoon() override { ++shared->syncRequests; }
    bool tryLock() override { return inner->tryLock(); }
    std::optional<platform::FileIdentity> identity() override { return inner->identity(); }

private:
    std::unique_ptr<File> inner;
    std::shared_ptr<Shared> shared;
    std::string path;
};

bool FaultyFile::write(const void* source, std::uint32_t n, std::uint32_t& written) {
    written = 0;
    if (shared->fails(Fault::Write)) return false;
    if (!shared->limited()) return inner->write(source, n, written);
    std::uint32_t end = 0;
    if (!inner->size(end)) return false;
    const std::uint32_t fits = shared->writable(end, inner->tell(), n);
    const bool ok = fits == 0 || inner->write(source, fits, written);
    shared->resized(end, std::max<std::uint64_t>(end, inner->tell()));
    if (fits < n) Shared::full();
    return ok && fits == n;
}

bool FaultyFile::setLength(std::uint32_t length) {
    if (shared->fails(Fault::SetLength)) return false;
    std::uint32_t end = 0;
    if (!inner->size(end)) return false;
    // Growing reserves the blocks, so a disk without room refuses it whole.
    if (shared->limited() && length > end && shared->writable(end, end, length - end) < length - end) {
        Shared::full();
        return false;
    }
    if (!inner->setLength(length)) return false;
    shared->resized(end, length);
    std::lock_guard lock(shared->diskMutex);
    shared->reserved[path] += std::int64_t{length} - std::int64_t{end};
    return true;
}

}  // namespace

FaultyFileSystem::FaultyFileSystem()
    : faults(std::make_shared<FaultPlan>()),
      owned(std::make_unique<platform::PosixFileSystem>()),
      inner(*owned),
      shared(std::make_shared<Shared>()) {
    shared->plan = faults;
}

FaultyFileSystem::FaultyFileSystem(platform::FileSystem& innerFileSystem, std::shared_ptr<FaultPlan> sharedPlan)
    : faults(sharedPlan ? std::move(sharedPlan) : std::make_shared<FaultPlan>()),
      inner(innerFileSystem),
      shared(std::make_shared<Shared>()) {
    shared->plan = faults;
}

FaultyFileSystem::~FaultyFileSystem() = default;

void FaultyFileSystem::setFreeSpace(std::optional<std::uint64_t> bytes) {
    freeSpaceOverride = bytes;
    std::lock_guard lock(shared->diskMutex);
    shared->reserved.clear();
}

void FaultyFileSystem::setShortWrite(std::optional<std::uint64_t> bytesLeft) {
    std::lock_guard lock(shared->diskMutex);
    shared->bytesLeft = bytesLeft;
}

std::uint32_t FaultyFileSystem::shortWrites() const {
    std::lock_guard lock(shared->diskMutex);
    return shared->shortWrites;
}

int FaultyFileSystem::openFiles() const { return shared->openFiles; }
int FaultyFileSystem::liveMappings() const { return shared->liveMappings; }
int FaultyFileSystem::syncRequests() const { return shared->syncRequests; }

std::unique_ptr<File> FaultyFileSystem::open(const std::string& path, OpenMode mode, bool writeThrough) {
    if (shared->fails(Fault::Open)) return nullptr;
    if (writesRefused && mode != OpenMode::ReadOnly) {
        platform::NoteIoError({platform::IoError::Kind::ReadOnly, EROFS});
        return nullptr;
    }
    if (mode == OpenMode::ReadWriteCreate && !inner.exists(path)) {
        std::lock_guard lock(shared->diskMutex);
        shared->reserved.erase(path);  // a new file of an old name
    }
    auto file = inner.open(path, mode, writeThrough);
    if (!file) return nullptr;
    return std::make_unique<FaultyFile>(std::move(file), shared, path);
}

std::optional<std::uint64_t> FaultyFileSystem::freeSpace(const std::string& folder) {
    if (shared->fails(Fault::FreeSpace)) return std::nullopt;
    if (freeSpaceOverride) {
        std::lock_guard lock(shared->diskMutex);
        std::int64_t left = static_cast<std::int64_t>(*freeSpaceOverride);
        for (const auto& [path, bytes] : shared->reserved)
            if (inner.exists(path)) left -= bytes;
        return static_cast<std::uint64_t>(std::max<std::int64_t>(left, 0));
    }
    return inner.freeSpace(folder);
}

bool FaultyFileSystem::exists(const std::string& path) { return inner.exists(path); }
bool FaultyFileSystem::isDirectory(const std::string& path) { return inner.isDirectory(path); }

bool FaultyFileSystem::remove(const std::string& path) { return !shared->fails(Fault::Remove) && inner.remove(path); }

bool FaultyFileSystem::moveNoReplace(const std::string& from, const std::string& to) {
    return !shared->fails(Fault::Move) && inner.moveNoReplace(from, to);
}

bool FaultyFileSystem::createDirectory(const std::string& path) {
    return !shared->fails(Fault::CreateDirectory) && inner.createDirectory(path);
}

bool FaultyFileSystem::syncFolder(const std::string& folder) {
    return !shared->fails(Fault::SyncFolder) && inner.syncFolder(folder);
}

std::optional<std::vector<DirectoryEntry>> FaultyFileSystem::list(const std::string& folder) {
    if (shared->fails(Fault::List)) return std::nullopt;
    return inner.list(folder);
}

}  // namespace tavrin::test
