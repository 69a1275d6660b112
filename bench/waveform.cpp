// Time to the first full waveform of a 60-minute 22.05 kHz 16-bit recording:
// measured from the file (cold: no cache) and taken from the cache, the two
// ways the panel gets it. bench/listen_vs_tools.sh sets these beside sox
// reading the same file once.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "waveform/PeakCache.h"
#include "waveform/PeakJob.h"

namespace {

using tavrin::platform::PosixFileSystem;

// Speech-like: a tone whose loudness comes and goes every few seconds.
std::string MakeRecording(const std::string& folder, int minutes) {
    const std::string path = folder + "/hour.wav";
    if (std::filesystem::exists(path)) return path;
    const std::uint32_t rate = 22050;
    const std::uint32_t samples = rate * 60u * static_cast<std::uint32_t>(minutes);
    FILE* f = std::fopen(path.c_str(), "wb");
    auto le = [f](std::uint32_t x, int n) {
        for (int i = 0; i < n; ++i) std::fputc(static_cast<int>((x >> (8 * i)) & 0xFF), f);
    };
    std::fwrite("RIFF", 1, 4, f), le(36 + samples * 2, 4), std::fwrite("WAVEfmt ", 1, 8, f);
    le(16, 4), le(1, 2), le(1, 2), le(rate, 4), le(rate * 2, 4), le(2, 2), le(16, 2);
    std::fwrite("data", 1, 4, f), le(samples * 2, 4);
    std::vector<std::int16_t> second(rate);
    for (std::uint32_t s = 0; s < samples / rate; ++s) {
        const double loud = 0.5 + 0.5 * std::sin(s * 0.7);
        for (std::uint32_t i = 0; i < rate; ++i) second[i] = static_cast<std::int16_t>(12000 * loud * std::sin(i * 0.11));
        std::fwrite(second.data(), 2, rate, f);
    }
    std::fclose(f);
    return path;
}

std::string Folder() {
    const std::string folder = std::filesystem::temp_directory_path().string() + "/tavrin-bench-waveform";
    std::filesystem::create_directories(folder);
    return folder;
}

void BM_WaveformCold(benchmark::State& state) {
    PosixFileSystem files;
    const std::string folder = Folder();
    const std::string path = MakeRecording(folder, 60);
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(folder + "/cache");
        state.ResumeTiming();
        tavrin::waveform::PeakJob job(files, path, folder + "/cache");
        job.Run();
        std::vector<std::uint8_t> peaks;
        benchmark::DoNotOptimize(job.Read(peaks));
    }
}
BENCHMARK(BM_WaveformCold)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WaveformCached(benchmark::State& state) {
    PosixFileSystem files;
    const std::string folder = Folder();
    const std::string path = MakeRecording(folder, 60);
    tavrin::waveform::PeakJob first(files, path, folder + "/cache");
    first.Run();
    for (auto _ : state) {
        tavrin::waveform::PeakJob job(files, path, folder + "/cache");
        job.Run();
        std::vector<std::uint8_t> peaks;
        benchmark::DoNotOptimize(job.Read(peaks));
        if (!job.FromCache()) state.SkipWithError("the cache was not used");
    }
}
BENCHMARK(BM_WaveformCached)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
