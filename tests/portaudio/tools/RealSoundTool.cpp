// Drives the sound devices by hand against the test sound server, for the
// figures the benchmarks report; the PortAudio devices, or with --pulse
// first the sound server's own:
//   realsound_tool feed SECONDS            speak into the server's microphone pipe
//   realsound_tool record FORMAT SECONDS OUT.wav
//                                          record as the recorder does (two 200 ms
//                                          buffers handed back and queued again)
//   realsound_tool latency [ROUNDS]        start latencies of capture and playback
// FORMAT is one of Gsm, Pcm8k8, Pcm8k16, Pcm11k8, Pcm11k16, Pcm22k16.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "SignalMath.h"
#include "SinkLog.h"
#include "platform/portaudio/PortAudioWaveIn.h"
#include "platform/portaudio/PortAudioWaveOut.h"
#ifdef TAVRIN_HAVE_PULSE
#include "platform/pulse/PulseWaveIn.h"
#include "platform/pulse/PulseWaveOut.h"
#endif
#include "realsound/RealSoundRig.h"

namespace tavrin::test {
namespace {

using platform::AudioFormat;
using platform::WaveBuffer;
using Clock = std::chrono::steady_clock;
namespace mmr = platform::mmr;

double MsSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

const char* MicPipe() {
    const char* pipe = std::getenv("TAVRIN_TEST_MIC_PIPE");
    if (pipe && !*pipe) pipe = nullptr;
    return pipe ? pipe : "";
}

int Feed(double seconds) {
    MicFeeder feeder(MicPipe());
    if (!feeder.ok()) {
        std::fprintf(stderr, "realsound_tool: no microphone pipe (run under with-pulseaudio.sh)\n");
        return 1;
    }
    feeder.Speak(SpeechLike(kPipeRate, static_cast<std::size_t>(seconds * kPipeRate)));
    feeder.SetActive(true);
    while (feeder.Speaking()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return 0;
}

struct Blocks {
    explicit Blocks(const AudioFormat& f) : bytes(f.avgBytesPerSec / 5) {
        for (int i = 0; i < 2; ++i) {
            storage[i].assign(bytes, 0);
            headers[i] = WaveBuffer{storage[i].data(), bytes, 0, 0};
        }
    }
    std::uint32_t bytes;
    std::vector<std::uint8_t> storage[2];
    WaveBuffer headers[2];
};

bool pulse = false;

// Records `seconds` of audio; returns the bytes, or nothing when the device failed.
template <typename In>
std::optional<std::vector<std::uint8_t>> CaptureWith(const AudioFormat& f, double seconds, double& firstDataMs) {
    In in;
    SinkLog sink;
    Blocks blocks(f);
    const auto began = Clock::now();
    if (in.open(f, sink) != mmr::NoError) return std::nullopt;
    for (auto& h : blocks.headers) {
        if (in.prepare(h) != mmr::NoError || in.add(h) != mmr::NoError) return std::nullopt;
    }
    if (in.start() != mmr::NoError) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    const auto wanted = static_cast<std::size_t>(seconds * f.avgBytesPerSec);
    for (std::size_t seen = 0; bytes.size() < wanted; ++seen) {
        if (!sink.waitFor(seen + 1, 5.0)) return std::nullopt;
        if (seen == 0) firstDataMs = MsSince(began);
        const auto entry = sink.at(seen);
        bytes.insert(bytes.end(), entry.data.begin(), entry.data.end());
        if (in.add(*entry.buffer) != mmr::NoError) return std::nullopt;
    }
    static_cast<void>(in.reset());
    for (auto& h : blocks.headers) static_cast<void>(in.unprepare(h));
    static_cast<void>(in.close());
    return bytes;
}

std::optional<std::vector<std::uint8_t>> Capture(const AudioFormat& f, double seconds, double& firstDataMs) {
#ifdef TAVRIN_HAVE_PULSE
    if (pulse) return CaptureWith<platform::pulse::PulseWaveIn>(f, seconds, firstDataMs);
#endif
    return CaptureWith<platform::portaudio::PortAudioWaveIn>(f, seconds, firstDataMs);
}

int Record(const std::string& name, double seconds, const std::string& out) {
    const auto format = FormatNamed(name);
    if (!format) {
        std::fprintf(stderr, "realsound_tool: unknown format %s\n", name.c_str());
        return 2;
    }
    double firstMs = 0;
    const auto bytes = Capture(*format, seconds, firstMs);
    if (!bytes) {
        std::fprintf(stderr, "realsound_tool: the input device failed\n");
        return 1;
    }
    if (!WriteFile(out, WavImage(*format, *bytes))) return 1;
    std::printf("recorded %s: %.2f s, first buffer after %.0f ms\n", name.c_str(),
                double(bytes->size()) / format->avgBytesPerSec, firstMs);
    return 0;
}

// From a write to the first bytes the device takes (where it tells), and to
// the buffer's coming back once heard.
template <typename Out>
bool PlayOnceWith(const AudioFormat& f, double& takenMs, double& backMs) {
    Out out;
    SinkLog sink;
    Blocks blocks(f);
    if (out.open(f, sink) != mmr::NoError || out.prepare(blocks.headers[0]) != mmr::NoError) return false;
    const auto written = Clock::now();
    if (out.write(blocks.headers[0]) != mmr::NoError) return false;
    if constexpr (requires { out.bytesTaken(); }) {
        while (out.bytesTaken() == 0 && MsSince(written) < 5000) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        takenMs = MsSince(written);
    }
    if (!sink.waitFor(1, 5.0)) return false;
    backMs = MsSince(written);
    static_cast<void>(out.unprepare(blocks.headers[0]));
    return out.close() == mmr::NoError;
}

bool PlayOnce(const AudioFormat& f, double& takenMs, double& backMs) {
#ifdef TAVRIN_HAVE_PULSE
    if (pulse) return PlayOnceWith<platform::pulse::PulseWaveOut>(f, takenMs, backMs);
#endif
    return PlayOnceWith<platform::portaudio::PortAudioWaveOut>(f, takenMs, backMs);
}

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %6.1f ms   min %6.1f   max %6.1f   (%zu rounds)\n", what, ms[ms.size() / 2], ms.front(),
                ms.back(), ms.size());
}

// Without a microphone pipe (TAVRIN_TEST_MIC_PIPE empty) the default source
// is left to whoever runs the tool.
int Latency(int rounds) {
    std::optional<MicFeeder> feeder;
    if (*MicPipe()) {
        feeder.emplace(MicPipe());
        feeder->SetActive(true);
    }
    for (const char* name : {"Pcm22k16", "Gsm"}) {
        const AudioFormat f = *FormatNamed(name);
        std::vector<double> first, taken, back;
        for (int r = 0; r < rounds; ++r) {
            double firstMs = 0, takenMs = 0, backMs = 0;
            if (!Capture(f, 0.2, firstMs) || !PlayOnce(f, takenMs, backMs)) {
                std::fprintf(stderr, "realsound_tool: a device failed\n");
                return 1;
            }
            first.push_back(firstMs);
            taken.push_back(takenMs);
            back.push_back(backMs);
        }
        const std::string n = name;
        Report((n + ": open+start to first filled 200 ms buffer").c_str(), first);
        if (!pulse) Report((n + ": write to first bytes taken").c_str(), taken);
        Report((n + ": write to 200 ms buffer back (heard)").c_str(), back);
    }
    return 0;
}

}  // namespace
}  // namespace tavrin::test

int main(int argc, char** argv) {
    using namespace tavrin::test;
    std::vector<std::string> a(argv + 1, argv + argc);
    if (!a.empty() && a[0] == "--pulse") {
        pulse = true;
        a.erase(a.begin());
    }
    if (a.size() == 2 && a[0] == "feed") return Feed(std::atof(a[1].c_str()));
    if (a.size() == 4 && a[0] == "record") return Record(a[1], std::atof(a[2].c_str()), a[3]);
    if (!a.empty() && a[0] == "latency") return Latency(a.size() > 1 ? std::atoi(a[1].c_str()) : 10);
    std::fprintf(stderr,
                 "usage: realsound_tool feed SECONDS | [--pulse] record FORMAT SECONDS OUT.wav | "
                 "[--pulse] latency [ROUNDS]\n");
    return 2;
}
