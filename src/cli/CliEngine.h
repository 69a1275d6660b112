#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/CliEventSink.h"
#include "engine/AudioEngine.h"
#include "platform/file/FileWaveIn.h"
#include "platform/file/FileWaveOut.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "platform/posix/StderrShell.h"
#include "speed/SonicSpeedStage.h"

namespace tavrin::platform::pulse {
class PulseWaveIn;
}

namespace tavrin::cli {

// What the file-backed input reports when it holds its buffers back; not an
// engine event.
inline constexpr std::uint32_t kEvInputHeld = engine::kWmApp + 0x100;

// Which devices a run uses. A side given as a file is a WAV file; a side
// marked `soundCard` is the system's default device; any other side is a
// device that is absent (input) or plays into nothing (output).
struct DeviceSetup {
    std::optional<std::string> audioIn;
    std::optional<std::string> audioOut;
    bool soundCardIn = false;
    bool soundCardOut = false;
    bool realtime = false;
    // The sound card is reached through the desktop's sound server (else PortAudio).
    bool soundServer = false;
    // Sound-server input: the source to record from (nothing: the default).
    std::optional<std::string> inputName;
    // File input: deliver this many bytes, then hold (see kEvInputHeld).
    std::optional<std::uint64_t> deliverBytes;
    // Playback goes through the speed stage (the speaker then gets 16-bit audio).
    bool changeSpeed = false;
};

// The engine of one command-line run and the platform under it. Made once and
// never destroyed, like the program's engine: its thread ends with the process.
struct CliEngine {
    explicit CliEngine(const DeviceSetup& setup);

    CliEventSink events;
    platform::PosixFileSystem files;
    platform::PosixMemory memory;
    platform::PosixSystemInfo system;
    platform::StderrShell shell;
    platform::SteadyClock clock;
    platform::PosixThread thread;
    platform::SilentCues cues;  // the command-line tools have no speaker for them
    platform::file::FileWaveIn* fileIn = nullptr;    // the input, when it is a file
    platform::file::FileWaveOut* fileOut = nullptr;  // the output, when it is a file
    platform::pulse::PulseWaveIn* pulseIn = nullptr;  // the input, when it is the sound server's
    std::unique_ptr<platform::WaveIn> waveIn;
    std::unique_ptr<platform::WaveOut> waveOut;
    speed::SonicSpeedStage speedStage;
    engine::AudioEngine engine;
};

// Builds the engine of this run.
CliEngine& MakeCliEngine(const DeviceSetup& setup);

// Whether this build can reach the sound card.
bool HaveSoundCard();
// Whether the desktop's sound server answers now.
bool SoundServerAnswers();

}  // namespace tavrin::cli
