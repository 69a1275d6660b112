// Slow-media storage: storing 200 ms blocks in the recording buffer against a
// plain memcpy, writing a 100 MB recording at End against one plain
// write-through write of the same size, and playback through the read cache
// against plain sequential reads.

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "platform/posix/StderrShell.h"
#include "storage/StorageContext.h"

namespace {

using tavrin::storage::Status;
using tavrin::storage::StorageContext;

constexpr std::uint32_t kHundredMb = 100u << 20;
constexpr std::uint32_t kCycle = 64u << 20;  // the stretch of buffer the block benchmarks write over and over

// Memory as the system has it, but with the available amount fixed, so that
// the recording buffer has a known size whatever the machine.
class BoundedMemory : public tavrin::platform::PosixMemory {
public:
    explicit BoundedMemory(std::uint64_t bytes) : available(bytes) {}
    std::uint64_t availablePhysical() override { return available; }

private:
    std::uint64_t available;
};

struct Setup {
    explicit Setup(std::uint64_t bufferBytes) : memory(bufferBytes + 2 * 2 * system.allocationGranularity()) {
        std::filesystem::create_directories(folder);
    }
    ~Setup() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string File(const char* name) const { return (folder / name).string(); }

    std::filesystem::path folder = std::filesystem::temp_directory_path() / "tavrin-bench-storage";
    tavrin::platform::PosixFileSystem files;
    tavrin::platform::PosixSystemInfo system;
    BoundedMemory memory;
    tavrin::platform::StderrShell shell;
    StorageContext ctx{files, memory, system, shell};
};

std::vector<std::uint8_t> Audio(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

// 200 ms blocks of GSM, 8 kHz 8-bit and 22 kHz 16-bit; without and with the
// buffer mirrored into a spool beside a journal, as the program records.
void BlockSizes(benchmark::internal::Benchmark* b) {
    for (int spooled : {0, 1})
        for (int block : {325, 1600, 8820}) b->Args({block, spooled});
}

void BM_SlowWriteData(benchmark::State& state) {
    const auto block = static_cast<std::uint32_t>(state.range(0));
    Setup setup(kCycle + (1u << 20));
    if (state.range(1) != 0) setup.ctx.journal.SetFolder(setup.File("state"));
    if (setup.ctx.Create(setup.File("write.wav"), 1, 22050, 16, 1, tavrin::platform::Media::Slow) != Status::Ok) {
        state.SkipWithError("Create failed");
        return;
    }
    const auto audio = Audio(block);
    // Once over the whole stretch first, so that page faults of fresh memory
    // are not what is measured (the copy baseline does the same).
    std::uint32_t held = 0;
    for (; held + block <= kCycle; held += block) static_cast<void>(setup.ctx.WriteData(audio.data(), block));
    for (auto _ : state) {
        if (held + block > kCycle) {
            state.PauseTiming();
            if (setup.ctx.BackTrack(held) != Status::Ok) state.SkipWithError("BackTrack failed");
            held = 0;
            state.ResumeTiming();
        }
        if (setup.ctx.WriteData(audio.data(), block) != Status::Ok) state.SkipWithError("WriteData failed");
        held += block;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * block);
}
BENCHMARK(BM_SlowWriteData)->Apply(BlockSizes);

void BM_MemcpyBlocks(benchmark::State& state) {
    const auto block = static_cast<std::uint32_t>(state.range(0));
    BoundedMemory memory(0);
    auto* target = static_cast<std::uint8_t*>(memory.commit(kCycle));
    std::memset(target, 0, kCycle);
    const auto audio = Audio(block);
    std::uint32_t at = 0;
    for (auto _ : state) {
        if (at + block > kCycle) at = 0;
        std::memcpy(target + at, audio.data(), block);
        benchmark::DoNotOptimize(target + at);
        at += block;
    }
    memory.release(target, kCycle);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * block);
}
BENCHMARK(BM_MemcpyBlocks)->Arg(325)->Arg(1600)->Arg(8820);

// End of a 100 MB recording: one write of the buffer and the header finished;
// journalled, the file is synced and the spool removed as well.
void BM_SlowFlush100Mb(benchmark::State& state) {
    Setup setup(kHundredMb + (1u << 20));
    if (state.range(0) != 0) setup.ctx.journal.SetFolder(setup.File("state"));
    const auto audio = Audio(8820);
    const std::string path = setup.File("flush.wav");
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path);
        bool ok = setup.ctx.Create(path, 1, 22050, 16, 1, tavrin::platform::Media::Slow) == Status::Ok;
        for (std::uint32_t n = 0; ok && n + audio.size() <= kHundredMb; n += 8820)
            ok = setup.ctx.WriteData(audio.data(), 8820) == Status::Ok;
        if (!ok) state.SkipWithError("recording failed");
        state.ResumeTiming();
        if (setup.ctx.End() != Status::Ok) state.SkipWithError("End failed");
        state.PauseTiming();
        if (setup.ctx.Close() != Status::Ok) state.SkipWithError("Close failed");
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kHundredMb);
}
BENCHMARK(BM_SlowFlush100Mb)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The same bytes in one plain write-through write.
void BM_PlainWrite100Mb(benchmark::State& state) {
    Setup setup(0);
    const auto audio = Audio(kHundredMb);
    const std::string path = setup.File("plain.bin");
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path);
        auto file = setup.files.open(path, tavrin::platform::OpenMode::ReadWriteCreate, true);
        state.ResumeTiming();
        std::uint32_t written = 0;
        if (!file || !file->write(audio.data(), kHundredMb, written)) state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kHundredMb);
}
BENCHMARK(BM_PlainWrite100Mb)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Writes a 100 MB recording of 22 kHz 16-bit audio for the reading benchmarks.
bool MakeRecording(Setup& setup, const std::string& path) {
    if (std::filesystem::exists(path)) return true;
    const auto audio = Audio(8820);
    bool ok = setup.ctx.Create(path, 1, 22050, 16, 1, tavrin::platform::Media::Slow) == Status::Ok;
    for (std::uint32_t n = 0; ok && n + audio.size() <= kHundredMb; n += 8820)
        ok = setup.ctx.WriteData(audio.data(), 8820) == Status::Ok;
    return ok && setup.ctx.Close() == Status::Ok;
}

