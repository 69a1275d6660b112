#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "settings/Settings.h"
#include "ui/RecordingTimes.h"

namespace tavrin::ui {

// What the option pages work on: the main window's settings, the desktop,
// the capacity estimates, the input device's formats and a way to tell the
// main window that the key assignments changed.
struct OptionsContext {
    settings::Settings& settings;
    platform::Shell& shell;
    platform::FileSystem& files;
    RecordingTimes& times;
    // The formats the input device accepts as a mask of format bits; nothing
    // when the device cannot be asked.
    std::function<std::optional<std::uint32_t>()> probeFormats;
    // Runs after every change of an assignment, so that the menu captions follow at once.
    std::function<void()> keysChanged;
};

}  // namespace tavrin::ui
