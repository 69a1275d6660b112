#include "platform/portaudio/PortAudioDevices.h"

#include <cstdlib>

#include "platform/portaudio/PortAudioCueSounds.h"
#include "platform/portaudio/PortAudioWaveIn.h"
#include "platform/portaudio/PortAudioWaveOut.h"

namespace tavrin::platform::portaudio {

std::unique_ptr<WaveIn> MakeDefaultWaveIn() { return std::make_unique<PortAudioWaveIn>(); }

std::unique_ptr<WaveOut> MakeDefaultWaveOut() { return std::make_unique<PortAudioWaveOut>(); }

std::unique_ptr<CueSounds> MakeCueSounds(FileSystem& files) {
    return std::make_unique<PortAudioCueSounds>(files, SoundFolders());
}

std::vector<std::string> SoundFolders() {
    std::vector<std::string> folders;
    if (const char* chosen = std::getenv("TAVRIN_SOUNDS_DIR"); chosen && *chosen) folders.emplace_back(chosen);
    folders.emplace_back(TAVRIN_SOUNDS_INSTALL_DIR);
    folders.emplace_back(TAVRIN_SOUNDS_SOURCE_DIR);
    return folders;
}

}  // namespace tavrin::platform::portaudio
