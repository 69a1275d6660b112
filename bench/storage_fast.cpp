// Fast-media storage: direct writing of 200 ms blocks through the mapped
// window (each flushed to the disk) against plain pwrite + fdatasync of the
// same blocks, the insertion of 1,411,199 new bytes in front of a
// 5,000,000-byte tail against the physical floor of that work, an Append to a
// recording with a 1 MB chunk after its audio against one without, and
// playback of a 100 MB recording through the read cache against plain
// sequential reads; and what starting a journalled recording costs.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "platform/posix/StderrShell.h"
#include "storage/Journal.h"
#include "storage/StorageContext.h"

namespace {

using tavrin::storage::Status;
using tavrin::storage::StorageContext;

constexpr std::uint32_t kHundredMb = 100u << 20;
constexpr std::uint32_t kCycle = 32u << 20;  // the stretch of file the block benchmarks write over and over
constexpr std::uint32_t kTail = 5'000'000;
constexpr std::uint32_t kInserted = 1'411'199;

// The real disk, but a volume that reports only `cap` bytes free, so that a
// fast recording reserves a known amount instead of the whole disk.
class CappedFileSystem : public tavrin::platform::PosixFileSystem {
public:
    explicit CappedFileSystem(std::uint64_t cap) : limit(cap) {}
    std::optional<std::uint64_t> freeSpace(const std::string& folder) override {
        const auto real = PosixFileSystem::freeSpace(folder);
        return real ? std::optional(std::min(*real, limit)) : std::nullopt;
    }

private:
    std::uint64_t limit;
};

struct Setup {
    explicit Setup(std::uint64_t reserve) : files(reserve) { std::filesystem::create_directories(folder); }
    ~Setup() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string File(const char* name) const { return (folder / name).string(); }

    std::filesystem::path folder = std::filesystem::temp_directory_path() / "tavrin-bench-storage-fast";
    CappedFileSystem files;
    tavrin::platform::PosixSystemInfo system;
    tavrin::platform::PosixMemory memory;
    tavrin::platform::StderrShell shell;
    StorageContext ctx{files, memory, system, shell};
};

std::vector<std::uint8_t> Audio(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Writes a 22 kHz 16-bit recording of `audioBytes` bytes straight to disk,
// followed by a LIST chunk of `listBytes` bytes when that is not 0.
bool WritePcmFile(const std::string& path, std::uint32_t audioBytes, std::uint32_t listBytes = 0) {
    std::vector<std::uint8_t> f{'R', 'I', 'F', 'F'};
    Put32(f, 36 + audioBytes + (listBytes ? 8 + listBytes : 0));
    for (char c : std::string("WAVEfmt ")) f.push_back(static_cast<std::uint8_t>(c));
    Put32(f, 16);
    Put32(f, 0x00010001);  // PCM, mono
    Put32(f, 22050);
    Put32(f, 44100);
    Put32(f, 0x00100002);  // block align 2, 16 bits
    for (char c : std::string("data")) f.push_back(static_cast<std::uint8_t>(c));
    Put32(f, audioBytes);
    const auto audio = Audio(audioBytes);
    f.insert(f.end(), audio.begin(), audio.end());
    if (listBytes) {
        for (char c : std::string("LIST")) f.push_back(static_cast<std::uint8_t>(c));
        Put32(f, listBytes);
        f.resize(f.size() + listBytes, 'x');
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
    return static_cast<bool>(out);
}

// 200 ms blocks of GSM, 8 kHz 8-bit and 22 kHz 16-bit.
void BlockSizes(benchmark::internal::Benchmark* b) { b->Arg(325)->Arg(1600)->Arg(8820); }

// Each block copied into the window and the mapped header brought up to date;
// the disk is synced off this thread (File::syncSoon), never waited for here.
void BM_FastWriteData(benchmark::State& state) {
    const auto block = static_cast<std::uint32_t>(state.range(0));
    Setup setup(kCycle + (4u << 20));
    if (setup.ctx.Create(setup.File("write.wav"), 1, 22050, 16, 1, tavrin::platform::Media::Fast) != Status::Ok) {
        state.SkipWithError("Create failed");
        return;
    }
    const auto audio = Audio(block);
    std::uint32_t held = 0;
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
    static_cast<void>(setup.ctx.Close());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * block);
}
BENCHMARK(BM_FastWriteData)->Apply(BlockSizes)->UseRealTime();

// The same blocks at the same offsets of a file allocated in advance, each
// written with pwrite and made durable with fdatasync.
void BM_PwriteFdatasync(benchmark::State& state) {
    const auto block = static_cast<std::uint32_t>(state.range(0));
    Setup setup(0);
    const std::string path = setup.File("plain.bin");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::posix_fallocate(fd, 0, kCycle + (4u << 20)) != 0) {
        state.SkipWithError("cannot prepare the file");
        if (fd >= 0) ::close(fd);
        return;
    }
    const auto audio = Audio(block);
    std::uint32_t at = 44;
    for (auto _ : state) {
        if (at + block > kCycle) at = 44;
        if (::pwrite(fd, audio.data(), block, at) != static_cast<ssize_t>(block) || ::fdatasync(fd) != 0)
            state.SkipWithError("write failed");
        at += block;
    }
    ::close(fd);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * block);
}
BENCHMARK(BM_PwriteFdatasync)->Apply(BlockSizes)->UseRealTime();

