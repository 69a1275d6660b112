#pragma once

// What the tests of the slow-media strategies share: a storage context over a
// temporary folder with fault injection, memory that makes the recording
// buffer a known size, recordings spelled out byte by byte, and the
// exhaustive fault sweep.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "RecordingModel.h"
#include "platform/posix/PosixFileSystem.h"
#include "storage/Journal.h"
#include "storage/Recovery.h"
#include "storage/StorageContext.h"
#include "storage/Strategy.h"
#include "support/FakeMemory.h"
#include "support/FaultyFileSystem.h"
#include "support/RecordingShell.h"
#include "support/TempDir.h"
#include "wav/Formats.h"

namespace tavrin::storage::slowtest {

using model::Bytes;
using model::Pattern;

inline constexpr std::uint32_t kGranularity = 4096;
inline constexpr std::uint32_t kTwice = 2 * kGranularity;
// The recording buffer: what the memory allows, the disk being roomy.
inline constexpr std::uint32_t kCapacity = 200'000;
inline constexpr std::uint64_t kMemory = kCapacity + 2 * kTwice;
inline constexpr std::uint64_t kRoomyDisk = 1ull << 30;

inline Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline Bytes Slice(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(to));
}
inline bool StartsWith(const Bytes& whole, const Bytes& prefix) {
    return whole.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), whole.begin());
}

// Real files without write-through: what the tests look at is which bytes
// end up where, not when they reach the disk, and synchronous writes would
// make the sweeps and the model test many times slower.
class UnsyncedFileSystem : public platform::PosixFileSystem {
public:
    std::unique_ptr<platform::File> open(const std::string& path, platform::OpenMode mode, bool) override {
        return PosixFileSystem::open(path, mode, false);
    }
};

// Everything one scenario needs, fresh for every run of a fault sweep.
struct SlowRig {
    test::TempDir dir;
    UnsyncedFileSystem disk;
    test::FaultyFileSystem fs{disk};
    test::FakeMemory memory{fs.plan()};
    test::FakeSystemInfo system{kGranularity};
    test::RecordingShell shell;
    StorageContext ctx{fs, memory, system, shell};
    std::string path = dir.file("a.wav");

    SlowRig() {
        fs.setFreeSpace(kRoomyDisk);
        memory.setAvailablePhysical(kMemory);
    }

    // Journals every change, as the program does, in a folder of the rig's.
    void UseJournals() { ctx.journalFolder = dir.file("state"); }
    // What the next start's recovery does with the journals left.
    std::vector<RecoveredFile> Recover() { return RecoverRecordings(fs, ctx.journalFolder); }
    std::string JournalFor() const { return JournalPathFor(ctx.journalFolder, path); }

    Bytes OnDisk() const { return test::ReadBytes(path); }
    bool Exists() const { return test::FileExists(path); }
    bool Is(const Strategy* s) const { return &ctx.Current() == s; }

    [[nodiscard]] Status Create(const model::Format& f) {
        return ctx.Create(path, f.tag, f.samplesPerSec, f.bitsPerSample, 1, platform::Media::Slow);
    }
    // Puts `file` on disk and opens it on slow media.
    [[nodiscard]] Status SelectFile(const Bytes& file) {
        test::WriteBytes(path, file);
        return ctx.Select(path, platform::Media::Slow);
    }
    // Stores `audio` in pieces of `piece` bytes; stops at the first failure.
    [[nodiscard]] Status Record(const Bytes& audio, std::size_t piece) {
        for (std::size_t at = 0; at < audio.size(); at += piece) {
            const auto n = static_cast<std::uint32_t>(std::min(piece, audio.size() - at));
            const Status s = ctx.WriteData(audio.data() + at, n);
            if (s != Status::Ok) return s;
        }
        return Status::Ok;
    }
    // Reads pieces until the end of the data; what came, in order, and how it ended.
    Bytes Play(std::uint32_t piece, Status* last = nullptr) {
        Bytes out;
        for (int guard = 0; guard < 100000; ++guard) {
            Bytes buffer(piece, 0xEE);
            // Byte offset of the next piece in the audio, as the position tells it.
            const std::uint32_t unit = ctx.FormatTag() == wav::kTagGsm ? wav::kGsmBlockBytes
                                                                          : ctx.Channels() * (ctx.BitsPerSample() / 8u);
            const std::size_t before = std::size_t{ctx.CurrentReadSample()} * unit;
            const Status s = ctx.ReadData(buffer.data(), piece);
            if (s == Status::Ok) {
                out.insert(out.end(), buffer.begin(), buffer.end());
                continue;
            }
            if (last) *last = s;
            if (s == Status::EndOfData) {
                const std::size_t fresh = std::min<std::size_t>(ctx.DataSize() - before, piece);
                out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(fresh));
                EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(fresh), buffer.end(),
                                        [](std::uint8_t b) { return b == 0xEE; }))
                    << "bytes after the end of the data were touched";
            }
            return out;
        }
        ADD_FAILURE() << "playback never ended";
        return out;
    }
    void ExpectNothingHeld() const {
        EXPECT_EQ(fs.openFiles(), 0);
        EXPECT_EQ(fs.liveMappings(), 0);
        EXPECT_EQ(memory.liveBlocks(), 0u);
    }
};

// One run of a fault sweep: the scenario arms the fault right before the
// operations under test and disarms it right after, so that its set-up and
// its checks run unfaulted.
class FaultRun {
public:
    FaultRun(SlowRig& r, std::uint32_t n, bool persistent) : rig(r), nth(n), forever(persistent) {}
    void Arm() { rig.fs.failNthCall(nth, forever); }
    bool Disarm() {
        fired = rig.fs.faultFired();
        disarmed = true;
        rig.fs.resetFaults();
        return fired;
    }
    bool Fired() const { return fired; }
    // Every call from the failing one on fails too: nothing can be repaired.
    bool Persistent() const { return forever; }
    bool Disarmed() const { return disarmed; }

    SlowRig& rig;

private:
    std::uint32_t nth;
    bool forever;
    bool fired = false;
    bool disarmed = false;
};

// Runs `scenario` with the 1st, 2nd, ... platform call of its operations
// failing, once and then from that call on, until a run goes through without
// any fault firing. Afterwards nothing may be left open or allocated.
template <class Scenario>
void SweepFaults(Scenario scenario) {
    for (bool persistent : {false, true}) {
        for (std::uint32_t n = 1;; ++n) {
            SCOPED_TRACE(testing::Message() << "failing call " << n << (persistent ? " and every later one" : ""));
            bool fired = false;
            {
                SlowRig rig;
                FaultRun run(rig, n, persistent);
                scenario(run);
                EXPECT_TRUE(run.Disarmed()) << "the scenario never ran its operations";
                fired = run.Fired();
                if (rig.ctx.IsIdle()) rig.ExpectNothingHeld();
            }
            if (!fired || n > 400 || testing::Test::HasFailure()) break;
        }
    }
}

}  // namespace tavrin::storage::slowtest
