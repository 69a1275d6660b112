// A user's session against the real engine, with a microphone and a speaker
// made of WAV files and a slow save location: record with a pause, play to
// the end, append, and insert asked for while playback is paused. The file
// that results is compared byte for byte with what the session must produce.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "controller/AudioEngineView.h"
#include "controller/Controller.h"
#include "controller/EventDispatch.h"
#include "engine/AudioEngine.h"
#include "engine/Messages.h"
#include "platform/file/FileWaveIn.h"
#include "platform/file/FileWaveOut.h"
#include "platform/file/InputSignal.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "settings/MemoryStore.h"
#include "settings/Settings.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/GatedWaveDevices.h"
#include "support/RecordingShell.h"
#include "support/TempDir.h"
#include "wav/Formats.h"

namespace tavrin::controller {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// 8 kHz, 8 bits, mono: one 200 ms device block is 1600 bytes.
constexpr std::uint32_t kRate = 8000;
constexpr std::uint32_t kBlock = kRate / 5;
constexpr auto kPatience = 20s;

// Block `k` of input `seed`: every block differs from every other, so a block
// lost, repeated or out of place shows in the comparison.
Bytes Block(std::uint32_t seed, std::uint32_t k) {
    Bytes block(kBlock);
    for (std::uint32_t i = 0; i < kBlock; ++i) block[i] = static_cast<std::uint8_t>((seed * 71 + k * 13 + i * 7) % 251);
    return block;
}

Bytes Join(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A plain PCM WAV file (16-byte format chunk) of mono 8-bit audio at kRate.
Bytes WavImage(const Bytes& data) {
    Bytes v(44);
    const auto put = [&v](std::size_t at, const char* text) { std::copy(text, text + 4, v.begin() + at); };
    put(0, "RIFF");
    wav::StoreLe32(&v[4], static_cast<std::uint32_t>(36 + data.size()));
    put(8, "WAVE");
    put(12, "fmt ");
    wav::StoreLe32(&v[16], 16);
    wav::StoreLe16(&v[20], 1);
    wav::StoreLe16(&v[22], 1);
    wav::StoreLe32(&v[24], kRate);
    wav::StoreLe32(&v[28], kRate);
    wav::StoreLe16(&v[32], 1);
    wav::StoreLe16(&v[34], 8);
    put(36, "data");
    wav::StoreLe32(&v[40], static_cast<std::uint32_t>(data.size()));
    v.insert(v.end(), data.begin(), data.end());
    return v;
}

// The input for one capture: `blocks` distinct blocks of `seed`.
platform::file::InputSignal Signal(std::uint32_t seed, std::uint32_t blocks) {
    std::vector<Bytes> parts;
    for (std::uint32_t k = 0; k < blocks; ++k) parts.push_back(Block(seed, k));
    std::string error;
    auto signal = platform::file::InputSignal::Parse(WavImage(Join(parts)), error);
    EXPECT_TRUE(signal) << error;
    return std::move(*signal);
}

// The main window's message queue for the engine's events: the engine thread
// posts and sends, the test thread hands them to the current state. A send
// returns once the test thread has handled it.
class EventPump : public platform::EventSink {
public:
    struct Event {
        std::uint32_t message = 0;
        std::uint32_t wParam = 0;
        std::uint32_t lParam = 0;
        std::uint64_t ticket = 0;
    };

    void post(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override {
        {
            std::lock_guard lock(mutex);
            events.push_back({message, wParam, lParam, 0});
        }
        changed.notify_all();
    }

    void send(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override {
        std::unique_lock lock(mutex);
        const std::uint64_t ticket = ++lastTicket;
        events.push_back({message, wParam, lParam, ticket});
        changed.notify_all();
        changed.wait(lock, [&] { return handledTicket >= ticket; });
    }

    std::optional<Event> Next(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex);
        if (!changed.wait_for(lock, limit, [&] { return !events.empty(); })) return std::nullopt;
        Event event = events.front();
        events.pop_front();
        return event;
    }

    void Handled(const Event& event) {
        if (event.ticket == 0) return;
        {
            std::lock_guard lock(mutex);
            handledTicket = event.ticket;
        }
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Event> events;
    std::uint64_t lastTicket = 0;
    std::uint64_t handledTicket = 0;
};

class ScenarioTest : public ::testing::Test {
protected:
    ScenarioTest() {
        shell.setDocumentsFolder(dir.path());
        settings.setFormat(wav::kCodePcm8k8);
        settings.setSaveLocation(dir.path());
        window.setRequestHandler([this](std::uint32_t request) {
            ASSERT_TRUE(DispatchAppMessage(*window.CurrentState(), request)) << request;
        });
    }

    void SetUp() override {
        ASSERT_TRUE(audio.Init(pump).Ok());
        ctl.Force(StateId::Idle);
    }

    ~ScenarioTest() override {
        // The engine outlives its thread here, unlike in the program.
        audio.Queue().post({engine::kWmQuit, 0, 0});
        if (engineThread.joinable()) engineThread.join();
    }

    bool In(StateId id) { return window.CurrentState() == &ctl.StateAt(id); }

    // Hands the engine's events to the current state until `done` holds.
    bool PumpUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            if (auto event = pump.Next(5ms)) Deliver(*event);
        }
        return true;
    }
    bool PumpUntilIn(StateId id) {
        return PumpUntil([&] { return In(id); });
    }

    void Deliver(const EventPump::Event& event) {
        messages.push_back(event.message);
        if (event.message == engine::kEvError) {
            ADD_FAILURE() << "engine error " << event.wParam << "/" << event.lParam;
        } else {
            EXPECT_TRUE(DispatchAppMessage(*window.CurrentState(), event.message)) << event.message;
        }
        pump.Handled(event);
    }

    // Stops a capture; the edited file is reopened at its start, which the
    // engine confirms with PosSet.
    bool StopCapture() {
        window.CurrentState()->OnStop();
        return PumpUntil([&] { return In(StateId::FileSelected) && messages.back() == engine::kEvPosSet; });
    }

    // Lets `blocks` more input blocks through and waits until the engine has them queued.
    bool Capture(std::uint32_t blocks) {
        const std::uint64_t target = in.filled().value() + blocks;
        in.release(blocks);
        return PumpUntil([&] { return in.filled().value() >= target; });
    }

    test::TempDir dir;
    platform::PosixFileSystem files;
    platform::PosixMemory memory;
    platform::PosixSystemInfo system;
    test::RecordingShell shell;
    platform::SteadyClock clock;
    test::FakeThread thread;
    test::RecordingCueSounds cues;
    platform::file::FileWaveIn microphone{files};
    platform::file::FileWaveOut speaker{files, dir.file("speaker.wav")};
    test::GatedWaveIn in{microphone};
    test::GatedWaveOut out{speaker};
    EventPump pump;
    std::thread engineThread;
    engine::AudioEngine audio{engine::EngineServices{in, out, files, memory, system, shell, clock, thread, cues,
                                                     [this](std::function<void()> body) {
                                                         engineThread = std::thread(std::move(body));
                                                         return true;
                                                     }}};
    AudioEngineView view{audio};
    settings::MemoryStore store;
    settings::Settings settings{store};
    test::FakeWindow window{settings};
    Controller ctl{{window, view, shell, files}};
    std::vector<std::uint32_t> messages;
};

TEST_F(ScenarioTest, RecordPausePlayAppendAndDeferredInsertMakeTheExpectedFile) {
    // Record two blocks, pause for one, resume for two more, stop.
    ASSERT_TRUE(microphone.Use(Signal(1, 5)));
    window.CurrentState()->OnRecord();
    ASSERT_TRUE(PumpUntilIn(StateId::Record));
    const std::string path = window.CurrentPath();
    ASSERT_EQ(path.rfind(dir.path() + "/", 0), 0u) << path;
    ASSERT_TRUE(Capture(2));
    window.CurrentState()->OnPause();
    ASSERT_TRUE(PumpUntilIn(StateId::PauseRecord));
    ASSERT_TRUE(Capture(1));  // heard on the level meter, never stored
    window.CurrentState()->OnPause();
    ASSERT_TRUE(PumpUntilIn(StateId::Record));
    ASSERT_TRUE(Capture(2));
    ASSERT_TRUE(StopCapture());
    EXPECT_EQ(window.LengthMs(), 800);
    const Bytes recorded = Join({Block(1, 0), Block(1, 1), Block(1, 3), Block(1, 4)});
    EXPECT_EQ(test::ReadBytes(path), WavImage(recorded));

    // Play to the end: the speaker hears the recording as it was stored.
    out.openGate();
    window.CurrentState()->OnPlay();
    ASSERT_TRUE(PumpUntil([&] { return !messages.empty() && messages.back() == engine::kEvPlayEnd; }));
    EXPECT_TRUE(In(StateId::FileSelected));
    EXPECT_EQ(test::ReadBytes(dir.file("speaker.wav")), WavImage(recorded));

    // Append one block at the end.
    ASSERT_TRUE(microphone.Use(Signal(2, 1)));
    window.CurrentState()->OnRecordAppend();
    ASSERT_TRUE(PumpUntilIn(StateId::RecordAppend));
    ASSERT_TRUE(Capture(1));
    ASSERT_TRUE(StopCapture());
    EXPECT_EQ(window.LengthMs(), 1000);
    EXPECT_EQ(test::ReadBytes(path), WavImage(Join({recorded, Block(2, 0)})));

    // Play again with the speaker held back after one block: the engine has
    // read two blocks further when the user pauses, and the insert asked for
    // then waits for the playback to stop and goes in where the listener
    // stopped hearing, not where reading had got to.
    out.closeGate();
    const std::uint64_t writtenBefore = out.written().value();
    const std::size_t firstEvent = messages.size();
    window.CurrentState()->OnPlay();
    ASSERT_TRUE(PumpUntilIn(StateId::Play));
    ASSERT_TRUE(PumpUntil([&] { return out.written().value() >= writtenBefore + 2; }));
    out.release(1);
    ASSERT_TRUE(PumpUntil([&] { return out.written().value() >= writtenBefore + 3; }));
    window.CurrentState()->OnPause();
    ASSERT_TRUE(PumpUntilIn(StateId::PausePlay));
    ASSERT_TRUE(microphone.Use(Signal(3, 1)));
    window.CurrentState()->OnRecordInsert();
    EXPECT_TRUE(ctl.vars.pendingInsert);
    ASSERT_TRUE(PumpUntilIn(StateId::RecordInsert));
    EXPECT_FALSE(ctl.vars.pendingInsert);
    ASSERT_TRUE(Capture(1));
    ASSERT_TRUE(StopCapture());
    EXPECT_EQ(window.LengthMs(), 1200);
    using namespace engine;
    const std::vector<std::uint32_t> insertEvents(messages.begin() + static_cast<std::ptrdiff_t>(firstEvent),
                                                  messages.end());
    EXPECT_EQ(insertEvents, (std::vector<std::uint32_t>{kEvPlayStart, kEvPausedOn, kEvPlayEnd,
                                                        kEvRecordStart + kEventBaseInsert,
                                                        kEvRecordEnd + kEventBaseInsert,
                                                        kEvFileReady + kEventBaseInsert, kEvPosSet}));
    EXPECT_EQ(test::ReadBytes(path),
              WavImage(Join({Block(1, 0), Block(3, 0), Block(1, 1), Block(1, 3), Block(1, 4), Block(2, 0)})));
    EXPECT_TRUE(shell.boxes().empty());
}

}  // namespace
}  // namespace tavrin::controller
