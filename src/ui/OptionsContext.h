#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "settings/Settings.h"
#include "ui/RecordingProbe.h"

namespace tavrin::ui {

// A source the microphone page offers: the server's name and the description
// the desktop shows for it.
struct MicrophoneSource {
    std::string name;
    std::string description;
    friend bool operator==(const MicrophoneSource&, const MicrophoneSource&) = default;
};

// What the rows show: the description, followed by the source's own name in
// brackets where two sources share a description (every null sink's monitor
// reads alike, and so can two devices of one make).
std::vector<std::string> SourceLabels(const std::vector<MicrophoneSource>& sources);

// What the option pages work on: the main window's settings, the desktop,
// the capacity estimates, the input device's formats and a way to tell the
// main window that the key assignments changed.
struct OptionsContext {
    settings::Settings& settings;
    platform::Shell& shell;
    platform::FileSystem& files;
    RecordingProbe& recordingProbe;
    // The formats the input device accepts as a mask of format bits; nothing
    // when the device cannot be asked.
    std::function<std::optional<std::uint32_t>()> probeFormats;
    // Runs after every change of an assignment, so that the menu captions follow at once.
    std::function<void()> keysChanged;
    // The sound server's sources now, monitors of outputs last; empty when
    // none can be listed. Asked each time the microphone page opens.
    std::function<std::vector<MicrophoneSource>()> microphones = [] { return std::vector<MicrophoneSource>{}; };
    // Runs after the user chose a microphone (empty name: the desktop's default).
    std::function<void(const std::string&)> microphoneChosen = [](const std::string&) {};
};

}  // namespace tavrin::ui
