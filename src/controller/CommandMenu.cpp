#include "controller/CommandMenu.h"

#include <array>

namespace tavrin::controller {
namespace {

using settings::Function;

struct Padding {
    std::string_view caption;
    std::size_t spaces;
};

// The runs line the key names up in the menu's proportional font.
constexpr std::array<Padding, 10> kPaddings{{
    {"Play", 12},
    {"Record", 6},
    {"Pause", 8},
    {"Resume", 6},
    {"Stop", 11},
    {"FF", 16},
    {"REW", 11},
    {"Append", 5},
    {"Insert", 1},
    {"Overwrite", 1},
}};

// Per menu kind, which of the items are enabled: Play, Record, Append,
// Pause/Resume, Stop, FF, REW, Rename, Delete, Options. Insert and Overwrite
// edit at the position as Append does, so they follow Append.
struct Enabled {
    bool play, record, append, pause, stop, ff, rew, rename, remove, options;
};

Enabled EnabledItems(MenuKind kind) {
    switch (kind) {
        case MenuKind::Idle: return {false, true, false, false, false, false, false, true, true, true};
        case MenuKind::FileSelected: return {true, true, true, false, false, true, true, true, true, true};
        case MenuKind::Play: return {false, false, false, true, true, true, true, false, false, true};
        case MenuKind::PausePlay: return {false, false, true, true, true, true, true, false, false, true};
        case MenuKind::Recording:
        case MenuKind::PausedRecording: return {false, false, false, true, true, false, false, false, false, true};
    }
    return {};
}

MenuItem Item(bool enabled, std::uint32_t command, std::string caption) {
    return {enabled ? mf::Enabled : mf::Grayed, command, std::move(caption)};
}

MenuItem Separator() { return {mf::Separator, 0, {}}; }

}  // namespace

std::string CaptionWithKey(std::string_view caption, std::uint32_t key) {
    std::string text(caption);
    for (const Padding& p : kPaddings) {
        if (p.caption == caption) {
            text.append(p.spaces, ' ');
            break;
        }
    }
    text.append(settings::KeyName(key));
    return text;
}

std::vector<MenuItem> BuildMenu(MenuKind kind, const settings::KeyAssignments& keys) {
    const Enabled on = EnabledItems(kind);
    const bool paused = kind == MenuKind::PausePlay || kind == MenuKind::PausedRecording;
    return {
        Item(on.play, cmd::Play, CaptionWithKey("Play", keys.key(Function::Play))),
        Item(on.record, cmd::Record, CaptionWithKey("Record", keys.key(Function::Record))),
        Item(on.append, cmd::Append, CaptionWithKey("Append", keys.key(Function::Append))),
        Item(on.append, cmd::Insert, CaptionWithKey("Insert", keys.key(Function::Insert))),
        Item(on.append, cmd::Overwrite, CaptionWithKey("Overwrite", keys.key(Function::Overwrite))),
        Item(on.pause, cmd::Pause, CaptionWithKey(paused ? "Resume" : "Pause", keys.key(Function::Pause))),
        Item(on.stop, cmd::Stop, CaptionWithKey("Stop", keys.key(Function::Stop))),
        Item(on.ff, cmd::FF, CaptionWithKey("FF", keys.key(Function::Forward))),
        Item(on.rew, cmd::REW, CaptionWithKey("REW", keys.key(Function::Rewind))),
        // The speed only matters to playback, and can be chosen before it as well as during it.
        Item(true, cmd::Speed, "Speed"),
        Separator(),
        Item(on.rename, cmd::Rename, "Rename"),
        Item(on.remove, cmd::Delete, "Delete"),
        // Export only reads the recording, but not one being written.
        Item(on.rename, cmd::Export, "Export"),
        Separator(),
        Item(on.options, cmd::Options, "Options"),
    };
}

}  // namespace tavrin::controller
