// Marks of the engine: made on the UI thread at the place being recorded or
// heard; written by whichever thread owns the storage then.
#include <algorithm>
#include <cassert>
#include <functional>

#include "engine/AudioEngine.h"
#include "wav/Formats.h"

namespace tavrin::engine {

bool AudioEngine::AddMark(std::string& label) {
    assert(OnUiThread());
    const EngineState now = state;
    if (now == EngineState::EngineClosed) return false;
    // The place being recorded, or the place heard: the engine thread
    // publishes both in `position`, in blocks.
    const std::optional<wav::Mark> mark = storage.marks.Add(position);
    if (!mark) return false;
    label = mark->label;
    if (now == EngineState::EngineFileOpen) {
        if (storage.SaveMarks()) return true;
        // A recording that may only be read, or a disk that refused: the
        // mark is not kept, and the count does not show it.
        storage.marks.Withdraw(mark->id);
        return false;
    }
    // A playback's engine thread writes it into the file at once; a
    // recording's change lays it out at its end, and logged it already.
    if (now == EngineState::EnginePlaying || now == EngineState::EnginePlayPaused) queue.post({kCmdSaveMarks, 0, 0});
    return true;
}

std::uint32_t AudioEngine::MarkCount() const {
    if (state == EngineState::EngineClosed) return 0;
    return static_cast<std::uint32_t>(storage.marks.Marks().size());
}

bool AudioEngine::SeekToMark(bool forward) {
    assert(OnUiThread());
    const EngineState now = state;
    if (now != EngineState::EngineFileOpen && now != EngineState::EnginePlaying &&
        now != EngineState::EnginePlayPaused)
        return false;
    const wav::MarkList marks = storage.marks.Marks();
    const std::uint32_t at = position;
    const auto before = [](const wav::Mark& m, std::uint32_t block) { return m.block < block; };
    std::optional<std::uint32_t> target;
    if (forward) {
        const auto next = std::upper_bound(marks.begin(), marks.end(), at,
                                           [](std::uint32_t block, const wav::Mark& m) { return block < m.block; });
        // The end of the audio is no place to play from.
        if (next != marks.end() && next->block < storage.LengthInBlocks()) target = next->block;
    } else {
        const auto first = std::lower_bound(marks.begin(), marks.end(), at, before);
        if (first != marks.begin()) target = std::prev(first)->block;
    }
    if (!target) return false;
    SeekToBlock(*target);
    return true;
}

AudioEngine::CutResult AudioEngine::CutMs(std::optional<std::uint32_t> fromMs, std::optional<std::uint32_t> toMs) {
    assert(OnUiThread());
    if (state != EngineState::EngineFileOpen) return CutResult::Failed;
    const bool gsm = storage.FormatTag() == wav::kTagGsm;
    const auto blockOf = [&](std::uint32_t ms) {
        return gsm ? std::uint64_t{ms} * 8 / wav::kGsmSamplesPerBlock : std::uint64_t{ms} * storage.SamplesPerSec() / 1000;
    };
    const std::uint64_t length = storage.LengthInBlocks();
    const std::uint64_t from = fromMs ? blockOf(*fromMs) : 0;
    const std::uint64_t to = toMs ? blockOf(*toMs) : length;
    if (from >= to || to > length) return CutResult::OutsideAudio;
    return CutBlocks(static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(to));
}

std::optional<CutSpan> AudioEngine::PlanCut(CutKind kind) const {
    if (state != EngineState::EngineFileOpen) return std::nullopt;
    const std::uint32_t length = storage.LengthInBlocks();
    const std::uint32_t at = std::min<std::uint32_t>(position, length);
    CutSpan span{0, at, 0};
    if (kind == CutKind::FromHere) span = {at, length, 0};
    if (kind == CutKind::BetweenMarks) {
        const wav::MarkList marks = storage.marks.Marks();
        const auto after = std::upper_bound(marks.begin(), marks.end(), at,
                                            [](std::uint32_t block, const wav::Mark& m) { return block < m.block; });
        if (after == marks.begin() || after == marks.end()) return std::nullopt;
        span = {std::prev(after)->block, std::min(after->block, length), 0};
    }
    if (span.to <= span.from) return std::nullopt;
    const std::uint64_t removed = span.to - span.from;
    span.ms = static_cast<std::uint32_t>(storage.FormatTag() == wav::kTagGsm
                                             ? removed * wav::kGsmSamplesPerBlock / 8
                                             : removed * 1000 / std::max<std::uint32_t>(storage.SamplesPerSec(), 1));
    return span;
}

AudioEngine::CutResult AudioEngine::CutBlocks(std::uint32_t from, std::uint32_t to, Undo undo) {
    assert(OnUiThread());
    if (state != EngineState::EngineFileOpen) return CutResult::Failed;
    if (from >= to || to > storage.LengthInBlocks()) return CutResult::OutsideAudio;
    return AfterCut(storage.Cut(from, to, undo));
}

bool AudioEngine::CanUndoCut() const { return state == EngineState::EngineFileOpen && storage.CanUndoCut(); }

AudioEngine::CutResult AudioEngine::UndoCut() {
    assert(OnUiThread());
    if (!CanUndoCut()) return CutResult::Failed;
    return AfterCut(storage.UndoCut());
}

AudioEngine::CutResult AudioEngine::AfterCut(storage::Status status) {
    // A recording that could not be selected again is no longer open.
    if (storage.IsIdle()) state = EngineState::EngineClosed;
    position = storage.IsIdle() ? 0 : storage.CurrentReadSample();
    return status == storage::Status::Ok ? CutResult::Cut : CutResult::Failed;
}

void AudioEngine::ScheduleMarks() {
    scheduledBlocks.clear();
    const std::uint32_t base = storage.CurrentWriteSample();
    const bool gsm = storage.FormatTag() == wav::kTagGsm;
    for (const std::uint32_t ms : scheduledMs) {
        const std::uint64_t into =
            gsm ? std::uint64_t{ms} * 8 / wav::kGsmSamplesPerBlock : std::uint64_t{ms} * storage.SamplesPerSec() / 1000;
        scheduledBlocks.push_back(static_cast<std::uint32_t>(std::min<std::uint64_t>(base + into, 0xFFFFFFFFu)));
    }
    std::sort(scheduledBlocks.begin(), scheduledBlocks.end(), std::greater<>());
    scheduledMs.clear();
}

void AudioEngine::MakeScheduledMarks() {
    // Kept latest first: the next one due is at the back.
    while (!scheduledBlocks.empty() && scheduledBlocks.back() <= position) {
        static_cast<void>(storage.marks.Add(scheduledBlocks.back()));
        scheduledBlocks.pop_back();
    }
}

void AudioEngine::OnSaveMarks() {
    const EngineState now = state;
    if (now == EngineState::EnginePlaying || now == EngineState::EnginePlayPaused) (void)storage.SaveMarks();
}

}  // namespace tavrin::engine
