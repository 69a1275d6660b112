#include "platform/posix/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <limits>
#include <mutex>
#include <thread>

#include "platform/posix/SystemCall.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace tavrin::platform {

namespace posix {
namespace {

int ReserveBlocks(int descriptor, std::int64_t offset, std::int64_t length) {
    return fallocate(descriptor, 0, static_cast<off_t>(offset), static_cast<off_t>(length));
}

// Atomic, because a test may swap it while another thread is growing a file.
std::atomic<SpaceReserver> spaceReserver{ReserveBlocks};

}  // namespace

SpaceReserver ReplaceSpaceReserverForTest(SpaceReserver reserver) { return spaceReserver.exchange(reserver); }

}  // namespace posix

namespace {

using posix::NoteFileError;
using posix::RetryOnEintr;

constexpr std::uint64_t kLimit32 = std::numeric_limits<std::uint32_t>::max();

std::uint64_t PageSize() {
    static const std::uint64_t size = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    return size;
}

std::uint64_t PageBelow(std::uint64_t offset) { return offset - offset % PageSize(); }
std::uint64_t PageAbove(std::uint64_t offset) { return PageBelow(offset + PageSize() - 1); }

class PosixMapping : public Mapping {
public:
    // `base` is the page-aligned start of the system mapping and `skip` the
    // distance from there to the first byte asked for.
    PosixMapping(std::uint8_t* mapped, std::size_t before, std::uint32_t bytes)
        : base(mapped), skip(before), length(bytes) {}
    ~PosixMapping() override { munmap(base, skip + length); }
    PosixMapping(const PosixMapping&) = delete;
    PosixMapping& operator=(const PosixMapping&) = delete;

    std::uint8_t* data() override { return base + skip; }
    std::uint32_t size() const override { return length; }

    bool flush(std::uint32_t offset, std::uint32_t bytes) override {
        if (std::uint64_t{offset} + bytes > length) return false;
        if (bytes == 0) return true;
        const std::uint64_t start = PageBelow(skip + offset);
        const std::uint64_t end = skip + std::uint64_t{offset} + bytes;
        if (msync(base + start, end - start, MS_SYNC) == 0) return true;
        NoteFileError(errno);
        return false;
    }

    void release(std::uint32_t offset, std::uint32_t bytes) override {
        // Only whole pages inside the range: a page that also holds bytes
        // outside it may still be in use by the caller.
        const std::uint64_t end = skip + std::min<std::uint64_t>(std::uint64_t{offset} + bytes, length);
        const std::uint64_t start = PageAbove(skip + offset);
        const std::uint64_t stop = PageBelow(end);
        if (stop > start) madvise(base + start, stop - start, MADV_DONTNEED);
    }

private:
    std::uint8_t* base;
    std::size_t skip;
    std::uint32_t length;
};

// Syncs one file on a thread of its own, at most kSyncCadenceMs after a
// request: the thread that asks never waits for the disk. Started at the first
// request, so files that are only read never get one. While requests keep
// coming the thread wakes once a cadence; when one passes without any it
// sleeps until the next, which wakes it and is synced at once.
class BackgroundSync {
public:
    explicit BackgroundSync(int descriptor) : fd(descriptor) {}
    ~BackgroundSync() { stop(); }
    BackgroundSync(const BackgroundSync&) = delete;
    BackgroundSync& operator=(const BackgroundSync&) = delete;

