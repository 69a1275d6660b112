#include "controller/EventDispatch.h"

#include "controller/Commands.h"
#include "engine/Messages.h"

namespace tavrin::controller {
namespace {

using Operation = void (State::*)();

// The six recording events in the order of their message offsets from the
// variant's base: FileReady, RecordStart, RecordActivated, RecordEnd,
// SilenceCut, TooSlow.
struct RecordingEvents {
    Operation ops[6];
};

constexpr RecordingEvents kPlain{{&State::OnFileReady, &State::OnRecordStart, &State::OnRecordActivated,
                                  &State::OnRecordEnd, &State::OnSilenceCut, &State::OnTooSlow}};
constexpr RecordingEvents kOverwrite{{&State::OnOverwriteFileReady, &State::OnOverwriteRecordStart,
                                      &State::OnOverwriteRecordActivated, &State::OnOverwriteRecordEnd,
                                      &State::OnOverwriteSilenceCut, &State::OnOverwriteTooSlow}};
constexpr RecordingEvents kAppend{{&State::OnAppendFileReady, &State::OnAppendRecordStart,
                                   &State::OnAppendRecordActivated, &State::OnAppendRecordEnd,
                                   &State::OnAppendSilenceCut, &State::OnAppendTooSlow}};
constexpr RecordingEvents kInsert{{&State::OnInsertFileReady, &State::OnInsertRecordStart,
                                   &State::OnInsertRecordActivated, &State::OnInsertRecordEnd,
                                   &State::OnInsertSilenceCut, &State::OnInsertTooSlow}};

Operation PlainOperation(std::uint32_t message) {
    switch (message) {
        case kRequestPlay: return &State::OnRequestPlay;
        case kRequestRecordAppend: return &State::OnRequestRecordAppend;
        case kRequestRecordInsert: return &State::OnRequestRecordInsert;
        case kRequestRecordOverwrite: return &State::OnRequestRecordOverwrite;
        case engine::kEvPlayStart: return &State::OnPlayStart;
        case engine::kEvPlayEnd: return &State::OnPlayEnd;
        case engine::kEvPosSet: return &State::OnPosSet;
        case engine::kEvWaterMark: return &State::OnWaterMark;
        case engine::kEvPausedOn: return &State::OnPausedOn;
        case engine::kEvPausedOff: return &State::OnPausedOff;
        default: return nullptr;
    }
}

Operation RecordingOperation(std::uint32_t message) {
    if (message < engine::kEvFileReady) return nullptr;
    const std::uint32_t offset = message - engine::kEvFileReady;
    const std::uint32_t slot = offset % 10;
    if (slot > 5) return nullptr;
    switch (offset - slot) {
        case engine::kEventBasePlain: return kPlain.ops[slot];
        case engine::kEventBaseOverwrite: return kOverwrite.ops[slot];
        case engine::kEventBaseAppend: return kAppend.ops[slot];
        case engine::kEventBaseInsert: return kInsert.ops[slot];
        default: return nullptr;
    }
}

}  // namespace

bool DispatchAppMessage(State& state, std::uint32_t message) {
    Operation op = PlainOperation(message);
    if (!op) op = RecordingOperation(message);
    if (!op) return false;
    (state.*op)();
    return true;
}

}  // namespace tavrin::controller
