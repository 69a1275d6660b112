// Playback through the speed stage: the recording is read in pieces sized to
// fill one device block at the speed now asked for, and every block the
// device gets carries the place in the recording its audio began at. So the
// position shown, the place a stop leaves the recording at and the point an
// edit goes in are the recording's, at any speed.
#include <algorithm>
#include <cmath>

#include "engine/AudioEngine.h"
#include "wav/Formats.h"

namespace tavrin::engine {

using storage::Status;

std::uint32_t AudioEngine::SamplesPerBlock() const {
    return storage.FormatTag() == wav::kTagGsm ? wav::kGsmSamplesPerBlock : 1;
}

void AudioEngine::SetPlaybackSpeed(std::uint32_t hundredths) {
    if (IsSpeedStep(hundredths)) playbackSpeed = hundredths;
}

// The stage starts empty at `block`, as at the start and after a seek.
void AudioEngine::RestartStageAt(std::uint32_t block) {
    services.speed->Clear();
    inputEnded = false;
    stageSamples = static_cast<double>(block) * SamplesPerBlock();
}

// Bytes of the recording that fill one device block at the speed now
// playing: whole blocks, at least one, at most one engine block.
std::uint32_t AudioEngine::StagePieceBytes() const {
    const std::uint64_t frames = static_cast<std::uint32_t>(blockSize) / std::max<std::uint16_t>(deviceFormat.blockAlign, 1);
    const std::uint64_t samples = frames * stageSpeed / kNormalSpeed;
    const std::uint32_t perBlock = SamplesPerBlock();
    const std::uint32_t align = std::max<std::uint32_t>(storage.BlockAlign(), 1);
    const std::uint64_t wanted = std::max<std::uint64_t>(1, (samples + perBlock / 2) / perBlock);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, kBlockBytes / align) * align);
}

// Reads the next piece of the recording into the stage; at the end of the
// recording the stage lets go of what it still holds. False on a read failure.
bool AudioEngine::FeedStage() {
    const std::uint32_t from = storage.CurrentReadSample();
    const std::uint32_t wanted = StagePieceBytes();
    const Status status = storage.ReadData(pieceInput, wanted);
    if (status == Status::FileError) return false;
    const std::uint32_t got = status == Status::EndOfData ? PieceBytes(from, wanted) : wanted;
    if (got > 0 && !services.speed->Put(pieceInput, got)) return false;
    if (status == Status::EndOfData) {
        inputEnded = true;
        services.speed->Flush();
    }
    return true;
}

void AudioEngine::FillAndQueueSped() {
    SpeedStage& stage = *services.speed;
    if (const std::uint32_t wanted = playbackSpeed; wanted != stageSpeed) {
        stageSpeed = wanted;
        stage.SetSpeed(wanted);
    }
    const auto capacity = static_cast<std::uint32_t>(blockSize);
    std::uint8_t* out = blocks[currentHeader];
    std::uint32_t bytes = stage.Take(out, capacity);
    while (bytes < capacity && !inputEnded) {
        if (!FeedStage()) {
            StopOutput();
            return;
        }
        bytes += stage.Take(out + bytes, capacity - bytes);
    }
    if (bytes == 0) {
        // Everything has been handed out: the playback ends once the
        // buffers in flight are back.
        if (pendingOut == 0) EndOfPlayback();
        else lastPieceQueued = true;
        return;
    }
    // Once the recording has ended, a block the stage could not fill was its last.
    const bool last = inputEnded && bytes < capacity;
    const std::uint32_t perBlock = SamplesPerBlock();
    const std::uint32_t length = storage.LengthInBlocks();
    const auto blockAt = [&](double samples) {
        return std::min(length, static_cast<std::uint32_t>(samples / perBlock));
    };
    pieceStart[currentHeader] = blockAt(stageSamples);
    const std::uint32_t frames = bytes / std::max<std::uint16_t>(deviceFormat.blockAlign, 1);
    stageSamples += static_cast<double>(frames) * stageSpeed / kNormalSpeed;
    position = blockAt(stageSamples);
    peak = BlockPeak(currentHeader, bytes);
    platform::WaveBuffer& header = headers[currentHeader];
    header.length = bytes;
    header.flags = platform::whdr::Prepared;
    if (waveOut->write(header) != platform::mmr::NoError) {
        header.length = capacity;
        StopOutput();
        return;
    }
    ++pendingOut;
    currentHeader = 1 - currentHeader;
    if (last) lastPieceQueued = true;
}

}  // namespace tavrin::engine
