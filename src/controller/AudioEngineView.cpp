#include "controller/AudioEngineView.h"

namespace tavrin::controller {
namespace {

AudioFileInfo ToController(const engine::AudioFileInfo& info) {
    return AudioFileInfo{info.isGsm, info.channels, info.rate, info.bits, info.durationMs};
}

}  // namespace

bool AudioEngineView::ProbeFormats(std::uint32_t& mask) { return engine.ProbeFormats(mask); }

bool AudioEngineView::SetFormat(std::uint32_t formatBit) { return engine.SetFormat(formatBit); }

void AudioEngineView::SetCaptureOptions(const CaptureOptions& options) {
    engine.SetRecordingOptions({options.voiceActivation, options.activationPercent, options.silenceCut,
                                options.silencePercent, options.silenceMs});
}

// An edit only switches voice activation and silence cut; the thresholds
// stay those of the last new recording.
void AudioEngineView::SetCaptureSwitches(bool voiceActivation, bool silenceCut) {
    engine::RecordingOptions options = engine.CurrentRecordingOptions();
    options.voiceActivation = voiceActivation;
    options.silenceCut = silenceCut;
    engine.SetRecordingOptions(options);
}

void AudioEngineView::SetStorage(const std::string& folder, platform::Media media) { engine.SetStorage(folder, media); }

engine::ResultCode AudioEngineView::RecordStart(const std::string& path) { return engine.RecordStart(path); }
engine::ResultCode AudioEngineView::RecordAppend() { return engine.RecordAppend(); }
engine::ResultCode AudioEngineView::RecordInsert() { return engine.RecordInsert(); }
engine::ResultCode AudioEngineView::RecordOverwrite() { return engine.RecordOverwrite(); }

// The info record is written only when the engine filled it, as the
// engine's own callers would see it.
engine::ResultCode AudioEngineView::OpenFile(const std::string& path, platform::Media media, AudioFileInfo& info) {
    engine::AudioFileInfo facts;
    const engine::ResultCode result = engine.OpenFile(path, media, facts);
    if (result.Ok()) info = ToController(facts);
    return result;
}

engine::ResultCode AudioEngineView::CloseFile() { return engine.CloseFile(); }

engine::ResultCode AudioEngineView::GetFileInfo(const std::string& path, AudioFileInfo& info) {
    engine::AudioFileInfo facts;
    const engine::ResultCode result = engine.GetFileInfo(path, facts);
    if (result.Ok()) info = ToController(facts);
    return result;
}

engine::ResultCode AudioEngineView::PlayStart() { return engine.PlayStart(); }

void AudioEngineView::Pause() { static_cast<void>(engine.Pause()); }
void AudioEngineView::Resume() { static_cast<void>(engine.Resume()); }
void AudioEngineView::Stop() { static_cast<void>(engine.Stop()); }

bool AudioEngineView::SetPosition(std::int32_t milliseconds) { return engine.SetPosition(milliseconds); }
std::uint32_t AudioEngineView::GetPositionMs() { return engine.GetPositionMs(); }
engine::ResultCode AudioEngineView::SetVolume(std::int32_t percent) { return engine.SetVolume(percent); }
std::uint32_t AudioEngineView::GetLevelPercent() { return engine.GetLevelPercent(); }

std::int32_t AudioEngineView::RemainingSeconds(std::uint32_t formatBit, const std::string& folder, platform::Media media) {
    return engine.RemainingSeconds(formatBit, folder, media);
}

}  // namespace tavrin::controller
