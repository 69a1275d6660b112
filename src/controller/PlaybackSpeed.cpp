#include "controller/PlaybackSpeed.h"

namespace tavrin::controller {

void PlaybackSpeed::Restore() {
    settings.readPlaybackSpeed();
    const std::uint32_t stored = settings.playbackSpeed();
    hundredths = engine::IsSpeedStep(stored) ? stored : engine::kNormalSpeed;
    engine.SetPlaybackSpeed(hundredths);
}

bool PlaybackSpeed::OnKey(const settings::KeyAssignments& keys, std::uint32_t key) {
    if (keys.matches(settings::Function::Faster, key)) {
        Faster();
    } else if (keys.matches(settings::Function::Slower, key)) {
        Slower();
    } else {
        return false;
    }
    return true;
}

void PlaybackSpeed::Set(std::uint32_t next) {
    if (next == hundredths) return;  // at either end a further step changes nothing
    hundredths = next;
    engine.SetPlaybackSpeed(next);
    settings.writePlaybackSpeed(next);
}

}  // namespace tavrin::controller
