// The Recording page on Qt's offscreen platform: the time from the options
// list's call to the page shown and processed, without the live meter (no
// input device, as today's page) and with it (the engine measuring a
// file-backed microphone at the audio's pace); and the CPU the whole process
// spends per minute while the page shows the meter.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/AudioEngine.h"
#include "platform/EventSink.h"
#include "platform/file/FileWaveIn.h"
#include "platform/file/FileWaveOut.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "platform/posix/StderrShell.h"
#include "settings/MemoryStore.h"
#include "settings/Settings.h"
#include "ui/RecordingOptionsDialog.h"
#include "wav/Formats.h"

namespace {

using namespace tavrin;

class NoEvents : public platform::EventSink {
public:
    void post(std::uint32_t, std::uint32_t, std::uint32_t) override {}
    void send(std::uint32_t, std::uint32_t, std::uint32_t) override {}
};

// A minute of a 440 Hz tone, PCM 8 kHz 8-bit, as the microphone.
std::string WriteMicrophone() {
    const std::string path = (std::filesystem::temp_directory_path() / "tavrin-bench-microphone.wav").string();
    const std::uint32_t samples = 8000 * 60;
    std::vector<std::uint8_t> bytes(44 + samples);
    auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    const char* riff = "RIFF----WAVEfmt ";
    for (int i = 0; i < 16; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riff[i]);
    put(4, 36 + samples, 4);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, 1, 2);
    put(24, 8000, 4);
    put(28, 8000, 4);
    put(32, 1, 2);
    put(34, 8, 2);
    const char* data = "data";
    for (int i = 0; i < 4; ++i) bytes[36 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(data[i]);
    put(40, samples, 4);
    for (std::uint32_t i = 0; i < samples; ++i)
        bytes[44 + i] = static_cast<std::uint8_t>(128 + std::lround(40 * std::sin(i * 2 * 3.14159265 * 440 / 8000)));
    platform::PosixFileSystem files;
    auto file = files.open(path, platform::OpenMode::ReadWriteCreate, false);
    std::uint32_t written = 0;
    if (!file || !file->setLength(0) || !file->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), written))
        std::abort();
    return path;
}

// The program's engine over a realtime file microphone, and the page's view of it.
struct Rig : ui::RecordingProbe {
    Rig() : in(files, [] {
                platform::file::FileWaveIn::Options o;
                o.realtime = true;
                return o;
            }()),
            out(files, (std::filesystem::temp_directory_path() / "tavrin-bench-speaker.wav").string()),
            engine(engine::EngineServices{in, out, files, memory, system, shell, clock, thread, cues}),
            settings(store) {
        std::string error;
        if (!in.Load(WriteMicrophone(), error) || !engine.Init(events).Ok()) std::abort();
        settings.setFormat(wav::kCodePcm8k8);
        settings.setSaveLocation(shell.documentsFolder());
    }
    std::int32_t totalSeconds(std::uint32_t format, const std::string& folder) override {
        return engine.TotalSeconds(format, folder);
    }
    std::int32_t singleSeconds(std::uint32_t format, const std::string& folder) override {
        return engine.RemainingSeconds(format, folder, platform::Media::Slow);
    }
    bool startLevelMonitor(std::uint32_t format) override { return meter && engine.StartLevelMonitor(format); }
    std::uint32_t monitorLevelPercent() override { return engine.MonitorLevelPercent(); }
    void stopLevelMonitor() override { engine.StopLevelMonitor(); }

    platform::PosixFileSystem files;
    platform::PosixMemory memory;
    platform::PosixSystemInfo system;
    platform::StderrShell shell;
    platform::SteadyClock clock;
    platform::PosixThread thread;
    platform::SilentCues cues;
    NoEvents events;
    platform::file::FileWaveIn in;
    platform::file::FileWaveOut out;
    engine::AudioEngine engine;
    settings::MemoryStore store;
    settings::Settings settings;
    bool meter = false;
};

Rig& TheRig() {
    static Rig* rig = new Rig;  // like the program's, never destroyed
    return *rig;
}

void BM_OpenRecordingPage(benchmark::State& state) {
    Rig& rig = TheRig();
    rig.meter = state.range(0) != 0;
    const std::vector<std::string> locations{rig.settings.saveLocation()};
    const std::vector<std::uint32_t> formats{wav::kCodeGsm, wav::kCodePcm8k8, wav::kCodePcm8k16};
    for (auto _ : state) {
        ui::RecordingOptionsDialog page(nullptr, rig.settings, rig, locations, formats, false);
        page.show();
        QCoreApplication::processEvents();
        state.PauseTiming();
        page.done(2);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenRecordingPage)->Arg(0)->Arg(1)->ArgNames({"meter"})->Unit(benchmark::kMillisecond);

// Process CPU (every thread: UI, engine, microphone) while the page shows
// the meter for ten seconds, scaled to a minute.
void BM_MeterCpuPerMinute(benchmark::State& state) {
    Rig& rig = TheRig();
    rig.meter = true;
    const std::vector<std::string> locations{rig.settings.saveLocation()};
    const std::vector<std::uint32_t> formats{wav::kCodePcm8k8};
    constexpr int kSeconds = 10;
    double cpuPerMinute = 0;
    double level = 0;
    for (auto _ : state) {
        ui::RecordingOptionsDialog page(nullptr, rig.settings, rig, locations, formats, false);
        page.show();
        const std::clock_t before = std::clock();
        QEventLoop loop;
        QTimer::singleShot(kSeconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        cpuPerMinute = double(std::clock() - before) / CLOCKS_PER_SEC * 60.0 / kSeconds;
        level = page.meter().level();  // the meter did run: the tone shows
        page.done(2);
    }
    state.counters["cpu_s_per_min"] = cpuPerMinute;
    state.counters["level"] = level;
}
BENCHMARK(BM_MeterCpuPerMinute)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
