// The recorder side of the engine: starting a capture on the UI thread, and
// handling the filled input buffers, pause and stop on the engine thread.
#include <algorithm>
#include <cassert>
#include <optional>

#include "engine/AudioEngine.h"
#include "wav/Formats.h"
#include "wav/GsmLevel.h"

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

std::optional<AudioFormat> CaptureFormatOf(std::uint32_t mask) {
    for (const auto& entry : kRecordOrder)
        if (mask & entry.bit) return entry.format;
    return std::nullopt;
}

std::int32_t FullScaleOf(const AudioFormat& format) {
    return format.formatTag != platform::kFormatTagGsm && format.bitsPerSample == 8 ? kFullScale8 : kFullScale16;
}

std::int32_t Peak16(const std::uint8_t* data, std::uint32_t bytes) {
    std::int32_t peak = 0;
    for (std::uint32_t i = 0; i + 1 < bytes; i += 2) {
        const auto sample = static_cast<std::int16_t>(wav::LoadLe16(data + i));
        peak = std::max<std::int32_t>(peak, sample < 0 ? -sample : sample);
    }
    return peak;
}

std::int32_t Peak8(const std::uint8_t* data, std::uint32_t bytes) {
    std::int32_t peak = 0;
    for (std::uint32_t i = 0; i < bytes; ++i) {
        peak = std::max<std::int32_t>(peak, data[i] < 128 ? 128 - data[i] : data[i] - 128);
    }
    return peak;
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
    if (mediaSpeed == MediaSpeed::MediaUnset || !freeBytes) return {rc::FolderMissing, detail::FolderMissing};
    if (*freeBytes == 0) return {rc::NoSpace, detail::NoSpace};

    const std::optional<AudioFormat> format = CaptureFormatOf(formatMask);
    if (!format) return {rc::UnknownFormat, detail::UnknownFormat};

    const bool gsm = format->formatTag == platform::kFormatTagGsm;
    const bool existed = services.files.exists(filePath);
    const bool fast = mediaSpeed == MediaSpeed::MediaFast;
    const Status created =
        gsm ? storage.Create(filePath, wav::kTagGsm, 8000, 0, 1, fast)
            : storage.Create(filePath, wav::kTagPcm, format->samplesPerSec, format->bitsPerSample, 1, fast);
    if (created != Status::Ok) {
        AbandonNewRecording(filePath, existed);
        return gsm ? ResultCode(rc::StepFailed, detail::CreateGsm) : ResultCode(rc::CannotCreate, detail::CreatePcm);
    }
    SetLevels(FullScaleOf(*format));
    services.cues.playSync("RecStart");
    if (const ResultCode opened = OpenCapture(*format, kNewRecordingSteps); !opened.Ok()) {
        AbandonNewRecording(filePath, existed);
        return opened;
    }
    voiceActivated = false;
    state = EngineState::EngineRecording;
    eventBase = kEventBasePlain;
    currentHeader = 0;
    silentBlocks = 0;
    queue.post({kCmdStartCapture, 0, 0});
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
    const bool ready = base == kEventBaseOverwrite ? storage.Overwrite()
                       : base == kEventBaseAppend  ? storage.Append()
                                                   : storage.Insert();
    if (!ready) {
        // A refusal leaves the recording as it was; storage may have had to
        // let go of it, and the engine then says that nothing is selected.
        if (storage.IsIdle()) state = EngineState::EngineClosed;
        return base == kEventBaseInsert ? ResultCode(rc::InsertAborted, detail::FolderMissing)
                                        : ResultCode(rc::FolderMissing, detail::FolderMissing);
    }
    eventBase = base;
    services.cues.playSync("RecStart");
    if (mediaSpeed == MediaSpeed::MediaUnset) {
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
    state = EngineState::EngineRecording;
    currentHeader = 0;
    silentBlocks = 0;
    queue.post({kCmdStartCapture, 0, 0});
    return {};
}

ResultCode AudioEngine::OpenCapture(const AudioFormat& format, const CaptureSteps& steps) {
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

// --- Capture (engine thread) -----------------------------------------------------

void AudioEngine::OnStartCapture() {
    storageFault = false;
    if (waveIn) static_cast<void>(waveIn->start());
    Post(kEvRecordStart + eventBase);
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

void AudioEngine::HandleRecordedBlock() {
    const std::uint32_t bytes = headers[currentHeader].bytesRecorded;
    const std::uint8_t* data = blocks[currentHeader];
    peak = BlockPeak(currentHeader, static_cast<std::uint32_t>(blockSize));
    Status status = Status::Ok;
    if (voiceActivation && !voiceActivated) {
        // The block that wakes the recording is itself dropped.
        if (peak > activationLevel) {
            voiceActivated = true;
            Post(kEvRecordActivated + eventBase);
        }
    } else if (silenceCut && peak < silenceLevel) {
        ++silentBlocks;
        if (silentBlocks <= static_cast<std::int32_t>(silenceMs / 200)) {
            status = storage.WriteData(data, bytes);
        } else {
            // Take back the silent blocks already stored and drop this one.
            const auto stored = static_cast<std::uint32_t>(silentBlocks - 1);
            status = storage.BackTrack(stored * static_cast<std::uint32_t>(blockSize));
            if (status == Status::Ok) {
                Post(kEvSilenceCut + eventBase);
                silentBlocks = 0;
            }
        }
    } else {
        status = storage.WriteData(data, bytes);
        silentBlocks = 0;
    }
    if (status != Status::Ok) {
        storageFault = true;
        StopCapture();
        return;
    }
    position = storage.CurrentWriteSample();
    RequeueInput();
}

void AudioEngine::HandlePausedBlock() {
    peak = BlockPeak(currentHeader, static_cast<std::uint32_t>(blockSize));
    RequeueInput();
}

void AudioEngine::RequeueInput() {
    static_cast<void>(waveIn->add(headers[currentHeader]));
    currentHeader = 1 - currentHeader;
}

// The watchdog: storing one block must keep pace with the device on fast
// media. It speaks up once per capture and the capture goes on.
void AudioEngine::WatchStoringTime(std::int64_t before) {
    if (*counterFrequency <= 0) return;
    const std::int64_t elapsed = services.clock.counter() - before;
    if (mediaSpeed != MediaSpeed::MediaFast || storageFault || elapsed <= *counterFrequency) return;
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

// Storage End writes what memory still holds; when that fails the user must
// hear why at once, not from the reopening that follows.
void AudioEngine::FinishCapture() {
    const Status ended = storage.End();
    if (ended == Status::Ok) {
        position = storage.CurrentReadSample();
        state = EngineState::EngineFileOpen;
        return;
    }
    if (!storage.IsIdle()) static_cast<void>(storage.Close());
    position = 0;
    state = EngineState::EngineClosed;
    Post(kEvError, rc::NoSpace, static_cast<std::uint32_t>(ended));
}

std::int32_t AudioEngine::BlockPeak(std::uint32_t header, std::uint32_t bytes) {
    const std::uint8_t* data = blocks[header];
    if (deviceFormat.formatTag == platform::kFormatTagGsm) {
        return wav::GsmBufferPeak(data, reinterpret_cast<std::int16_t*>(blocks[2]));
    }
    return deviceFormat.bitsPerSample == 16 ? Peak16(data, bytes) : Peak8(data, bytes);
}

}  // namespace tavrin::engine
