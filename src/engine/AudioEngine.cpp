#include "engine/AudioEngine.h"

#include <cassert>
#include <cstring>
#include <system_error>

namespace tavrin::engine {

bool LaunchDetachedThread(std::function<void()> body) {
    try {
        std::thread(std::move(body)).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

AudioEngine::AudioEngine(const EngineServices& engineServices)
    : storage(engineServices.files, engineServices.memory, engineServices.system, engineServices.shell),
      services(engineServices) {
    storage.journal.SetFolder(engineServices.journalFolder);
    for (std::size_t i = 0; i < blocks.size(); ++i) blocks[i] = blockStorage[i];
}

// The program's engine is never destroyed; engines of tests end with their test.
AudioEngine::~AudioEngine() = default;

ResultCode AudioEngine::Init(platform::EventSink& ownerSink) {
    assert(OnUiThread());
    owner = &ownerSink;
    for (std::uint8_t* block : blocks) std::memset(block, 0, kBlockBytes);
    {
        std::lock_guard lock(endMutex);
        threadRunning = true;
    }
    if (!services.launchThread([this] { ThreadBody(); })) {
        std::lock_guard lock(endMutex);
        threadRunning = false;
        return {rc::ThreadFailed, detail::ThreadFailed};
    }
    return {};
}

void AudioEngine::Quit() {
    static_cast<void>(queue.post({kWmQuit, 0, 0}));
}

bool AudioEngine::WaitThreadEnded(std::chrono::milliseconds bound) {
    std::unique_lock lock(endMutex);
    return endSignal.wait_for(lock, bound, [this] { return !threadRunning; });
}

bool AudioEngine::SetStorage(const std::string& folder, platform::Media storageMedia) {
    assert(OnUiThread());
    storagePath = folder;
    media = storageMedia;
    return true;
}

bool AudioEngine::SetFormat(std::uint32_t formatBit) {
    if (formatBit == 0) return false;
    formatMask = formatBit;
    return true;
}

void AudioEngine::SetRecordingOptions(const RecordingOptions& options) {
    assert(OnUiThread());
    voiceActivation = options.voiceActivation;
    activationPercent = options.activationPercent;
    silenceCut = options.silenceCut;
    silencePercent = options.silencePercent;
    silenceMs = options.silenceMs;
}

bool AudioEngine::Pause() {
    return queue.post({kCmdPause, 0, 0});
}

bool AudioEngine::Resume() {
    return queue.post({kCmdResume, 0, 0});
}

bool AudioEngine::Stop() {
    return queue.post({kCmdStop, 0, 0});
}

void AudioEngine::ThreadBody() {
    services.thread.setCurrentPriority(platform::ThreadPriority::TimeCritical);
    counterFrequency = services.clock.counterFrequency();
    while (HandleMessage(queue.wait())) {
    }
    std::lock_guard lock(endMutex);
    threadRunning = false;
    endSignal.notify_all();
}

bool AudioEngine::HandleMessage(const Message& message) {
    assert(OnEngineThread());
    switch (message.id) {
        case kWmQuit:
            return false;
        case kCmdStop:
            OnStop();
            break;
        case kCmdPause:
            OnPause();
            break;
        case kCmdResume:
            OnResume();
            break;
        case kCmdStartCapture:
            OnStartCapture();
            break;
        case kCmdSeek:
            OnSeek(message.value);
            break;
        case kCmdStartPlayback:
            OnStartPlayback();
            break;
        case kCmdSaveMarks:
            OnSaveMarks();
            break;
        case kMmWimData:
            OnInputData(message.buffer);
            break;
        case kMmWimFailed:
            OnInputFailed(message.value);
            break;
        case kMmWomDone:
            OnOutputDone();
            break;
        case kMmWomClose:
            OnOutputClosed();
            break;
        case kMonitorData:
            monitor.OnData(message.buffer, message.value);
            break;
        default:
            // Open and input-closed notifications, and anything unknown, need nothing.
            break;
    }
    return true;
}

// The commands act on whichever device runs.
void AudioEngine::OnStop() {
    const EngineState now = state;
    if (now == EngineState::EngineRecording || now == EngineState::EngineRecordPaused) StopCapture();
    if (now == EngineState::EnginePlaying || now == EngineState::EnginePlayPaused) StopOutput();
}

void AudioEngine::OnPause() {
    const EngineState now = state;
    if (now == EngineState::EngineRecording) {
        state = EngineState::EngineRecordPaused;
    } else if (now == EngineState::EnginePlaying) {
        static_cast<void>(waveOut->pause());
        state = EngineState::EnginePlayPaused;
    } else {
        return;
    }
    Post(kEvPausedOn);
}

void AudioEngine::OnResume() {
    const EngineState now = state;
    if (now == EngineState::EngineRecordPaused) {
        state = EngineState::EngineRecording;
    } else if (now == EngineState::EnginePlayPaused) {
        static_cast<void>(waveOut->restart());
        state = EngineState::EnginePlaying;
        Post(kEvPausedOff);
        FeedAfterResume();
        return;
    } else {
        return;
    }
    Post(kEvPausedOff);
}

// Called on the device's delivery thread: only queue the notification.
void AudioEngine::notify(std::uint32_t message, platform::WaveBuffer* buffer, std::uint32_t bytes) noexcept {
    static_cast<void>(queue.post({message, bytes, buffer}));
}

void AudioEngine::Post(std::uint32_t event, std::uint32_t wParam, std::uint32_t lParam) {
    if (owner) owner->post(event, wParam, lParam);
}

void AudioEngine::Send(std::uint32_t event) {
    if (owner) owner->send(event, 0, 0);
}

// Tests that drive the engine from their own thread, without starting the
// engine thread, bind both checkers to that thread.
bool AudioEngine::OnEngineThread() const { return engineSequence.CalledOnValidSequence(); }
bool AudioEngine::OnUiThread() const { return uiSequence.CalledOnValidSequence(); }

void AudioEngine::HandOverStorage() { storage.DetachFromSequence(); }

}  // namespace tavrin::engine
