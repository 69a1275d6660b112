// The player's start and seek latency (engine work from PlayStart, or from
// SetPosition during playback, to the first buffer handed to the device), and
// RemainingSeconds with the real memory probe, as the UI thread calls it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/AudioEngine.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "platform/posix/StderrShell.h"
#include "wav/Formats.h"

namespace {

using namespace tavrin;

class NoInput : public platform::WaveIn {
public:
    bool present() override { return false; }
    bool isFormatSupported(const platform::AudioFormat&) override { return false; }
    platform::DeviceResult open(const platform::AudioFormat&, platform::WaveSink&) override { return 2; }
    platform::DeviceResult prepare(platform::WaveBuffer&) override { return 2; }
    platform::DeviceResult unprepare(platform::WaveBuffer&) override { return 2; }
    platform::DeviceResult add(platform::WaveBuffer&) override { return 2; }
    platform::DeviceResult start() override { return 2; }
    platform::DeviceResult reset() override { return 2; }
    platform::DeviceResult close() override { return 2; }
};

// An output device that keeps written buffers until told to hand one back:
// the cost measured is the engine's alone.
class InstantWaveOut : public platform::WaveOut {
public:
    bool present() override { return true; }
    bool isFormatSupported(const platform::AudioFormat&) override { return true; }
    platform::DeviceResult open(const platform::AudioFormat&, platform::WaveSink& s) override {
        sink = &s;
        return 0;
    }
    platform::DeviceResult prepare(platform::WaveBuffer&) override { return 0; }
    platform::DeviceResult unprepare(platform::WaveBuffer&) override { return 0; }
    platform::DeviceResult write(platform::WaveBuffer& b) override {
        queue.push_back(&b);
        ++writes;
        return 0;
    }
    platform::DeviceResult pause() override { return 0; }
    platform::DeviceResult restart() override { return 0; }
    platform::DeviceResult reset() override {
        while (!queue.empty()) Complete();
        return 0;
    }
    platform::DeviceResult close() override {
        sink->notify(platform::mm::WomClose, nullptr, 0);
        return 0;
    }
    platform::DeviceResult setVolume(std::uint32_t) override { return 0; }
    platform::DeviceResult getVolume(std::uint32_t&) override { return 0; }

    void Complete() {
        platform::WaveBuffer* b = queue.front();
        queue.pop_front();
        sink->notify(platform::mm::WomDone, b, b->length);
    }

    std::uint64_t writes = 0;

private:
    platform::WaveSink* sink = nullptr;
    std::deque<platform::WaveBuffer*> queue;
};

class NullSink : public platform::EventSink {
public:
    void post(std::uint32_t, std::uint32_t, std::uint32_t) override {}
    void send(std::uint32_t, std::uint32_t, std::uint32_t) override {}
};

// Ten minutes of 22.05 kHz 16-bit audio.
std::string WriteRecording(const std::string& folder) {
    const std::string path = folder + "/ten-minutes.wav";
    const std::uint32_t bytes = 44100u * 600u;
    std::vector<std::uint8_t> header(44);
    const auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) header[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    std::copy_n("RIFF", 4, header.begin());
    put(4, 36 + bytes, 4);
    std::copy_n("WAVEfmt ", 8, header.begin() + 8);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, 1, 2);
    put(24, 22050, 4);
    put(28, 44100, 4);
    put(32, 2, 2);
    put(34, 16, 2);
    std::copy_n("data", 4, header.begin() + 36);
    put(40, bytes, 4);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header.data()), 44);
    std::vector<char> second(44100);
    for (std::size_t i = 0; i < second.size(); ++i) second[i] = static_cast<char>(std::lround(90 * std::sin(i * 0.1)));
    for (int s = 0; s < 600; ++s) out.write(second.data(), static_cast<std::streamsize>(second.size()));
    return path;
}

struct Rig {
    Rig() {
        std::filesystem::create_directories(folder);
        path = WriteRecording(folder);
    }
    ~Rig() { std::filesystem::remove_all(folder); }

