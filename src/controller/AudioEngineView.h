#pragma once

#include "controller/EngineView.h"
#include "engine/AudioEngine.h"

namespace tavrin::controller {

// The states' view of the real engine: each call goes straight through; only
// the recording facts are copied between the engine's record and the
// controller's own.
class AudioEngineView final : public EngineView {
public:
    explicit AudioEngineView(engine::AudioEngine& audioEngine) : engine(audioEngine) {}

    [[nodiscard]] bool ProbeFormats(std::uint32_t& mask) override;
    [[nodiscard]] bool SetFormat(std::uint32_t formatBit) override;
    void SetCaptureOptions(const CaptureOptions& options) override;
    void SetCaptureSwitches(bool voiceActivation, bool silenceCut) override;
    void SetStorage(const std::string& folder, platform::Media media) override;

    [[nodiscard]] engine::ResultCode RecordStart(const std::string& path) override;
    [[nodiscard]] engine::ResultCode RecordAppend() override;
    [[nodiscard]] engine::ResultCode RecordInsert() override;
    [[nodiscard]] engine::ResultCode RecordOverwrite() override;

    [[nodiscard]] engine::ResultCode OpenFile(const std::string& path, platform::Media media, AudioFileInfo& info) override;
    [[nodiscard]] engine::ResultCode CloseFile() override;
    [[nodiscard]] engine::ResultCode GetFileInfo(const std::string& path, AudioFileInfo& info) override;
    [[nodiscard]] engine::ResultCode PlayStart() override;

    void Pause() override;
    void Resume() override;
    void Stop() override;
    [[nodiscard]] bool SetPosition(std::int32_t milliseconds) override;
    std::uint32_t GetPositionMs() override;
    [[nodiscard]] engine::ResultCode SetVolume(std::int32_t percent) override;
    void SetPlaybackSpeed(std::uint32_t hundredths) override { engine.SetPlaybackSpeed(hundredths); }
    std::uint32_t GetLevelPercent() override;
    std::int32_t RemainingSeconds(std::uint32_t formatBit, const std::string& folder, platform::Media media) override;

    [[nodiscard]] bool AddMark(std::string& label) override { return engine.AddMark(label); }
    std::uint32_t MarkCount() override { return engine.MarkCount(); }
    [[nodiscard]] bool SeekToMark(bool forward) override { return engine.SeekToMark(forward); }
    std::optional<engine::CutSpan> PlanCut(engine::CutKind kind) override { return engine.PlanCut(kind); }
    [[nodiscard]] bool Cut(const engine::CutSpan& span) override {
        // The window's cuts may be undone.
        return engine.CutBlocks(span.from, span.to, engine::AudioEngine::Undo::Keep) ==
               engine::AudioEngine::CutResult::Cut;
    }
    bool CanUndoCut() override { return engine.CanUndoCut(); }
    [[nodiscard]] bool UndoCut() override { return engine.UndoCut() == engine::AudioEngine::CutResult::Cut; }

private:
    engine::AudioEngine& engine;
};

}  // namespace tavrin::controller
