#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/AudioFileInfo.h"
#include "engine/CutSpan.h"
#include "engine/LevelMonitor.h"
#include "platform/Media.h"
#include "engine/MessageQueue.h"
#include "engine/Messages.h"
#include "engine/Relaxed.h"
#include "engine/ResultCode.h"
#include "engine/SpeedStage.h"
#include "platform/Clock.h"
#include "platform/EventSink.h"
#include "platform/FileSystem.h"
#include "platform/Memory.h"
#include "platform/SequenceChecker.h"
#include "platform/Shell.h"
#include "platform/WaveDevice.h"
#include "storage/StorageContext.h"

namespace tavrin::engine {

enum class EngineState : std::uint32_t {
    EngineClosed = 1,        // no recording selected
    EngineFileOpen = 2,      // a recording is selected, no device open
    EngineRecording = 3,     // capturing, blocks are stored
    EngineRecordPaused = 4,  // capturing, blocks are measured and dropped
    EnginePlaying = 5,       // output running
    EnginePlayPaused = 6,    // output paused
    EngineStopping = 7,      // output reset, waiting for the buffers to come back
};

// Bytes of one device block: one second of the largest format.
inline constexpr std::uint32_t kBlockBytes = 44'100;

// Starts `body` on a new thread that is never joined; false when no thread
// could be made.
using ThreadLauncher = std::function<bool(std::function<void()> body)>;
bool LaunchDetachedThread(std::function<void()> body);

// Everything the engine reaches outside itself. Tests pass doubles, and a
// launcher that starts nothing so they can drive HandleMessage themselves.
struct EngineServices {
    platform::WaveIn& waveIn;
    platform::WaveOut& waveOut;
    platform::FileSystem& files;
    platform::Memory& memory;
    const platform::SystemInfo& system;
    platform::Shell& shell;
    platform::Clock& clock;
    platform::Thread& thread;
    platform::CueSounds& cues;
    ThreadLauncher launchThread = LaunchDetachedThread;
    // Where storage journals the recordings it changes, for recovery after a
    // crash (platform::StateFolder() in the program); empty: no journals.
    std::string journalFolder = {};
    // Plays recordings faster or slower with their pitch kept; none: every
    // recording plays at its own speed, straight from the file to the device.
    SpeedStage* speed = nullptr;
};

// What the UI sets before a recording starts.
struct RecordingOptions {
    bool voiceActivation = false;
    unsigned activationPercent = 10;
    bool silenceCut = false;
    unsigned silencePercent = 10;
    unsigned silenceMs = 4000;
};

// Which step of a capture start failed, as result details. A new recording
// and the edits of a selected one report different numbers.
struct CaptureSteps {
    std::uint32_t open, prepare0, add0, prepare1, add1;
};
inline constexpr CaptureSteps kNewRecordingSteps{detail::OpenInput, detail::Prepare0, detail::Add0, detail::Prepare1,
                                                 detail::Add1};
inline constexpr CaptureSteps kEditSteps{detail::EditOpenInput, detail::EditPrepare0, detail::EditAdd0,
                                         detail::EditPrepare1, detail::EditAdd1};

// Bytes one second of a format bit takes; 2147483647 for an unknown bit, so
// that every estimate made with it is 0.
std::uint32_t BytesPerSecondOf(std::uint32_t formatBit);

// The audio engine: owns the wave devices, the device blocks, the storage
// context and the engine thread. The program has one, of static lifetime,
// never destroyed; its thread ends with the process.
//
// The UI thread calls the public operations; while a device runs it only
// posts commands and reads `position`, `peak` and `state`. The engine thread
// handles commands and device notifications from one queue, in arrival order,
// and reports to the owner through post and send.
class AudioEngine final : private platform::WaveSink {
public:
    explicit AudioEngine(const EngineServices& services);
    ~AudioEngine() override;
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // --- UI thread ---------------------------------------------------------
    // Stores the owner, clears the blocks and starts the engine thread.
    [[nodiscard]] ResultCode Init(platform::EventSink& ownerSink);
    // Ends the engine thread once it has handled what it was asked before:
    // the owner its events go to must outlive it, and so must whatever the
    // process tears down as it ends. The caller answers sent events between
    // waits; true once the thread is done (or never started).
    void Quit();
    [[nodiscard]] bool WaitThreadEnded(std::chrono::milliseconds bound);
    bool SetStorage(const std::string& folder, platform::Media media);
    [[nodiscard]] bool SetFormat(std::uint32_t formatBit);
    void SetRecordingOptions(const RecordingOptions& options);
    [[nodiscard]] ResultCode RecordStart(const std::string& filePath);
    // Record into the selected recording at its position.
    [[nodiscard]] ResultCode RecordOverwrite();
    [[nodiscard]] ResultCode RecordAppend();
    [[nodiscard]] ResultCode RecordInsert();
    bool Pause();
    bool Resume();
    bool Stop();
    unsigned GetLevelPercent() const;
    // ORs into `mask` the bit of every recording format the input device
    // would accept; false when there is no input device at all.
    [[nodiscard]] bool ProbeFormats(std::uint32_t& mask);
    // The microphone's level without recording, for choosing the levels of
    // voice activation and silence cut. Refused while a capture runs; a
    // capture start stops it.
    [[nodiscard]] bool StartLevelMonitor(std::uint32_t formatBit);
    void StopLevelMonitor() { monitor.Stop(); }
    unsigned MonitorLevelPercent() const { return monitor.LevelPercent(); }
    bool LevelMonitorRunning() const { return monitor.Running(); }

