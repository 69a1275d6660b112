// The work of the engine thread for one 200 ms block: the GSM level decode
// alone, and the whole handling of a filled input buffer (peak, store,
// requeue) for each recording format.
#include <benchmark/benchmark.h>
#include <gsm.h>

#include <cmath>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/AudioEngine.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "platform/posix/StderrShell.h"
#include "wav/Formats.h"
#include "wav/GsmLevel.h"

namespace {

using namespace tavrin;

std::vector<std::uint8_t> GsmTone() {
    gsm encoder = gsm_create();
    int on = 1;
    gsm_option(encoder, GSM_OPT_WAV49, &on);
    std::vector<std::uint8_t> out(wav::kGsmBufferBytes);
    gsm_signal pcm[320];
    for (int block = 0; block < 5; ++block) {
        for (int i = 0; i < 320; ++i) pcm[i] = static_cast<gsm_signal>(12000 * std::sin((block * 320 + i) * 0.21));
        gsm_encode(encoder, pcm, out.data() + 65 * block);
        gsm_encode(encoder, pcm + 160, out.data() + 65 * block + 32);
    }
    gsm_destroy(encoder);
    return out;
}

void BM_GsmBufferPeak(benchmark::State& state) {
    const std::vector<std::uint8_t> buffer = GsmTone();
    std::vector<std::int16_t> scratch(wav::kGsmBufferSamples);
    for (auto _ : state) benchmark::DoNotOptimize(wav::GsmBufferPeak(buffer.data(), scratch.data()));
}
BENCHMARK(BM_GsmBufferPeak);

// An input device that hands a queued buffer back the moment it is asked to,
// with its contents untouched: the cost measured is the engine's alone.
class InstantWaveIn : public platform::WaveIn {
public:
    bool present() override { return true; }
    bool isFormatSupported(const platform::AudioFormat&) override { return true; }
    platform::DeviceResult open(const platform::AudioFormat&, platform::WaveSink& s) override {
        sink = &s;
        return 0;
    }
    platform::DeviceResult prepare(platform::WaveBuffer&) override { return 0; }
    platform::DeviceResult unprepare(platform::WaveBuffer&) override { return 0; }
    platform::DeviceResult add(platform::WaveBuffer& b) override {
        queue.push_back(&b);
        return 0;
    }
    platform::DeviceResult start() override { return 0; }
    platform::DeviceResult reset() override {
        while (!queue.empty()) Deliver(0);
        return 0;
    }
    platform::DeviceResult close() override { return 0; }

    void Deliver(std::uint32_t bytes) {
        platform::WaveBuffer* b = queue.front();
        queue.pop_front();
        b->bytesRecorded = bytes;
        sink->notify(platform::mm::WimData, b, bytes);
    }

private:
    platform::WaveSink* sink = nullptr;
    std::deque<platform::WaveBuffer*> queue;
};

class NoOutput : public platform::WaveOut {
public:
    bool present() override { return false; }
    bool isFormatSupported(const platform::AudioFormat&) override { return false; }
    platform::DeviceResult open(const platform::AudioFormat&, platform::WaveSink&) override { return 2; }
    platform::DeviceResult prepare(platform::WaveBuffer&) override { return 2; }
    platform::DeviceResult unprepare(platform::WaveBuffer&) override { return 2; }
    platform::DeviceResult write(platform::WaveBuffer&) override { return 2; }
    platform::DeviceResult pause() override { return 2; }
    platform::DeviceResult restart() override { return 2; }
    platform::DeviceResult reset() override { return 2; }
    platform::DeviceResult close() override { return 2; }
    platform::DeviceResult setVolume(std::uint32_t) override { return 2; }
    platform::DeviceResult getVolume(std::uint32_t&) override { return 2; }
};

// Caps the recording buffer so that the benchmark does not take all memory.
class CappedMemory : public platform::PosixMemory {
public:
    std::uint64_t availablePhysical() override { return 32u << 20; }
};

class NullSink : public platform::EventSink {
public:
    void post(std::uint32_t, std::uint32_t, std::uint32_t) override {}
    void send(std::uint32_t, std::uint32_t, std::uint32_t) override {}
};

void BM_BlockHandling(benchmark::State& state) {
    const auto code = static_cast<std::uint32_t>(state.range(0));
    // With marks: the capture makes one at every block it stores, the most a
    // user could press, up to the list's limit.
    const bool marking = state.range(1) != 0;
    const std::string folder = std::filesystem::temp_directory_path() / "tavrin_bench_engine";
    std::filesystem::create_directories(folder);
    InstantWaveIn in;
    NoOutput out;
    platform::PosixFileSystem files;
    CappedMemory memory;
    platform::PosixSystemInfo system;
    platform::StderrShell shell;
    platform::SteadyClock clock;
    platform::PosixThread thread;
    platform::SilentCues cues;
    NullSink sink;
    auto engine = std::make_unique<engine::AudioEngine>(engine::EngineServices{
        in, out, files, memory, system, shell, clock, thread, cues, [](std::function<void()>) { return true; }});
    if (!engine->Init(sink).Ok() || !engine->SetFormat(code)) return state.SkipWithError("no engine");
    engine->SetStorage(folder, platform::Media::Slow);
    const std::vector<std::uint8_t> gsm = GsmTone();
    int recordings = 0;
    auto startRecording = [&] {
        const std::string file = folder + "/bench" + std::to_string(recordings++) + ".wav";
        std::filesystem::remove(file);
        if (marking) {
            std::vector<std::uint32_t> everyBlock;
            for (std::uint32_t ms = 200; ms <= 2'000'000; ms += 200) everyBlock.push_back(ms);
            engine->MarkAtMs(std::move(everyBlock));
        }
        if (!engine->RecordStart(file).Ok()) return false;
        engine->HandleMessage(*engine->Queue().tryTake());
        for (int b = 0; b < 2; ++b) {  // audio-like contents, so the peak scans real values
            for (int i = 0; i < engine->BlockSize(); ++i) {
                engine->Block(b)[i] = code == wav::kCodeGsm ? gsm[i % gsm.size()] : static_cast<std::uint8_t>(i * 37);
            }
        }
        return true;
    };
    if (!startRecording()) return state.SkipWithError("RecordStart failed");
    const auto bytes = static_cast<std::uint32_t>(engine->BlockSize());
    auto stopRecording = [&] {
        engine->Stop();
        while (auto m = engine->Queue().tryTake()) engine->HandleMessage(*m);
    };
    for (auto _ : state) {
        if (engine->SpaceLeft() < 2 * bytes) {
            state.PauseTiming();  // the memory buffer is nearly full: write it out and start over
            stopRecording();
            if (!startRecording()) return state.SkipWithError("RecordStart failed");
            state.ResumeTiming();
        }
        in.Deliver(bytes);
        engine->HandleMessage(*engine->Queue().tryTake());
    }
    stopRecording();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_BlockHandling)
    ->ArgNames({"format", "marks"})
    ->ArgsProduct({{wav::kCodeGsm, wav::kCodePcm8k8, wav::kCodePcm11k8, wav::kCodePcm8k16, wav::kCodePcm11k16,
                    wav::kCodePcm22k16},
                   {0, 1}});

}  // namespace

BENCHMARK_MAIN();
