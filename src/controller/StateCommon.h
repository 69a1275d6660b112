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
    void SelectAndPlay(const std::string& path);
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
    void ShowLevel();
    void RenameCurrent();
    void KeepAwake();
    void RefreshList();
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
    bool IsFastMedia(const std::string& path) const;

    Controller& context;

private:
    void BeginCapture(RecordingStateBase& state, Control icon);
    void HandOverSwitches();
    void RefreshAndArmLimit();
};

}  // namespace tavrin::controller
