#include "support/ScriptedEngine.h"

#include <algorithm>
#include <cstdio>

#include "engine/Messages.h"

namespace tavrin::test {
namespace {

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

const char* Speed(platform::Media media) { return media == platform::Media::Slow ? "slow" : "fast"; }

bool IsQuery(const std::string& call) {
    for (const char* query :
         {"ProbeFormats", "GetPositionMs", "GetLevelPercent", "RemainingSeconds", "MarkCount", "PlanCut",
          "CanUndoCut"}) {
        if (call.rfind(query, 0) == 0) return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> ScriptedEngine::commands() const {
    std::vector<std::string> result;
    for (const std::string& call : log) {
        if (!IsQuery(call)) result.push_back(call);
    }
    return result;
}

bool ScriptedEngine::deliverNext() {
    if (events.empty()) return false;
    const std::uint32_t message = events.front();
    events.pop_front();
    if (delivery) delivery(message);
    return true;
}

void ScriptedEngine::deliverAll() {
    // A runaway loop of events would be a controller fault; stop and let the test see it.
    for (int guard = 0; guard < 1000 && deliverNext(); ++guard) {
    }
}

std::optional<engine::ResultCode> ScriptedEngine::scripted(Op op) {
    auto found = failures.find(op);
    if (found == failures.end() || found->second.empty()) return std::nullopt;
    const engine::ResultCode result = found->second.front();
    found->second.pop_front();
    return result;
}

const controller::AudioFileInfo& ScriptedEngine::factsOf(const std::string& path) const {
    auto found = factsByPath.find(path);
    return found == factsByPath.end() ? defaultFacts : found->second;
}

bool ScriptedEngine::ProbeFormats(std::uint32_t& mask) {
    log.push_back("ProbeFormats");
    if (!accepted) return false;
    mask |= *accepted;
    return true;
}

bool ScriptedEngine::SetFormat(std::uint32_t bit) {
    log.push_back("SetFormat(" + Hex(bit) + ")");
    if (bit == 0) return false;
    formatBit = bit;
    return true;
}

void ScriptedEngine::SetCaptureOptions(const controller::CaptureOptions& captureOptions) {
    log.push_back("SetCaptureOptions(" + std::to_string(captureOptions.voiceActivation) + "," +
                  std::to_string(captureOptions.activationPercent) + "," + std::to_string(captureOptions.silenceCut) +
                  "," + std::to_string(captureOptions.silencePercent) + "," +
                  std::to_string(captureOptions.silenceMs) + ")");
    options = captureOptions;
}

void ScriptedEngine::SetCaptureSwitches(bool voiceActivation, bool silenceCut) {
    log.push_back("SetCaptureSwitches(" + std::to_string(voiceActivation) + "," + std::to_string(silenceCut) + ")");
    options.voiceActivation = voiceActivation;
    options.silenceCut = silenceCut;
}

void ScriptedEngine::SetStorage(const std::string& storageFolder, platform::Media media) {
    log.push_back("SetStorage(" + storageFolder + "," + Speed(media) + ")");
    folder = storageFolder;
    slowStorage = media == platform::Media::Slow;
}

engine::ResultCode ScriptedEngine::startCapture(Op op, std::uint32_t base) {
    if (auto failure = scripted(op)) return *failure;
    // The edits need a selected recording, as in the real engine.
    if (op != Op::RecordStart && mode != Mode::FileOpen) return {0x22000007, 5};
    lastCut.reset();
    mode = Mode::Recording;
    eventBase = base;
    positionMs = 0;
    events.push_back(engine::kEvRecordStart + base);
    return {};
}

engine::ResultCode ScriptedEngine::RecordStart(const std::string& path) {
    log.push_back("RecordStart(" + path + ")");
    const engine::ResultCode result = startCapture(Op::RecordStart, engine::kEventBasePlain);
    if (result.Ok()) opened = path;
    return result;
}

engine::ResultCode ScriptedEngine::RecordAppend() {
    log.push_back("RecordAppend");
    return startCapture(Op::RecordAppend, engine::kEventBaseAppend);
}

engine::ResultCode ScriptedEngine::RecordInsert() {
    log.push_back("RecordInsert");
    return startCapture(Op::RecordInsert, engine::kEventBaseInsert);
}

engine::ResultCode ScriptedEngine::RecordOverwrite() {
    log.push_back("RecordOverwrite");
    return startCapture(Op::RecordOverwrite, engine::kEventBaseOverwrite);
}

engine::ResultCode ScriptedEngine::OpenFile(const std::string& path, platform::Media media, controller::AudioFileInfo& info) {
    log.push_back("OpenFile(" + path + "," + Speed(media) + ")");
    if (auto failure = scripted(Op::OpenFile)) return *failure;
    if (mode != Mode::Closed && mode != Mode::FileOpen) return {0x21000000, 2023};
    info = factsOf(path);
    opened = path;
    lastCut.reset();
    mode = Mode::FileOpen;
    positionMs = 0;
    return {};
}

engine::ResultCode ScriptedEngine::CloseFile() {
    log.push_back("CloseFile");
    if (auto failure = scripted(Op::CloseFile)) return *failure;
    if (mode != Mode::Closed && mode != Mode::FileOpen) return {0x21000000, 2051};
    mode = Mode::Closed;
    opened.clear();
    lastCut.reset();
    return {};
}

engine::ResultCode ScriptedEngine::GetFileInfo(const std::string& path, controller::AudioFileInfo& info) {
    log.push_back("GetFileInfo(" + path + ")");
    if (auto failure = scripted(Op::GetFileInfo)) return *failure;
    if (mode == Mode::FileOpen) {
        info = factsOf(opened);  // the selected recording's, whatever the path
    } else if (mode == Mode::Closed) {
        info = factsOf(path);
    } else {
        return {0x21000000, 1402};
    }
    return {};
}

engine::ResultCode ScriptedEngine::PlayStart() {
    log.push_back("PlayStart");
    if (auto failure = scripted(Op::PlayStart)) return *failure;
    if (mode != Mode::FileOpen) return {};  // nothing selected: nothing happens
    mode = Mode::Playing;
    events.push_back(engine::kEvPlayStart);
    return {};
}

void ScriptedEngine::Pause() {
    log.push_back("Pause");
    if (mode == Mode::Recording) {
        mode = Mode::RecordPaused;
    } else if (mode == Mode::Playing) {
        mode = Mode::PlayPaused;
    } else {
        return;
    }
    events.push_back(engine::kEvPausedOn);
}

void ScriptedEngine::Resume() {
    log.push_back("Resume");
    if (mode == Mode::RecordPaused) {
        mode = Mode::Recording;
    } else if (mode == Mode::PlayPaused) {
        mode = Mode::Playing;
    } else {
        return;
    }
    events.push_back(engine::kEvPausedOff);
}

void ScriptedEngine::Stop() {
    log.push_back("Stop");
    if (mode == Mode::Recording || mode == Mode::RecordPaused) {
        // The finished recording stays selected for reading.
        mode = Mode::FileOpen;
        events.push_back(engine::kEvRecordEnd + eventBase);
        events.push_back(engine::kEvFileReady + eventBase);
    } else if (mode == Mode::Playing || mode == Mode::PlayPaused) {
        mode = Mode::FileOpen;
        events.push_back(engine::kEvPlayEnd);
    }
}

bool ScriptedEngine::SetPosition(std::int32_t milliseconds) {
    log.push_back("SetPosition(" + std::to_string(milliseconds) + ")");
    if (mode == Mode::Closed || mode == Mode::Recording || mode == Mode::RecordPaused) return false;
    positionMs = static_cast<std::uint32_t>(milliseconds);
    events.push_back(engine::kEvPosSet);
    return true;
}

std::uint32_t ScriptedEngine::GetPositionMs() {
    log.push_back("GetPositionMs");
    return positionMs;
}

engine::ResultCode ScriptedEngine::SetVolume(std::int32_t percent) {
    log.push_back("SetVolume(" + std::to_string(percent) + ")");
    if (auto failure = scripted(Op::SetVolume)) return *failure;
    return {};
}

std::uint32_t ScriptedEngine::GetLevelPercent() {
    log.push_back("GetLevelPercent");
    return level;
}

std::int32_t ScriptedEngine::RemainingSeconds(std::uint32_t bit, const std::string& storageFolder, platform::Media media) {
    log.push_back("RemainingSeconds(" + Hex(bit) + "," + storageFolder + "," + Speed(media) + ")");
    return remaining;
}

bool ScriptedEngine::AddMark(std::string& label) {
    log.push_back("AddMark");
    if (scripted(Op::AddMark) || mode == Mode::Closed) return false;
    lastCut.reset();
    std::vector<std::uint32_t>& marks = marksByPath[opened];
    marks.insert(std::upper_bound(marks.begin(), marks.end(), positionMs), positionMs);
    label = "Mark " + std::to_string(marks.size());
    return true;
}

std::uint32_t ScriptedEngine::MarkCount() {
    log.push_back("MarkCount");
    return static_cast<std::uint32_t>(marksByPath[opened].size());
}

bool ScriptedEngine::SeekToMark(bool forward) {
    log.push_back(std::string("SeekToMark(") + (forward ? "next" : "previous") + ")");
    if (mode != Mode::FileOpen && mode != Mode::Playing && mode != Mode::PlayPaused) return false;
    const std::vector<std::uint32_t>& marks = marksByPath[opened];
    if (forward) {
        const auto next = std::upper_bound(marks.begin(), marks.end(), positionMs);
        if (next == marks.end()) return false;
        positionMs = *next;
    } else {
        const auto after = std::lower_bound(marks.begin(), marks.end(), positionMs);
        if (after == marks.begin()) return false;
        positionMs = *(after - 1);
    }
    events.push_back(engine::kEvPosSet);
    return true;
}

std::optional<engine::CutSpan> ScriptedEngine::PlanCut(engine::CutKind kind) {
    log.push_back("PlanCut");
    if (mode != Mode::FileOpen) return std::nullopt;
    const std::uint32_t length = factsOf(opened).durationMs;
    const std::vector<std::uint32_t>& marks = marksByPath[opened];
    engine::CutSpan span{0, positionMs, 0};
    if (kind == engine::CutKind::FromHere) span = {positionMs, length, 0};
    if (kind == engine::CutKind::BetweenMarks) {
        const auto after = std::upper_bound(marks.begin(), marks.end(), positionMs);
        if (after == marks.begin() || after == marks.end()) return std::nullopt;
        span = {*(after - 1), *after, 0};
    }
    if (span.to <= span.from) return std::nullopt;
    span.ms = span.to - span.from;
    return span;
}

bool ScriptedEngine::Cut(const engine::CutSpan& span) {
    log.push_back("Cut(" + std::to_string(span.from) + "," + std::to_string(span.to) + ")");
    if (scripted(Op::Cut)) return false;
    std::vector<std::uint32_t>& marks = marksByPath[opened];
    lastCut = CutMade{opened, factsOf(opened), marks, span.from};
    std::vector<std::uint32_t> kept;
    for (std::uint32_t m : marks) {
        if (m < span.from) kept.push_back(m);
        if (m >= span.to) kept.push_back(m - (span.to - span.from));
    }
    marks = kept;
    controller::AudioFileInfo facts = factsOf(opened);
    facts.durationMs -= span.to - span.from;
    factsByPath[opened] = facts;
    positionMs = span.from;
    return true;
}

bool ScriptedEngine::CanUndoCut() {
    log.push_back("CanUndoCut");
    return mode == Mode::FileOpen && lastCut && lastCut->path == opened;
}

bool ScriptedEngine::UndoCut() {
    log.push_back("UndoCut");
    if (scripted(Op::UndoCut) || mode != Mode::FileOpen || !lastCut || lastCut->path != opened) return false;
    factsByPath[opened] = lastCut->facts;
    marksByPath[opened] = lastCut->marks;
    positionMs = lastCut->from;
    lastCut.reset();
    return true;
}

}  // namespace tavrin::test
