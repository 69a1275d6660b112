// The chunk reader and the strict reading of a selection read headers only:
// reading a recording must take the same time whether it holds 1 MB or 100 MB
// of audio, and whether other chunks stand before the audio. Files are
// written once into a temporary folder; the audio pages are never read here,
// so a reading that touched them would show as time growing with the size.
// Last, an edit of a file with a 1 MB chunk after its audio against one
// without it.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "platform/posix/StderrShell.h"
#include "storage/HeaderReading.h"
#include "storage/ReadOnlyHeaderSource.h"
#include "storage/StorageContext.h"
#include "wav/Formats.h"
#include "wav/WavChunkReader.h"

namespace {

using namespace tavrin;

class BenchFiles {
public:
    BenchFiles() {
        const std::string name = "tavrin-bench-wav-" + std::to_string(std::random_device{}());
        folder = std::filesystem::temp_directory_path() / name;
        std::filesystem::create_directories(folder);
    }
    ~BenchFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // A 22 kHz 16-bit recording of `bytes` bytes in all, written on first use.
    const std::string& Recording(std::uint32_t bytes) { return Made(bytes, 0); }
    // The same with ten chunks of other programs before the audio, some of
    // odd size with their pad byte.
    const std::string& WithTenChunks(std::uint32_t bytes) { return Made(bytes, 10); }

    // Writes a recording of `audioBytes` after `chunksBefore` foreign chunks
    // and `trailer` bytes of a LIST chunk after its audio (none for 0).
    bool Write(const std::string& path, std::uint32_t audioBytes, int chunksBefore, std::uint32_t trailer) {
        std::vector<std::uint8_t> head(12);
        std::memcpy(&head[0], "RIFFxxxxWAVE", 12);
        AppendChunk(head, "fmt ", 16);
        wav::SerializeWaveFormat(wav::BuildWaveFormat(wav::kTagPcm, 22050, 16, 1), &head[20]);
        static constexpr std::array<const char*, 5> kIds = {"LIST", "bext", "JUNK", "iXML", "cue "};
        for (int i = 0; i < chunksBefore; ++i) AppendChunk(head, kIds[i % kIds.size()], 100u * i + 27u);
        const auto dataPos = static_cast<std::uint32_t>(head.size());
        AppendChunk(head, "data", 0);
        wav::StoreLe32(&head[dataPos + 4], audioBytes);
        const std::uint32_t end = dataPos + 8 + audioBytes + (trailer ? 8 + trailer : 0);
        wav::StoreLe32(&head[4], end - 8);
        auto file = files.open(path, platform::OpenMode::ReadWriteCreate, false);
        std::uint32_t written = 0;
        if (!file || !file->write(head.data(), static_cast<std::uint32_t>(head.size()), written) ||
            !file->setLength(dataPos + 8 + audioBytes))
            return false;
        if (trailer == 0) return true;
        std::vector<std::uint8_t> list(8 + trailer, 'i');
        std::memcpy(list.data(), "LIST", 4);
        wav::StoreLe32(&list[4], trailer);
        return file->seek(dataPos + 8 + audioBytes) &&
               file->write(list.data(), static_cast<std::uint32_t>(list.size()), written);
    }
    std::string Path(const std::string& name) const { return (folder / name).string(); }

