// The recorder side of the engine: starting a capture on the UI thread, and
// handling the filled input buffers, pause and stop on the engine thread.
#include <algorithm>
#include <cassert>
#include <optional>

#include "engine/AudioEngine.h"
#include "engine/BlockPeak.h"
#include "wav/Formats.h"

namespace tavrin::engine {
namespace {

using platform::AudioFormat;
using storage::Status;

constexpr std::int32_t kFullScale8 = 127;
constexpr std::int32_t kFullScale16 = 32767;

// Bit 0x10 (22.05 kHz 8-bit) is a format the engine records but never offers.
constexpr std::uint32_t kCodePcm22k8 = 0x00000010;

constexpr AudioFormat kGsmFormat{platform::kFormatTagGsm, 1, 8000, 1625, 65, 0, 2, 320};

constexpr AudioFormat Pcm(std::uint32_t rate, std::uint16_t bits) {
    const auto align = static_cast<std::uint16_t>(bits / 8);
    return AudioFormat{platform::kFormatTagPcm, 1, rate, rate * align, align, bits, 0, 0};
}

struct FormatBit {
    std::uint32_t bit;
    AudioFormat format;
};

// The order in which a format mask is read: the first bit set decides.
constexpr std::array<FormatBit, 7> kRecordOrder{{
    {wav::kCodeGsm, kGsmFormat},
    {wav::kCodePcm8k8, Pcm(8000, 8)},
    {wav::kCodePcm8k16, Pcm(8000, 16)},
    {wav::kCodePcm11k8, Pcm(11025, 8)},
    {wav::kCodePcm11k16, Pcm(11025, 16)},
    {kCodePcm22k8, Pcm(22050, 8)},
    {wav::kCodePcm22k16, Pcm(22050, 16)},
}};

// A refusal that is not the file's own fault is said as what it is.
std::optional<ResultCode> RefusalOf(storage::StorageContext::Refusal refusal, std::uint32_t step) {
    using Refusal = storage::StorageContext::Refusal;
    if (refusal == Refusal::InUse) return ResultCode(rc::InUse, step);
    if (refusal == Refusal::Unsettled) return ResultCode(rc::Unfinished, step);
    return std::nullopt;
}

std::optional<AudioFormat> CaptureFormatOf(std::uint32_t mask) {
    for (const auto& entry : kRecordOrder)
        if (mask & entry.bit) return entry.format;
    return std::nullopt;
}

}  // namespace

// --- Start (UI thread) -------------------------------------------------------

ResultCode AudioEngine::RecordStart(const std::string& filePath) {
    assert(OnUiThread());
    if (state == EngineState::EngineFileOpen) {
        static_cast<void>(storage.Close());  // only releases the selection
        state = EngineState::EngineClosed;
    }
    if (state != EngineState::EngineClosed || formatMask == 0) return {};

    const std::optional<std::uint64_t> freeBytes = services.files.freeSpace(storagePath);
    if (!media || !freeBytes) return {rc::FolderMissing, detail::FolderMissing};
    if (*freeBytes == 0) return {rc::NoSpace, detail::NoSpace};

    const std::optional<AudioFormat> format = CaptureFormatOf(formatMask);
    if (!format) return {rc::UnknownFormat, detail::UnknownFormat};

    const bool gsm = format->formatTag == platform::kFormatTagGsm;
    const bool existed = services.files.exists(filePath);
    const Status created =
        gsm ? storage.Create(filePath, wav::kTagGsm, 8000, 0, 1, *media)
            : storage.Create(filePath, wav::kTagPcm, format->samplesPerSec, format->bitsPerSample, 1, *media);
    if (created != Status::Ok) {
        // A refused recording made no file: one of its name is another writer's.
        const std::optional<ResultCode> refused = RefusalOf(storage.LastRefusal(), detail::CreatePcm);
        AbandonNewRecording(filePath, existed || refused);
        if (refused) return *refused;
        return gsm ? ResultCode(rc::StepFailed, detail::CreateGsm) : ResultCode(rc::CannotCreate, detail::CreatePcm);
    }
    SetLevels(FullScaleOf(*format));
    services.cues.playSync("RecStart");
    if (const ResultCode opened = OpenCapture(*format, kNewRecordingSteps); !opened.Ok()) {
        AbandonNewRecording(filePath, existed);
        return opened;
    }
    voiceActivated = false;
    PublishSpaceLeft();
    state = EngineState::EngineRecording;
    eventBase = kEventBasePlain;
    currentHeader = 0;
    silentBlocks = 0;
    HandOverStorage();
    static_cast<void>(queue.post({kCmdStartCapture, 0, nullptr}));
    return {};
}

ResultCode AudioEngine::RecordOverwrite() { return RecordEdit(kEventBaseOverwrite); }
ResultCode AudioEngine::RecordAppend() { return RecordEdit(kEventBaseAppend); }
ResultCode AudioEngine::RecordInsert() { return RecordEdit(kEventBaseInsert); }

// The edits record into the selected recording with its own format; they
// differ only in how storage makes room and in the events they raise.
ResultCode AudioEngine::RecordEdit(std::uint32_t base) {
    assert(OnUiThread());
    if (state != EngineState::EngineFileOpen) return {};
    // Marks made at rest are in the file before a change moves them.
    static_cast<void>(storage.SaveMarks());
    const bool ready = base == kEventBaseOverwrite ? storage.Overwrite()
                       : base == kEventBaseAppend  ? storage.Append()
                                                   : storage.Insert();
    if (!ready) {
        // A refusal leaves the recording as it was; storage may have had to
        // let go of it, and the engine then says that nothing is selected.
        if (storage.IsIdle()) state = EngineState::EngineClosed;
        if (storage.FailureCause().kind == platform::IoError::Kind::ReadOnly)
            return {rc::ReadOnly, detail::EditReadOnly};
        if (const std::optional<ResultCode> refused = RefusalOf(storage.LastRefusal(), detail::FolderMissing))
            return *refused;
        return base == kEventBaseInsert ? ResultCode(rc::InsertAborted, detail::FolderMissing)
                                        : ResultCode(rc::FolderMissing, detail::FolderMissing);
    }
    eventBase = base;
    services.cues.playSync("RecStart");
    if (!media) {
        // Storage is already set for writing; leaving it so under
        // EngineFileOpen would let a later playback read from a writer.
        // Nothing was recorded, so the recording stays as it was.
        storage.CancelEdit();
        static_cast<void>(storage.Close());
        state = EngineState::EngineClosed;
        return {rc::StepFailed, detail::EditNoMedia};
    }
    const AudioFormat format = SelectedFormat();
    SetLevels(format.bitsPerSample == 8 && format.formatTag != platform::kFormatTagGsm ? kFullScale8 : kFullScale16);
    if (const ResultCode opened = OpenCapture(format, kEditSteps); !opened.Ok()) {
        storage.CancelEdit();
        static_cast<void>(storage.Close());
        state = EngineState::EngineClosed;
        return opened;
    }
    voiceActivated = false;
    PublishSpaceLeft();
    state = EngineState::EngineRecording;
    currentHeader = 0;
    silentBlocks = 0;
    HandOverStorage();
    static_cast<void>(queue.post({kCmdStartCapture, 0, nullptr}));
    return {};
}

ResultCode AudioEngine::OpenCapture(const AudioFormat& format, const CaptureSteps& steps) {
    monitor.Stop();  // the recording needs the device the meter was using
    if (services.waveIn.open(format, *this) != platform::mmr::NoError) return {rc::StepFailed, steps.open};
    waveIn = &services.waveIn;
    deviceFormat = format;
    blockSize = static_cast<std::int32_t>(format.avgBytesPerSec / 5);
    if (format.avgBytesPerSec / 5 > kBlockBytes) {
        CloseInput();
        return {rc::BlockTooLargeRecord, detail::BlockTooLarge};
    }
    const std::uint32_t prepareStep[2] = {steps.prepare0, steps.prepare1};
    const std::uint32_t addStep[2] = {steps.add0, steps.add1};
    for (std::uint32_t h = 0; h < 2; ++h) {
        headers[h] = platform::WaveBuffer{blocks[h], static_cast<std::uint32_t>(blockSize), 0, 0};
        if (waveIn->prepare(headers[h]) != platform::mmr::NoError) {
            CloseInput();
            return {rc::StepFailed, prepareStep[h]};
        }
        if (waveIn->add(headers[h]) != platform::mmr::NoError) {
            CloseInput();
            return {rc::StepFailed, addStep[h]};
        }
    }
    return {};
}

// Undoes a half-made start: a device refuses to close while buffers are
// queued, so they are taken back first; their notifications are dropped.
void AudioEngine::CloseInput() {
    if (!waveIn) return;
    static_cast<void>(waveIn->reset());
    for (auto& header : headers) static_cast<void>(waveIn->unprepare(header));
    static_cast<void>(waveIn->close());
    waveIn = nullptr;
    queue.discard(kMmWimData);
}

// A start that failed leaves no recording behind: the storage lets go of the
// file, and a file that this start created (empty, or only a header) goes.
void AudioEngine::AbandonNewRecording(const std::string& filePath, bool existed) {
    if (!storage.IsIdle()) static_cast<void>(storage.Close());
    if (!existed) static_cast<void>(services.files.remove(filePath));
    state = EngineState::EngineClosed;
}

void AudioEngine::SetLevels(std::int32_t scale) {
    fullScale = scale;
    silenceLevel = static_cast<std::int32_t>(silencePercent * static_cast<unsigned>(scale) / 100);
    activationLevel = static_cast<std::int32_t>(activationPercent * static_cast<unsigned>(scale) / 100);
}

unsigned AudioEngine::GetLevelPercent() const {
    return static_cast<unsigned>(peak) * 100u / static_cast<unsigned>(static_cast<std::int32_t>(fullScale));
}

bool AudioEngine::ProbeFormats(std::uint32_t& mask) {
    if (!services.waveIn.present()) return false;
    // 22.05 kHz 8-bit is never offered, so it is not asked for.
    for (const auto& entry : kRecordOrder) {
        if (entry.bit == kCodePcm22k8) continue;
        if (services.waveIn.isFormatSupported(entry.format)) mask |= entry.bit;
    }
    return true;
}

bool AudioEngine::StartLevelMonitor(std::uint32_t formatBit) {
    assert(OnUiThread());
    const EngineState now = state;
    if (now == EngineState::EngineRecording || now == EngineState::EngineRecordPaused) return false;
    const std::optional<AudioFormat> format = CaptureFormatOf(formatBit);
    return format && monitor.Start(*format);
}

// --- Capture (engine thread) -----------------------------------------------------

// A device that does not start delivers nothing: the capture is reported
// and ended at once, as a stop would, rather than shown running with a flat
// meter.
void AudioEngine::OnStartCapture() {
    ScheduleMarks();
    storageFault = false;
    captureStoppedBy = platform::IoError::Kind::None;
    const platform::DeviceResult started = waveIn ? waveIn->start() : platform::mmr::NoError;
    Post(kEvRecordStart + eventBase);
    if (started != platform::mmr::NoError) FailCapture(detail::StartInput);
}

void AudioEngine::FailCapture(std::uint32_t step) {
    Post(kEvError, rc::StepFailed, step);
    if (waveIn) StopCapture();
}

void AudioEngine::OnInputData(platform::WaveBuffer* buffer) {
    const EngineState now = state;
    if (now != EngineState::EngineRecording && now != EngineState::EngineRecordPaused) return;
    // The headers are queued alternately, so the buffer is normally
    // `currentHeader`; following the device keeps the two in step should an
    // add ever have been refused. A buffer that is not ours is left alone.
    if (buffer == &headers[0] || buffer == &headers[1]) {
        currentHeader = buffer == &headers[0] ? 0 : 1;
    } else {
        return;
    }
    if (!counterFrequency) counterFrequency = services.clock.counterFrequency();
    const std::int64_t before = *counterFrequency > 0 ? services.clock.counter() : 0;
    if (now == EngineState::EngineRecording) {
        HandleRecordedBlock();
    } else {
        HandlePausedBlock();
    }
    WatchStoringTime(before);
}

// The microphone went away (unplugged, its sound server ended). What it
// captured came back before this, so the capture ends as on Stop and keeps
// all of it; the user hears why.
void AudioEngine::OnInputFailed(platform::DeviceResult result) {
    const EngineState now = state;
    if (now != EngineState::EngineRecording && now != EngineState::EngineRecordPaused) return;
    Post(kEvError, rc::InputFailed, result);
    StopCapture();
}

void AudioEngine::HandleRecordedBlock() {
    const std::uint32_t bytes = headers[currentHeader].bytesRecorded;
    const std::uint8_t* data = blocks[currentHeader];
    peak = CapturedPeak(currentHeader);
    Status status = Status::Ok;
    if (voiceActivation && !voiceActivated) {
        // The block that wakes the recording is itself dropped.
        if (peak > activationLevel) {
            voiceActivated = true;
            Post(kEvRecordActivated + eventBase);
        }
    } else if (silenceCut && peak < silenceLevel) {
        // A pause keeps the silence time asked for and loses the rest: the
        // first blocks of it are stored, the later ones dropped, and the
        // cut is told once per pause.
        ++silentBlocks;
        const auto kept = static_cast<std::int32_t>(silenceMs / 200);
        if (silentBlocks <= kept) {
            status = storage.WriteData(data, bytes);
        } else if (silentBlocks == kept + 1) {
            Post(kEvSilenceCut + eventBase);
        }
    } else {
        status = storage.WriteData(data, bytes);
        silentBlocks = 0;
    }
    if (status != Status::Ok) {
        storageFault = true;
        const platform::IoError::Kind cause = storage.FailureCause().kind;
        captureStoppedBy = cause == platform::IoError::Kind::None ? platform::IoError::Kind::Other : cause;
        StopCapture();
        return;
    }
    position = storage.CurrentWriteSample();
    MakeScheduledMarks();
    PublishSpaceLeft();
    RequeueInput();
}

void AudioEngine::HandlePausedBlock() {
    peak = CapturedPeak(currentHeader);
    RequeueInput();
}

// A buffer the device refuses leaves one in flight at best: the capture
// would go on with gaps, or stall, so it ends here with the error.
void AudioEngine::RequeueInput() {
    const platform::DeviceResult added = waveIn->add(headers[currentHeader]);
    currentHeader = 1 - currentHeader;
    if (added != platform::mmr::NoError) FailCapture(detail::RequeueInput);
}

// The watchdog: storing one block must keep pace with the device on fast
// media. It speaks up once per capture and the capture goes on.
void AudioEngine::WatchStoringTime(std::int64_t before) {
    // A block whose handling ended the capture took the time of the saving:
    // nothing is left to watch.
    const EngineState now = state;
    if (now != EngineState::EngineRecording && now != EngineState::EngineRecordPaused) return;
    if (*counterFrequency <= 0) return;
    const std::int64_t elapsed = services.clock.counter() - before;
    if (media != platform::Media::Fast || storageFault || elapsed <= *counterFrequency) return;
    Send(kEvTooSlow + eventBase);
    storageFault = true;
}

void AudioEngine::StopCapture() {
    static_cast<void>(waveIn->reset());
    static_cast<void>(waveIn->unprepare(headers[0]));
    static_cast<void>(waveIn->unprepare(headers[1]));
    services.thread.setCurrentPriority(platform::ThreadPriority::BelowNormal);
    Send(kEvRecordEnd + eventBase);
    static_cast<void>(waveIn->close());
    waveIn = nullptr;
    // What the reset handed back belongs to the capture that just ended.
    queue.discard(kMmWimData);
    FinishCapture();
    Send(kEvFileReady + eventBase);
    services.thread.setCurrentPriority(platform::ThreadPriority::TimeCritical);
    services.cues.playSync("RecEnd");
}

// Storage End writes what memory still holds. What it could not write gets a
// second chance in Close; only when that fails too is the user told, at once
// rather than by the reopening that follows, and told why: a full volume, or
// the code of another file error.
void AudioEngine::FinishCapture() {
    const Status ended = storage.End();
    if (ended == Status::Ok) {
        // Marks made as the change was being laid out go in now.
        static_cast<void>(storage.SaveMarks());
        position = storage.CurrentReadSample();
        HandOverStorage();
        state = EngineState::EngineFileOpen;
        return;
    }
    const Status closed = storage.IsIdle() ? ended : storage.Close();
    const platform::IoError cause = storage.FailureCause();
    position = 0;
    HandOverStorage();
    state = EngineState::EngineClosed;  // FileReady reopens what was saved
    if (closed == Status::Ok) return;
    if (cause.kind == platform::IoError::Kind::Other || cause.kind == platform::IoError::Kind::ReadOnly) {
        Post(kEvError, rc::StepFailed, detail::FinishFileError + static_cast<std::uint32_t>(cause.number));
    } else {
        Post(kEvError, rc::NoSpace, static_cast<std::uint32_t>(closed));
    }
}

// The room left as the window shows it: what storage has room for, and never
// more than a WAV file's 4 GiB still take, so that "Left:" counts down on a
// disk far larger than one recording can be.
void AudioEngine::PublishSpaceLeft() {
    constexpr std::uint64_t kWavLimit = 0xFFFFFFFFu;
    constexpr std::uint64_t kHeaderRoom = 60;  // the larger of the two headers written
    const std::uint64_t blockBytes = std::max<std::uint16_t>(deviceFormat.blockAlign, 1);
    const std::uint64_t written = std::max<std::uint64_t>(storage.DataSize(), std::uint64_t{position} * blockBytes);
    const std::uint64_t fileRoom = kWavLimit - std::min(kWavLimit, kHeaderRoom + written);
    spaceLeft = static_cast<std::uint32_t>(std::min<std::uint64_t>(storage.SpaceLeft(), fileRoom));
}

std::int32_t AudioEngine::BlockPeak(std::uint32_t header, std::uint32_t bytes) {
    return BlockPeakOf(deviceFormat, blocks[header], bytes, reinterpret_cast<std::int16_t*>(blocks[2]));
}

std::int32_t AudioEngine::CapturedPeak(std::uint32_t header) {
    return CapturedPeakOf(deviceFormat, headers[header], static_cast<std::uint32_t>(blockSize),
                          reinterpret_cast<std::int16_t*>(blocks[2]));
}

}  // namespace tavrin::engine
