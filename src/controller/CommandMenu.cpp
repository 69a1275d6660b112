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
constexpr std::array<Padding, 13> kPaddings{{
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
    {"Mark", 10},
    {"Next mark", 1},
    {"Previous mark", 1},
}};

// Per menu kind, which of the items are enabled: Play, Record, Append,
// Pause/Resume, Stop, FF, REW, Rename, Delete, Options, Mark and the moves to
// the marks. Insert and Overwrite edit at the position as Append does, so
// they follow Append. A mark goes wherever there is a place recorded or
// heard; the moves to the marks wherever there is one heard.
struct Enabled {
    bool play, record, append, pause, stop, ff, rew, rename, remove, options, mark, toMarks;
    bool cut;  // the cuts change the recording: only at rest
};

Enabled EnabledItems(MenuKind kind) {
    switch (kind) {
        case MenuKind::Idle:
            return {false, true, false, false, false, false, false, true, true, true, false, false, false};
        case MenuKind::FileSelected:
            return {true, true, true, false, false, true, true, true, true, true, true, true, true};
        case MenuKind::Play:
            return {false, false, false, true, true, true, true, false, false, true, true, true, false};
        case MenuKind::PausePlay:
            return {false, false, true, true, true, true, true, false, false, true, true, true, false};
        case MenuKind::Recording:
        case MenuKind::PausedRecording:
            return {false, false, false, true, true, false, false, false, false, true, true, false, false};
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

std::vector<MenuItem> BuildMenu(MenuKind kind, const settings::KeyAssignments& keys, const CutFacts& cuts) {
    const Enabled on = EnabledItems(kind);
    const bool paused = kind == MenuKind::PausePlay || kind == MenuKind::PausedRecording;
    return {
        Item(on.play, cmd::Play, CaptionWithKey("Play", keys.key(Function::Play))),
        Item(on.record, cmd::Record, CaptionWithKey("Record", keys.key(Function::Record))),
        Item(on.append, cmd::Append, CaptionWithKey("Append", keys.key(Function::Append))),
        Item(on.append, cmd::Insert, CaptionWithKey("Insert", keys.key(Function::Insert))),
        Item(on.append, cmd::Overwrite, CaptionWithKey("Overwrite", keys.key(Function::Overwrite))),
        Item(on.mark, cmd::Mark, CaptionWithKey("Mark", keys.key(Function::Mark))),
        Item(on.pause, cmd::Pause, CaptionWithKey(paused ? "Resume" : "Pause", keys.key(Function::Pause))),
        Item(on.stop, cmd::Stop, CaptionWithKey("Stop", keys.key(Function::Stop))),
        Item(on.ff, cmd::FF, CaptionWithKey("FF", keys.key(Function::Forward))),
        Item(on.rew, cmd::REW, CaptionWithKey("REW", keys.key(Function::Rewind))),
        Item(on.toMarks, cmd::NextMark, CaptionWithKey("Next mark", keys.key(Function::NextMark))),
        Item(on.toMarks, cmd::PreviousMark, CaptionWithKey("Previous mark", keys.key(Function::PreviousMark))),
        // The speed only matters to playback, and can be chosen before it as well as during it.
        Item(true, cmd::Speed, "Speed"),
        Separator(),
        Item(on.cut, cmd::CutToHere, "Cut to here"),
        Item(on.cut, cmd::CutFromHere, "Cut from here"),
        Item(on.cut && cuts.markEachSide, cmd::CutBetweenMarks, "Cut between marks"),
        Item(on.cut && cuts.undo, cmd::UndoCut, "Undo cut"),
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