    platform::PosixFileSystem files;

private:
    static void AppendChunk(std::vector<std::uint8_t>& to, const char* id, std::uint32_t size) {
        const std::size_t at = to.size();
        to.resize(at + 8 + size + size % 2, 0);
        std::memcpy(&to[at], id, 4);
        wav::StoreLe32(&to[at + 4], size);
    }
    const std::string& Made(std::uint32_t bytes, int chunksBefore) {
        const std::uint32_t key = bytes + static_cast<std::uint32_t>(chunksBefore);
        auto it = paths.find(key);
        if (it != paths.end()) return it->second;
        const std::string path = Path("r" + std::to_string(key) + ".wav");
        // The whole file is `bytes` long, header and chunks included.
        const std::uint32_t headerBytes = 44 + (chunksBefore ? 4'860u : 0u);
        if (!Write(path, bytes - headerBytes, chunksBefore, 0)) std::abort();
        return paths.emplace(key, path).first->second;
    }

    std::filesystem::path folder;
    std::map<std::uint32_t, std::string> paths;
};

BenchFiles& Files() {
    static BenchFiles files;
    return files;
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (std::int64_t mb : {1, 10, 100}) b->Arg(mb << 20);
}

// The walk alone, over a file mapped once.
void BM_Parse(benchmark::State& state) {
    const auto bytes = static_cast<std::uint32_t>(state.range(0));
    wav::WavChunkReader reader(Files().files);
    if (!reader.Open(Files().Recording(bytes))) {
        state.SkipWithError("cannot open the recording");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(reader.Parse());
    if (reader.LengthInBlocks() != (bytes - 44) / 2) state.SkipWithError("wrong length");
    state.counters["fileMB"] = static_cast<double>(bytes >> 20);
}
BENCHMARK(BM_Parse)->Apply(Sizes);

// What the engine's file query does each time: open and map, parse, close.
void BM_OpenParseClose(benchmark::State& state) {
    const auto bytes = static_cast<std::uint32_t>(state.range(0));
    const std::string& path = Files().Recording(bytes);
    for (auto _ : state) {
        wav::WavChunkReader reader(Files().files);
        if (!reader.Open(path)) {
            state.SkipWithError("cannot open the recording");
            return;
        }
        benchmark::DoNotOptimize(reader.Parse());
        reader.Close();
    }
    state.counters["fileMB"] = static_cast<double>(bytes >> 20);
}
BENCHMARK(BM_OpenParseClose)->Apply(Sizes);

// The walk over ten chunks before the audio of a 100 MB file.
void BM_ParseTenChunksBefore(benchmark::State& state) {
    const std::uint32_t bytes = 100u << 20;
    wav::WavChunkReader reader(Files().files);
    if (!reader.Open(Files().WithTenChunks(bytes)) || reader.Parse() != wav::kParsePlayable) {
        state.SkipWithError("cannot read the recording");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(reader.Parse());
}
BENCHMARK(BM_ParseTenChunksBefore);

// The strict reading a selection does, over a read-only file: open, walk to
// the data chunk, close.
void StrictRead(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        storage::ReadOnlyHeaderSource source(Files().files);
        storage::HeaderImage image;
        if (storage::ReadHeaderStrict(source, path, image) != storage::Status::Ok) {
            state.SkipWithError("refused");
            return;
        }
        benchmark::DoNotOptimize(image.dataChunkPos);
    }
}
void BM_StrictRead(benchmark::State& state) {
    StrictRead(state, Files().Recording(static_cast<std::uint32_t>(state.range(0))));
}
BENCHMARK(BM_StrictRead)->Arg(100 << 20);
void BM_StrictReadTenChunksBefore(benchmark::State& state) { StrictRead(state, Files().WithTenChunks(100u << 20)); }
BENCHMARK(BM_StrictReadTenChunksBefore);

// An Append to a 10 MB recording on slow media, with (1) or without (0) a
// 1 MB LIST chunk after its audio: select, append one second (22 kHz
// 16-bit), close. The chunk is read into the buffer and written back behind
// the new end.
// Memory as the system has it, with 64 MB available: the recording buffer of
// the edit has the same size on every machine.
class BoundedMemory : public platform::PosixMemory {
public:
    std::uint64_t availablePhysical() override { return 64u << 20; }
};

struct EditRig {
    platform::PosixSystemInfo system;
    BoundedMemory memory;
    platform::StderrShell shell;
    storage::StorageContext ctx{Files().files, memory, system, shell};
};

void BM_SlowAppendChunkAfterAudio(benchmark::State& state) {
    constexpr std::uint32_t kAudio = 10u << 20;
    const std::uint32_t trailer = state.range(0) ? 1u << 20 : 0u;
    const std::string path = Files().Path("edit.wav");
    const std::vector<std::uint8_t> second(44'100, 0x21);
    EditRig rig;
    bool started = false;
    for (auto _ : state) {
        state.PauseTiming();
        if (!Files().Write(path, kAudio, 0, trailer)) state.SkipWithError("cannot write the file");
        state.ResumeTiming();
        if (rig.ctx.Select(path, platform::Media::Slow) != storage::Status::Ok) state.SkipWithError("Select failed");
        started = rig.ctx.Append();
        if (started && rig.ctx.WriteData(second.data(), 44'100) != storage::Status::Ok) state.SkipWithError("write");
        if (rig.ctx.Close() != storage::Status::Ok) state.SkipWithError("Close failed");
    }
    state.counters["started"] = started ? 1 : 0;
}
BENCHMARK(BM_SlowAppendChunkAfterAudio)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
