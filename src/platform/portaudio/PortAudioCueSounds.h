#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace tavrin::platform::portaudio {

// Plays the short cue sounds ("RecStart", "RecEnd": <name>.wav in the first
// of the sound folders that has it) through the default output and returns
// when the sound has ended. A missing file or device is skipped without a
// word, and no call takes longer than the sound itself: whatever the device
// has not played by then is cut off.
class PortAudioCueSounds final : public CueSounds {
public:
    PortAudioCueSounds(FileSystem& files, std::vector<std::string> folders);

    void playSync(const char* name) override;

    // A cue sound as 16-bit mono samples; empty when none could be read.
    struct Sound {
        std::vector<std::int16_t> samples;
        std::uint32_t rate = 0;
    };
    // The sound the name stands for, read on first use and kept.
    const Sound& Find(const std::string& name);

private:
    Sound Load(const std::string& name);

    FileSystem& files;
    std::vector<std::string> folders;
    std::mutex mutex;  // the UI and the engine thread may both play
    std::map<std::string, Sound> loaded;
};

}  // namespace tavrin::platform::portaudio
