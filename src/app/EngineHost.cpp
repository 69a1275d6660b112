#include "app/EngineHost.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file/FileWaveIn.h"
#include "platform/file/FileWaveOut.h"
#include "recordings/StorageLocations.h"
#ifdef TAVRIN_HAVE_PORTAUDIO
#include "platform/portaudio/PortAudioDevices.h"
#endif
#ifdef TAVRIN_HAVE_PULSE
#include "platform/pulse/ServerQueries.h"
#include "platform/pulse/PulseWaveIn.h"
#include "platform/pulse/PulseWaveOut.h"
#endif

namespace tavrin::app {
namespace {

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
#ifdef TAVRIN_HAVE_PULSE
    if ((!inFile || !outFile) && platform::pulse::ServerAnswers()) {
        if (inFile) {
            d.in = FileMicrophone(files, inFile);
        } else {
            auto in = std::make_unique<platform::pulse::PulseWaveIn>();
            d.serverInput = in.get();
            d.in = std::move(in);
        }
        if (outFile) {
            d.out = std::make_unique<platform::file::FileWaveOut>(files, outFile, true);
        } else {
            d.out = std::make_unique<platform::pulse::PulseWaveOut>();
        }
#ifdef TAVRIN_HAVE_PORTAUDIO
        d.cues = outFile ? std::unique_ptr<platform::CueSounds>(std::make_unique<platform::SilentCues>())
                         : platform::portaudio::MakeCueSounds(files);
#else
        d.cues = std::make_unique<platform::SilentCues>();
#endif
        return d;
    }
#endif
#ifdef TAVRIN_HAVE_PORTAUDIO
    d.in = inFile ? FileMicrophone(files, inFile) : platform::portaudio::MakeDefaultWaveIn();
    if (outFile) {
        d.out = std::make_unique<platform::file::FileWaveOut>(files, outFile, true);
    } else {
        d.out = platform::portaudio::MakeDefaultWaveOut();
    }
    d.cues = outFile ? std::unique_ptr<platform::CueSounds>(std::make_unique<platform::SilentCues>())
                     : platform::portaudio::MakeCueSounds(files);
#else
    // Built without a sound library: only the file-backed devices exist.
    d.in = inFile ? FileMicrophone(files, inFile) : std::make_unique<platform::file::FileWaveIn>(files);
    d.out = std::make_unique<platform::file::FileWaveOut>(files, outFile ? outFile : "/dev/null", outFile != nullptr);
    d.cues = std::make_unique<platform::SilentCues>();
#endif
    return d;
}

EngineHost::EngineHost()
    : files(systemFiles,
            // Cards are let go of between operations; the documents folder and
            // the program's own state folder (journals, spools, which hold a
            // lock and are written per block) are not removable.
            [documents = recordings::WithoutTrailingSlash(shell.documentsFolder()),
             state = platform::StateFolder()](const std::string& path) {
                return !recordings::IsInside(path, documents) && (state.empty() || !recordings::IsInside(path, state));
            }),
      devices(ChooseSoundDevices(files)),
      engine(engine::EngineServices{*devices.in, *devices.out, files, memory, system, shell, clock, thread,
                                    *devices.cues, engine::LaunchDetachedThread, platform::StateFolder(),
                                    &speedStage}),
      view(engine) {}

MainWindowServices EngineHost::windowServices() {
    MainWindowServices services{view,
                                [this](platform::EventSink& sink) { return engine.Init(sink); },
                                shell,
                                files,
                                store,
                                power,
                                *this,
                                {},
                                [this] {
                                    const engine::EngineState now = engine.State();
                                    return now != engine::EngineState::EngineClosed &&
                                           now != engine::EngineState::EngineFileOpen;
                                }};
    services.journalFolder = platform::StateFolder();
    if (devices.serverInput) {
        services.microphones = [this] { return microphones(); };
        services.useMicrophone = [this](const std::string& name) { useMicrophone(name); };
        services.takeInputNotice = [this] { return takeInputNotice(); };
    }
    return services;
}

std::vector<ui::MicrophoneSource> EngineHost::microphones() {
    std::vector<ui::MicrophoneSource> list;
#ifdef TAVRIN_HAVE_PULSE
    if (const auto found = platform::pulse::QueryDevices()) {
        for (const auto& source : found->sources) list.push_back({source.name, source.description});
    }
#endif
    return list;
}

void EngineHost::useMicrophone(const std::string& name) {
#ifdef TAVRIN_HAVE_PULSE
    if (devices.serverInput) devices.serverInput->SetSource(name);
#else
    static_cast<void>(name);
#endif
}

std::optional<std::string> EngineHost::takeInputNotice() {
#ifdef TAVRIN_HAVE_PULSE
    if (devices.serverInput && devices.serverInput->TakeMissingSource()) {
        return "Microphone missing: using the default";
    }
#endif
    return std::nullopt;
}

std::int32_t EngineHost::totalSeconds(std::uint32_t formatBit, const std::string& folder) {
    return engine.TotalSeconds(formatBit, folder);
}

std::int32_t EngineHost::singleSeconds(std::uint32_t formatBit, const std::string& folder) {
    // On slow media the recording is held in memory until it ends, so memory counts as well as space.
    return engine.RemainingSeconds(formatBit, folder, platform::MediaOf(shell, folder));
}

bool EngineHost::end(std::chrono::milliseconds bound) {
    engine.Quit();
    const auto until = std::chrono::steady_clock::now() + bound;
    for (;;) {
        // An event the engine sends waits for the window to handle it.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (engine.WaitThreadEnded(std::chrono::milliseconds(10))) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
    }
}

EngineHost& MakeEngineHost() {
    // Never deleted: the sound libraries keep threads of their own, which
    // may call into its devices, until the process ends.
    static EngineHost* host = new EngineHost;
    return *host;
}

EngineEnding::~EngineEnding() {
    // Long enough for the end of a recording on a slow card.
    constexpr std::chrono::seconds kBound{20};
    if (host.end(kBound)) return;
    std::fputs("tavrin: the engine did not end in time; ending at once\n", stderr);
    std::_Exit(EXIT_FAILURE);
}

}  // namespace tavrin::app
