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
    storage.journalFolder = engineServices.journalFolder;
    for (std::size_t i = 0; i < blocks.size(); ++i) blocks[i] = blockStorage[i];
}

// The program's engine is never destroyed; engines of tests end with their test.
AudioEngine::~AudioEngine() = default;

ResultCode AudioEngine::Init(platform::EventSink& ownerSink) {
    uiThreadId = std::this_thread::get_id();
    owner = &ownerSink;
    for (std::uint8_t* block : blocks) std::memset(block, 0, kBlockBytes);
    if (!services.launchThread([this] { ThreadBody(); })) return {rc::ThreadFailed, detail::ThreadFailed};
    return {};
}

bool AudioEngine::SetStorage(const std::string& folder, bool slow) {
    assert(OnUiThread());
    storagePath = folder;
    mediaSpeed = slow ? MediaSpeed::MediaSlow : MediaSpeed::MediaFast;
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
    queue.post({kCmdPause, 0, 0});
    return true;
}

bool AudioEngine::Resume() {
    queue.post({kCmdResume, 0, 0});
    return true;
}

bool AudioEngine::Stop() {
    queue.post({kCmdStop, 0, 0});
    return true;
}

void AudioEngine::ThreadBody() {
    threadId = std::this_thread::get_id();
    services.thread.setCurrentPriority(platform::ThreadPriority::TimeCritical);
    counterFrequency = services.clock.counterFrequency();
    while (HandleMessage(queue.wait())) {
    }
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
            OnSeek(message.wParam);
            break;
        case kCmdStartPlayback:
            OnStartPlayback();
            break;
        case kMmWimData:
            OnInputData(reinterpret_cast<platform::WaveBuffer*>(message.lParam));
            break;
        case kMmWomDone:
            OnOutputDone();
            break;
        case kMmWomClose:
            OnOutputClosed();
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
    } else {
        return;
    }
    Post(kEvPausedOff);
}

// Called on the device's delivery thread: only queue the notification.
void AudioEngine::notify(std::uint32_t message, platform::WaveBuffer* buffer, std::uint32_t bytes) noexcept {
    queue.post({message, bytes, reinterpret_cast<std::uintptr_t>(buffer)});
}

void AudioEngine::Post(std::uint32_t event, std::uint32_t wParam, std::uint32_t lParam) {
    if (owner) owner->post(event, wParam, lParam);
}

void AudioEngine::Send(std::uint32_t event) {
    if (owner) owner->send(event, 0, 0);
}

// Tests drive the engine from their own thread without starting the engine
// thread; then any caller counts as the engine thread.
bool AudioEngine::OnEngineThread() const {
    const std::thread::id engine = threadId.load(std::memory_order_relaxed);
    return engine == std::thread::id{} || engine == std::this_thread::get_id();
}

bool AudioEngine::OnUiThread() const {
    return uiThreadId == std::thread::id{} || uiThreadId == std::this_thread::get_id();
}

}  // namespace tavrin::engine
