// The player side of the engine: selecting a recording and reading its facts
// on the UI thread, feeding the output device two blocks at a time on the
// engine thread.
#include <algorithm>
#include <cassert>
#include <thread>

#include "engine/AudioEngine.h"
#include "wav/Formats.h"
#include "wav/WavChunkReader.h"

namespace tavrin::engine {
namespace {

using platform::AudioFormat;
using platform::DeviceResult;
using storage::Status;

constexpr std::uint32_t kRetryDelayMs = 100;
constexpr int kOpenRetries = 3;
constexpr std::uint32_t kGsmBlockMs = 40;

// The facts of a recording from its format fields; false for a format the
// player does not know.
bool FillInfo(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
              std::uint32_t lengthInBlocks, AudioFileInfo& info) {
    if (tag == wav::kTagPcm) {
        const double ms = rate == 0 ? 0.0 : static_cast<double>(lengthInBlocks) / rate * 1000.0;
        info = AudioFileInfo{0, channels, rate, bits, static_cast<std::uint32_t>(ms)};
        return true;
    }
    if (tag == wav::kTagGsm) {
        info = AudioFileInfo{1, 1, 1625, 520, lengthInBlocks * kGsmBlockMs};
        return true;
    }
    return false;
}

}  // namespace

// --- Selection (UI thread) ---------------------------------------------------------

ResultCode AudioEngine::OpenFile(const std::string& filePath, platform::Media fileMedia, AudioFileInfo& info) {
    assert(OnUiThread());
    if (state != EngineState::EngineClosed && state != EngineState::EngineFileOpen) {
        return {rc::StepFailed, detail::OpenWrongState};
    }
    if (state == EngineState::EngineFileOpen) {
        // Marks a playback made as it ended go in before the recording is let go.
        static_cast<void>(storage.SaveMarks());
        static_cast<void>(storage.Close());
        state = EngineState::EngineClosed;
    }
    const Status selected = storage.Select(filePath, fileMedia);
    media = fileMedia;
    if (selected != Status::Ok) return {rc::StepFailed, detail::SelectFailed};
    if (!FillInfo(storage.FormatTag(), storage.Channels(), storage.SamplesPerSec(), storage.BitsPerSample(),
                  storage.LengthInBlocks(), info)) {
        // Nothing the engine can play stays selected.
        static_cast<void>(storage.Close());
        return {rc::StepFailed, detail::SelectedTag};
    }
    position = storage.CurrentReadSample();
    state = EngineState::EngineFileOpen;
    return {};
}

ResultCode AudioEngine::CloseFile() {
    assert(OnUiThread());
    const EngineState now = state;
    if (now != EngineState::EngineClosed && now != EngineState::EngineFileOpen) {
        return {rc::StepFailed, detail::CloseWrongState};
    }
    if (now == EngineState::EngineFileOpen) {
        // Marks a playback made as it ended, and could not write, go in first.
        static_cast<void>(storage.SaveMarks());
        static_cast<void>(storage.Close());
    }
    state = EngineState::EngineClosed;
    return {};
}

ResultCode AudioEngine::GetFileInfo(const std::string& filePath, AudioFileInfo& info) {
    assert(OnUiThread());
    const EngineState now = state;
    if (now == EngineState::EngineFileOpen) {
        // The selected recording answers, whatever path was asked about.
        if (!FillInfo(storage.FormatTag(), storage.Channels(), storage.SamplesPerSec(), storage.BitsPerSample(),
                      storage.LengthInBlocks(), info)) {
            return {rc::StepFailed, detail::InfoSelectedTag};
        }
        return {};
    }
    if (now != EngineState::EngineClosed) return {rc::StepFailed, detail::InfoWrongState};

    wav::WavChunkReader reader(services.files);
    if (!reader.Open(filePath)) return {rc::StepFailed, detail::InfoUnreadable};
    const int parsed = reader.Parse();
    reader.Close();
    if (parsed == wav::kParseUnusable) return {rc::StepFailed, detail::InfoUnreadable};
    if (parsed == wav::kParseUnsupported) return {rc::FormatNotSupported, detail::InfoUnsupported};
    if (!FillInfo(reader.FormatTag(), reader.Channels(), reader.SamplesPerSec(), reader.BitsPerSample(),
                  reader.LengthInBlocks(), info)) {
        return {rc::FormatNotSupported, detail::InfoUnsupported};
    }
    return {};
}

AudioFormat AudioEngine::SelectedFormat() const {
    return AudioFormat{storage.FormatTag(),     storage.Channels(),   storage.SamplesPerSec(),
                       storage.AvgBytesPerSec(), storage.BlockAlign(), storage.BitsPerSample(),
                       storage.CbSize(),         storage.SamplesPerBlock()};
}

// --- Start (UI thread) ---------------------------------------------------------------

ResultCode AudioEngine::PlayStart() {
    assert(OnUiThread());
    if (state != EngineState::EngineFileOpen) return {};
    const AudioFormat format = OutputFormat();
    if (format.avgBytesPerSec / 5 > kBlockBytes) {
        AbandonPlayback();
        return {rc::BlockTooLargePlay, detail::BlockTooLarge};
    }
    blockSize = static_cast<std::int32_t>(format.avgBytesPerSec / 5);
    if (OpenOutput(format) != platform::mmr::NoError) {
        AbandonPlayback();
        return {rc::StepFailed, detail::OpenOutput};
    }
    waveOut = &services.waveOut;
    deviceFormat = format;
    fullScale = format.bitsPerSample == 8 && format.formatTag != platform::kFormatTagGsm ? 127 : 32767;
    const std::uint32_t prepareStep[2] = {detail::PrepareOut0, detail::PrepareOut1};
    for (std::uint32_t h = 0; h < 2; ++h) {
        headers[h] = platform::WaveBuffer{blocks[h], static_cast<std::uint32_t>(blockSize), 0, 0};
        if (waveOut->prepare(headers[h]) != platform::mmr::NoError) {
            for (std::uint32_t p = 0; p < h; ++p) static_cast<void>(waveOut->unprepare(headers[p]));
            static_cast<void>(waveOut->close());
            waveOut = nullptr;
            AbandonPlayback();
            return {rc::StepFailed, prepareStep[h]};
        }
    }
    // A flag left from a playback stopped after its last piece would end
    // this one after a single block.
    lastPieceQueued = false;
    currentHeader = 0;
    pieceStart.fill(storage.CurrentReadSample());
    if (sped) RestartStageAt(storage.CurrentReadSample());
    state = EngineState::EnginePlaying;
    pendingOut = 2;
    HandOverStorage();
    queue.post({kCmdStartPlayback, 0, 0});
    queue.post({kMmWomDone, 0, 0});
    return {};
}

// The format the device plays: the recording's own, or the speed stage's
// 16-bit audio when there is a stage that takes the recording.
AudioFormat AudioEngine::OutputFormat() {
    const AudioFormat recording = SelectedFormat();
    sped = false;
    if (services.speed == nullptr) return recording;
    const auto output = services.speed->Start(recording);
    if (!output) return recording;
    sped = true;
    stageSpeed = playbackSpeed;
    services.speed->SetSpeed(stageSpeed);
    return *output;
}

// Another program may still hold the device for a moment after it let go of
// it: wait 100 ms once, then try three more times.
DeviceResult AudioEngine::OpenOutput(const AudioFormat& format) {
    DeviceResult opened = services.waveOut.open(format, *this);
    if (opened != platform::mmr::Allocated) return opened;
    const std::uint32_t first = services.clock.tickCount();
    while (services.clock.tickCount() - first < kRetryDelayMs) std::this_thread::yield();
    for (int retry = 0; retry < kOpenRetries && opened != platform::mmr::NoError; ++retry) {
        opened = services.waveOut.open(format, *this);
    }
    return opened;
}

// A failed start drops the selection; the engine then has nothing selected,
// and says so, so that closing the file later finds a consistent engine.
void AudioEngine::AbandonPlayback() {
    static_cast<void>(storage.Close());
    state = EngineState::EngineClosed;
    // A device closed here reports it; that must not end a later playback.
    queue.discard(kMmWomClose);
}

// --- Position, volume (UI thread) -------------------------------------------------------

bool AudioEngine::SetPosition(std::int32_t milliseconds) {
    const EngineState now = state;
    if (now == EngineState::EngineClosed || now == EngineState::EngineRecording ||
        now == EngineState::EngineRecordPaused) {
        return false;
    }
    const std::int32_t ms = std::max(milliseconds, 0);
    std::uint32_t target = 0;
    if (storage.FormatTag() == wav::kTagGsm) {
        target = static_cast<std::uint32_t>(ms) / kGsmBlockMs;
    } else if (storage.FormatTag() == wav::kTagPcm) {
        target = static_cast<std::uint32_t>(static_cast<double>(storage.SamplesPerSec()) * 0.001 * ms);
    }
    SeekToBlock(target);
    return true;
}

void AudioEngine::SeekToBlock(std::uint32_t target) {
    if (state == EngineState::EngineFileOpen) {
        static_cast<void>(storage.SeekToSample(target));  // a refused seek leaves the position where it is
        position = storage.CurrentReadSample();
        Post(kEvPosSet);
    } else {
        queue.post({kCmdSeek, target, 0});
    }
}

std::uint32_t AudioEngine::GetPositionMs() const {
    const std::uint32_t at = position;
    if (storage.FormatTag() == wav::kTagGsm) return at * kGsmBlockMs;
    if (storage.FormatTag() != wav::kTagPcm || storage.SamplesPerSec() == 0) return 0;
    return static_cast<std::uint32_t>(static_cast<double>(at) / storage.SamplesPerSec() * 1000.0);
}

ResultCode AudioEngine::SetVolume(std::int32_t percent) {
    if (percent < 0 || percent > 100) return {};
    const auto level = static_cast<std::uint32_t>(percent) * 65535u / 100u;
    if (!services.waveOut.present()) return {};
    if (services.waveOut.setVolume(level | (level << 16)) != platform::mmr::NoError) {
        return {rc::StepFailed, detail::SetVolume};
    }
    return {};
}

// --- Feeding (engine thread) ---------------------------------------------------------------

void AudioEngine::OnStartPlayback() {
    Post(kEvPlayStart);
    OnOutputDone();
}

void AudioEngine::OnOutputDone() {
    const EngineState now = state;
    if (now == EngineState::EngineStopping) {
        if (pendingOut > 0) --pendingOut;
        if (pendingOut == 0) CloseOutput();
        return;
    }
    if (now != EngineState::EnginePlaying && now != EngineState::EnginePlayPaused) return;
    if (pendingOut > 0) --pendingOut;
    // A device reports a buffer once it has been heard, so one played out
    // just before a pause comes back during it: it is filled at the resume.
    if (now == EngineState::EnginePlayPaused) return;
    if (lastPieceQueued) {
        // The last piece is still playing until every buffer is back; a
        // reset now would cut it off.
        if (pendingOut == 0) EndOfPlayback();
        return;
    }
    FillAndQueue();
}

// Queues again the buffers that came back during the pause, or ends the
// playback when they held the last piece.
void AudioEngine::FeedAfterResume() {
    while (state == EngineState::EnginePlaying && pendingOut < 2) {
        if (lastPieceQueued) {
            if (pendingOut == 0) EndOfPlayback();
            return;
        }
        FillAndQueue();
    }
}

void AudioEngine::FillAndQueue() {
    if (sped) {
        FillAndQueueSped();
        return;
    }
    platform::WaveBuffer& header = headers[currentHeader];
    const std::uint32_t from = storage.CurrentReadSample();
    const Status status = storage.ReadData(blocks[currentHeader], static_cast<std::uint32_t>(blockSize));
    if (status == Status::FileError) {
        StopOutput();
        return;
    }
    std::uint32_t bytes = static_cast<std::uint32_t>(blockSize);
    if (status == Status::EndOfData) {
        // Only the bytes of the recording play, never what an earlier block
        // left in the rest of the buffer.
        bytes = PieceBytes(from, bytes);
        if (bytes == 0) {
            if (pendingOut == 0) EndOfPlayback();
            else lastPieceQueued = true;  // ends when the buffer in flight is back
            return;
        }
        lastPieceQueued = true;
    }
    position = storage.CurrentReadSample();
    pieceStart[currentHeader] = from;
    peak = BlockPeak(currentHeader, bytes);
    header.length = bytes;
    header.flags = platform::whdr::Prepared;
    if (waveOut->write(header) != platform::mmr::NoError) {
        header.length = static_cast<std::uint32_t>(blockSize);
        StopOutput();
        return;
    }
    ++pendingOut;
    currentHeader = 1 - currentHeader;
}

// Bytes left in the recording from block `fromBlock` on, at most `most`;
// whole frames (whole 65-byte blocks for GSM) only.
std::uint32_t AudioEngine::PieceBytes(std::uint32_t fromBlock, std::uint32_t most) const {
    const std::uint32_t length = storage.LengthInBlocks();
    if (fromBlock >= length) return 0;
    const std::uint64_t bytes = std::uint64_t{length - fromBlock} * storage.BlockAlign();
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, most));
}

