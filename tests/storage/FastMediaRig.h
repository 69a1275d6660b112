#pragma once

// What the tests of the fast-media strategies share: a storage context over a
// temporary folder with fault injection and a small allocation granularity
// (so that windows slide every 8 KiB), reference recordings spelled out byte
// by byte, and the exhaustive fault sweep.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RecordingModel.h"
#include "storage/StorageContext.h"
#include "storage/Strategy.h"
#include "support/FakeMemory.h"
#include "support/FaultyFileSystem.h"
#include "support/RecordingShell.h"
#include "support/TempDir.h"
#include "wav/Formats.h"

namespace tavrin::storage::fasttest {

using model::Bytes;
using model::Pattern;

inline constexpr std::uint32_t kGranularity = 4096;
inline constexpr std::uint32_t kTwice = 2 * kGranularity;  // viewStep: the window is 16 KiB
inline constexpr std::uint64_t kRoomyDisk = 4u << 20;

// A mono PCM recording laid out the way this program writes one.
inline Bytes PcmFile(std::uint32_t rate, std::uint16_t bits, const Bytes& audio) {
    return model::WavFile(model::Format{wav::kTagPcm, rate, bits, "PCM"}, audio);
}
// A GSM recording with its fact chunk (audio from offset 60).
inline Bytes GsmFile(const Bytes& audio) { return model::WavFile(model::kGsm, audio); }

inline Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline Bytes Slice(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(to));
}

// Everything one scenario needs, fresh for every run of a fault sweep.
struct FastRig {
    test::TempDir dir;
    test::FaultyFileSystem fs;
    test::FakeMemory memory{fs.plan()};
    test::FakeSystemInfo system{kGranularity};
    test::RecordingShell shell;
    StorageContext ctx{fs, memory, system, shell};
    std::string path = dir.file("a.wav");

    FastRig() { fs.setFreeSpace(kRoomyDisk); }

    Bytes OnDisk() const {
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
    bool Is(const Strategy* s) const { return &ctx.Current() == s; }

    [[nodiscard]] Status CreatePcm(std::uint32_t rate = 8000, std::uint16_t bits = 8) {
        return ctx.Create(path, wav::kTagPcm, rate, bits, 1, platform::Media::Fast);
    }
    [[nodiscard]] Status CreateGsm() { return ctx.Create(path, wav::kTagGsm, 8000, 0, 1, platform::Media::Fast); }
    // Puts `file` on disk and opens it on fast media.
    [[nodiscard]] Status SelectFile(const Bytes& file) {
        test::WriteBytes(path, file);
        return ctx.Select(path, platform::Media::Fast);
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
    // Plays from the current position to the end of the data; what came, in order.
    Bytes Play(std::uint32_t piece, Status* last = nullptr) {
        Bytes out;
        Bytes buffer(piece);
        const std::uint32_t step = ctx.BlockAlign() ? ctx.BlockAlign() : 1;
        const std::size_t start = std::size_t{ctx.CurrentReadSample()} * step;
        for (int guard = 0; guard < 100000; ++guard) {
            std::fill(buffer.begin(), buffer.end(), 0xEE);
            const std::uint32_t before = ctx.CurrentReadSample();
            const Status s = ctx.ReadData(buffer.data(), piece);
            if (s == Status::Ok) {
                out.insert(out.end(), buffer.begin(), buffer.end());
                EXPECT_EQ(ctx.CurrentReadSample(), before + piece / step);
                continue;
            }
            if (last) *last = s;
            if (s == Status::EndOfData) {
                // Only the remaining bytes are new; the rest of the piece is untouched.
                const std::size_t played = start + out.size();
                const std::size_t rest = ctx.DataSize() >= played ? ctx.DataSize() - played : 0;
                EXPECT_LE(rest, piece);
                const std::size_t fresh = std::min<std::size_t>(rest, piece);
                out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(fresh));
                for (std::size_t i = fresh; i < piece; ++i) EXPECT_EQ(buffer[i], 0xEE) << "byte " << i;
            }
            return out;
        }
        ADD_FAILURE() << "playback never ended";
        return out;
    }
    // Nothing is left open once the context is idle again.
    void ExpectNothingHeld() const {
        EXPECT_EQ(fs.openFiles(), 0);
        EXPECT_EQ(fs.liveMappings(), 0);
    }
};

// One run of a fault sweep: the scenario arms the fault right before the
// operation under test and disarms it right after, so that its set-up and its
// checks run unfaulted.
class FaultRun {
public:
    FaultRun(FastRig& r, std::uint32_t n, bool persistent) : rig(r), nth(n), forever(persistent) {}
    void Arm() { rig.fs.failNthCall(nth, forever); }
    // True when a fault fired during the operation.
    bool Disarm() {
        fired = rig.fs.faultFired();
        disarmed = true;
        rig.fs.resetFaults();
        return fired;
    }
    bool Fired() const { return fired; }
    // Every call after the failing one fails too: nothing can be repaired.
    bool Persistent() const { return forever; }
    bool Disarmed() const { return disarmed; }

    FastRig& rig;

private:
    std::uint32_t nth;
    bool forever;
    bool fired = false;
    bool disarmed = false;
};

// Runs `scenario` with the 1st, 2nd, ... platform call of its operation
// failing, once and then from that call on, until a run goes through without
// any fault firing. A crash or a leak fails the test.
template <class Scenario>
void SweepFaults(Scenario scenario) {
    for (bool persistent : {false, true}) {
        for (std::uint32_t n = 1;; ++n) {
            SCOPED_TRACE(testing::Message() << "failing call " << n << (persistent ? " and every later one" : ""));
            bool fired = false;
            {
                FastRig rig;
                FaultRun run(rig, n, persistent);
                scenario(run);
                EXPECT_TRUE(run.Disarmed()) << "the scenario never ran its operation";
                fired = run.Fired();
            }
            if (!fired || n > 400 || testing::Test::HasFatalFailure()) break;
        }
    }
}

}  // namespace tavrin::storage::fasttest
