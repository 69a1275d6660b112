#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "controller/EngineView.h"

namespace tavrin::test {

// An engine for controller tests. It records every call, answers from a
// script, and raises the events the real engine would raise for each call:
// PlayStart after PlayStart, PausedOn after Pause while something runs,
// RecordEnd and FileReady (of the running variant) after Stop of a capture,
// PlayEnd after Stop of a playback, PosSet after a seek. The events wait in a
// queue until the test delivers them, one by one or all, through the
// delivery function (normally: hand the message to the window's current
// state), so that a test can look at the controller between any two events.
//
//   ScriptedEngine engine;
//   engine.setDelivery([&](std::uint32_t m) { DispatchAppMessage(*window.CurrentState(), m); });
//   engine.failNext(ScriptedEngine::Op::PlayStart, {0x21000000, 534});
class ScriptedEngine : public controller::EngineView {
public:
    enum class Op { RecordStart, RecordAppend, RecordInsert, RecordOverwrite, OpenFile, CloseFile, GetFileInfo,
                    PlayStart, SetVolume, AddMark, Cut, UndoCut };
    // What the engine is doing, as far as its events go.
    enum class Mode { Closed, FileOpen, Recording, RecordPaused, Playing, PlayPaused };

    // --- script -------------------------------------------------------------------
    // The next call of `op` answers `result` and does nothing else.
    void failNext(Op op, engine::ResultCode result) { failures[op].push_back(result); }
    // Facts OpenFile and GetFileInfo report for a path; other paths get the default facts.
    void setFacts(const std::string& path, const controller::AudioFileInfo& facts) { factsByPath[path] = facts; }
    void setDefaultFacts(const controller::AudioFileInfo& facts) { defaultFacts = facts; }
    // The formats ProbeFormats reports; nothing makes the probe fail.
    void setAcceptedFormats(std::optional<std::uint32_t> mask) { accepted = mask; }
    void setPositionMs(std::uint32_t ms) { positionMs = ms; }
    void setLevel(std::uint32_t percent) { level = percent; }
    void setRemainingSeconds(std::int32_t seconds) { remaining = seconds; }
    void setMode(Mode m, std::uint32_t base = 0) { mode = m; eventBase = base; }
    // The marks of a recording, in milliseconds (the scripted engine counts
    // its blocks in milliseconds).
    void setMarks(const std::string& path, std::vector<std::uint32_t> ms) { marksByPath[path] = std::move(ms); }
    const std::vector<std::uint32_t>& marks(const std::string& path) { return marksByPath[path]; }

    // --- what happened ----------------------------------------------------------
    const std::vector<std::string>& calls() const { return log; }
    // The calls that ask the engine to do something, without the read-only queries.
    std::vector<std::string> commands() const;
    void clearCalls() { log.clear(); }
    Mode currentMode() const { return mode; }
    const std::string& openPath() const { return opened; }
    std::optional<std::uint32_t> format() const { return formatBit; }
    const controller::CaptureOptions& captureOptions() const { return options; }
    bool voiceActivation() const { return options.voiceActivation; }
    bool silenceCut() const { return options.silenceCut; }
    const std::string& storageFolder() const { return folder; }
    bool storageSlow() const { return slowStorage; }

    // --- events -------------------------------------------------------------------
    void setDelivery(std::function<void(std::uint32_t)> deliver) { delivery = std::move(deliver); }
    const std::deque<std::uint32_t>& pendingEvents() const { return events; }
    // Queues an event as if the engine had raised it on its own.
    void raise(std::uint32_t message) { events.push_back(message); }
    // Delivers the oldest event; false when there was none.
    bool deliverNext();
    // Delivers events, including those raised meanwhile, until none is left.
    void deliverAll();
    void dropEvents() { events.clear(); }

    // --- EngineView ---------------------------------------------------------------
    [[nodiscard]] bool ProbeFormats(std::uint32_t& mask) override;
    [[nodiscard]] bool SetFormat(std::uint32_t formatBit) override;
    void SetCaptureOptions(const controller::CaptureOptions& captureOptions) override;
    void SetCaptureSwitches(bool voiceActivation, bool silenceCut) override;
    void SetStorage(const std::string& storageFolder, platform::Media media) override;
    [[nodiscard]] engine::ResultCode RecordStart(const std::string& path) override;
    [[nodiscard]] engine::ResultCode RecordAppend() override;
    [[nodiscard]] engine::ResultCode RecordInsert() override;
    [[nodiscard]] engine::ResultCode RecordOverwrite() override;
    [[nodiscard]] engine::ResultCode OpenFile(const std::string& path, platform::Media media,
                                              controller::AudioFileInfo& info) override;
    [[nodiscard]] engine::ResultCode CloseFile() override;
    [[nodiscard]] engine::ResultCode GetFileInfo(const std::string& path, controller::AudioFileInfo& info) override;
    [[nodiscard]] engine::ResultCode PlayStart() override;
    void Pause() override;
    void Resume() override;
    void Stop() override;
    [[nodiscard]] bool SetPosition(std::int32_t milliseconds) override;
    std::uint32_t GetPositionMs() override;
    [[nodiscard]] engine::ResultCode SetVolume(std::int32_t percent) override;
    void SetPlaybackSpeed(std::uint32_t hundredths) override { log.push_back("SetPlaybackSpeed(" + std::to_string(hundredths) + ")"); }
    std::uint32_t GetLevelPercent() override;
    std::int32_t RemainingSeconds(std::uint32_t formatBit, const std::string& storageFolder, platform::Media media) override;
    [[nodiscard]] bool AddMark(std::string& label) override;
    std::uint32_t MarkCount() override;
    [[nodiscard]] bool SeekToMark(bool forward) override;
    std::optional<engine::CutSpan> PlanCut(engine::CutKind kind) override;
    [[nodiscard]] bool Cut(const engine::CutSpan& span) override;
    // As the real engine: the last cut may be undone until the recording is
    // opened, closed, recorded into or marked again.
    bool CanUndoCut() override;
    [[nodiscard]] bool UndoCut() override;

private:
    struct CutMade {
        std::string path;
        controller::AudioFileInfo facts;
        std::vector<std::uint32_t> marks;
        std::uint32_t from = 0;
    };

    std::optional<engine::ResultCode> scripted(Op op);
    const controller::AudioFileInfo& factsOf(const std::string& path) const;
    engine::ResultCode startCapture(Op op, std::uint32_t base);

    std::vector<std::string> log;
    std::map<Op, std::deque<engine::ResultCode>> failures;
    std::map<std::string, controller::AudioFileInfo> factsByPath;
    controller::AudioFileInfo defaultFacts{0, 1, 8000, 8, 10'000};
    std::optional<std::uint32_t> accepted = 0x70000055;
    std::uint32_t positionMs = 0;
    std::uint32_t level = 0;
    std::int32_t remaining = 0;
    Mode mode = Mode::Closed;
    std::uint32_t eventBase = 0;
    std::string opened;
    std::optional<std::uint32_t> formatBit;
    controller::CaptureOptions options;
    std::string folder;
    bool slowStorage = false;
    std::deque<std::uint32_t> events;
    std::function<void(std::uint32_t)> delivery;
    std::map<std::string, std::vector<std::uint32_t>> marksByPath;
    std::optional<CutMade> lastCut;
};

}  // namespace tavrin::test
