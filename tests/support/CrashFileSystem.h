#pragma once

// A file system in memory that can lose power, in the manner of SQLite's
// crash tests: every platform call is counted, and at the chosen one the
// power goes. From then on every call fails and stores change nothing that
// lasts; `reboot()` then leaves each file as it last reached the medium.
//
//   CrashFileSystem fs;
//   fs.crashAt(17);             // the 17th call from now loses the power
//   run(fs);                    // the program under test, unaware
//   /* drop every file and mapping the program still holds */
//   fs.reboot();                // what a restart finds
//
// What reaches the medium: whatever File::sync and Mapping::flush covered,
// and what File::syncSoon asked for, one request in `syncLag` after the
// request (the platform syncs on a thread of its own), telling the handle's
// sync watcher before and after as the platform does. `remove` takes a file
// or a folder (a card taken out). Mappings address the
// file's contents in memory, so stores through them are seen at once by reads
// (as with a real shared mapping) but last only once synced. Names are data of
// their folder: a file or folder made, removed or moved lasts only once the
// folder that holds it is synced (syncing the file itself is not enough);
// until then a power cut takes the change back.
//
// By default a power cut keeps exactly what was synced. `setTearing(seed)`
// makes it harsher, as a disk that writes back in its own order: each write
// not yet synced at the cut (a `write`, a length set, or a 512-byte sector
// changed through a mapping) lands whole, vanishes, or tears (of its sectors
// some land and the rest hold seeded garbage), chosen from the seed, the same
// for the same seed. Garbage stays within the bytes a write covered: a write
// never harms its neighbours. A sync makes what it covers last, so a synced
// write outlives an earlier unsynced one over the same bytes. Names keep the
// rule above.
//
// Single-threaded, like the storage tests that use it.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace tavrin::test {

class CrashFileSystem : public platform::FileSystem {
public:
    // Files never grow past `capacity` bytes (mappings must stay put in memory).
    explicit CrashFileSystem(std::uint32_t capacity = 4u << 20);
    ~CrashFileSystem() override;

    // The n-th call from now (n >= 1) loses the power; 0 disarms.
    void crashAt(std::uint32_t n);
    bool crashed() const;
    std::uint32_t calls() const;
    // Every `lag`-th syncSoon request syncs the file (1: each one).
    void setSyncLag(std::uint32_t lag);
    void setFreeSpace(std::uint64_t bytes);
    // From now on each unsynced write lands, vanishes or tears at a power cut,
    // as `seed` chooses.
    void setTearing(std::uint64_t seed);
    // Power comes back: every file is what reached the medium. Nothing the
    // program held may still be alive.
    void reboot();
    // The program is killed and the machine goes on: everything written
    // stays, under the names it has now (the system writes it back), and the
    // system's run stays the same. Nothing the program held may still be alive.
    void kill();

    // Set-up and checks, neither counted nor ever failing; `put` is durable.
    // A file put over one that is there stays the same file (its identity);
    // `remove` it first to put another in its place.
    void put(const std::string& path, const std::vector<std::uint8_t>& bytes);
    void putFolder(const std::string& path);
    std::optional<std::vector<std::uint8_t>> contents(const std::string& path) const;

    [[nodiscard]] std::unique_ptr<platform::File> open(const std::string& path, platform::OpenMode mode,
                                                       bool writeThrough) override;
    [[nodiscard]] std::optional<std::uint64_t> freeSpace(const std::string& folder) override;
    [[nodiscard]] bool exists(const std::string& path) override;
    [[nodiscard]] bool isDirectory(const std::string& path) override;
    [[nodiscard]] bool remove(const std::string& path) override;
    [[nodiscard]] bool moveNoReplace(const std::string& from, const std::string& to) override;
    [[nodiscard]] bool createDirectory(const std::string& path) override;
    // Makes the names in `folder` (files and folders made, removed, moved) last.
    [[nodiscard]] bool syncFolder(const std::string& folder) override;
    // A new one after every reboot, never after a kill.
    [[nodiscard]] std::string systemRun() override;
    [[nodiscard]] std::optional<std::vector<platform::DirectoryEntry>> list(const std::string& folder) override;

    struct Node;
    struct State;

private:
    std::shared_ptr<State> state;
};

}  // namespace tavrin::test
