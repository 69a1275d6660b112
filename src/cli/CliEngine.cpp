#include "cli/CliEngine.h"

#include <utility>

#ifdef TAVRIN_HAVE_PORTAUDIO
#include "platform/portaudio/PortAudioDevices.h"
#endif
#ifdef TAVRIN_HAVE_PULSE
#include "platform/pulse/ServerQueries.h"
#include "platform/pulse/PulseWaveIn.h"
#include "platform/pulse/PulseWaveOut.h"
#endif

namespace tavrin::cli {
namespace {

std::unique_ptr<platform::WaveIn> MakeInput(CliEngine& cli, const DeviceSetup& setup) {
#ifdef TAVRIN_HAVE_PULSE
    if (!setup.audioIn && setup.soundCardIn && setup.soundServer) {
        auto input = std::make_unique<platform::pulse::PulseWaveIn>();
        input->SetSource(setup.inputName.value_or(""));
        cli.pulseIn = input.get();
        return input;
    }
#endif
#ifdef TAVRIN_HAVE_PORTAUDIO
    if (!setup.audioIn && setup.soundCardIn) return platform::portaudio::MakeDefaultWaveIn();
#endif
    platform::file::FileWaveIn::Options options{setup.realtime, setup.deliverBytes,
                                                [&cli] { cli.events.post(kEvInputHeld, 0, 0); }};
    auto input = std::make_unique<platform::file::FileWaveIn>(cli.files, std::move(options));
    cli.fileIn = input.get();
    return input;
}

std::unique_ptr<platform::WaveOut> MakeOutput(CliEngine& cli, const DeviceSetup& setup) {
#ifdef TAVRIN_HAVE_PULSE
    if (!setup.audioOut && setup.soundCardOut && setup.soundServer) {
        return std::make_unique<platform::pulse::PulseWaveOut>();
    }
#endif
#ifdef TAVRIN_HAVE_PORTAUDIO
    if (!setup.audioOut && setup.soundCardOut) return platform::portaudio::MakeDefaultWaveOut();
#endif
    auto output =
        std::make_unique<platform::file::FileWaveOut>(cli.files, setup.audioOut.value_or("/dev/null"), setup.realtime);
    cli.fileOut = output.get();
    return output;
}

}  // namespace

CliEngine::CliEngine(const DeviceSetup& setup)
    : waveIn(MakeInput(*this, setup)),
      waveOut(MakeOutput(*this, setup)),
      engine(engine::EngineServices{*waveIn, *waveOut, files, memory, system, shell, clock, thread, cues,
                                    engine::LaunchDetachedThread, platform::StateFolder(),
                                    setup.changeSpeed ? &speedStage : nullptr}) {}

// Never deleted: the engine thread may still be finishing its last message
// while the process ends. Held here so that it stays reachable to the end.
static CliEngine* processEngine = nullptr;

CliEngine& MakeCliEngine(const DeviceSetup& setup) {
    processEngine = new CliEngine(setup);
    return *processEngine;
}

bool HaveSoundCard() {
#if defined(TAVRIN_HAVE_PORTAUDIO) || defined(TAVRIN_HAVE_PULSE)
    return true;
#else
    return false;
#endif
}

bool SoundServerAnswers() {
#ifdef TAVRIN_HAVE_PULSE
    return platform::pulse::ServerAnswers();
#else
    return false;
#endif
}

}  // namespace tavrin::cli
