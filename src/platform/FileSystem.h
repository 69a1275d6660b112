#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavrin::platform {

// How a file is opened. The chunk reader only reads; recordings are opened
// read-write and shared for reading. ReadWriteCreate creates a missing file.
// ReadWriteNoLink opens an existing file read-write only when its name is
// not a symbolic link: recovery changes the file a journal named, never one
// a link put in its place.
enum class OpenMode { ReadOnly, ReadWrite, ReadWriteCreate, ReadWriteNoLink };

// Which file an open handle reaches, whatever name it was opened by: two
// handles with one identity reach the same file.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// A window of a file mapped into memory. `data()` addresses the first byte of
// the range that was asked for, whatever alignment the system needed below it.
// Stores through `data()` are seen at once by every mapping and read of the
// same file, but they are durable only once `flush` (or the file's `sync`)
// has returned: until then a power cut may lose any of them, in any order.
class Mapping {
public:
    virtual ~Mapping() = default;
    virtual std::uint8_t* data() = 0;
    virtual std::uint32_t size() const = 0;
    // Makes the bytes [offset, offset + length) of the window reach the medium.
    [[nodiscard]] virtual bool flush(std::uint32_t offset, std::uint32_t length) = 0;
    // Tells the system that the pages of [offset, offset + length) are no
    // longer needed in memory; their contents stay in the file.
    virtual void release(std::uint32_t offset, std::uint32_t length) = 0;
};

// Hears of the syncs a file's `syncSoon` asked for, on the thread that makes
// them: `syncing` before one begins, `synced` once it succeeded. What the
// file held when `syncing` was told is on the medium when `synced` is.
class SyncWatcher {
public:
    virtual ~SyncWatcher() = default;
    virtual void syncing() = 0;
    virtual void synced() = 0;
};

// An open file with one file pointer. Offsets and lengths are 32-bit: files of
// 4 GiB or more are outside what the recorder handles.
class File {
public:
    virtual ~File() = default;
    // Reads up to n bytes at the file pointer; `got` is fewer at the end of the file.
    [[nodiscard]] virtual bool read(void* destination, std::uint32_t n, std::uint32_t& got) = 0;
    // Writes n bytes at the file pointer; `written` tells how many made it.
    [[nodiscard]] virtual bool write(const void* source, std::uint32_t n, std::uint32_t& written) = 0;
    [[nodiscard]] virtual bool seek(std::uint32_t offset) = 0;
    virtual std::uint32_t tell() const = 0;
    [[nodiscard]] virtual bool size(std::uint32_t& bytes) = 0;
    // Lengthens or cuts the file to `length` bytes; the file pointer stays.
    [[nodiscard]] virtual bool setLength(std::uint32_t length) = 0;
    // Maps [offset, offset + length) of the file; null when refused. The range
    // must lie inside the file. The mapping may outlive nothing: release it
    // before the file.
    [[nodiscard]] virtual std::unique_ptr<Mapping> map(std::uint32_t offset, std::uint32_t length,
                                                       bool writable) = 0;
    // Makes everything written to the file so far, through `write` and through
    // its mappings, reach the medium, and waits for it.
    [[nodiscard]] virtual bool sync() = 0;
    // Asks for the same without waiting: the realisation syncs on a thread of
    // its own, at most `kSyncCadenceMs` after the request. Safe to call per
    // block from a thread that must never wait for the disk.
    virtual void syncSoon() = 0;
    // From now on `watcher` (null: none) hears of every sync `syncSoon` asks
    // for; the file keeps it while it may tell it. Waits for a sync under
    // way, so a watcher replaced is never told again. False when this
    // realisation cannot tell (nobody is told).
    [[nodiscard]] virtual bool watchSyncs(std::shared_ptr<SyncWatcher> watcher) {
        (void)watcher;
        return false;
    }
    // Takes an exclusive lock on the file, without waiting, for as long as
    // this handle stays open (a killed process lets go of it). False when
    // another handle, of this process or another, holds it. Programs that
    // honour it know the file is in use; nothing else is kept out.
    [[nodiscard]] virtual bool tryLock() = 0;
    // The file's identity; nullopt when the system cannot tell it.
    [[nodiscard]] virtual std::optional<FileIdentity> identity() = 0;
};

// How long audio may stay in memory after `syncSoon` before it is synced.
inline constexpr unsigned kSyncCadenceMs = 500;

struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;  // seconds since the epoch, local file time
    std::int64_t modifiedNanoseconds = 0;  // within that second, where the system keeps it
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Null when the file cannot be opened (or, for ReadOnly and ReadWrite, does not exist).
    [[nodiscard]] virtual std::unique_ptr<File> open(const std::string& path, OpenMode mode,
                                                     bool writeThrough) = 0;
    // Bytes available to this user on the volume that holds `folder`.
    [[nodiscard]] virtual std::optional<std::uint64_t> freeSpace(const std::string& folder) = 0;
    [[nodiscard]] virtual bool exists(const std::string& path) = 0;
    [[nodiscard]] virtual bool isDirectory(const std::string& path) = 0;
    [[nodiscard]] virtual bool remove(const std::string& path) = 0;
    // Moves a file; never replaces an existing target.
    [[nodiscard]] virtual bool moveNoReplace(const std::string& from, const std::string& to) = 0;
    // Moves a file over an existing target, which the user agreed to lose.
    // Realisations that can should do it in one step; this one removes the
    // target first.
    [[nodiscard]] virtual bool moveReplacing(const std::string& from, const std::string& to);
    [[nodiscard]] virtual bool createDirectory(const std::string& path) = 0;
    // Makes the folder's own changes — files created, renamed or removed in
    // it — reach the medium, so that they survive a power cut as the data
    // written to its files does. False when the medium reported a failure.
    [[nodiscard]] virtual bool syncFolder(const std::string& folder) = 0;
    [[nodiscard]] virtual std::optional<std::vector<DirectoryEntry>> list(const std::string& folder) = 0;
    // The same entries with only name and isDirectory filled in. Cheaper where
    // the system can tell a file from a folder without asking for its details.
    [[nodiscard]] virtual std::optional<std::vector<DirectoryEntry>> listNames(const std::string& folder) {
        return list(folder);
    }
    // The entry of one file or folder with its size and time, as `list` gives
    // it; nullopt when it cannot be examined. Realisations that can ask for
    // one file should: a folder may hold thousands.
    [[nodiscard]] virtual std::optional<DirectoryEntry> entry(const std::string& path);
    // Which run of the system this is: a new one after every start of the
    // machine. Within one run a program killed loses nothing it wrote (the
    // system writes it back); across runs what was not synced may be gone,
    // or torn. Empty when it cannot be told.
    [[nodiscard]] virtual std::string systemRun() { return {}; }
};

// Reads exactly `n` bytes at `offset` (nothing to read is a success); false
// when fewer could be read.
[[nodiscard]] bool ReadAt(File& file, std::uint32_t offset, void* into, std::uint32_t n);
// Writes all `n` bytes at `offset` (nothing to write is a success).
[[nodiscard]] bool WriteAt(File& file, std::uint32_t offset, const void* from, std::uint32_t n);
// Writes, at `offset`, only the runs of `wanted` that differ from `held`,
// what the file holds there (bytes beyond `held` always differ). A power cut
// may tear every byte a write covers: bytes that were already right are not
// put at risk.
[[nodiscard]] bool WriteChangedAt(File& file, std::uint32_t offset, const std::vector<std::uint8_t>& held,
                                  const std::vector<std::uint8_t>& wanted);
// The whole of a small file; nullopt when it cannot be read or holds more
// than `limit` bytes.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> ReadWholeFile(FileSystem& files, const std::string& path,
                                                                     std::uint32_t limit);

// Where the program keeps state of its own between runs:
// `$XDG_STATE_HOME/tavrin`, or `~/.local/state/tavrin`. Empty when neither
// can be told. The folder may not exist yet.
std::string StateFolder();
// Where the program keeps what it can make again (waveforms):
// `$XDG_CACHE_HOME/tavrin`, or `~/.cache/tavrin`. Empty when neither can be
// told. The folder may not exist yet.
std::string CacheFolder();

// `path` from the root: relative to the current folder when it does not start
// with '/'. Unchanged when the current folder cannot be told.
std::string AbsolutePath(const std::string& path);

// The folder part of a path: everything before the last '/', or "." when none.
std::string FolderOf(const std::string& path);

// Why a file call failed, as far as the user can act on it: the volume is
// full (make room), the file or its volume may only be read (permissions, a
// read-only mount), or anything else, with the system's error number for the
// code box.
struct IoError {
    enum class Kind : std::uint8_t { None, Full, ReadOnly, Other };
    Kind kind = Kind::None;
    int number = 0;
    friend bool operator==(const IoError&, const IoError&) = default;
};

// The cause of the last failed file, mapping or file-system call made on
// this thread. Like the system's own error number it is only meaningful right
// after a call answered false or null; the calls keep their plain answers and
// the realisations note the cause here.
IoError LastIoError();
void NoteIoError(IoError error);
void ClearIoError();

}  // namespace tavrin::platform
