#pragma once

#include "engine/AudioEngine.h"

namespace tavrin::engine {

// The one way tests reach the engine's private fields: each method hands
// back the field itself, so a test can read it or set up a state by hand.
// Keeping it in one class keeps the engine's own interface to what the
// program needs.
class EngineProbe {
public:
    explicit EngineProbe(AudioEngine& engine) : e(engine) {}

    // Published to the UI thread.
    auto& position() { return e.position; }
    auto& peak() { return e.peak; }
    auto& state() { return e.state; }
    auto& spaceLeft() { return e.spaceLeft; }
    auto& fullScale() { return e.fullScale; }

    // Settings.
    auto& owner() { return e.owner; }
    auto& formatMask() { return e.formatMask; }
    auto& storagePath() { return e.storagePath; }
    auto& media() { return e.media; }
    auto& voiceActivation() { return e.voiceActivation; }
    auto& silenceCut() { return e.silenceCut; }
    auto& activationPercent() { return e.activationPercent; }
    auto& silencePercent() { return e.silencePercent; }
    auto& silenceMs() { return e.silenceMs; }

    // The running device's work.
    auto& storage() { return e.storage; }
    auto& waveIn() { return e.waveIn; }
    auto& waveOut() { return e.waveOut; }
    auto& headers() { return e.headers; }
    auto& blocks() { return e.blocks; }
    auto& blockSize() { return e.blockSize; }
    auto& currentHeader() { return e.currentHeader; }
    auto& eventBase() { return e.eventBase; }
    auto& activationLevel() { return e.activationLevel; }
    auto& silenceLevel() { return e.silenceLevel; }
    auto& silentBlocks() { return e.silentBlocks; }
    auto& voiceActivated() { return e.voiceActivated; }
    auto& storageFault() { return e.storageFault; }
    auto& pendingOut() { return e.pendingOut; }
    auto& lastPieceQueued() { return e.lastPieceQueued; }
    auto& pieceStart() { return e.pieceStart; }

private:
    AudioEngine& e;
};

}  // namespace tavrin::engine
