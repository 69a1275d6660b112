#include "platform/portaudio/PortAudioCueSounds.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/file/InputSignal.h"
#include "platform/portaudio/PortAudioLibrary.h"

namespace tavrin::platform::portaudio {
namespace {

// Time kept back from the sound's length for stopping and closing the
// stream; the sounds end in silence longer than this.
constexpr std::chrono::milliseconds kStopAllowance{20};

// What the callback reads while one sound plays.
struct Playing {
    const std::vector<std::int16_t>* samples = nullptr;
    std::size_t next = 0;
};

// After the sound, silence: the stream is stopped by the clock, never drained,
// since draining waits for the whole device buffer and could overrun.
int CueCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                PaStreamCallbackFlags, void* userData) noexcept {
    auto& playing = *static_cast<Playing*>(userData);
    auto* out = static_cast<std::int16_t*>(output);
    const std::size_t n = std::min<std::size_t>(playing.samples->size() - playing.next, frames);
    std::copy_n(playing.samples->data() + playing.next, n, out);
    std::fill(out + n, out + frames, std::int16_t{0});
    playing.next += n;
    return paContinue;
}

}  // namespace

PortAudioCueSounds::PortAudioCueSounds(FileSystem& fileSystem, std::vector<std::string> soundFolders)
    : files(fileSystem), folders(std::move(soundFolders)) {}

PortAudioCueSounds::Sound PortAudioCueSounds::Load(const std::string& name) {
    for (const auto& folder : folders) {
        const std::string path = folder + "/" + name + ".wav";
        if (!files.exists(path)) continue;
        std::string error;
        const auto signal = file::InputSignal::Load(files, path, error);
        if (!signal || signal->samplesPerSec() == 0) continue;
        Sound sound;
        sound.rate = signal->samplesPerSec();
        sound.samples.reserve(signal->frames());
        for (std::uint64_t i = 0; i < signal->frames(); ++i) {
            sound.samples.push_back(static_cast<std::int16_t>(std::clamp(signal->MonoAt(i), -32768, 32767)));
        }
        return sound;
    }
    return {};
}

const PortAudioCueSounds::Sound& PortAudioCueSounds::Find(const std::string& name) {
    auto it = loaded.find(name);
    if (it == loaded.end()) it = loaded.emplace(name, Load(name)).first;
    return it->second;
}

void PortAudioCueSounds::playSync(const char* name) {
    const auto began = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex);
    const Sound& sound = Find(name ? name : "");
    if (sound.samples.empty() || !PortAudioLibrary::Ready()) return;
    // The whole call, opening the device included, fits in the sound's length.
    const auto length = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(double(sound.samples.size()) / sound.rate));
    const auto deadline = began + length - kStopAllowance;
    const auto params = PortAudioLibrary::DefaultOutput(stream::DeviceFormat{sound.rate, 2, false, 2});
    if (!params) return;
    Playing playing;
    playing.samples = &sound.samples;
    PaStream* stream = nullptr;
    {
        std::lock_guard serial(PortAudioLibrary::Serial());
        if (PortAudioLibrary::Calls().OpenStream(&stream, nullptr, &*params, sound.rate, paFramesPerBufferUnspecified, paNoFlag,
                          CueCallback, &playing) != paNoError) {
            return;
        }
    }
    if (PortAudioLibrary::Calls().StartStream(stream) == paNoError) {
        std::this_thread::sleep_until(deadline);
        static_cast<void>(PortAudioLibrary::Calls().AbortStream(stream));
    }
    std::lock_guard serial(PortAudioLibrary::Serial());
    static_cast<void>(PortAudioLibrary::Calls().CloseStream(stream));
}

}  // namespace tavrin::platform::portaudio
