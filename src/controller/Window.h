#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controller/Commands.h"
#include "settings/Settings.h"

namespace tavrin::controller {

class State;

// The controls of the information panel that the states show and hide.
enum class Control {
    Name,
    Date,
    Time,
    Position,
    Length,
    TimeLeft,
    LeftLabel,      // "Left:" beside the time-left field
    CardIcon,       // the recording lies on a storage card
    RecordIcon,
    AppendIcon,
    InsertIcon,
    OverwriteIcon,
    PlayIcon,
    VoiceIcon,      // voice-activated start is on
    SilenceIcon,    // silence cut is on
    SavingIcon,     // a finished recording is being written out
    PausedLabel,    // "Paused", while a recording or the playback is paused
};

// Battery flags of the power status.
namespace battery {
inline constexpr std::uint8_t High = 1;
inline constexpr std::uint8_t Low = 2;
inline constexpr std::uint8_t Critical = 4;
inline constexpr std::uint8_t Charging = 8;
inline constexpr std::uint8_t NoBattery = 128;
inline constexpr std::uint8_t Unknown = 255;
}  // namespace battery

struct PowerStatus {
    bool externalPower = false;
    std::uint8_t batteryFlag = battery::Unknown;
};

// The main window as the controller sees it: what it shows, what it keeps for
// the states (paths, length, settings) and the dialogs it runs. The window
// forwards every command, engine event and timer tick to CurrentState() and
// decides nothing itself; the states call back into it.
class Window {
public:
    virtual ~Window() = default;

    // --- the current state ----------------------------------------------------
    virtual State* CurrentState() = 0;
    // The one way the current state changes; no other side effect.
    virtual void SetCurrentState(State& state) = 0;

    // --- the current recording -------------------------------------------------
    virtual const std::string& CurrentPath() const = 0;  // empty when none is selected
    virtual void SetCurrentPath(std::string path) = 0;
    virtual const std::string& NewRecordingPath() const = 0;
    virtual void SetNewRecordingPath(std::string path) = 0;
    virtual const std::string& CurrentFolder() const = 0;
    virtual void SetCurrentFolder(std::string folder) = 0;
    virtual std::int32_t LengthMs() const = 0;  // below 1: empty recording
    virtual void SetLengthMs(std::int32_t milliseconds) = 0;
    // Re-reads the current recording's last-write time.
    virtual void RefreshFileFacts() = 0;
    // Rewrites name, date, time and length from the current recording.
    virtual void RefreshPanel() = 0;

    // --- soft keys and menu ------------------------------------------------------
    virtual std::uint32_t LeftSoftKeyCommand() const = 0;
    virtual void SetLeftSoftKey(std::uint32_t command, const std::string& label) = 0;
    virtual void EnableSoftKey(std::uint32_t command, bool enabled) = 0;
    // Closes the soft-key menu if it is open.
    virtual void CloseSoftKeyMenu() = 0;
    virtual void ReplaceMenuItems(const std::vector<MenuItem>& items) = 0;
    // Whether assigned keys pressed in the list reach the current state.
    virtual void SetKeyForwarding(bool on) = 0;

    // --- settings ------------------------------------------------------------------
    // Format, save location and key assignments.
    virtual settings::Settings& Settings() = 0;
    // Voice activation, silence cut, the time limit and the sub-folder of new
    // recordings, as the Recording page sets them.
    virtual const settings::RecordingOptions& RecordingOptions() const = 0;

    // --- the panel -----------------------------------------------------------------
    virtual void Show(Control control, bool shown) = 0;
    virtual bool IsShown(Control control) const = 0;
    virtual void SetPositionText(const std::string& text) = 0;
    virtual void SetTimeLeftText(const std::string& text) = 0;
    // The level meter, 0..100; 0 shows no segment.
    virtual void ShowLevel(std::uint32_t percent) = 0;
    // One short line at the foot of the panel: what the recorder waits for or
    // did on its own ("Waiting for voice", a recording stopped, a location
    // replaced); empty hides it.
    virtual void ShowNotice(const std::string& text) = 0;
    // A word for a moment (the volume just set), over the notice line; the
    // notice comes back after it.
    virtual void FlashNotice(const std::string& text) = 0;

    // --- the list ------------------------------------------------------------------
    // Full path of the row selected in the list; empty when none.
    virtual std::string SelectedRowPath() = 0;
    virtual void RefreshList() = 0;
    // Highlights the row of `path` (none when the list has no such row) and
    // gives the list the keyboard focus, so that the keys act on it at once.
    virtual void HighlightRow(const std::string& path) = 0;

    // --- dialogs -------------------------------------------------------------------
    // The rename dialog for a recording: the new path when the file got its
    // new name, nothing when the user cancelled.
    virtual std::optional<std::string> RunRenameDialog(const std::string& path) = 0;
    // The options list; with a recording in progress the format and the save
    // location cannot be changed.
    virtual void OpenOptions(bool recordingInProgress) = 0;

    // --- messages and timers -------------------------------------------------------------
    // Sends a request (kRequestPlay ...) to the window itself: it is handed to
    // the current state before this returns.
    virtual void SendRequest(std::uint32_t message) = 0;
    // Ends the program's main loop.
    virtual void PostQuit(int exitCode) = 0;
    // The one-shot recording-time limit; when it fires the window calls the
    // current state's OnStop.
    virtual void StartLimitTimer(std::uint32_t milliseconds) = 0;
    virtual void KillLimitTimer() = 0;
    // Milliseconds until the limit stops the recording; nothing when it is not running.
    virtual std::optional<std::uint32_t> LimitRemainingMs() const = 0;

    // --- power ---------------------------------------------------------------------
    virtual PowerStatus GetPowerStatus() = 0;
    // Keeps the machine from suspending for another while.
    virtual void ResetIdleTimer() = 0;
};

}  // namespace tavrin::controller
