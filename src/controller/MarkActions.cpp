#include "controller/MarkActions.h"

#include "controller/Commands.h"
#include "controller/Controller.h"

namespace tavrin::controller {

using settings::Function;

bool MarkActions::OnKey(const settings::KeyAssignments& keys, std::uint32_t key) {
    if (keys.matches(Function::Mark, key)) return OnCommand(cmd::Mark);
    if (keys.matches(Function::NextMark, key)) return OnCommand(cmd::NextMark);
    if (keys.matches(Function::PreviousMark, key)) return OnCommand(cmd::PreviousMark);
    return false;
}

bool MarkActions::OnCommand(std::uint32_t command) {
    switch (command) {
        case cmd::Mark: Mark(); return true;
        case cmd::NextMark: ToMark(true); return true;
        case cmd::PreviousMark: ToMark(false); return true;
        default: return false;
    }
}

MarkActions::Activity MarkActions::Now() const {
    const State* current = context.window.CurrentState();
    if (current == &context.idle || current == nullptr) return Activity::None;
    if (current == &context.fileSelected) return Activity::Resting;
    if (current == &context.play || current == &context.pausePlay) return Activity::Playing;
    return Activity::Recording;
}

void MarkActions::Mark() {
    if (Now() == Activity::None) return;
    std::string label;
    if (!engine().AddMark(label)) {
        // Nothing else changes: the recording goes on, or stays selected, as it was.
        window().FlashNotice("The mark could not be saved");
        return;
    }
    window().FlashNotice(label);
    window().ShowMarkCount(engine().MarkCount());
}

void MarkActions::ToMark(bool forward) {
    const Activity now = Now();
    if (now != Activity::Resting && now != Activity::Playing) return;
    // The engine answers with the place it went to, as after a wind.
    (void)engine().SeekToMark(forward);
}

}  // namespace tavrin::controller
