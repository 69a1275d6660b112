#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/CutSpan.h"
#include "engine/ResultCode.h"
#include "engine/SpeedStage.h"
#include "platform/Media.h"

namespace tavrin::controller {

// Format and length of a recording, as the engine reports them when it opens
// a recording or reads its facts. The controller only uses the length; the
// other fields travel along for the panel and the dialogs.
struct AudioFileInfo {
    std::uint32_t isGsm = 0;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;        // samples per second; bytes per second for GSM
    std::uint16_t bits = 0;        // bits per sample; bits per 65-byte block for GSM
    std::uint32_t durationMs = 0;  // whole milliseconds, truncated
    friend bool operator==(const AudioFileInfo&, const AudioFileInfo&) = default;
};

// The length as the window keeps it, signed; a length beyond its range is cut to the largest it holds.
inline std::int32_t LengthMsOf(const AudioFileInfo& info) {
    constexpr std::uint32_t kLargest = 0x7FFFFFFF;
    return static_cast<std::int32_t>(info.durationMs > kLargest ? kLargest : info.durationMs);
}

// The recording options handed to the engine before a new recording starts.
struct CaptureOptions {
    bool voiceActivation = false;
    std::uint32_t activationPercent = 0;
    bool silenceCut = false;
    std::uint32_t silencePercent = 0;
    std::uint32_t silenceMs = 0;
};

// The audio engine as the states use it: exactly the operations they call,
// on the user-interface thread. Pause, Resume and Stop only post a command;
// their effect comes back later as an event, which the window hands to the
// current state. Everything that can fail answers a ResultCode, zero for
// success.
class EngineView {
public:
    virtual ~EngineView() = default;

    // --- before a recording ------------------------------------------------
    // ORs the bit of every format the input device accepts into `mask`;
    // false when the device cannot be asked.
    [[nodiscard]] virtual bool ProbeFormats(std::uint32_t& mask) = 0;
    // False for a zero format bit, which the engine does not store.
    [[nodiscard]] virtual bool SetFormat(std::uint32_t formatBit) = 0;
    virtual void SetCaptureOptions(const CaptureOptions& options) = 0;
    // An edit keeps the thresholds of the last new recording and only takes
    // the two switches.
    virtual void SetCaptureSwitches(bool voiceActivation, bool silenceCut) = 0;
    virtual void SetStorage(const std::string& folder, platform::Media media) = 0;

    // --- recording -------------------------------------------------------
    [[nodiscard]] virtual engine::ResultCode RecordStart(const std::string& path) = 0;
    [[nodiscard]] virtual engine::ResultCode RecordAppend() = 0;
    [[nodiscard]] virtual engine::ResultCode RecordInsert() = 0;
    [[nodiscard]] virtual engine::ResultCode RecordOverwrite() = 0;

    // --- the selected recording ----------------------------------------------
    [[nodiscard]] virtual engine::ResultCode OpenFile(const std::string& path, platform::Media media, AudioFileInfo& info) = 0;
    [[nodiscard]] virtual engine::ResultCode CloseFile() = 0;
    [[nodiscard]] virtual engine::ResultCode GetFileInfo(const std::string& path, AudioFileInfo& info) = 0;
    [[nodiscard]] virtual engine::ResultCode PlayStart() = 0;

    // --- while a device runs -------------------------------------------------
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    virtual void Stop() = 0;
    // False where the engine cannot seek (nothing selected, or recording).
    [[nodiscard]] virtual bool SetPosition(std::int32_t milliseconds) = 0;
    virtual std::uint32_t GetPositionMs() = 0;
    [[nodiscard]] virtual engine::ResultCode SetVolume(std::int32_t percent) = 0;
    // Hundredths of the recording's own speed, for the playback running and every later one.
    virtual void SetPlaybackSpeed(std::uint32_t hundredths) = 0;
    // Level of the block handled last, 0..100.
    virtual std::uint32_t GetLevelPercent() = 0;
    // How long the running recording can still go on, in seconds.
    virtual std::int32_t RemainingSeconds(std::uint32_t formatBit, const std::string& folder, platform::Media media) = 0;

    // --- marks --------------------------------------------------------------------
    // A mark at the place being recorded, or else at the place heard; `label`
    // names it ("Mark 3"). False when it could not be kept.
    [[nodiscard]] virtual bool AddMark(std::string& label) = 0;
    // How many marks the recording selected or being made has.
    virtual std::uint32_t MarkCount() = 0;
    // Moves the place to the next (or the previous) mark, as a seek does;
    // false, and nothing moves, when there is none that way.
    [[nodiscard]] virtual bool SeekToMark(bool forward) = 0;
    // What a cut of `kind` would remove from the selected recording at rest;
    // nothing when it would remove nothing or has no mark on each side.
    virtual std::optional<engine::CutSpan> PlanCut(engine::CutKind kind) = 0;
    // Removes the span; the recording stays selected, shorter, at the cut.
    [[nodiscard]] virtual bool Cut(const engine::CutSpan& span) = 0;
    // Whether the last cut can still be undone: the recording is neither
    // closed nor changed since.
    virtual bool CanUndoCut() = 0;
    // Puts back what the last cut removed; the recording stays selected, at
    // the audio put back.
    [[nodiscard]] virtual bool UndoCut() = 0;
};

}  // namespace tavrin::controller
