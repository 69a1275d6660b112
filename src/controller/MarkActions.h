#pragma once

#include <cstdint>

#include "controller/StateCommon.h"
#include "settings/KeyAssignments.h"

namespace tavrin::controller {

class Controller;

// Marks: "Mark", "Next mark" and "Previous mark", by key and from the menu.
// They act on the place being recorded or heard in whichever state
// has one, rather than move the recorder from state to state, so the window
// keeps them beside the states, as it keeps the playback speed; what the
// current state is decides only whether they may act.
class MarkActions : private StateCommon {
public:
    explicit MarkActions(Controller& controller) : StateCommon(controller) {}

    // Mark, Next mark or Previous mark when `key` is assigned to one of
    // them; false for any other key.
    bool OnKey(const settings::KeyAssignments& keys, std::uint32_t key);
    // The menu's marks; false for any other command.
    bool OnCommand(std::uint32_t command);

private:
    // What the current state does with a place in the recording.
    enum class Activity { None, Resting, Playing, Recording };
    Activity Now() const;

    void Mark();
    void ToMark(bool forward);
};

}  // namespace tavrin::controller
