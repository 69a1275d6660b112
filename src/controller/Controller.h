#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "controller/EngineView.h"
#include "controller/StateFileSelected.h"
#include "controller/StateIdle.h"
#include "controller/StatePausePlay.h"
#include "controller/StatePauseRecord.h"
#include "controller/StatePauseRecordAppend.h"
#include "controller/StatePauseRecordInsert.h"
#include "controller/StatePauseRecordOverwrite.h"
#include "controller/StatePlay.h"
#include "controller/StateRecord.h"
#include "controller/StateRecordAppend.h"
#include "controller/StateRecordInsert.h"
#include "controller/StateRecordOverwrite.h"
#include "controller/Window.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"

namespace tavrin::controller {

// Why StatePlay last paused or resumed the engine.
namespace pause_reason {
inline constexpr std::uint32_t None = 0;
inline constexpr std::uint32_t User = 1;
inline constexpr std::uint32_t DragStarted = 2;
inline constexpr std::uint32_t DragEnded = 3;
}  // namespace pause_reason

// What the states remember between events, whichever of them is current.
struct ControllerVariables {
    // An edit asked for during paused playback; it starts once playback has ended.
    bool pendingAppend = false;
    bool pendingInsert = false;
    bool pendingOverwrite = false;
    // Another recording activated during playback; played once playback has ended.
    std::string pendingPlayPath;
    std::uint32_t pauseReason = pause_reason::None;
    bool thumbDragging = false;
    // The volume last handed to the engine with success.
    std::int32_t lastVolume = 0;
    // A notice is shown at the foot of the panel.
    bool noticeShown = false;
    // The save location was on a card that was gone at start-up; the first
    // recording that goes to the documents folder instead says so.
    bool saveLocationReplaced = false;

    friend bool operator==(const ControllerVariables&, const ControllerVariables&) = default;
};

// The states in the order of the acceptance table; Controller::StateAt maps them.
enum class StateId {
    Idle,
    FileSelected,
    Play,
    PausePlay,
    Record,
    PauseRecord,
    RecordAppend,
    PauseRecordAppend,
    RecordInsert,
    PauseRecordInsert,
    RecordOverwrite,
    PauseRecordOverwrite,
};
inline constexpr std::size_t kStateCount = 12;

// The services the controller works with.
struct ControllerServices {
    Window& window;
    EngineView& engine;
    platform::Shell& shell;
    platform::FileSystem& files;
};

// The recorder's state machine: the twelve states, built once in this order
// and never created or destroyed on a transition, and what they share. The
// main window owns one; its current-state pointer starts at StateIdle.
class Controller {
public:
    explicit Controller(const ControllerServices& services);
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    StateBase& StateAt(StateId id);
    // Gives the engine the playback volume the settings kept (start-up).
    void RestoreVolume();
    // Puts the machine in any state without running anything (start-up and tests).
    void Force(StateId id) { window.SetCurrentState(StateAt(id)); }

    Window& window;
    EngineView& engine;
    platform::Shell& shell;
    platform::FileSystem& files;
    ControllerVariables vars;
    // Format and length of the current recording, as the engine last reported them.
    AudioFileInfo currentFacts;

    StateIdle idle;
    StatePlay play;
    StateRecord record;
    StateRecordAppend recordAppend;
    StateRecordInsert recordInsert;
    StateRecordOverwrite recordOverwrite;
    StateFileSelected fileSelected;
    StatePausePlay pausePlay;
    StatePauseRecord pauseRecord;
    StatePauseRecordAppend pauseRecordAppend;
    StatePauseRecordInsert pauseRecordInsert;
    StatePauseRecordOverwrite pauseRecordOverwrite;
};

}  // namespace tavrin::controller