void AudioEngine::EndOfPlayback() {
    lastPieceQueued = false;
    StopOutput();
    position = 0;
}

// The first block the listener has not heard yet: the start of the oldest
// piece still with the device. Reading runs up to two pieces ahead of it.
std::uint32_t AudioEngine::HeardBlock() {
    if (pendingOut == 0) return storage.CurrentReadSample();
    // The pieces alternate between the two headers; the next to be filled is
    // the oldest in flight when both are out.
    return pieceStart[pendingOut >= 2 ? currentHeader : 1 - currentHeader];
}

void AudioEngine::StopOutput() {
    lastPieceQueued = false;
    // An edit chosen during playback starts where the listener stopped
    // hearing, not where reading had got to.
    if (const std::uint32_t heard = HeardBlock(); heard != storage.CurrentReadSample()) {
        static_cast<void>(storage.SeekToSample(heard));
        position = storage.CurrentReadSample();
    }
    if (const DeviceResult reset = waveOut->reset(); reset != platform::mmr::NoError) {
        PostDeviceError(rc::OutResetFailed, reset);
        state = EngineState::EngineStopping;
        CloseOutput();
        return;
    }
    state = EngineState::EngineStopping;
    // With nothing in flight no buffer comes back to finish the stop.
    if (pendingOut == 0) CloseOutput();
}