// End of an insertion at block 0 of a recording with 5,000,000 bytes of
// audio: the tail moved up by 1,411,199 bytes, the new audio copied in front
// of it, all of it flushed, the header finished and a fresh window mapped.
void BM_FastInsertEnd(benchmark::State& state) {
    Setup setup(16u << 20);
    const std::string path = setup.File("insert.wav");
    const auto added = Audio(kInserted);
    for (auto _ : state) {
        state.PauseTiming();
        bool ok = WritePcmFile(path, kTail) && setup.ctx.Select(path, tavrin::platform::Media::Fast) == Status::Ok && setup.ctx.Insert();
        for (std::uint32_t n = 0; ok && n < kInserted; n += 8820) {
            const std::uint32_t piece = std::min<std::uint32_t>(8820, kInserted - n);
            ok = setup.ctx.WriteData(added.data() + n, piece) == Status::Ok;
        }
        if (!ok) state.SkipWithError("cannot start the insertion");
        state.ResumeTiming();
        if (setup.ctx.End() != Status::Ok) state.SkipWithError("End failed");
        state.PauseTiming();
        if (setup.ctx.Close() != Status::Ok) state.SkipWithError("Close failed");
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (kTail + kInserted));
}
BENCHMARK(BM_FastInsertEnd)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// The floor of that work: one 5 MB move in memory and 6.4 MB written and made durable.
void BM_InsertFloor(benchmark::State& state) {
    Setup setup(0);
    const std::string path = setup.File("floor.bin");
    std::vector<std::uint8_t> area = Audio(kTail + kInserted);
    const auto added = Audio(kInserted);
    for (auto _ : state) {
        state.PauseTiming();
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        state.ResumeTiming();
        std::memmove(area.data() + kInserted, area.data(), kTail);
        std::memcpy(area.data(), added.data(), kInserted);
        if (fd < 0 || ::pwrite(fd, area.data(), area.size(), 44) != static_cast<ssize_t>(area.size()) ||
            ::fdatasync(fd) != 0)
            state.SkipWithError("write failed");
        state.PauseTiming();
        if (fd >= 0) ::close(fd);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (kTail + kInserted));
}
BENCHMARK(BM_InsertFloor)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// An Append of one second (five 200 ms blocks) to a recording of 10 MB, from
// the command to the end of its End, journalled as the program does: with no
// chunk after the audio, and with a LIST chunk of 1 MB there, which is held
// in memory and in a trailer file before the audio goes over it, and written
// back behind the new end.
void BM_FastAppendChunkAfter(benchmark::State& state) {
    const auto listBytes = static_cast<std::uint32_t>(state.range(0));
    Setup setup(16u << 20);
    setup.ctx.journal.SetFolder(setup.File("state"));
    const std::string path = setup.File("append.wav");
    const auto block = Audio(8820);
    for (auto _ : state) {
        state.PauseTiming();
        bool ok = WritePcmFile(path, 10'000'000, listBytes) && setup.ctx.Select(path, tavrin::platform::Media::Fast) == Status::Ok;
        state.ResumeTiming();
        ok = ok && setup.ctx.Append();
        for (int n = 0; ok && n < 5; ++n) ok = setup.ctx.WriteData(block.data(), 8820) == Status::Ok;
        if (!ok || setup.ctx.End() != Status::Ok) state.SkipWithError("the append failed");
        state.PauseTiming();
        if (setup.ctx.Close() != Status::Ok) state.SkipWithError("Close failed");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FastAppendChunkAfter)->Arg(0)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

// Playback of a whole 100 MB recording in 200 ms pieces through the read cache
// and the sliding window.
void BM_FastReadData100Mb(benchmark::State& state) {
    Setup setup(16u << 20);
    const std::string path = setup.File("read.wav");
    if (!WritePcmFile(path, kHundredMb)) {
        state.SkipWithError("cannot make the recording");
        return;
    }
    std::vector<std::uint8_t> piece(8820);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        if (setup.ctx.Select(path, tavrin::platform::Media::Fast) != Status::Ok) state.SkipWithError("Select failed");
        Status s = Status::Ok;
        while ((s = setup.ctx.ReadData(piece.data(), 8820)) == Status::Ok) bytes += 8820;
        if (s != Status::EndOfData) state.SkipWithError("ReadData failed");
        benchmark::DoNotOptimize(piece.data());
        if (setup.ctx.Close() != Status::Ok) state.SkipWithError("Close failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_FastReadData100Mb)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same file read sequentially in pieces as large as one cache fill.
void BM_SequentialRead100Mb(benchmark::State& state) {
    Setup setup(0);
    const std::string path = setup.File("read.wav");
    if (!WritePcmFile(path, kHundredMb)) {
        state.SkipWithError("cannot make the recording");
        return;
    }
    std::vector<std::uint8_t> chunk(352'800);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ssize_t got = 0;
        while (fd >= 0 && (got = ::read(fd, chunk.data(), chunk.size())) > 0) bytes += static_cast<std::uint64_t>(got);
        benchmark::DoNotOptimize(chunk.data());
        if (fd >= 0) ::close(fd);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_SequentialRead100Mb)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// Stop to FileReady of a 60-minute PCM 22 kHz 16-bit recording: End on fast
// media (header finished, reserved tail cut, file synced) against End on slow
// media (the whole buffer written in one go and the header finished), both
// journalled as the program records (slow: the spool synced first, the file
// synced after).
constexpr std::uint32_t kHourBytes = 60u * 60u * 44'100u;

void StopAfterAnHour(benchmark::State& state, bool fast) {
    Setup setup(std::uint64_t{kHourBytes} + (64u << 20));
    const auto audio = Audio(8820);
    const std::string path = setup.File("hour.wav");
    setup.ctx.journal.SetFolder(setup.File("state"));
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path);
        bool ok = setup.ctx.Create(path, 1, 22050, 16, 1, fast ? tavrin::platform::Media::Fast : tavrin::platform::Media::Slow) == Status::Ok;
        for (std::uint32_t n = 0; ok && n + audio.size() <= kHourBytes; n += 8820)
            ok = setup.ctx.WriteData(audio.data(), 8820) == Status::Ok;
        if (!ok) state.SkipWithError("recording failed");
        state.ResumeTiming();
        if (setup.ctx.End() != Status::Ok) state.SkipWithError("End failed");
        state.PauseTiming();
        if (setup.ctx.Close() != Status::Ok) state.SkipWithError("Close failed");
        state.ResumeTiming();
    }
}
void BM_StopToFileReady60MinFast(benchmark::State& state) { StopAfterAnHour(state, true); }
void BM_StopToFileReady60MinSlow(benchmark::State& state) { StopAfterAnHour(state, false); }
BENCHMARK(BM_StopToFileReady60MinFast)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Starting a recording on fast media as the program does: the journal written
// and synced, the file made and its name synced, the journal told which file
// it is, the first minute reserved.
void BM_FastCreateJournalled(benchmark::State& state) {
    Setup setup(64u << 20);
    const std::string path = setup.File("start.wav");
    setup.ctx.journal.SetFolder(setup.File("state"));
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path);
        state.ResumeTiming();
        if (setup.ctx.Create(path, 1, 22050, 16, 1, tavrin::platform::Media::Fast) != Status::Ok) state.SkipWithError("Create failed");
        state.PauseTiming();
        if (setup.ctx.Close() != Status::Ok) state.SkipWithError("Close failed");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FastCreateJournalled)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

// What telling the journal its file adds to that start: one short append and a sync.
void BM_JournalFileNote(benchmark::State& state) {
    Setup setup(64u << 20);
    auto journal = setup.files.open(setup.File("note.journal"), tavrin::platform::OpenMode::ReadWriteCreate, false);
    for (auto _ : state) {
        state.PauseTiming();
        if (!journal->setLength(120) || !journal->sync()) state.SkipWithError("journal");
        state.ResumeTiming();
        if (!tavrin::storage::NoteJournalFile(*journal, {2049, 1234567})) state.SkipWithError("note failed");
    }
}
BENCHMARK(BM_JournalFileNote)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();
BENCHMARK(BM_StopToFileReady60MinSlow)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