    void request() {
        // One flag per block; the lock only when the thread sleeps without a
        // timeout. Both flags are sequentially consistent: either the thread
        // sees this request before it sleeps, or this call sees it asleep.
        requested.store(true);
        if (!started.exchange(true, std::memory_order_acq_rel)) {
            std::lock_guard lock(mutex);
            worker = std::thread([this] { run(); });
        } else if (idle.load()) {
            std::lock_guard lock(mutex);
            wake.notify_all();
        }
    }
    // Waits for a sync under way: the watcher replaced is never told again.
    void watch(std::shared_ptr<SyncWatcher> next) {
        std::lock_guard hold(watching);
        watcher = std::move(next);
    }
    // The error of a sync that failed here since the last call, or 0.
    int takeFailure() { return failure.exchange(0); }
    // Ends the thread after its last sync; the descriptor stays open.
    void stop() {
        {
            std::lock_guard lock(mutex);
            quit = true;
        }
        wake.notify_all();
        std::unique_lock lock(mutex);
        if (worker.joinable()) {
            std::thread ending = std::move(worker);
            lock.unlock();
            ending.join();
        }
    }

private:
    void run() {
        std::unique_lock lock(mutex);
        while (!quit) {
            if (!requested.exchange(false)) {
                idle.store(true);
                wake.wait(lock, [this] { return quit || requested.load(); });
                idle.store(false, std::memory_order_relaxed);
                continue;
            }
            // Counted from the start of the sync, so that a slow disk does
            // not stretch the time a block waits beyond cadence plus one sync.
            const auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSyncCadenceMs);
            lock.unlock();
            syncOnce();
            lock.lock();
            // What is stored within the cadence waits for the next sync.
            wake.wait_until(lock, next, [this] { return quit; });
        }
    }

    void syncOnce() {
        std::lock_guard hold(watching);
        if (watcher) watcher->syncing();
        if (RetryOnEintr([this] { return fdatasync(fd); }) != 0) {
            failure.store(errno);
        } else if (watcher) {
            watcher->synced();
        }
    }

    int fd;
    std::mutex watching;  // held for a whole sync, so that a watcher goes between syncs
    std::shared_ptr<SyncWatcher> watcher;
    std::atomic<int> failure{0};
    std::atomic<bool> requested{false};
    std::atomic<bool> started{false};
    std::atomic<bool> idle{false};
    std::mutex mutex;
    std::condition_variable wake;
    bool quit = false;
    std::thread worker;
};

class PosixFile : public File {
public:
    explicit PosixFile(int descriptor) : fd(descriptor), background(descriptor) {}
    ~PosixFile() override {
        background.stop();  // before the descriptor can be reused by anyone
        close(fd);
    }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    bool read(void* destination, std::uint32_t n, std::uint32_t& got) override;
    bool write(const void* source, std::uint32_t n, std::uint32_t& written) override;
    bool seek(std::uint32_t offset) override {
        position = offset;
        return true;
    }
    std::uint32_t tell() const override { return position; }
    bool size(std::uint32_t& bytes) override;
    bool setLength(std::uint32_t length) override;
    std::unique_ptr<Mapping> map(std::uint32_t offset, std::uint32_t length, bool writable) override;
    // Stores through shared mappings are written back by a sync of the file.
    // The system reports a failed write-back once per open file, so a sync
    // that failed on the background thread took the error with it: this
    // sync answers for it, since what it was syncing may never have landed.
    bool sync() override {
        const bool synced = RetryOnEintr([this] { return fdatasync(fd); }) == 0;
        const int number = synced ? background.takeFailure() : errno;
        if (synced && number == 0) return true;
        NoteFileError(number);
        return false;
    }
    void syncSoon() override { background.request(); }
    bool watchSyncs(std::shared_ptr<SyncWatcher> watcher) override {
        background.watch(std::move(watcher));
        return true;
    }
    bool tryLock() override { return RetryOnEintr([&] { return flock(fd, LOCK_EX | LOCK_NB); }) == 0; }
    std::optional<FileIdentity> identity() override {
        struct stat st {};
        if (fstat(fd, &st) != 0) return std::nullopt;
        return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }

private:
    bool currentSize(std::uint64_t& bytes) const;
    bool grow(std::uint64_t from, std::uint32_t to);

    int fd;
    std::uint32_t position = 0;
    BackgroundSync background;
};

bool PosixFile::read(void* destination, std::uint32_t n, std::uint32_t& got) {
    got = 0;
    // Nothing lies beyond 4 GiB for a 32-bit file pointer.
    const std::uint64_t wanted = std::min<std::uint64_t>(n, kLimit32 - position);
    auto* out = static_cast<std::uint8_t*>(destination);
    bool ok = true;
    while (got < wanted) {
        const ssize_t r =
            RetryOnEintr([&] { return pread(fd, out + got, wanted - got, static_cast<off_t>(position) + got); });
        if (r <= 0) {
            ok = r == 0;  // 0 is the end of the file, not a failure
            if (!ok) NoteFileError(errno);
            break;
        }
        got += static_cast<std::uint32_t>(r);
    }
    position += got;
    return ok;
}

