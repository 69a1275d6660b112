#include "controller/MarkActions.h"

#include "controller/Commands.h"
#include "controller/Controller.h"
#include "controller/Duration.h"
#include "recordings/RecordingList.h"

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
        case cmd::CutToHere: Cut(engine::CutKind::ToHere); return true;
        case cmd::CutFromHere: Cut(engine::CutKind::FromHere); return true;
        case cmd::CutBetweenMarks: Cut(engine::CutKind::BetweenMarks); return true;
        case cmd::UndoCut: UndoCut(); return true;
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

std::string MarkActions::CutQuestion(const std::string& path, std::uint32_t ms) {
    // Whole seconds, rounded up: a cut shorter than a second still removes something.
    const std::int64_t seconds = (std::int64_t{ms} + 999) / 1000;
    return "Remove " + FormatDuration(seconds) + " from " + recordings::RecordingName(path) + "?";
}

void MarkActions::Cut(engine::CutKind kind) {
    if (Now() != Activity::Resting) return;
    const std::optional<engine::CutSpan> span = engine().PlanCut(kind);
    if (!span) return;
    const int answer = context.shell.messageBox(CutQuestion(window().CurrentPath(), span->ms),
                                                std::string(engine::kProductName),
                                                platform::mb::IconQuestion | platform::mb::YesNo);
    if (answer != platform::answer::Yes) return;
    if (!engine().Cut(*span)) window().FlashNotice("The recording could not be cut");
    ShowNewLength();
}

void MarkActions::UndoCut() {
    if (Now() != Activity::Resting || !engine().CanUndoCut()) return;
    if (!engine().UndoCut()) window().FlashNotice("The cut could not be undone");
    ShowNewLength();
}

void MarkActions::ShowNewLength() {
    AudioFileInfo info;
    if (!engine().GetFileInfo(window().CurrentPath(), info).Ok()) return;
    context.currentFacts = info;
    Window& w = window();
    w.SetLengthMs(LengthMsOf(info));
    w.RefreshFileFacts();
    w.RefreshPanel();
    w.CurrentState()->Enter();
}

CutFacts CutFactsOf(EngineView& engine) {
    return {engine.PlanCut(engine::CutKind::BetweenMarks).has_value(), engine.CanUndoCut()};
}

}  // namespace tavrin::controller
