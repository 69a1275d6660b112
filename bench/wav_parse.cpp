// The chunk reader reads headers only: parsing a recording must take the same
// time whether it holds 1 MB or 100 MB of audio. Files of three sizes are
// written once into a temporary folder; the audio pages are never read here,
// so a parse that touched them would show as time growing with the size.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "platform/posix/PosixFileSystem.h"
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
    const std::string& Recording(std::uint32_t bytes) {
        auto it = paths.find(bytes);
        if (it != paths.end()) return it->second;
        const std::string path = (folder / ("r" + std::to_string(bytes) + ".wav")).string();
        if (!Write(path, bytes)) std::abort();
        return paths.emplace(bytes, path).first->second;
    }

    platform::PosixFileSystem files;

private:
    bool Write(const std::string& path, std::uint32_t bytes) {
        std::array<std::uint8_t, 44> header{};
        std::memcpy(&header[0], "RIFF", 4);
        wav::StoreLe32(&header[4], bytes - 8);
        std::memcpy(&header[8], "WAVEfmt ", 8);
        wav::StoreLe32(&header[16], 16);
        wav::SerializeWaveFormat(wav::BuildWaveFormat(wav::kTagPcm, 22050, 16, 1), &header[20]);
        std::memcpy(&header[36], "data", 4);
        wav::StoreLe32(&header[40], bytes - 44);
        auto file = files.open(path, platform::OpenMode::ReadWriteCreate, false);
        std::uint32_t written = 0;
        return file && file->write(header.data(), 44, written) && written == 44 && file->setLength(bytes);
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

}  // namespace

BENCHMARK_MAIN();