// Playback of the whole file in 200 ms pieces through the read cache.
void BM_SlowReadData100Mb(benchmark::State& state) {
    Setup setup(kHundredMb + (1u << 20));
    const std::string path = setup.File("read.wav");
    if (!MakeRecording(setup, path)) {
        state.SkipWithError("cannot make the recording");
        return;
    }
    std::vector<std::uint8_t> piece(8820);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        if (setup.ctx.Select(path, tavrin::platform::Media::Slow) != Status::Ok) state.SkipWithError("Select failed");
        Status s = Status::Ok;
        while ((s = setup.ctx.ReadData(piece.data(), 8820)) == Status::Ok) bytes += 8820;
        if (s != Status::EndOfData) state.SkipWithError("ReadData failed");
        benchmark::DoNotOptimize(piece.data());
    }
    static_cast<void>(setup.ctx.Close());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_SlowReadData100Mb)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same file read sequentially in pieces as large as one cache fill.
void BM_PlainRead100Mb(benchmark::State& state) {
    Setup setup(kHundredMb + (1u << 20));
    const std::string path = setup.File("read.wav");
    if (!MakeRecording(setup, path)) {
        state.SkipWithError("cannot make the recording");
        return;
    }
    std::vector<std::uint8_t> chunk(352'800);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        auto file = setup.files.open(path, tavrin::platform::OpenMode::ReadOnly, false);
        std::uint32_t got = 0;
        while (file && file->read(chunk.data(), 352'800, got) && got > 0) bytes += got;
        benchmark::DoNotOptimize(chunk.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_PlainRead100Mb)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