    // Player (UI thread).
    [[nodiscard]] ResultCode OpenFile(const std::string& filePath, platform::Media media, AudioFileInfo& info);
    [[nodiscard]] ResultCode CloseFile();
    [[nodiscard]] ResultCode GetFileInfo(const std::string& filePath, AudioFileInfo& info);
    [[nodiscard]] ResultCode PlayStart();
    [[nodiscard]] bool SetPosition(std::int32_t milliseconds);
    std::uint32_t GetPositionMs() const;
    [[nodiscard]] ResultCode SetVolume(std::int32_t percent);
    // Hundredths of the recording's own speed (one of kSpeedSteps), from now
    // on: at once during a playback, and for every later one. Any thread.
    void SetPlaybackSpeed(std::uint32_t hundredths);
    std::uint32_t PlaybackSpeed() const { return playbackSpeed; }

    // Marks (UI thread). A mark at the place being recorded, or else at
    // the place heard, written into the file as soon as it may be; `label`
    // names it. False, and nothing kept, when it could not be made.
    [[nodiscard]] bool AddMark(std::string& label);
    std::uint32_t MarkCount() const;
    // Moves the place to the next or previous mark, as SetPosition does;
    // false when there is none that way.
    [[nodiscard]] bool SeekToMark(bool forward);
    // Cuts the selected recording at rest from `fromMs` (its start when
    // none) to `toMs` (its end when none), in whole blocks; the recording is
    // selected again at the cut. Refused, nothing changed, for a range that
    // is empty or reaches outside the audio.
    enum class CutResult { Cut, OutsideAudio, Failed };
    [[nodiscard]] CutResult CutMs(std::optional<std::uint32_t> fromMs, std::optional<std::uint32_t> toMs);
    // What a cut of `kind` would remove at the place heard, at rest; nothing
    // when it would remove nothing, or there is no mark on each side.
    std::optional<CutSpan> PlanCut(CutKind kind) const;
    // Removes whole blocks [from, to), as CutMs does; with `Keep` what it
    // removes is kept so that UndoCut can put it back.
    using Undo = storage::StorageContext::Undo;
    [[nodiscard]] CutResult CutBlocks(std::uint32_t from, std::uint32_t to, Undo undo = Undo::Forgo);
    // Whether the last cut kept for it can be undone: the recording was
    // neither closed nor changed since (at rest).
    bool CanUndoCut() const;
    // Puts back what that cut removed; the recording is selected again at
    // the restored audio's start. Failed, and nothing changed, when it
    // cannot be undone or the file changed since.
    [[nodiscard]] CutResult UndoCut();

    // Marks the next capture makes by itself when it has recorded so many
    // milliseconds (scripts and tests: marks at known places). UI thread,
    // before the capture starts; it uses them up.
    void MarkAtMs(std::vector<std::uint32_t> milliseconds) { scheduledMs = std::move(milliseconds); }

    // Capacity (UI thread): how long one recording can last, and how much
    // audio the free space holds.
    std::int32_t RemainingSeconds(std::uint32_t formatBit, const std::string& folder, platform::Media media);
    std::int32_t TotalSeconds(std::uint32_t formatBit, const std::string& folder);

