#pragma once

#include <cstdint>
#include <string>

#include "controller/EngineView.h"
#include "controller/Window.h"
#include "engine/ResultCode.h"

namespace tavrin::controller {

class Controller;
class State;
class RecordingStateBase;

// The actions every state shares. A state reaches the window, the engine and
// the other states only through the controller it was built with.
class StateCommon {
public:
    explicit StateCommon(Controller& controller) : context(controller) {}
    virtual ~StateCommon() = default;
    StateCommon(const StateCommon&) = delete;
    StateCommon& operator=(const StateCommon&) = delete;

protected:
    Window& window() const;
    EngineView& engine() const;

    // Greys the soft keys and stops assigned keys reaching the state: called
    // before anything that changes what the engine does, so that no second
    // command can arrive before the engine's answer. The next Enter undoes it.
    void HaltStep();

    // Judges an engine result: true for success. A failure is shown (with
    // `show`), a warning drops the recording and returns to StateIdle, a fatal
    // one ends the program. The failure is dealt with here; the answer only
    // tells the caller whether to go on.
    bool CheckResult(engine::ResultCode result, bool show);

    // Makes `path` the current recording (StateFileSelected), or drops the
    // current one for an empty path (StateIdle).
    [[nodiscard]] engine::ResultCode SelectRecording(const std::string& path);
    // SelectRecording, with a failure told: in words where the file shows
    // why it cannot be opened, else as the engine words it. False on failure.
    bool SelectOrExplain(const std::string& path);
    void SelectAndPlay(const std::string& path);

    // Every action on a recording acts on the row the user sees highlighted:
    // when that is not the current recording, it is selected first. False
    // when it could not be (the user has been told why).
    bool SelectHighlightedRow();
    // The panel shows the highlighted row: it is selected (nothing changes
    // while no row is highlighted). A row that cannot be opened
    // leaves nothing selected, and the notice line says why; no box. A
    // notice about the recording left behind goes when the user moved on;
    // a refresh of the list keeps it.
    void FollowHighlight(bool userMoved);
    void StartPlay();
    void EnterPlay();

    [[nodiscard]] engine::ResultCode StartNewRecording();
    [[nodiscard]] engine::ResultCode StartAppend();
    [[nodiscard]] engine::ResultCode StartInsert();
    [[nodiscard]] engine::ResultCode StartOverwrite();

    void BeginRecordState();
    void BeginAppendState();
    void BeginInsertState();
    void BeginOverwriteState();

    void FinishRecording();
    void ReopenCurrent(bool show);

    void SeekPercent(std::int32_t percent);
    void ShowPosition();
    void ShowThumbTime(std::int32_t slider);
    void SetVolumeFromSlider(std::int32_t slider);
    // The volume keys: one step up (+1) or down (-1) along the slider's road,
    // shown for a moment on the panel and kept in the settings.
    void StepVolume(std::int32_t direction);
    // Handles the volume keys, the same in every state; false for any other key.
    bool HandleVolumeKey(std::uint32_t virtualKey);
    void ShowLevel();
    void RenameCurrent();
    void KeepAwake();
    void RefreshList();
    // Refreshes the list; when that moved the highlight (its row went, a card
    // with it), the panel follows it.
    void RefreshFollowingHighlight();
    // Refreshes the list and highlights the row of `path`, with the focus.
    void ShowInList(const std::string& path);
    void OpenOptions(bool recordingInProgress);

    // Enter and switch: the new state's Enter runs while the old one is still current.
    void EnterAndSwitch(State& next);
    // Switch and delegate: the new state becomes current without Enter; the
    // caller then hands it the operation. Returns the new current state.
    State& SwitchTo(State& next);

    // The voice-activation and silence-cut icons as the recording options say.
    void ShowOptionIcons();
    // Says `text` once at the foot of the panel; the next start of anything
    // takes it away again.
    void Tell(const std::string& text);
    void ClearNotice();

    // Whether a location is recorded straight into its file, as the shell
    // classifies it; the engine is told the opposite as its slow flag.
    platform::Media MediaOf(const std::string& path) const;
    // Whether the storage that holds `path` is gone: its card was taken out
    // (it is no storage location any more) or its folder went.
    bool IsLocationGone(const std::string& path) const;

    Controller& context;

private:
    // Tells why `path` cannot be opened or played when the file shows it;
    // false when it does not.
    bool ExplainUnplayable(const std::string& path);
    void BeginCapture(RecordingStateBase& state, Control icon);
    void HandOverSwitches();
    void RefreshAndArmLimit();
};

}  // namespace tavrin::controller