bool PosixFile::write(const void* source, std::uint32_t n, std::uint32_t& written) {
    written = 0;
    if (std::uint64_t{position} + n > kLimit32) {
        NoteFileError(EFBIG);
        return false;
    }
    const auto* in = static_cast<const std::uint8_t*>(source);
    bool ok = true;
    while (written < n) {
        const ssize_t w =
            RetryOnEintr([&] { return pwrite(fd, in + written, n - written, static_cast<off_t>(position) + written); });
        if (w <= 0) {
            ok = false;  // a full disk shows as ENOSPC after a short write
            NoteFileError(w < 0 ? errno : EIO);
            break;
        }
        written += static_cast<std::uint32_t>(w);
    }
    position += written;
    return ok;
}

bool PosixFile::currentSize(std::uint64_t& bytes) const {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        NoteFileError(errno);
        return false;
    }
    bytes = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool PosixFile::size(std::uint32_t& bytes) {
    std::uint64_t actual = 0;
    if (!currentSize(actual) || actual > kLimit32) return false;
    bytes = static_cast<std::uint32_t>(actual);
    return true;
}

bool PosixFile::grow(std::uint64_t from, std::uint32_t to) {
    const posix::SpaceReserver reserve = posix::spaceReserver.load(std::memory_order_relaxed);
    const auto start = static_cast<std::int64_t>(from);
    const auto extent = static_cast<std::int64_t>(to - from);
    if (RetryOnEintr([&] { return reserve(fd, start, extent); }) == 0) {
        return true;
    }
    if (errno != EOPNOTSUPP && errno != ENOSYS) {
        NoteFileError(errno);
        // A refused reservation (a full disk) may have left blocks or length
        // behind; the file goes back to what it was.
        [[maybe_unused]] const int undone = ftruncate(fd, static_cast<off_t>(from));
        return false;
    }
    // File systems without reservation (some FUSE and network mounts) get a
    // plain extension.
    if (RetryOnEintr([&] { return ftruncate(fd, static_cast<off_t>(to)); }) == 0) return true;
    NoteFileError(errno);
    return false;
}

bool PosixFile::setLength(std::uint32_t length) {
    std::uint64_t now = 0;
    if (!currentSize(now)) return false;
    if (length > now) return grow(now, length);
    if (RetryOnEintr([&] { return ftruncate(fd, static_cast<off_t>(length)); }) == 0) return true;
    NoteFileError(errno);
    return false;
}

std::unique_ptr<Mapping> PosixFile::map(std::uint32_t offset, std::uint32_t length, bool writable) {
    std::uint64_t fileSize = 0;
    if (length == 0 || !currentSize(fileSize) || std::uint64_t{offset} + length > fileSize) return nullptr;
    const std::uint64_t start = PageBelow(offset);
    const std::size_t skip = offset - start;
    const int protection = PROT_READ | (writable ? PROT_WRITE : 0);
    void* base = mmap(nullptr, skip + length, protection, MAP_SHARED, fd, static_cast<off_t>(start));
    if (base == MAP_FAILED) {
        NoteFileError(errno);
        return nullptr;
    }
    return std::make_unique<PosixMapping>(static_cast<std::uint8_t*>(base), skip, length);
}

int OpenFlags(OpenMode mode, bool writeThrough) {
    int flags = O_CLOEXEC | O_NONBLOCK;  // O_NONBLOCK: a FIFO must not hang the open
    switch (mode) {
        case OpenMode::ReadOnly: flags |= O_RDONLY; break;
        case OpenMode::ReadWrite: flags |= O_RDWR; break;
        case OpenMode::ReadWriteCreate: flags |= O_RDWR | O_CREAT; break;
        case OpenMode::ReadWriteNoLink: flags |= O_RDWR | O_NOFOLLOW; break;
    }
    if (writeThrough) flags |= O_DSYNC;
    return flags;
}

}  // namespace

