#pragma once

#include <cstdint>
#include <string>

#include "controller/EngineView.h"
#include "settings/KeyAssignments.h"
#include "settings/Settings.h"

namespace tavrin::controller {

// The playback speed the user chose with "Faster", "Slower" or the menu's
// "Speed": kept in the settings across recordings and starts, handed to the
// engine at once (a playback running speeds up at its next block), and shown
// on the panel. It does not depend on the recorder's state, so the window
// keeps it beside the states rather than in them.
class PlaybackSpeed {
public:
    PlaybackSpeed(settings::Settings& store, EngineView& player) : settings(store), engine(player) {}

    // Reads the stored speed (a value that is not one of the steps is the
    // recording's own) and gives it to the engine.
    void Restore();
    void Faster() { Set(engine::NextSpeed(hundredths, true)); }
    void Slower() { Set(engine::NextSpeed(hundredths, false)); }
    // The next step, from the fastest back round to the slowest.
    void Cycle() { Set(engine::CycledSpeed(hundredths)); }
    // Faster or Slower when `key` is assigned to one of them; false for any other key.
    bool OnKey(const settings::KeyAssignments& keys, std::uint32_t key);

    std::uint32_t Hundredths() const { return hundredths; }
    // "1.5×"
    std::string Label() const { return engine::SpeedLabel(hundredths); }

private:
    void Set(std::uint32_t next);

    settings::Settings& settings;
    EngineView& engine;
    std::uint32_t hundredths = engine::kNormalSpeed;
};

}  // namespace tavrin::controller
