#pragma once

// What the tests of the strategies share on either medium: a storage context
// over a temporary folder with fault injection and a small allocation
// granularity (so that windows slide every 8 KiB), recordings spelled out
// byte by byte, and the exhaustive fault sweep. The fast medium runs on the
// real file system as the program does; the slow one without write-through
// and with memory that makes the recording buffer a known size.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
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

namespace tavrin::storage::mediatest {

using model::Bytes;
using model::Pattern;

using Medium = platform::Media;

inline constexpr std::uint32_t kGranularity = 4096;
inline constexpr std::uint32_t kTwice = 2 * kGranularity;  // viewStep: the window is 16 KiB

inline Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline Bytes Slice(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(to));
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
template <Medium M>
struct MediaRig {
    static constexpr bool kSlow = M == Medium::Slow;
    // The slow recording buffer: what the memory allows, the disk being roomy.
    static constexpr std::uint32_t kCapacity = 200'000;
    static constexpr std::uint64_t kMemory = kCapacity + 2 * kTwice;
    static constexpr std::uint64_t kRoomyDisk = kSlow ? 1ull << 30 : 4u << 20;

    test::TempDir dir;
    platform::PosixFileSystem posix;
    UnsyncedFileSystem unsynced;
    test::FaultyFileSystem fs{kSlow ? static_cast<platform::FileSystem&>(unsynced) : posix};
    test::FakeMemory memory{fs.plan()};
    test::FakeSystemInfo system{kGranularity};
    test::RecordingShell shell;
    StorageContext ctx{fs, memory, system, shell};
    std::string path = dir.file("a.wav");

    MediaRig() {
        fs.setFreeSpace(kRoomyDisk);
        if constexpr (kSlow) memory.setAvailablePhysical(kMemory);
    }

    // Journals every change, as the program does, in a folder of the rig's.
    void UseJournals() { ctx.journal.SetFolder(dir.file("state")); }
    // What the next start's recovery does with the journals left.
    std::vector<RecoveredFile> Recover() { return RecoverRecordings(fs, ctx.journal.Folder()); }
    std::string JournalFor() const { return JournalPathFor(ctx.journal.Folder(), path); }

    Bytes OnDisk() const {
        if constexpr (kSlow) return test::ReadBytes(path);
        EXPECT_TRUE(test::FileExists(path));
        return OnDiskPrefix(LengthOnDisk());
    }
    // The first `n` bytes of a file that may still be extended far beyond them.
    Bytes OnDiskPrefix(std::size_t n) const {
        Bytes out(n);
        std::ifstream in(path, std::ios::binary);
        in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(n));
        out.resize(static_cast<std::size_t>(in.gcount()));
        return out;
    }
    std::uint64_t LengthOnDisk() const {
        std::error_code error;
        const auto length = std::filesystem::file_size(path, error);
        return error ? 0 : length;
    }
    bool Exists() const { return test::FileExists(path); }
    bool Is(const Strategy* s) const { return &ctx.Current() == s; }

    [[nodiscard]] Status Create(const model::Format& f) {
        return ctx.Create(path, f.tag, f.samplesPerSec, f.bitsPerSample, 1, M);
    }
    [[nodiscard]] Status CreatePcm(std::uint32_t rate = 8000, std::uint16_t bits = 8) {
        return ctx.Create(path, wav::kTagPcm, rate, bits, 1, M);
    }
    [[nodiscard]] Status CreateGsm() { return ctx.Create(path, wav::kTagGsm, 8000, 0, 1, M); }
    // Puts `file` on disk and opens it on the rig's medium.
    [[nodiscard]] Status SelectFile(const Bytes& file) {
        test::WriteBytes(path, file);
        return ctx.Select(path, M);
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
    // Plays from the current position to the end of the data; what came, in
    // order, and how it ended.
    Bytes Play(std::uint32_t piece, Status* last = nullptr) {
        Bytes out;
        Bytes buffer(piece);
        // Bytes per step of the position: a sample frame, or a GSM block.
        const std::uint32_t step = ctx.FormatTag() == wav::kTagGsm ? wav::kGsmBlockBytes
                                   : kSlow                         ? ctx.Channels() * (ctx.BitsPerSample() / 8u)
                                   : ctx.BlockAlign()              ? ctx.BlockAlign()
                                                                   : 1;
        const std::size_t start = std::size_t{ctx.CurrentReadSample()} * step;
        for (int guard = 0; guard < 100000; ++guard) {
            std::fill(buffer.begin(), buffer.end(), 0xEE);
            const std::uint32_t before = ctx.CurrentReadSample();
            const Status s = ctx.ReadData(buffer.data(), piece);
            if (s == Status::Ok) {
                out.insert(out.end(), buffer.begin(), buffer.end());
                if constexpr (!kSlow) {
                    EXPECT_EQ(ctx.CurrentReadSample(), before + piece / step);
                }
                continue;
            }
            if (last) *last = s;
            if (s == Status::EndOfData) {
                // Only the remaining bytes are new; the rest of the piece is untouched.
                const std::size_t played = kSlow ? std::size_t{before} * step : start + out.size();
                const std::size_t rest = ctx.DataSize() >= played ? ctx.DataSize() - played : 0;
                if constexpr (!kSlow) {
                    EXPECT_LE(rest, piece);
                }
                const std::size_t fresh = std::min<std::size_t>(rest, piece);
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
    // Nothing is left open (or allocated, on slow media) once the context is idle again.
    void ExpectNothingHeld() const {
        EXPECT_EQ(fs.openFiles(), 0);
        EXPECT_EQ(fs.liveMappings(), 0);
        if constexpr (kSlow) {
            EXPECT_EQ(memory.liveBlocks(), 0u);
        }
    }
};

// One run of a fault sweep: the scenario arms the fault right before the
// operations under test and disarms it right after, so that its set-up and
// its checks run unfaulted.
template <class Rig>
class FaultRunOf {
public:
    FaultRunOf(Rig& r, std::uint32_t n, bool persistent) : rig(r), nth(n), forever(persistent) {}
    void Arm() { rig.fs.failNthCall(nth, forever); }
    // True when a fault fired during the operations.
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

    Rig& rig;

private:
    std::uint32_t nth;
    bool forever;
    bool fired = false;
    bool disarmed = false;
};

// Runs `scenario` with the 1st, 2nd, ... platform call of its operations
// failing, once and then from that call on, until a run goes through without
// any fault firing. A crash or a leak fails the test; on slow media so does
// anything left open or allocated once the context is idle.
template <class Rig, class Scenario>
void SweepFaultsOn(Scenario scenario) {
    for (bool persistent : {false, true}) {
        for (std::uint32_t n = 1;; ++n) {
            SCOPED_TRACE(testing::Message() << "failing call " << n << (persistent ? " and every later one" : ""));
            bool fired = false;
            {
                Rig rig;
                FaultRunOf<Rig> run(rig, n, persistent);
                scenario(run);
                EXPECT_TRUE(run.Disarmed()) << "the scenario never ran its operations";
                fired = run.Fired();
                if (Rig::kSlow && rig.ctx.IsIdle()) rig.ExpectNothingHeld();
            }
            const bool failed = Rig::kSlow ? testing::Test::HasFailure() : testing::Test::HasFatalFailure();
            if (!fired || n > 400 || failed) break;
        }
    }
}

}  // namespace tavrin::storage::mediatest