std::unique_ptr<File> PosixFileSystem::open(const std::string& path, OpenMode mode, bool writeThrough) {
    const int fd = RetryOnEintr([&] { return ::open(path.c_str(), OpenFlags(mode, writeThrough), 0666); });
    if (fd < 0) {
        NoteFileError(errno);
        return nullptr;
    }
    struct stat st {};
    const bool stated = fstat(fd, &st) == 0;
    if (!stated || !S_ISREG(st.st_mode)) {
        // Only regular files hold recordings; a folder or a device is refused.
        NoteFileError(!stated ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        close(fd);
        return nullptr;
    }
    // Regular files ignore O_NONBLOCK, but leave it cleared all the same.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<PosixFile>(fd);
}

std::optional<std::uint64_t> PosixFileSystem::freeSpace(const std::string& folder) {
    struct statvfs vfs {};
    if (statvfs(folder.c_str(), &vfs) != 0) return std::nullopt;
    return std::uint64_t{vfs.f_bavail} * vfs.f_frsize;
}

bool PosixFileSystem::exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

bool PosixFileSystem::isDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::remove(const std::string& path) { return unlink(path.c_str()) == 0; }

bool PosixFileSystem::moveNoReplace(const std::string& from, const std::string& to) {
    if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
    // link() refuses an existing target, which is exactly the guarantee wanted.
    if (link(from.c_str(), to.c_str()) != 0) return false;
    if (unlink(from.c_str()) == 0) return true;
    unlink(to.c_str());
    return false;
}

bool PosixFileSystem::moveReplacing(const std::string& from, const std::string& to) {
    // One step: whoever looks finds the old target or the new one, never neither.
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool PosixFileSystem::createDirectory(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }

std::string PosixFileSystem::systemRun() {
    const int fd = RetryOnEintr([] { return ::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC); });
    if (fd < 0) return {};
    char id[64] = {};
    const ssize_t got = RetryOnEintr([&] { return ::read(fd, id, sizeof id - 1); });
    close(fd);
    std::string run(id, got > 0 ? static_cast<std::size_t>(got) : 0);
    while (!run.empty() && (run.back() == '\n' || run.back() == ' ')) run.pop_back();
    return run;
}

bool PosixFileSystem::syncFolder(const std::string& folder) {
    const int fd = RetryOnEintr([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) {
        NoteFileError(errno);
        return false;
    }
    // Folders of some file systems cannot be synced at all; their names last as the files do.
    const bool synced = RetryOnEintr([fd] { return fsync(fd); }) == 0 || errno == EINVAL || errno == EROFS;
    if (!synced) NoteFileError(errno);
    close(fd);
    return synced;
}

std::optional<std::vector<DirectoryEntry>> PosixFileSystem::list(const std::string& folder) {
    return listEntries(folder, true);
}

std::optional<std::vector<DirectoryEntry>> PosixFileSystem::listNames(const std::string& folder) {
    return listEntries(folder, false);
}

std::optional<DirectoryEntry> PosixFileSystem::entry(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    return DirectoryEntry{path.substr(path.rfind('/') + 1), S_ISDIR(st.st_mode), static_cast<std::uint64_t>(st.st_size),
                          static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::int64_t>(st.st_mtim.tv_nsec)};
}

std::optional<std::vector<DirectoryEntry>> PosixFileSystem::listEntries(const std::string& folder, bool details) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::vector<DirectoryEntry> entries;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        // The entry's type saves a stat per file when only names are wanted;
        // links and file systems that do not report the type still need one.
        if (!details && (e->d_type == DT_REG || e->d_type == DT_DIR)) {
            entries.push_back({name, e->d_type == DT_DIR, 0, 0});
            continue;
        }
        struct stat st {};
        if (fstatat(dirfd(dir), e->d_name, &st, 0) != 0) continue;  // e.g. a dangling link
        entries.push_back({name, S_ISDIR(st.st_mode), static_cast<std::uint64_t>(st.st_size),
                           static_cast<std::int64_t>(st.st_mtim.tv_sec),
                           static_cast<std::int64_t>(st.st_mtim.tv_nsec)});
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return entries;
}

}  // namespace tavrin::platform
