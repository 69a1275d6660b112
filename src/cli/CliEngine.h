#pragma once

#include "cli/CliEventSink.h"
#include "engine/AudioEngine.h"
#include "platform/file/FileWaveIn.h"
#include "platform/file/FileWaveOut.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "platform/posix/StderrShell.h"

namespace tavrin::cli {

// The command-line tools have no speaker for the cue sounds.
class SilentCueSounds : public platform::CueSounds {
public:
    void playSync(const char*) override {}
};

// What the file-backed input reports when it holds its buffers back; not an
// engine event.
inline constexpr std::uint32_t kEvInputHeld = engine::kWmApp + 0x100;

// The engine of one command-line run and the platform under it, with a WAV
// file as the microphone. Made once and never destroyed, like the program's
// engine: its thread ends with the process.
struct CliEngine {
    explicit CliEngine(platform::file::FileWaveIn::Options inputOptions);

    CliEventSink events;
    platform::PosixFileSystem files;
    platform::PosixMemory memory;
    platform::PosixSystemInfo system;
    platform::StderrShell shell;
    platform::SteadyClock clock;
    platform::PosixThread thread;
    SilentCueSounds cues;
    platform::file::FileWaveIn waveIn;
    platform::file::FileWaveOut waveOut;  // not used by the recording tools
    engine::AudioEngine engine;
};

// Builds the engine of this run; `options.onHeld` is replaced by a post of
// kEvInputHeld to `events`.
CliEngine& MakeCliEngine(platform::file::FileWaveIn::Options options);

}  // namespace tavrin::cli
