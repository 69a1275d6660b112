#pragma once

// A file system for tests that can fail any platform call on demand.
//
//   TempDir dir;
//   FaultyFileSystem fs;                      // over a PosixFileSystem of its own
//   FakeMemory memory(fs.plan());             // optional: allocations share the plan
//   fs.failNth(Fault::Write, 2);              // the 2nd write from now fails, once
//   fs.failNth(Fault::Flush, 1, true);        // every flush from now fails
//   fs.setFreeSpace(1'000'000);               // what freeSpace() answers, for any folder
//   fs.setShortWrite(100);                    // a full disk: files may grow by 100 more bytes
//
// Exhaustive fault injection runs an operation with the 1st, 2nd, ... call of
// any kind failing until a run passes without a fault firing:
//
//   for (std::uint32_t n = 1;; ++n) {
//       TempDir dir;  FaultyFileSystem fs;  /* set up, unfaulted */
//       fs.failNthCall(n);
//       auto status = operation(fs, dir.file("a.wav"));
//       /* check status and file contents */
//       if (!fs.faultFired()) break;
//   }
//
// A failed call has no effect: the file, its pointer and the folder stay as
// they were, read/write report 0 bytes, open/map return null, freeSpace
// returns nullopt. Files and mappings handed out keep using the same plan
// (they may outlive the FaultyFileSystem); openFiles() and liveMappings()
// count the ones not yet destroyed, so a test can check that nothing leaked.
// Mapping::release, File::tell and File::syncSoon never fail and are not
// counted; File::sync counts as a Flush.

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/FileSystem.h"
#include "support/FaultPlan.h"

namespace tavrin::test {

class FaultyFileSystem : public platform::FileSystem {
public:
    // Over a PosixFileSystem of its own.
    FaultyFileSystem();
    // Over `inner`, which must outlive this and every file it hands out.
    explicit FaultyFileSystem(platform::FileSystem& inner, std::shared_ptr<FaultPlan> plan = nullptr);
    ~FaultyFileSystem() override;

    // The fault plan; hand it to FakeMemory to count allocations in the same sweep.
    const std::shared_ptr<FaultPlan>& plan() const { return faults; }
    void failNth(Fault kind, std::uint32_t n, bool persistent = false) { plan()->failNth(kind, n, persistent); }
    void failNthCall(std::uint32_t n, bool persistent = false) { plan()->failNthCall(n, persistent); }
    void resetFaults() { plan()->resetFaults(); }
    std::uint32_t calls(Fault kind) const { return plan()->calls(kind); }
    std::uint32_t totalCalls() const { return plan()->totalCalls(); }
    bool faultFired() const { return plan()->faultFired(); }

    // What freeSpace() answers from now on, less what files are lengthened by
    // setLength from now (cutting them gives it back); nullopt asks the real
    // volume again.
    void setFreeSpace(std::optional<std::uint64_t> bytes);
    // A volume about to be full: from now, files may grow by `bytesLeft`
    // bytes in all (cutting a file gives its bytes back). A write that does not fit stores what fits, reports that
    // count and fails; a setLength that does not fit fails without effect
    // (growing reserves the blocks, as on the real system). Storing over
    // bytes a file already has, also through a mapping, needs no space.
    // nullopt lifts the limit.
    void setShortWrite(std::optional<std::uint64_t> bytesLeft);
    // Writes and setLength calls cut short or refused by the limit so far.
    std::uint32_t shortWrites() const;

    // A volume mounted read-only, or files a user may not write: from now
    // every open for writing fails as the system would (EROFS).
    void refuseWrites(bool refuse) { writesRefused = refuse; }

    int openFiles() const;
    int liveMappings() const;
    // Calls of File::syncSoon so far (they never fail and are not counted as calls).
    int syncRequests() const;

    [[nodiscard]] std::unique_ptr<platform::File> open(const std::string& path, platform::OpenMode mode,
                                                       bool writeThrough) override;
    [[nodiscard]] std::optional<std::uint64_t> freeSpace(const std::string& folder) override;
    [[nodiscard]] bool exists(const std::string& path) override;
    [[nodiscard]] bool isDirectory(const std::string& path) override;
    [[nodiscard]] bool remove(const std::string& path) override;
    [[nodiscard]] bool moveNoReplace(const std::string& from, const std::string& to) override;
    [[nodiscard]] bool createDirectory(const std::string& path) override;
    // Counted and failed as Fault::SyncFolder.
    [[nodiscard]] bool syncFolder(const std::string& folder) override;
    [[nodiscard]] std::optional<std::vector<platform::DirectoryEntry>> list(const std::string& folder) override;
    [[nodiscard]] std::string systemRun() override { return inner.systemRun(); }

    // What the files and mappings share with the file system that made them.
    struct Shared;

private:
    std::shared_ptr<FaultPlan> faults;
    std::unique_ptr<platform::FileSystem> owned;
    platform::FileSystem& inner;
    std::shared_ptr<Shared> shared;
    std::optional<std::uint64_t> freeSpaceOverride;
    bool writesRefused = false;
};

}  // namespace tavrin::test
