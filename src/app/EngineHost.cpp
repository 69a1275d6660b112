#include "app/EngineHost.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file/FileWaveIn.h"
#include "platform/file/FileWaveOut.h"
#ifdef TAVRIN_HAVE_PORTAUDIO
#include "platform/portaudio/PortAudioDevices.h"
#endif

namespace tavrin::app {
namespace {

class SilentCueSounds : public platform::CueSounds {
public:
    void playSync(const char*) override {}
};

const char* Variable(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

std::unique_ptr<platform::WaveIn> FileMicrophone(platform::FileSystem& files, const char* path) {
    platform::file::FileWaveIn::Options options;
    options.realtime = true;
    auto in = std::make_unique<platform::file::FileWaveIn>(files, options);
    std::string error;
    // A microphone that cannot be read is no microphone: the recorder says
    // it cannot find the audio formats, as it does without a sound card.
    if (!in->Load(path, error)) std::fprintf(stderr, "tavrin: TAVRIN_AUDIO_IN %s: %s\n", path, error.c_str());
    return in;
}

}  // namespace

SoundDevices ChooseSoundDevices(platform::FileSystem& files) {
    SoundDevices d;
    const char* inFile = Variable("TAVRIN_AUDIO_IN");
    const char* outFile = Variable("TAVRIN_AUDIO_OUT");
#ifdef TAVRIN_HAVE_PORTAUDIO
    d.in = inFile ? FileMicrophone(files, inFile) : platform::portaudio::MakeDefaultWaveIn();
    if (outFile) {
        d.out = std::make_unique<platform::file::FileWaveOut>(files, outFile, true);
    } else {
        d.out = platform::portaudio::MakeDefaultWaveOut();
    }
    d.cues = outFile ? std::unique_ptr<platform::CueSounds>(std::make_unique<SilentCueSounds>())
                     : platform::portaudio::MakeCueSounds(files);
#else
    // Built without a sound library: only the file-backed devices exist.
    d.in = inFile ? FileMicrophone(files, inFile) : std::make_unique<platform::file::FileWaveIn>(files);
    d.out = std::make_unique<platform::file::FileWaveOut>(files, outFile ? outFile : "/dev/null", outFile != nullptr);
    d.cues = std::make_unique<SilentCueSounds>();
#endif
    return d;
}

EngineHost::EngineHost()
    : devices(ChooseSoundDevices(files)),
      engine(engine::EngineServices{*devices.in, *devices.out, files, memory, system, shell, clock, thread,
                                    *devices.cues, engine::LaunchDetachedThread, platform::StateFolder()}),
      view(engine) {}

MainWindowServices EngineHost::windowServices() {
    return MainWindowServices{view,
                              [this](platform::EventSink& sink) { return engine.Init(sink); },
                              shell,
                              files,
                              store,
                              power,
                              *this,
                              {},
                              platform::StateFolder()};
}

std::int32_t EngineHost::totalSeconds(std::uint32_t formatBit, const std::string& folder) {
    return engine.TotalSeconds(formatBit, folder);
}

std::int32_t EngineHost::singleSeconds(std::uint32_t formatBit, const std::string& folder) {
    // The recording is held in memory until it ends, so memory counts as well as space.
    return engine.RemainingSeconds(formatBit, folder, true);
}

EngineHost& MakeEngineHost() {
    // Never deleted: the engine thread may still be at work when the process ends.
    static EngineHost* host = new EngineHost;
    return *host;
}

}  // namespace tavrin::app
