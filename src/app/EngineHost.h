#pragma once

#include <chrono>
#include <memory>

#include "app/MainWindow.h"
#include "controller/AudioEngineView.h"
#include "engine/AudioEngine.h"
#include "platform/Clock.h"
#include "platform/WaveDevice.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "platform/ReleasingFileSystem.h"
#include "platform/qt/QtPower.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtShell.h"
#include "speed/SonicSpeedStage.h"
#include "ui/RecordingProbe.h"

namespace tavrin::platform::pulse {
class PulseWaveIn;
}

namespace tavrin::app {

// The sound devices the program works with. By default the desktop's sound
// server, or the sound card through ALSA where no server answers at start-up;
// $TAVRIN_AUDIO_IN names a WAV file that stands in for the microphone and
// $TAVRIN_AUDIO_OUT a WAV file that receives what is played, both running at
// the pace of the audio, so that the program can be shown and tested without
// a sound card. With a file as the speaker the cue sounds are not played.
struct SoundDevices {
    std::unique_ptr<platform::WaveIn> in;
    std::unique_ptr<platform::WaveOut> out;
    std::unique_ptr<platform::CueSounds> cues;
    platform::pulse::PulseWaveIn* serverInput = nullptr;  // `in`, when it is the sound server's
};
SoundDevices ChooseSoundDevices(platform::FileSystem& files);

// The recorder's engine and everything under it, made once for the whole
// process and never destroyed. Its thread is ended (`end`) before the window
// it reports to is.
class EngineHost : public ui::RecordingProbe {
public:
    EngineHost();
    EngineHost(const EngineHost&) = delete;
    EngineHost& operator=(const EngineHost&) = delete;

    MainWindowServices windowServices();
    // Ends the engine's thread after what it was asked before (the cue that
    // follows a recording's end, say), answering the window's events
    // meanwhile; false when it is still at work after `bound`.
    bool end(std::chrono::milliseconds bound);

    std::int32_t totalSeconds(std::uint32_t formatBit, const std::string& folder) override;
    std::int32_t singleSeconds(std::uint32_t formatBit, const std::string& folder) override;
    bool startLevelMonitor(std::uint32_t formatBit) override { return engine.StartLevelMonitor(formatBit); }
    std::uint32_t monitorLevelPercent() override { return engine.MonitorLevelPercent(); }
    void stopLevelMonitor() override { engine.StopLevelMonitor(); }

private:
    std::vector<ui::MicrophoneSource> microphones();
    void useMicrophone(const std::string& name);
    std::optional<std::string> takeInputNotice();

    platform::PosixFileSystem systemFiles;
    platform::PosixMemory memory;
    platform::PosixSystemInfo system;
    platform::QtShell shell;
    // Files outside the documents folder (on storage cards) are held open
    // only while an operation runs, so that a card can be ejected.
    platform::ReleasingFileSystem files;
    platform::SteadyClock clock;
    platform::PosixThread thread;
    platform::QtSettingsStore store;
    platform::QtPower power;
    SoundDevices devices;
    speed::SonicSpeedStage speedStage;
    engine::AudioEngine engine;
    controller::AudioEngineView view;
};

// The process's one engine host, made on the first call (after the
// application object, which its power and shell parts need).
EngineHost& MakeEngineHost();

// Declared after the window, in its scope: on every way out of that scope
// the engine's thread ends before the window goes. An engine still at work
// after the bound (a card that stopped answering) ends with the process at
// once, as a kill would end it, never under the teardown of the libraries
// that returning from main starts.
class EngineEnding {
public:
    explicit EngineEnding(EngineHost& engineHost) : host(engineHost) {}
    ~EngineEnding();
    EngineEnding(const EngineEnding&) = delete;
    EngineEnding& operator=(const EngineEnding&) = delete;

private:
    EngineHost& host;
};

}  // namespace tavrin::app
