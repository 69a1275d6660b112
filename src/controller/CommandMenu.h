#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "controller/Commands.h"
#include "settings/KeyAssignments.h"

namespace tavrin::controller {

// Which of the six menus a state shows.
enum class MenuKind {
    Idle,
    FileSelected,
    Play,
    PausePlay,
    Recording,        // a new recording and the three edits
    PausedRecording,  // their pause states
};

// The caption padded with its own run of spaces, then the name of the key
// (empty when no key is assigned), so that the menu also lists the keys.
std::string CaptionWithKey(std::string_view caption, std::uint32_t key);

// Whether "Cut between marks" has a mark on each side of the place, and
// whether the last cut can still be undone.
struct CutFacts {
    bool markEachSide = false;
    bool undo = false;
};

// The items of the soft-key menu for a state, with the keys assigned now.
std::vector<MenuItem> BuildMenu(MenuKind kind, const settings::KeyAssignments& keys, const CutFacts& cuts = {});

}  // namespace tavrin::controller