    bool Open(bool slow) {
        if (!engine.Init(sink).Ok()) return false;
        engine::AudioFileInfo info;
        return engine.OpenFile(path, slow ? platform::Media::Slow : platform::Media::Fast, info).Ok();
    }
    void Pump() {
        while (auto m = engine.Queue().tryTake()) engine.HandleMessage(*m);
    }

    std::string folder = (std::filesystem::temp_directory_path() / "tavrin_bench_player").string();
    std::string path;
    NoInput in;
    InstantWaveOut out;
    platform::PosixFileSystem files;
    platform::PosixMemory memory;
    platform::PosixSystemInfo system;
    platform::StderrShell shell;
    platform::SteadyClock clock;
    platform::PosixThread thread;
    platform::SilentCues cues;
    NullSink sink;
    engine::AudioEngine engine{engine::EngineServices{in, out, files, memory, system, shell, clock, thread, cues,
                                                      [](std::function<void()>) { return true; }}};
};

// PlayStart on the UI thread, then the engine thread's handling of the start
// command up to the first buffer written to the device.
void BM_PlayStartToFirstBuffer(benchmark::State& state) {
    Rig rig;
    if (!rig.Open(state.range(0) != 0)) return state.SkipWithError("cannot open the recording");
    for (auto _ : state) {
        const std::uint64_t before = rig.out.writes;
        if (rig.engine.State() != engine::EngineState::EngineFileOpen || !rig.engine.PlayStart().Ok()) {
            return state.SkipWithError("PlayStart failed");
        }
        while (rig.out.writes == before) {
            auto m = rig.engine.Queue().tryTake();
            if (!m) return state.SkipWithError("nothing was written");
            rig.engine.HandleMessage(*m);
        }
        state.PauseTiming();
        rig.Pump();
        static_cast<void>(rig.engine.Stop());
        rig.Pump();
        // Every start reads on from where the last stopped; begin again
        // before the recording runs out.
        static_cast<void>(rig.engine.SetPosition(0));
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PlayStartToFirstBuffer)->ArgName("slow")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// SetPosition during playback, the seek on the engine thread, and the refill
// of the next buffer the device hands back, which is the first at the new
// position. The device itself still plays what was queued: at most two
// 200 ms blocks by design.
void BM_SeekToFirstBufferAtNewPosition(benchmark::State& state) {
    Rig rig;
    if (!rig.Open(state.range(0) != 0) || !rig.engine.PlayStart().Ok()) return state.SkipWithError("no playback");
    rig.Pump();
    std::int32_t ms = 0;
    for (auto _ : state) {
        ms = (ms + 37'000) % 590'000;
        static_cast<void>(rig.engine.SetPosition(ms));
        rig.Pump();
        rig.out.Complete();
        rig.Pump();
    }
    static_cast<void>(rig.engine.Stop());
    rig.Pump();
}
BENCHMARK(BM_SeekToFirstBufferAtNewPosition)->ArgName("slow")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// A device with a few tens of megabytes: the probe commits and frees real memory.
class SmallMemory : public platform::PosixMemory {
public:
    std::uint64_t availablePhysical() override { return 48u << 20; }
};

void BM_RemainingSeconds(benchmark::State& state) {
    NoInput in;
    InstantWaveOut out;
    platform::PosixFileSystem files;
    platform::PosixMemory realMemory;
    SmallMemory smallMemory;
    platform::Memory& memory = state.range(0) ? static_cast<platform::Memory&>(smallMemory) : realMemory;
    platform::PosixSystemInfo system;
    platform::StderrShell shell;
    platform::SteadyClock clock;
    platform::PosixThread thread;
    platform::SilentCues cues;
    engine::AudioEngine engine{engine::EngineServices{in, out, files, memory, system, shell, clock, thread, cues,
                                                      [](std::function<void()>) { return true; }}};
    const std::string folder = std::filesystem::temp_directory_path().string();
    for (auto _ : state) benchmark::DoNotOptimize(engine.RemainingSeconds(wav::kCodePcm22k16, folder, platform::Media::Slow));
}
BENCHMARK(BM_RemainingSeconds)->ArgName("small_memory")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