void AudioEngine::CloseOutput() {
    for (auto& header : headers) {
        header.length = static_cast<std::uint32_t>(blockSize);
        if (const DeviceResult r = waveOut->unprepare(header); r != platform::mmr::NoError) {
            PostDeviceError(rc::OutUnprepareFailed, r);
        }
    }
    const DeviceResult closed = waveOut->close();
    waveOut = nullptr;
    static_cast<void>(storage.End());
    // Marks made since the last were written go in while this thread owns the storage.
    static_cast<void>(storage.SaveMarks());
    pendingOut = 0;
    if (closed != platform::mmr::NoError) {
        PostDeviceError(rc::OutCloseFailed, closed);
        // A device that failed to close never says it closed; the playback
        // ends here so that the window does not wait for it forever.
        OnOutputClosed();
    }
}

void AudioEngine::OnOutputClosed() {
    if (state != EngineState::EngineStopping) return;
    HandOverStorage();
    state = EngineState::EngineFileOpen;
    Post(kEvPlayEnd);
}

void AudioEngine::OnSeek(std::uint32_t target) {
    const EngineState now = state;
    if (now != EngineState::EnginePlaying && now != EngineState::EnginePlayPaused) return;
    static_cast<void>(storage.SeekToSample(target));
    if (sped) RestartStageAt(storage.CurrentReadSample());
    // A seek after the last piece was read means there is more to play. A
    // buffer that came back meanwhile was not filled again; refilled now,
    // so that two stay in flight and the blocks play without gaps.
    const bool refill = lastPieceQueued;
    lastPieceQueued = false;
    position = storage.CurrentReadSample();
    // What the device still holds is from before the seek; the listener
    // is at the new place now.
    pieceStart.fill(position);
    Post(kEvPosSet);
    while (refill && pendingOut < 2 && IsFeeding()) {
        const std::uint32_t before = pendingOut;
        FillAndQueue();
        if (pendingOut == before) break;
    }
}

bool AudioEngine::IsFeeding() const {
    const EngineState now = state;
    return (now == EngineState::EnginePlaying || now == EngineState::EnginePlayPaused) && !lastPieceQueued;
}

void AudioEngine::PostDeviceError(std::uint32_t codeWord, DeviceResult result) { Post(kEvError, codeWord, result); }

}  // namespace tavrin::engine
