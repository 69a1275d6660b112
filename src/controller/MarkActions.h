#pragma once

#include <cstdint>

#include "controller/CommandMenu.h"
#include "controller/StateCommon.h"
#include "engine/CutSpan.h"
#include "settings/KeyAssignments.h"

namespace tavrin::controller {

class Controller;

// Marks and cuts: "Mark", "Next mark" and "Previous mark", by key and from
// the menu, and the menu's cuts.
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
    // The menu's marks and cuts; false for any other command.
    bool OnCommand(std::uint32_t command);

    // The question a cut asks first: "Remove 00:00:12 from Recording3?".
    static std::string CutQuestion(const std::string& path, std::uint32_t ms);

private:
    // What the current state does with a place in the recording.
    enum class Activity { None, Resting, Playing, Recording };
    Activity Now() const;

    void Mark();
    void ToMark(bool forward);
    void Cut(engine::CutKind kind);
    void UndoCut();
    // The recording is shorter or longer: its facts, the panel and the menu follow.
    void ShowNewLength();
};

// What the menu of a recording at rest shows of the cuts.
CutFacts CutFactsOf(EngineView& engine);

}  // namespace tavrin::controller