    // Steps 8 to 10 of every capture start: open the input device with
    // `format`, size the blocks, prepare and queue both headers. On failure
    // the device is closed again; the caller closes the storage.
    [[nodiscard]] ResultCode OpenCapture(const platform::AudioFormat& format, const CaptureSteps& steps);

    // --- Engine thread -----------------------------------------------------
    // The thread body: raises its priority, then handles messages until quit.
    void ThreadBody();
    // Handles one message; false for the quit message. The thread loop calls
    // it, and tests call it directly to drive the engine step by step.
    bool HandleMessage(const Message& message);
    MessageQueue& Queue() { return queue; }

    // --- Read-only views (any thread) --------------------------------------
    // The state, acquired: a thread that sees the engine idle also sees the
    // storage as the engine thread left it.
    EngineState State() const { return state; }
    // Bytes the running recording may still take, as of the last block.
    std::uint32_t SpaceLeft() const { return spaceLeft; }
    // Why the last capture ended by itself: storage refused a block because
    // the volume is full (Full), or for another cause; None when it was
    // stopped, or ended for its device. Set before its FileReady is sent.
    platform::IoError::Kind CaptureStoppedBy() const { return captureStoppedBy; }
    // The thresholds last set; an edit keeps them and only flips the switches.
    RecordingOptions CurrentRecordingOptions() const {
        return {voiceActivation, activationPercent, silenceCut, silencePercent, silenceMs};
    }
    // The capture blocks, for a device double that fills them in place.
    std::uint8_t* Block(std::size_t index) const { return blocks[index]; }
    std::int32_t BlockSize() const { return blockSize; }

private:
    // Tests reach the fields below through this one class, nothing else.
    friend class EngineProbe;

    // --- Fields (read by tests), grouped by who may touch them ---------------
    // Published to the UI thread at any time; written by the engine thread
    // while a device runs, by the UI thread otherwise. `state` hands the rest
    // over: release when written, acquire when read.
    Relaxed<std::uint32_t> position{0};
    Relaxed<std::int32_t> peak{0};
    Handover<EngineState> state{EngineState::EngineClosed};
    // Bytes the running recording may still take, as the engine thread last
    // saw it: the UI thread's "Left:" reads this, never the storage, which
    // the engine thread changes under it (and replaces at the end).
    Relaxed<std::uint32_t> spaceLeft{0};
    // Full scale of the running format's levels: 127 for 8-bit, else 32767.
    Relaxed<std::int32_t> fullScale{32767};
    // The speed the UI thread asked for, taken up at the next piece played.
    Relaxed<std::uint32_t> playbackSpeed{kNormalSpeed};
    Relaxed<platform::IoError::Kind> captureStoppedBy{platform::IoError::Kind::None};

    // Settings: written by the UI thread while the engine is idle, read by
    // the engine thread while a device runs.
    platform::EventSink* owner = nullptr;
    std::uint32_t formatMask = 0;
    std::string storagePath;
    std::optional<platform::Media> media = platform::Media::Fast;  // nothing: no storage folder set
    bool voiceActivation = false;
    bool silenceCut = false;
    unsigned activationPercent = 10;
    unsigned silencePercent = 10;
    unsigned silenceMs = 4000;

    // Marks the next capture makes at its own times (MarkAtMs), and, once it
    // started, the blocks they go at, in order.
    std::vector<std::uint32_t> scheduledMs;
    std::vector<std::uint32_t> scheduledBlocks;

    // The running device's work: set up by the UI thread before the start
    // command, then the engine thread's until the engine is idle again.
    storage::StorageContext storage;
    platform::WaveIn* waveIn = nullptr;
    platform::WaveOut* waveOut = nullptr;
    std::array<platform::WaveBuffer, 2> headers{};
    std::array<std::uint8_t*, 3> blocks{};
    std::int32_t blockSize = 0;
    std::uint32_t currentHeader = 0;
    std::uint32_t eventBase = kEventBasePlain;
    std::int32_t activationLevel = 0;
    std::int32_t silenceLevel = 0;
    std::int32_t silentBlocks = 0;
    bool voiceActivated = false;
    bool storageFault = false;
    std::uint32_t pendingOut = 0;
    // The final piece of the recording has been queued for output.
    bool lastPieceQueued = false;
    // The block each output header's piece starts at.
    std::array<std::uint32_t, 2> pieceStart{};
    // This playback goes through the speed stage.
    bool sped = false;
    // The stage has been given the recording's last piece.
    bool inputEnded = false;
    // The speed the stage plays at now.
    std::uint32_t stageSpeed = kNormalSpeed;
    // Where in the recording, in samples, the next audio the stage hands out
    // began: the position of what the listener hears, whatever the speed.
    double stageSamples = 0;

