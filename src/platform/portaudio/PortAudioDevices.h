#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/WaveDevice.h"

namespace tavrin::platform::portaudio {

// The sound card as the programs use it by default: the system's default
// input and output devices and the cue sounds. Nothing is opened (and the
// audio library is not started) until a device is first asked something.
std::unique_ptr<WaveIn> MakeDefaultWaveIn();
std::unique_ptr<WaveOut> MakeDefaultWaveOut();
// Plays the cue sounds from `SoundFolders()`, read through `files`, which
// must outlive it.
std::unique_ptr<CueSounds> MakeCueSounds(FileSystem& files);

// Where the cue sounds are looked for, in order: $TAVRIN_SOUNDS_DIR if set,
// the installed data folder, then the source tree's data/sounds (so that a
// program run from its build folder has them too).
std::vector<std::string> SoundFolders();

}  // namespace tavrin::platform::portaudio
