#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "settings/KeyAssignments.h"

#include "controller/StateBase.h"

namespace tavrin::controller {

// What tells the four recording states apart.
struct RecordingVariant {
    Control icon;                  // shown while recording, hidden by Stop
    std::string_view tooSlowText;  // told when the card cannot keep up
    bool newRecording;             // a new file, rather than an edit of the open one
    // The combined function whose key also stops this kind of recording
    // ("Record/Stop", "Append/Stop"); none for the other edits.
    std::optional<settings::Function> combinedStop;
};

// Why a capture ended that nobody stopped, when the engine said so.
enum class CaptureEnd {
    Unknown,         // only storage stops a capture unasked: the room ran out
    MicrophoneGone,  // the input device went
    CardRemoved,     // the card the recording lies on was taken out
    Told,            // another failure, told as the engine words it
};

// The engine's errors that end a capture on their own: the input device
// went away, or refused its buffer back.
bool EndsCapture(std::uint32_t code, std::uint32_t detail);

// What a key does to a recording, running or paused.
enum class RecordingKey { None, Stop, Pause };

// The shared half of StateRecord and the three edit states: stop, pause, the
// timers and the end of a recording. Each state adds its own engine events,
// its keys and its pause state.
class RecordingStateBase : public StateBase {
public:
    RecordingStateBase(Controller& controller, std::string_view className, const RecordingVariant& variant)
        : StateBase(controller, className), kind(variant) {}

    void OnStop() override;
    void OnPause() override;
    void OnHalt() override;
    void OnKey(std::uint32_t virtualKey) override;
    // A microphone that went, and a storage failure on a card that is gone,
    // are told in words once the recording is saved; other errors as the
    // engine words them.
    void OnEngineError(std::uint32_t code, std::uint32_t detail) override;
    void OnActivateRecording(std::string) override {}
    void OnWaterMark() override;
    void OnPausedOn() override;
    void OnOptions() override;
    void OnLevelTimer() override;
    void OnClockTimer() override;
    void OnBlinkTimer() override;
    void OnRemainingTimer() override;
    void OnKeepAwakeTimer() override;
    void OnListTimer() override {}
    void Enter() override;
    void UpdateMenu() override;
    void OnHighlightRow(std::string) override {}

    // Voice activation has fired during this recording.
    bool activated = false;
    // The engine has reported the end and the file is not ready yet.
    bool saving = false;
    // Stop: the Stop key, the record key, End and the variant's own combined
    // stop; Pause: the Pause and Record/Pause keys (in a pause state they resume).
    RecordingKey MeaningOf(std::uint32_t virtualKey) const;

    // The stop came from here (the user, the time limit, a slow card), not
    // from the engine running out of room.
    bool stopAsked = false;
    CaptureEnd endCause = CaptureEnd::Unknown;

protected:
    virtual StateBase& PauseState() = 0;

    // The variant's own events.
    void MarkActivated();
    void MarkSilenceCut();
    void MarkSaving() { saving = true; }
    void FileReady();
    void TooSlow();

private:
    std::string_view RoomRunOut(const std::string& path) const;
    // The format whose rate turns the room left into time.
    std::uint32_t RemainingFormat();

    RecordingVariant kind;
    // Blink ticks the silence-cut notice stays for.
    int noticeTicks = 0;
};

inline constexpr std::string_view kWaitingForVoiceNotice = "Waiting for voice";
inline constexpr std::string_view kMicrophoneGoneNotice = "Microphone disconnected - recording stopped";
inline constexpr std::string_view kCardRemovedNotice = "Storage card removed - recording stopped";
inline constexpr std::string_view kSilenceCutNotice = "Silence skipped";

}  // namespace tavrin::controller