    void notify(std::uint32_t message, platform::WaveBuffer* buffer, std::uint32_t bytes) noexcept override;

    void Post(std::uint32_t event, std::uint32_t wParam = 0, std::uint32_t lParam = 0);
    void Send(std::uint32_t event);
    bool OnEngineThread() const;
    bool OnUiThread() const;

    // Recorder, engine thread.
    void OnStop();
    void OnPause();
    void OnResume();
    void OnStartCapture();
    void OnInputData(platform::WaveBuffer* buffer);
    void OnInputFailed(platform::DeviceResult result);
    void HandleRecordedBlock();
    void HandlePausedBlock();
    void RequeueInput();
    void FailCapture(std::uint32_t step);
    void StopCapture();
    void FinishCapture();
    void PublishSpaceLeft();
    void WatchStoringTime(std::int64_t before);
    std::int32_t BlockPeak(std::uint32_t header, std::uint32_t bytes);
    std::int32_t CapturedPeak(std::uint32_t header);

    // Player, engine thread.
    void OnStartPlayback();
    void OnOutputDone();
    void OnOutputClosed();
    void OnSeek(std::uint32_t target);
    // Marks made while playing go into the file (engine thread).
    void OnSaveMarks();
    // The capture's own marks: placed at its start, made as it passes them.
    void ScheduleMarks();
    // The engine follows the storage after a cut or its undo.
    CutResult AfterCut(storage::Status status);
    void MakeScheduledMarks();
    void FillAndQueue();
    void FeedAfterResume();
    bool IsFeeding() const;
    void EndOfPlayback();
    void StopOutput();
    std::uint32_t HeardBlock();
    void CloseOutput();
    void PostDeviceError(std::uint32_t codeWord, platform::DeviceResult result);
    // Through the speed stage (SpedPlayback.cpp).
    void FillAndQueueSped();
    [[nodiscard]] bool FeedStage();
    std::uint32_t StagePieceBytes() const;
    std::uint32_t SamplesPerBlock() const;
    void RestartStageAt(std::uint32_t block);

    // Player, UI thread.
    // SetPosition in blocks: at once at rest, by the engine thread while playing.
    void SeekToBlock(std::uint32_t target);
    [[nodiscard]] platform::DeviceResult OpenOutput(const platform::AudioFormat& format);
    void AbandonPlayback();
    platform::AudioFormat SelectedFormat() const;
    platform::AudioFormat OutputFormat();
    std::uint32_t PieceBytes(std::uint32_t fromBlock, std::uint32_t most) const;

    // Recorder, UI thread.
    [[nodiscard]] ResultCode RecordEdit(std::uint32_t base);
    void CloseInput();
    void AbandonNewRecording(const std::string& filePath, bool existed);
    void SetLevels(std::int32_t scale);

    // Ownership of the storage passes with the device: to the engine thread
    // with the start command, back to the UI thread as the engine goes idle.
    void HandOverStorage();

    EngineServices services;
    MessageQueue queue;
    // Whether ThreadBody has returned, for WaitThreadEnded.
    std::mutex endMutex;
    std::condition_variable endSignal;
    bool threadRunning = false;
    std::optional<std::int64_t> counterFrequency;  // 0: no counter
    // The UI thread's operations and the engine thread's handlers each bind
    // to the first thread that runs them.
    platform::SequenceChecker uiSequence;
    platform::SequenceChecker engineSequence;
    platform::AudioFormat deviceFormat{};  // of the device running, or last run
    alignas(4) std::uint8_t blockStorage[3][kBlockBytes]{};
    // The recording's own audio on its way into the speed stage.
    alignas(4) std::uint8_t pieceInput[kBlockBytes]{};
    // Last: it uses the input device and the queue.
    LevelMonitor monitor{services.waveIn, queue};
};

}  // namespace tavrin::engine
